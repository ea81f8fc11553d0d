#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "append_only_file.hpp"
#include "local_time.hpp"
#include "login_service.hpp"

namespace exam {

inline constexpr std::string_view kAuditCsvHeader =
    "time,peer_address,peer_port,candidate_number,name,result,reason,detail\n";

struct AuditEntry {
  WallTime time;
  std::string peerAddress;
  std::uint16_t peerPort = 0;
  std::string candidateNumber;  // raw bytes off the wire
  std::string name;             // UTF-8, empty when the candidate is unknown
  bool accepted = false;
  LoginReason reason = LoginReason::Malformed;
  std::string detail;
};

// One line, ending in "\n"; wire bytes are escaped so the line stays one
// line and cannot smuggle a formula into a spreadsheet.
std::string FormatAuditCsvLine(const AuditEntry& entry);

// The same for the console, without the line end.
std::string FormatConsoleLine(const AuditEntry& entry);

class AuditLog {
 public:
  explicit AuditLog(const std::filesystem::path& path);  // throws std::runtime_error

  // The line has reached the operating system when this returns true.
  bool Append(const AuditEntry& entry);
  bool NeedsSync() const { return unsynced; }
  bool Sync();

  const std::filesystem::path& Path() const { return path; }
  const std::string& LastError() const { return file.LastError(); }

 private:
  std::filesystem::path path;
  AppendOnlyFile file;
  bool unsynced = false;
};

}  // namespace exam

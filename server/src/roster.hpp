#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace exam {

enum class RosterEncoding { Utf8, Utf8WithBom, Gbk };

std::string_view ToString(RosterEncoding encoding);

struct Candidate {
  std::string candidateNumber;  // ASCII, compared byte for byte
  std::string idCardNumber;     // ASCII
  std::string name;             // UTF-8
  int line = 0;
};

// Line 0 means the file as a whole.
class RosterError : public std::runtime_error {
 public:
  RosterError(int line, const std::string& reason);

  int Line() const { return line; }
  const std::string& Reason() const { return reason; }

 private:
  int line;
  std::string reason;
};

class Roster {
 public:
  // Throws RosterError.
  static Roster Parse(std::string_view fileBytes);
  // Throws std::runtime_error whose message is "FILE:LINE: reason".
  static Roster Load(const std::filesystem::path& path);

  const Candidate* Find(std::string_view candidateNumber) const;
  const std::vector<Candidate>& Candidates() const { return candidates; }
  RosterEncoding Encoding() const { return encoding; }

 private:
  std::vector<Candidate> candidates;
  std::map<std::string, std::size_t, std::less<>> indexByNumber;
  RosterEncoding encoding = RosterEncoding::Utf8;
};

}  // namespace exam

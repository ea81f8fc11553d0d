#include "audit_log.hpp"

#include "text_encoding.hpp"

namespace exam {
namespace {

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    return std::string(text);
  }
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string CandidateNumberForLog(std::string_view raw) {
  std::string escaped = EscapeBytes(raw);
  if (!escaped.empty() && std::string_view("=+-@").find(escaped.front()) != std::string_view::npos) {
    escaped.insert(escaped.begin(), '\'');
  }
  return escaped;
}

std::string PeerForConsole(const AuditEntry& entry) {
  const bool isIpv6 = entry.peerAddress.find(':') != std::string::npos;
  const std::string host = isIpv6 ? "[" + entry.peerAddress + "]" : entry.peerAddress;
  return host + ":" + std::to_string(entry.peerPort);
}

}  // namespace

std::string FormatAuditCsvLine(const AuditEntry& entry) {
  std::string line;
  line += FormatIsoTimestamp(entry.time);
  line += ',' + CsvField(entry.peerAddress);
  line += ',' + std::to_string(entry.peerPort);
  line += ',' + CsvField(CandidateNumberForLog(entry.candidateNumber));
  line += ',' + CsvField(EscapeControlCharacters(entry.name));
  line += entry.accepted ? ",accepted," : ",rejected,";
  line += ToString(entry.reason);
  line += ',' + CsvField(EscapeControlCharacters(entry.detail));
  line += '\n';
  return line;
}

std::string FormatConsoleLine(const AuditEntry& entry) {
  std::string line = FormatReadableTime(entry.time) + "  " + PeerForConsole(entry) + "  ";
  if (entry.reason == LoginReason::SecondSeat) {
    line.insert(0, "WARNING ");
  }
  line += entry.candidateNumber.empty() ? "-" : EscapeBytes(entry.candidateNumber);
  if (!entry.name.empty()) {
    line += ' ';
    line += EscapeControlCharacters(entry.name);
  }
  if (entry.accepted) {
    line += "  accepted";
  } else {
    line += "  rejected: ";
    line += ToString(entry.reason);
  }
  if (!entry.detail.empty()) {
    line += " (" + EscapeControlCharacters(entry.detail) + ")";
  }
  return line;
}

AuditLog::AuditLog(const std::filesystem::path& path) : path(path), file(path) {
  if (file.Size() == 0 && !file.Append(kAuditCsvHeader)) {
    throw std::runtime_error(path.string() + ": cannot write: " + file.LastError());
  }
}

bool AuditLog::Append(const AuditEntry& entry) {
  if (!file.Append(FormatAuditCsvLine(entry))) {
    return false;
  }
  unsynced = true;
  return true;
}

bool AuditLog::Sync() {
  unsynced = false;
  return file.Sync();
}

}  // namespace exam

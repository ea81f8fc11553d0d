#include "attendance.hpp"

#include "text_encoding.hpp"

namespace exam {

void Attendance::Record(const Candidate& candidate, std::string_view address, WallTime time) {
  if (!HasLoggedIn(candidate.candidateNumber)) {
    firstLogins.emplace(candidate.candidateNumber, FirstLogin{std::string(address), time});
  }
}

bool Attendance::HasLoggedIn(std::string_view candidateNumber) const {
  return firstLogins.find(candidateNumber) != firstLogins.end();
}

std::string Attendance::Report(const Roster& roster) const {
  std::string present;
  std::string absent;
  std::size_t presentCount = 0;
  for (const Candidate& candidate : roster.Candidates()) {
    const std::string who = candidate.candidateNumber + "  " + EscapeControlCharacters(candidate.name);
    const auto found = firstLogins.find(candidate.candidateNumber);
    if (found == firstLogins.end()) {
      absent += "  " + who + "\n";
    } else {
      ++presentCount;
      present += "  " + who + "  " + FormatReadableTime(found->second.time) + "  " + found->second.address + "\n";
    }
  }
  const std::size_t total = roster.Candidates().size();
  std::string report = "attendance: " + std::to_string(presentCount) + " of " + std::to_string(total) +
                       " candidates logged in\n";
  report += "logged in (" + std::to_string(presentCount) + "):\n" + present;
  report += "not logged in (" + std::to_string(total - presentCount) + "):\n" + absent;
  return report;
}

}  // namespace exam

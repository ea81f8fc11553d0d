#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "roster.hpp"

namespace exam {

inline constexpr std::size_t kMaxRequestBytes = 1024;
inline constexpr std::string_view kSeparator = "fg";

struct RequestSplit {
  std::string_view candidateNumber;
  std::string_view idCardNumber;

  bool operator==(const RequestSplit&) const = default;
};

// The separator is not escaped, so every occurrence is a possible split.
std::vector<RequestSplit> SplitRequest(std::string_view request);

// Byte for byte, except that a final x and X are the same letter.
bool IdCardNumbersMatch(std::string_view onRoster, std::string_view typed);

enum class MatchKind { Matched, WrongIdCardNumber, UnknownCandidate, Malformed };

struct MatchResult {
  MatchKind kind = MatchKind::Malformed;
  const Candidate* candidate = nullptr;  // set for Matched and WrongIdCardNumber
  std::string_view candidateNumber;      // as typed; the first plausible split
  std::string_view malformedReason;
};

MatchResult MatchRequest(const Roster& roster, std::string_view request);

}  // namespace exam

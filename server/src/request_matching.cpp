#include "request_matching.hpp"

namespace exam {

std::vector<RequestSplit> SplitRequest(std::string_view request) {
  std::vector<RequestSplit> splits;
  for (std::size_t at = request.find(kSeparator); at != std::string_view::npos;
       at = request.find(kSeparator, at + 1)) {
    splits.push_back({request.substr(0, at), request.substr(at + kSeparator.size())});
  }
  return splits;
}

bool IdCardNumbersMatch(std::string_view onRoster, std::string_view typed) {
  if (onRoster.size() != typed.size()) {
    return false;
  }
  if (onRoster.empty()) {
    return true;
  }
  const std::size_t last = onRoster.size() - 1;
  if (onRoster.substr(0, last) != typed.substr(0, last)) {
    return false;
  }
  const auto isX = [](char c) { return c == 'x' || c == 'X'; };
  return onRoster[last] == typed[last] || (isX(onRoster[last]) && isX(typed[last]));
}

namespace {

MatchResult Malformed(std::string_view reason) { return {MatchKind::Malformed, nullptr, {}, reason}; }

}  // namespace

MatchResult MatchRequest(const Roster& roster, std::string_view request) {
  if (request.empty()) {
    return Malformed("empty request");
  }
  if (request.size() > kMaxRequestBytes) {
    return Malformed("request over 1 KiB");
  }
  const auto splits = SplitRequest(request);
  if (splits.empty()) {
    return Malformed("no \"fg\" separator");
  }
  MatchResult wrongIdCard;
  for (const RequestSplit& split : splits) {
    const Candidate* candidate = roster.Find(split.candidateNumber);
    if (candidate == nullptr) {
      continue;
    }
    if (IdCardNumbersMatch(candidate->idCardNumber, split.idCardNumber)) {
      return {MatchKind::Matched, candidate, split.candidateNumber, {}};
    }
    if (wrongIdCard.candidate == nullptr) {
      wrongIdCard = {MatchKind::WrongIdCardNumber, candidate, split.candidateNumber, {}};
    }
  }
  if (wrongIdCard.candidate != nullptr) {
    return wrongIdCard;
  }
  return {MatchKind::UnknownCandidate, nullptr, splits.front().candidateNumber, {}};
}

}  // namespace exam

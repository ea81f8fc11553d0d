#include "login_service.hpp"

namespace exam {

std::string_view ToString(LoginReason reason) {
  switch (reason) {
    case LoginReason::Accepted:
      return "accepted";
    case LoginReason::UnknownCandidate:
      return "unknown candidate";
    case LoginReason::WrongIdCardNumber:
      return "wrong ID-card number";
    case LoginReason::SecondSeat:
      return "second seat";
    case LoginReason::Throttled:
      return "throttled";
    case LoginReason::Malformed:
      return "malformed";
  }
  return "unknown";
}

LoginService::LoginService(const Roster& roster, LoginPolicy policy)
    : roster(roster), policy(policy), throttle(policy.throttle) {}

LoginOutcome LoginService::Handle(ConnectionId connection, std::string_view peerAddress, std::string_view request,
                                  SteadyTime now) {
  if (throttle.IsBlocked(peerAddress, now)) {
    // The typed number is kept for the audit, but the roster is not asked.
    const auto splits = request.size() <= kMaxRequestBytes ? SplitRequest(request) : std::vector<RequestSplit>{};
    return {LoginReason::Throttled, splits.empty() ? std::string() : std::string(splits.front().candidateNumber),
            nullptr, "too many failures from this address"};
  }
  const MatchResult match = MatchRequest(roster, request);
  switch (match.kind) {
    case MatchKind::Malformed:
      // Junk reveals nothing about the roster, so it is not a guess.
      return {LoginReason::Malformed, {}, nullptr, std::string(match.malformedReason)};
    case MatchKind::UnknownCandidate:
      throttle.RecordFailure(peerAddress, now);
      return {LoginReason::UnknownCandidate, std::string(match.candidateNumber), nullptr, {}};
    case MatchKind::WrongIdCardNumber:
      throttle.RecordFailure(peerAddress, now);
      return {LoginReason::WrongIdCardNumber, std::string(match.candidateNumber), match.candidate, {}};
    case MatchKind::Matched:
      break;
  }
  if (!policy.allowSecondSeat) {
    if (auto holder = seats.HolderOtherThan(match.candidate->candidateNumber, peerAddress)) {
      return {LoginReason::SecondSeat, std::string(match.candidateNumber), match.candidate,
              "already logged in from " + *holder};
    }
  }
  seats.Occupy(match.candidate->candidateNumber, connection, peerAddress);
  return {LoginReason::Accepted, std::string(match.candidateNumber), match.candidate, {}};
}

void LoginService::ConnectionClosed(ConnectionId connection) { seats.Release(connection); }

}  // namespace exam

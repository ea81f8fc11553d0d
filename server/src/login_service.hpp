#pragma once

#include <string>
#include <string_view>

#include "failure_throttle.hpp"
#include "request_matching.hpp"
#include "roster.hpp"
#include "seat_registry.hpp"

namespace exam {

enum class LoginReason { Accepted, UnknownCandidate, WrongIdCardNumber, SecondSeat, Throttled, Malformed };

// The words that go into the audit log's reason column.
std::string_view ToString(LoginReason reason);

struct LoginOutcome {
  LoginReason reason = LoginReason::Malformed;
  std::string candidateNumber;           // raw bytes as typed, empty when malformed
  const Candidate* candidate = nullptr;  // when the roster knows the number
  std::string detail;

  bool Accepted() const { return reason == LoginReason::Accepted; }
};

struct LoginPolicy {
  bool allowSecondSeat = false;
  FailureThrottle::Limits throttle{};
};

// Judges one request; knows nothing about sockets or time sources.
class LoginService {
 public:
  LoginService(const Roster& roster, LoginPolicy policy);

  LoginOutcome Handle(ConnectionId connection, std::string_view peerAddress, std::string_view request,
                      SteadyTime now);
  void ConnectionClosed(ConnectionId connection);

 private:
  const Roster& roster;
  LoginPolicy policy;
  FailureThrottle throttle;
  SeatRegistry seats;
};

}  // namespace exam

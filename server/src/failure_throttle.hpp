#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace exam {

using SteadyTime = std::chrono::steady_clock::time_point;

// ID-card numbers are guessable, so an address that keeps guessing is
// answered "0" for a while without the roster being consulted.
class FailureThrottle {
 public:
  struct Limits {
    std::size_t maxFailures = 10;
    std::chrono::seconds window{60};
    std::chrono::seconds blockFor{60};
  };

  FailureThrottle() : FailureThrottle(Limits{}) {}
  explicit FailureThrottle(Limits limits) : limits(limits) {}

  bool IsBlocked(std::string_view address, SteadyTime now);
  void RecordFailure(std::string_view address, SteadyTime now);

  // Addresses still remembered; forgotten ones cost no memory.
  std::size_t TrackedAddressCount() const { return histories.size(); }

 private:
  struct History {
    std::deque<SteadyTime> failures;
    std::optional<SteadyTime> blockedUntil;
  };

  void ForgetOld(History& history, SteadyTime now) const;
  void SweepIfDue(SteadyTime now);

  Limits limits;
  std::map<std::string, History, std::less<>> histories;
  std::optional<SteadyTime> lastSweep;
};

}  // namespace exam

#include "failure_throttle.hpp"

#include <iterator>

namespace exam {

void FailureThrottle::ForgetOld(History& history, SteadyTime now) const {
  if (history.blockedUntil && now >= *history.blockedUntil) {
    history.blockedUntil.reset();
  }
  while (!history.failures.empty() && now - history.failures.front() >= limits.window) {
    history.failures.pop_front();
  }
}

bool FailureThrottle::IsBlocked(std::string_view address, SteadyTime now) {
  SweepIfDue(now);
  const auto found = histories.find(address);
  if (found == histories.end()) {
    return false;
  }
  ForgetOld(found->second, now);
  return found->second.blockedUntil.has_value();
}

void FailureThrottle::RecordFailure(std::string_view address, SteadyTime now) {
  if (limits.maxFailures == 0) {
    return;
  }
  SweepIfDue(now);
  auto found = histories.find(address);
  if (found == histories.end()) {
    found = histories.emplace(std::string(address), History{}).first;
  }
  History& history = found->second;
  ForgetOld(history, now);
  if (history.blockedUntil) {
    return;  // throttled requests do not extend the block
  }
  history.failures.push_back(now);
  if (history.failures.size() >= limits.maxFailures) {
    history.blockedUntil = now + limits.blockFor;
    history.failures.clear();
  }
}

void FailureThrottle::SweepIfDue(SteadyTime now) {
  if (lastSweep && now - *lastSweep < limits.window) {
    return;
  }
  lastSweep = now;
  for (auto it = histories.begin(); it != histories.end();) {
    ForgetOld(it->second, now);
    it = (it->second.failures.empty() && !it->second.blockedUntil) ? histories.erase(it) : std::next(it);
  }
}

}  // namespace exam

#include "failure_throttle.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace exam {
namespace {

const SteadyTime kStart = SteadyTime{} + std::chrono::hours(24);

SteadyTime At(int second) { return kStart + std::chrono::seconds(second); }

struct Step {
  enum class Action { Fail, ExpectBlocked, ExpectOpen };
  Action action;
  int second;
  std::string_view address = "10.0.0.1";
};

std::vector<Step> FailEvery(int from, int every, int count) {
  std::vector<Step> steps;
  for (int i = 0; i < count; ++i) steps.push_back({Step::Action::Fail, from + i * every});
  return steps;
}

std::vector<Step> Join(std::vector<Step> first, const std::vector<Step>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

std::vector<Step> Then(std::vector<Step> steps, std::initializer_list<Step> more) {
  steps.insert(steps.end(), more);
  return steps;
}

TEST(FailureThrottle, TenFailuresWithinAMinuteBlockTheNextMinute) {
  using enum Step::Action;
  struct Scenario {
    std::string_view label;
    std::vector<Step> steps;
  };
  const Scenario scenarios[] = {
      {"ten failures spread over 54 s block until a minute after the tenth",
       Then(FailEvery(0, 6, 10), {{ExpectBlocked, 54}, {ExpectBlocked, 113}, {ExpectOpen, 114}})},
      {"nine failures do not block", Then(FailEvery(0, 1, 9), {{ExpectOpen, 9}, {ExpectOpen, 30}})},
      {"a failure a minute old no longer counts",
       Then(Join(FailEvery(0, 1, 1), FailEvery(60, 1, 9)), {{ExpectOpen, 68}, {Fail, 69}, {ExpectBlocked, 69}})},
      {"a failure exactly a minute old no longer counts",
       Then(FailEvery(0, 1, 9), {{Fail, 60}, {ExpectOpen, 60}, {Fail, 60}, {ExpectBlocked, 60}})},
      {"ten failures over 63 s do not block", Then(FailEvery(0, 7, 10), {{ExpectOpen, 63}})},
      {"failures while blocked do not extend the block",
       Then(FailEvery(0, 1, 10), {{Fail, 30}, {Fail, 68}, {ExpectBlocked, 68}, {ExpectOpen, 69}})},
      {"the count starts afresh after a block",
       Then(Join(FailEvery(0, 1, 10), FailEvery(70, 1, 9)), {{ExpectOpen, 78}, {Fail, 79}, {ExpectBlocked, 79}})},
      {"other addresses are not affected",
       Then(FailEvery(0, 1, 10), {{ExpectBlocked, 10}, {ExpectOpen, 10, "10.0.0.2"}, {ExpectOpen, 10, "::1"}})},
      {"failures from different addresses are not pooled",
       {{Fail, 0, "10.0.0.2"}, {Fail, 0, "10.0.0.3"}, {Fail, 0, "10.0.0.4"}, {Fail, 0, "10.0.0.5"},
        {Fail, 0, "10.0.0.6"}, {Fail, 0, "10.0.0.7"}, {Fail, 0, "10.0.0.8"}, {Fail, 0, "10.0.0.9"},
        {Fail, 0, "10.0.0.10"}, {Fail, 0, "10.0.0.11"}, {ExpectOpen, 1, "10.0.0.11"}, {ExpectOpen, 1}}},
  };
  for (const auto& [label, steps] : scenarios) {
    FailureThrottle throttle;
    for (const Step& step : steps) {
      switch (step.action) {
        case Fail:
          throttle.RecordFailure(step.address, At(step.second));
          break;
        case ExpectBlocked:
          EXPECT_TRUE(throttle.IsBlocked(step.address, At(step.second))) << label << " at " << step.second << " s";
          break;
        case ExpectOpen:
          EXPECT_FALSE(throttle.IsBlocked(step.address, At(step.second))) << label << " at " << step.second << " s";
          break;
      }
    }
  }
}

TEST(FailureThrottle, ForgetsQuietAddressesButNotBlockedOnes) {
  FailureThrottle throttle;
  for (int i = 0; i < 1000; ++i) {
    throttle.RecordFailure("10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256), At(0));
  }
  for (int i = 0; i < 10; ++i) throttle.RecordFailure("10.9.9.9", At(30));
  EXPECT_EQ(throttle.TrackedAddressCount(), 1001u);

  EXPECT_FALSE(throttle.IsBlocked("10.2.0.1", At(61)));
  EXPECT_EQ(throttle.TrackedAddressCount(), 1u);
  EXPECT_TRUE(throttle.IsBlocked("10.9.9.9", At(61)));
}

TEST(FailureThrottle, ZeroMaximumTurnsItOff) {
  FailureThrottle throttle({.maxFailures = 0});
  for (int i = 0; i < 100; ++i) throttle.RecordFailure("10.0.0.1", At(0));
  EXPECT_FALSE(throttle.IsBlocked("10.0.0.1", At(0)));
}

}  // namespace
}  // namespace exam

#include "login_service.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace exam {
namespace {

const SteadyTime kStart = SteadyTime{} + std::chrono::hours(24);

constexpr std::string_view kZhangWei = "2024001fg11010119900307663X";
constexpr std::string_view kLiNa = "2024002fg110101199003074477";
constexpr std::string_view kZhangWeiWrongId = "2024001fg110101199003076634";
constexpr std::string_view kNobody = "2024999fg110101199003076634";

const Roster& TestRoster() {
  static const Roster roster = Roster::Parse(
      "2024001,11010119900307663X,张伟\n"
      "2024002,110101199003074477,李娜\n");
  return roster;
}

struct Step {
  ConnectionId connection;
  std::string_view address;
  std::string_view request;  // empty: the connection closes
  LoginReason expected = LoginReason::Accepted;
  int second = 0;
};

Step Close(ConnectionId connection) { return {connection, "", "", LoginReason::Accepted}; }

std::vector<Step> Repeat(int times, const Step& step) { return std::vector<Step>(times, step); }

struct Scenario {
  std::string_view label;
  std::vector<Step> steps;
  bool allowSecondSeat = false;
};

void Play(const Scenario& scenario) {
  LoginService service(TestRoster(), {.allowSecondSeat = scenario.allowSecondSeat});
  int index = 0;
  for (const Step& step : scenario.steps) {
    ++index;
    if (step.request.empty()) {
      service.ConnectionClosed(step.connection);
      continue;
    }
    const LoginOutcome outcome =
        service.Handle(step.connection, step.address, step.request, kStart + std::chrono::seconds(step.second));
    EXPECT_EQ(ToString(outcome.reason), ToString(step.expected)) << scenario.label << ", step " << index;
  }
}

std::vector<Step> Join(std::initializer_list<std::vector<Step>> parts) {
  std::vector<Step> steps;
  for (const auto& part : parts) steps.insert(steps.end(), part.begin(), part.end());
  return steps;
}

using enum LoginReason;

TEST(SecondSeat, OneCandidateOneSeat) {
  const Scenario scenarios[] = {
      {"another address is refused while the first stays connected",
       {{1, "10.0.0.1", kZhangWei}, {2, "10.0.0.2", kZhangWei, SecondSeat}, {1, "10.0.0.1", kZhangWei}}},
      {"the same address may log in again on a new connection",
       {{1, "10.0.0.1", kZhangWei}, {2, "10.0.0.1", kZhangWei}, {2, "10.0.0.1", kZhangWei}}},
      {"the seat frees when its connection closes",
       {{1, "10.0.0.1", kZhangWei}, Close(1), {2, "10.0.0.2", kZhangWei}, {3, "10.0.0.1", kZhangWei, SecondSeat}}},
      {"the seat is held until the address's last connection closes",
       {{1, "10.0.0.1", kZhangWei},
        {2, "10.0.0.1", kZhangWei},
        Close(1),
        {3, "10.0.0.2", kZhangWei, SecondSeat},
        Close(2),
        {3, "10.0.0.2", kZhangWei}}},
      {"logging in as someone else gives up the first seat",
       {{1, "10.0.0.1", kZhangWei}, {1, "10.0.0.1", kLiNa}, {2, "10.0.0.2", kZhangWei},
        {3, "10.0.0.3", kLiNa, SecondSeat}}},
      {"a failed attempt keeps the seat one already has",
       {{1, "10.0.0.1", kZhangWei}, {1, "10.0.0.1", kNobody, UnknownCandidate}, {2, "10.0.0.2", kZhangWei, SecondSeat}}},
      {"a refused second seat takes nothing",
       {{1, "10.0.0.1", kZhangWei}, {2, "10.0.0.2", kZhangWei, SecondSeat}, Close(1), Close(2),
        {3, "10.0.0.3", kZhangWei}}},
      {"closing a connection that never logged in changes nothing",
       {{1, "10.0.0.1", kZhangWei}, Close(2), {3, "10.0.0.2", kZhangWei, SecondSeat}}},
      {"allowed second seats are accepted",
       {{1, "10.0.0.1", kZhangWei}, {2, "10.0.0.2", kZhangWei}, {3, "10.0.0.3", kZhangWei}},
       true},
      {"refused second seats are not guesses and do not throttle",
       Join({{{1, "10.0.0.1", kZhangWei}}, Repeat(12, {2, "10.0.0.2", kZhangWei, SecondSeat}),
             {{2, "10.0.0.2", kLiNa}}})},
  };
  for (const Scenario& scenario : scenarios) Play(scenario);
}

TEST(LoginService, WrongGuessesAreThrottledPerAddress) {
  const Scenario scenarios[] = {
      {"the eleventh attempt is throttled even with the right numbers",
       Join({Repeat(5, {1, "10.0.0.9", kZhangWeiWrongId, WrongIdCardNumber}),
             Repeat(5, {1, "10.0.0.9", kNobody, UnknownCandidate}),
             {{1, "10.0.0.9", kZhangWei, Throttled, 1}, {2, "10.0.0.1", kZhangWei}}})},
      {"the block lasts a minute",
       Join({Repeat(10, {1, "10.0.0.9", kNobody, UnknownCandidate}),
             {{1, "10.0.0.9", kLiNa, Throttled, 59}, {1, "10.0.0.9", kLiNa, Accepted, 60}}})},
      {"junk is not a guess",
       Join({Repeat(30, {1, "10.0.0.9", "\x01\x02 no separator", Malformed}), {{1, "10.0.0.9", kLiNa}}})},
      {"junk from a throttled address is still throttled",
       Join({Repeat(10, {1, "10.0.0.9", kNobody, UnknownCandidate}), {{1, "10.0.0.9", "junk", Throttled}}})},
  };
  for (const Scenario& scenario : scenarios) Play(scenario);
}

TEST(LoginService, OutcomeCarriesWhatTheAuditLogNeeds) {
  LoginService service(TestRoster(), {});
  const LoginOutcome accepted = service.Handle(1, "10.0.0.1", kZhangWei, kStart);
  ASSERT_NE(accepted.candidate, nullptr);
  EXPECT_EQ(accepted.candidate->name, "张伟");
  EXPECT_EQ(accepted.candidateNumber, "2024001");

  const LoginOutcome wrong = service.Handle(2, "10.0.0.2", kZhangWeiWrongId, kStart);
  ASSERT_NE(wrong.candidate, nullptr);
  EXPECT_EQ(wrong.candidate->name, "张伟");

  const LoginOutcome second = service.Handle(2, "10.0.0.2", kZhangWei, kStart);
  EXPECT_EQ(second.reason, SecondSeat);
  EXPECT_EQ(second.detail, "already logged in from 10.0.0.1");

  const LoginOutcome unknown = service.Handle(3, "10.0.0.3", kNobody, kStart);
  EXPECT_EQ(unknown.candidate, nullptr);
  EXPECT_EQ(unknown.candidateNumber, "2024999");

  const LoginOutcome junk = service.Handle(3, "10.0.0.3", std::string(2000, 'f'), kStart);
  EXPECT_EQ(junk.reason, Malformed);
  EXPECT_EQ(junk.detail, "request over 1 KiB");

  for (int i = 0; i < 10; ++i) service.Handle(4, "10.0.0.4", kNobody, kStart);
  const LoginOutcome throttled = service.Handle(4, "10.0.0.4", kLiNa, kStart);
  EXPECT_EQ(throttled.reason, Throttled);
  EXPECT_EQ(throttled.candidate, nullptr) << "the roster must not be consulted";
  EXPECT_EQ(throttled.candidateNumber, "2024002");
}

}  // namespace
}  // namespace exam

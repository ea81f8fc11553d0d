// Feeds the login judge a sequence of requests, closes and clock steps, and
// checks every verdict against a naive reading of the rules.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <string_view>

#include "login_service.hpp"
#include "roster.hpp"

namespace {

using exam::LoginReason;

const exam::Roster& FuzzRoster() {
  // Numbers and ID-card numbers that themselves contain "fg" make splits ambiguous.
  static const exam::Roster roster = exam::Roster::Parse(
      "candidate,id_card,name\n"
      "2024001,11010119900307663X,张伟\n"
      "2024002,110101199003074477,李娜\n"
      "7fg,1fg2,王芳\n"
      "7,fg1fg2,刘洋\n"
      "x,x,陈静\n");
  return roster;
}

bool SomeCandidateMatches(std::string_view request) {
  for (const auto& candidate : FuzzRoster().Candidates()) {
    const std::string exact = candidate.candidateNumber + "fg" + candidate.idCardNumber;
    if (request == exact) return true;
    const char last = exact.back();
    if (last == 'x' || last == 'X') {
      std::string swapped = exact;
      swapped.back() = last == 'x' ? 'X' : 'x';
      if (request == swapped) return true;
    }
  }
  return false;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const bool allowSecondSeat = (data[0] & 1) != 0;
  exam::LoginService service(FuzzRoster(), {.allowSecondSeat = allowSecondSeat});
  static constexpr std::string_view kAddresses[] = {"10.0.0.1", "10.0.0.2", "10.0.0.3", "::1"};
  auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);

  // Each step: control byte, length byte, then that many request bytes.
  std::size_t pos = 1;
  while (pos + 2 <= input.size()) {
    const auto control = static_cast<std::uint8_t>(input[pos]);
    const std::size_t length = static_cast<std::uint8_t>(input[pos + 1]) * ((control & 0x80) ? 8u : 1u);
    pos += 2;
    const std::string_view request = input.substr(pos, length);
    pos += request.size();

    const std::string_view address = kAddresses[control & 3];
    const exam::ConnectionId connection = (control >> 2) & 7;
    now += std::chrono::seconds((control >> 5) & 3) * 13;
    if ((control & 0x60) == 0x60) {
      service.ConnectionClosed(connection);
      continue;
    }
    const exam::LoginOutcome outcome = service.Handle(connection, address, request, now);
    const bool malformed = request.empty() || request.size() > 1024 || request.find("fg") == std::string_view::npos;
    const bool matches = !malformed && SomeCandidateMatches(request);

    Check(!outcome.Accepted() || matches, "accepted a request that matches no candidate");
    Check(outcome.reason != LoginReason::Malformed || malformed, "well-formed request called malformed");
    Check(outcome.reason != LoginReason::SecondSeat || (!allowSecondSeat && matches),
          "second seat without a match or while allowed");
    Check(outcome.reason == LoginReason::Throttled || outcome.reason == LoginReason::Malformed || !malformed,
          "malformed request judged as a login");
    Check(!matches || outcome.reason == LoginReason::Accepted || outcome.reason == LoginReason::SecondSeat ||
              outcome.reason == LoginReason::Throttled,
          "matching request refused for a wrong reason");
    Check((outcome.candidate != nullptr) ==
              (outcome.reason == LoginReason::Accepted || outcome.reason == LoginReason::SecondSeat ||
               outcome.reason == LoginReason::WrongIdCardNumber),
          "candidate known exactly when the roster was consulted and matched a number");
  }
  return 0;
}

#include "request_matching.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace exam {
namespace {

using namespace std::string_view_literals;

TEST(SplitRequest, OffersEveryOccurrenceOfTheSeparator) {
  struct Case {
    std::string_view request;
    std::vector<RequestSplit> splits;
  };
  const Case cases[] = {
      {"2024001fg110101", {{"2024001", "110101"}}},
      {"7fgfg1fg2", {{"7", "fg1fg2"}, {"7fg", "1fg2"}, {"7fgfg1", "2"}}},
      {"fg", {{"", ""}}},
      {"fgg", {{"", "g"}}},
      {"ffgg", {{"f", "g"}}},
      {"2024001FG110101", {}},
      {"2024001 fg 110101", {{"2024001 ", " 110101"}}},
      {"", {}},
  };
  for (const auto& [request, splits] : cases) {
    EXPECT_EQ(SplitRequest(request), splits) << request;
  }
}

TEST(IdCardNumbersMatch, OnlyTheFinalXIgnoresCase) {
  struct Case {
    std::string_view onRoster;
    std::string_view typed;
    bool match;
  };
  const Case cases[] = {
      {"11010119900307663X", "11010119900307663X", true},
      {"11010119900307663X", "11010119900307663x", true},
      {"11010119900307663x", "11010119900307663X", true},
      {"110101199003076634", "110101199003076634", true},
      {"11010119900307663X", "11010119900307663Y", false},
      {"11010119900307663X", "110101199003076634", false},
      {"1101011990030766X3", "1101011990030766x3", false},
      {"A01X", "a01x", false},
      {"11010119900307663X", "11010119900307663X ", false},
      {"11010119900307663X", "1101011990030766X", false},
      {"11010119900307663X", "", false},
  };
  for (const auto& [onRoster, typed, match] : cases) {
    EXPECT_EQ(IdCardNumbersMatch(onRoster, typed), match) << onRoster << " vs " << typed;
  }
}

TEST(MatchRequest, JudgesEverySplitAgainstTheRoster) {
  const Roster roster = Roster::Parse(
      "2024001,11010119900307663X,张伟\n"
      "2024002,110101199003074477,李娜\n"
      "7fg,1fg2,王芳\n"
      "9,fgfg,刘洋\n");
  struct Case {
    std::string label;
    std::string request;
    MatchKind kind;
    std::string_view candidateNumber;
  };
  const Case cases[] = {
      {"exact", "2024001fg11010119900307663X", MatchKind::Matched, "2024001"},
      {"lower-case final x", "2024001fg11010119900307663x", MatchKind::Matched, "2024001"},
      {"wrong ID-card number", "2024001fg110101199003076634", MatchKind::WrongIdCardNumber, "2024001"},
      {"another candidate's ID-card number", "2024001fg110101199003074477", MatchKind::WrongIdCardNumber,
       "2024001"},
      {"unknown candidate", "2024999fg110101199003074477", MatchKind::UnknownCandidate, "2024999"},
      {"not trimmed", " 2024002fg110101199003074477", MatchKind::UnknownCandidate, " 2024002"},
      {"trailing line end is part of the ID", "2024002fg110101199003074477\r\n", MatchKind::WrongIdCardNumber,
       "2024002"},
      {"separator inside the candidate number", "7fgfg1fg2", MatchKind::Matched, "7fg"},
      {"separator inside the ID-card number", "9fgfgfg", MatchKind::Matched, "9"},
      {"known number found on a later split", "7fgfgX", MatchKind::WrongIdCardNumber, "7fg"},
      {"upper-case separator", "2024001FG11010119900307663X", MatchKind::Malformed, ""},
      {"no separator", "\x01\x02\xFF junk", MatchKind::Malformed, ""},
      {"empty", "", MatchKind::Malformed, ""},
      {"over 1 KiB", "2024001fg11010119900307663X" + std::string(kMaxRequestBytes, 'X'), MatchKind::Malformed,
       ""},
  };
  for (const auto& [label, request, kind, candidateNumber] : cases) {
    const MatchResult result = MatchRequest(roster, request);
    EXPECT_EQ(result.kind, kind) << label;
    EXPECT_EQ(result.candidateNumber, candidateNumber) << label;
    const bool candidateExpected = kind == MatchKind::Matched || kind == MatchKind::WrongIdCardNumber;
    ASSERT_EQ(result.candidate != nullptr, candidateExpected) << label;
    if (candidateExpected) {
      EXPECT_EQ(result.candidate->candidateNumber, candidateNumber) << label;
    }
  }
}

TEST(MatchRequest, AcceptsARequestOfExactlyTheLimit) {
  const std::string idCard(kMaxRequestBytes - 3, '1');
  const Roster roster = Roster::Parse("A,\"" + idCard + "\",a\n");
  EXPECT_EQ(MatchRequest(roster, "Afg" + idCard).kind, MatchKind::Matched);
  EXPECT_EQ(MatchRequest(roster, "Afg" + idCard + "1").kind, MatchKind::Malformed);
}

}  // namespace
}  // namespace exam

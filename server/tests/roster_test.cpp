#include "roster.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace exam {
namespace {

using namespace std::string_view_literals;

struct RejectedRoster {
  std::string_view label;
  std::string_view bytes;
  int line;
  std::string_view reason;
};

TEST(RosterParse, EveryErrorNamesItsLineAndReason) {
  const RejectedRoster cases[] = {
      {"duplicate number", "2024001,110101,张伟\n2024001,220202,李娜\n", 2,
       "duplicate candidate number 2024001 (first on line 1)"},
      {"too few fields", "考号,身份证号,姓名\n2024001,110101\n", 2,
       "expected 3 fields (candidate number, ID-card number, name), found 2"},
      {"too many fields", "h,i,n\n2024001,1,a\n2024002,2,b,room 3\n", 3, "found 4"},
      {"empty candidate number", "h,i,n\n,110101,张伟\n", 2, "empty candidate number"},
      {"empty ID-card number", "h,i,n\n2024001,,张伟\n", 2, "empty ID-card number"},
      {"full-width digits in UTF-8", "h,i,n\n２０２４,110101,张伟\n", 2,
       "candidate number contains a non-ASCII character"},
      {"full-width digits in GBK", "h,i,n\n1,\xA3\xB1\xA3\xB2,\xD5\xC5\n", 2,
       "ID-card number contains a non-ASCII character"},
      {"space inside a number", "h,i,n\n2024001,110101 ,张伟\n", 2,
       "ID-card number contains a space or control character"},
      {"unclosed quote reports where it opened", "h,i,n\n2024001,1,a\n2024002,2,\"b\n2024003,3,c\n", 3,
       "quoted field is not closed"},
      {"stray quote", "h,i,n\n20\"24,1,a\n", 2, "stray quote inside an unquoted field"},
      {"text after closing quote", "h,i,n\n\"2024\"1,1,a\n", 2, "unexpected character after a closing quote"},
      {"quoted line break in the header moves later lines", "\"candidate\nnumber\",id,name\n2024001,1\n", 3,
       "found 2"},
      {"line break inside a name", "2024001,1,\"张\n伟\"\n", 1, "name contains a line break or control character"},
      {"invalid GBK name", "2024001,1,\xD5\xC5\n2024002,2,\xD5\n", 2, "name is neither UTF-8 nor valid GBK"},
      {"bare CR line ends", "h,i,n\r2024001,1,a\r2024001,2,b\r", 3, "duplicate candidate number 2024001"},
      {"CRLF line ends", "h,i,n\r\n2024001,1,a\r\n\r\n2024002\r\n", 4, "found 1"},
      {"UTF-16 export", "\xFF\xFE" "2\x00" "0\x00", 1, "file is UTF-16"},
      {"BOM on a GBK file", "\xEF\xBB\xBF" "2024001,1,\xD5\xC5\n", 0, "starts with a UTF-8 BOM but is not valid UTF-8"},
      {"header only", "准考证号,身份证号,姓名\n", 0, "roster has no candidates"},
      {"empty file", "", 0, "roster has no candidates"},
  };
  for (const auto& [label, bytes, line, reason] : cases) {
    try {
      Roster::Parse(bytes);
      ADD_FAILURE() << label << ": accepted";
    } catch (const RosterError& error) {
      EXPECT_EQ(error.Line(), line) << label;
      EXPECT_NE(error.Reason().find(reason), std::string::npos) << label << ": " << error.Reason();
    }
  }
}

struct ExpectedCandidate {
  std::string number;
  std::string idCard;
  std::string name;
  int line;

  bool operator==(const ExpectedCandidate&) const = default;
};

struct AcceptedRoster {
  std::string_view label;
  std::string_view bytes;
  RosterEncoding encoding;
  std::vector<ExpectedCandidate> candidates;
};

TEST(RosterParse, ReadsWhatSpreadsheetsExport) {
  const AcceptedRoster cases[] = {
      {"UTF-8 with Chinese header and CRLF",
       "准考证号,身份证号,姓名\r\n2024001,11010119900307663X,张伟\r\n2024002,110101199003074477,李娜\r\n",
       RosterEncoding::Utf8,
       {{"2024001", "11010119900307663X", "张伟", 2}, {"2024002", "110101199003074477", "李娜", 3}}},
      {"UTF-8 BOM is not part of the first number", "\xEF\xBB\xBF" "2024001,1,张伟\n", RosterEncoding::Utf8WithBom,
       {{"2024001", "1", "张伟", 1}}},
      {"GBK names become UTF-8", "\xBF\xBC\xBA\xC5,ID,\xD0\xD5\xC3\xFB\n2024001,1,\xD5\xC5\xCE\xB0\n",
       RosterEncoding::Gbk, {{"2024001", "1", "张伟", 2}}},
      {"no header: the first row is a candidate", "2024001,1,a\n", RosterEncoding::Utf8, {{"2024001", "1", "a", 1}}},
      {"quoted commas and quotes", "\"2024001\",\"110,101\",\"Zhang, \"\"Wei\"\"\"\n", RosterEncoding::Utf8,
       {{"2024001", "110,101", "Zhang, \"Wei\"", 1}}},
      {"padding cells, blank rows and no final line end", "h,i,n,,\n\n,,,\n2024001,1,a,,\n,,\n2024002,2,",
       RosterEncoding::Utf8, {{"2024001", "1", "a", 4}, {"2024002", "2", "", 6}}},
      {"numbers keep their case and bytes", "a-01,11010119900307663x,b\n", RosterEncoding::Utf8,
       {{"a-01", "11010119900307663x", "b", 1}}},
  };
  for (const auto& [label, bytes, encoding, expected] : cases) {
    const Roster roster = Roster::Parse(bytes);
    EXPECT_EQ(roster.Encoding(), encoding) << label;
    std::vector<ExpectedCandidate> actual;
    for (const Candidate& candidate : roster.Candidates()) {
      actual.push_back({candidate.candidateNumber, candidate.idCardNumber, candidate.name, candidate.line});
      EXPECT_EQ(roster.Find(candidate.candidateNumber), &candidate) << label;
    }
    EXPECT_EQ(actual, expected) << label;
  }
}

TEST(RosterParse, FindsOnlyExactNumbers) {
  const Roster roster = Roster::Parse("A01,1,a\n");
  EXPECT_NE(roster.Find("A01"), nullptr);
  for (const std::string_view near : {"a01"sv, "A01 "sv, "A0"sv, ""sv}) {
    EXPECT_EQ(roster.Find(near), nullptr) << near;
  }
}

class RosterFile : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = std::filesystem::temp_directory_path() /
                ("exam-roster-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(directory);
  }
  void TearDown() override { std::filesystem::remove_all(directory); }

  std::filesystem::path Write(std::string_view name, std::string_view bytes) {
    const auto path = directory / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  std::filesystem::path directory;
};

TEST_F(RosterFile, ErrorsStartWithFileNameAndLine) {
  const auto path = Write("roster.csv", "h,i,n\n2024001,1,a\n2024001,2,b\n");
  try {
    Roster::Load(path);
    FAIL() << "accepted";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()),
              path.string() + ":3: duplicate candidate number 2024001 (first on line 2)");
  }
}

TEST_F(RosterFile, MissingFileAndWholeFileErrorsStillNameTheFile) {
  EXPECT_THROW(
      {
        try {
          Roster::Load(directory / "absent.csv");
        } catch (const std::runtime_error& error) {
          EXPECT_EQ(std::string(error.what()), (directory / "absent.csv").string() + ": cannot open roster file");
          throw;
        }
      },
      std::runtime_error);
  const auto empty = Write("empty.csv", "");
  EXPECT_THROW(
      {
        try {
          Roster::Load(empty);
        } catch (const std::runtime_error& error) {
          EXPECT_EQ(std::string(error.what()), empty.string() + ": roster has no candidates");
          throw;
        }
      },
      std::runtime_error);
}

TEST_F(RosterFile, ShippedSampleLoads) {
  const Roster roster = Roster::Load(EXAM_SERVER_SAMPLE_ROSTER);
  EXPECT_GE(roster.Candidates().size(), 10u);
  bool someIdEndsInX = false;
  for (const Candidate& candidate : roster.Candidates()) {
    EXPECT_EQ(candidate.idCardNumber.size(), 18u) << candidate.candidateNumber;
    someIdEndsInX = someIdEndsInX || candidate.idCardNumber.back() == 'X';
  }
  EXPECT_TRUE(someIdEndsInX);
}

}  // namespace
}  // namespace exam

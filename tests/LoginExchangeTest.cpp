#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <string_view>

#include "app/Memory.h"
#include "link/LoginExchange.h"

namespace {

using namespace std::string_view_literals;

struct RequestCase {
  const char* what;
  const char* candidateNumber;
  const char* idCardNumber;
  std::string_view wire;
};

const RequestCase kRequestCases[] = {
    {"digits", "123", "456", "\x31\x32\x33\x66\x67\x34\x35\x36"sv},
    {"both empty", "", "", "\x66\x67"sv},
    {"both absent", nullptr, nullptr, "fg"sv},
    {"only the ID card", "", "456", "fg456"sv},
    {"spaces kept", " 12 ", " 34 ", " 12 fg 34 "sv},
    {"lower-case x kept", "2024001", "11010119900101123x", "2024001fg11010119900101123x"sv},
    {"GBK kept", "考生", "身份", "\xBF\xBC\xC9\xFA" "fg" "\xC9\xED\xB7\xDD"sv},
    {"separator inside the number", "1fg2", "3", "1fg2fg3"sv},
};

void PrintTo(const RequestCase& c, std::ostream* out) { *out << c.what; }

class LoginRequestTest : public testing::TestWithParam<RequestCase> {};

TEST_P(LoginRequestTest, IsCandidateThenFgThenIdCard) {
  const RequestCase& c = GetParam();
  char* request = BuildLoginRequest(c.candidateNumber, c.idCardNumber);
  ASSERT_NE(request, nullptr);
  EXPECT_FALSE(IsConstantData(request));
  EXPECT_EQ(TextLength(request), c.wire.size());
  EXPECT_EQ(std::string(request), c.wire);
  FreeMemory(request);
}

INSTANTIATE_TEST_SUITE_P(Cases, LoginRequestTest, testing::ValuesIn(kRequestCases),
                         [](const testing::TestParamInfo<RequestCase>& info) {
                           std::string name;
                           for (char ch : std::string_view(info.param.what)) {
                             if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
                           }
                           return name;
                         });

TEST(LoginReply, OnlyAOneBeforeAnyZeroIsAccepted) {
  struct Case {
    std::string_view bytes;
    bool accepted;
  };
  const Case cases[] = {
      {"1"sv, true},
      {"1\x00"sv, true},
      {"1\x00\x30\xFF junk"sv, true},
      {"1\r\n"sv, false},
      {"11"sv, false},
      {"0"sv, false},
      {" 1"sv, false},
      {"\x00" "1"sv, false},
      {"\xA3\xB1"sv, false},  // a full-width one is not a one
      {""sv, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
    ByteBlock* block = NewByteBlock(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()));
    EXPECT_EQ(JudgeLoginReply(block), c.accepted);
    // The block still belongs to the caller and is intact.
    EXPECT_EQ(block->count, c.bytes.size());
    FreeMemory(block);
  }
}

TEST(LoginReply, NoBlockIsARejection) {
  EXPECT_FALSE(JudgeLoginReply(nullptr));
  EXPECT_FALSE(JudgeLoginReply(&kEmptyByteBlock));
}

}  // namespace

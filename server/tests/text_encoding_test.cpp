#include "text_encoding.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace exam {
namespace {

using namespace std::string_view_literals;

struct Utf8Case {
  std::string_view label;
  std::string_view bytes;
  bool valid;
};

TEST(TextEncoding, RecognisesUtf8ByTheStrictRules) {
  const Utf8Case cases[] = {
      {"ascii", "2024001,张伟", true},
      {"four-byte sequence", "\xF0\x9F\x98\x80", true},
      {"highest code point", "\xF4\x8F\xBF\xBF", true},
      {"GBK name", "\xD5\xC5\xCE\xB0", false},
      {"truncated sequence", "\xE5\xBC", false},
      {"overlong slash", "\xC0\xAF", false},
      {"overlong three-byte", "\xE0\x80\xAF", false},
      {"surrogate half", "\xED\xA0\x80", false},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false},
      {"lone continuation", "\x80", false},
  };
  for (const auto& [label, bytes, valid] : cases) {
    EXPECT_EQ(IsValidUtf8(bytes), valid) << label;
  }
}

struct GbkCase {
  std::string_view label;
  std::string_view gbk;
  std::optional<std::string> utf8;
};

TEST(TextEncoding, ConvertsGbkToUtf8AndRefusesBrokenBytes) {
  const GbkCase cases[] = {
      {"two names", "\xD5\xC5\xCE\xB0 \xC0\xEE\xC4\xC8", "张伟 李娜"},
      {"ascii passes through", "Wang Fang", "Wang Fang"},
      {"empty", "", ""},
      {"lead byte without trail", "\xD5\xC5\xCE", std::nullopt},
      {"invalid trail byte", "\xD5\x20", std::nullopt},
  };
  for (const auto& [label, gbk, utf8] : cases) {
    EXPECT_EQ(GbkToUtf8(gbk), utf8) << label;
  }
}

TEST(TextEncoding, EscapingKeepsLogLinesSingleAndReadable) {
  EXPECT_EQ(EscapeBytes("20\r\n24\x00\xD5\\"sv), "20\\x0D\\x0A24\\x00\\xD5\\\\");
  EXPECT_EQ(EscapeBytes("2024001"), "2024001");
  EXPECT_EQ(EscapeControlCharacters("张伟\n\x01"), "张伟\\x0A\\x01");
  EXPECT_EQ(EscapeControlCharacters("bad \xD5 byte"), "bad \\xD5 byte");
}

}  // namespace
}  // namespace exam

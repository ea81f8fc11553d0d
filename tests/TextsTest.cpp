#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "app/Memory.h"
#include "link/Texts.h"

namespace {

using namespace std::string_view_literals;

// nullopt for the absent text, so "absent" and "empty" stay distinguishable.
std::optional<std::string> Take(char* text) {
  if (!text) return std::nullopt;
  std::string bytes(text);
  FreeMemory(text);
  return bytes;
}

ByteBlock* BlockOf(std::string_view bytes) {
  return NewByteBlock(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

TEST(ByteBlock, HoldsAnyBytesRightAfterItsCount) {
  constexpr auto bytes = "\x00\x31\xFF\x00\x80"sv;
  ByteBlock* block = BlockOf(bytes);
  EXPECT_EQ(block->count, bytes.size());
  EXPECT_EQ(BlockBytes(block), reinterpret_cast<const std::uint8_t*>(block) + sizeof(std::uint32_t));
  EXPECT_EQ(std::memcmp(BlockBytes(block), bytes.data(), bytes.size()), 0);
  EXPECT_FALSE(IsConstantData(block));
  FreeMemory(block);

  ByteBlock* zeroed = NewByteBlock(nullptr, 3);
  EXPECT_EQ(zeroed->count, 3u);
  EXPECT_EQ(std::memcmp(BlockBytes(zeroed), "\0\0\0", 3), 0);
  FreeMemory(zeroed);
}

TEST(ByteBlock, EmptyBlockIsConstantAndStandsInForNull) {
  EXPECT_EQ(kEmptyByteBlock.count, 0u);
  EXPECT_TRUE(IsConstantData(&kEmptyByteBlock));
  EXPECT_EQ(BlockBytes(static_cast<const ByteBlock*>(nullptr)), BlockBytes(&kEmptyByteBlock));
  // Must be ignored rather than handed to the heap.
  FreeMemory(&kEmptyByteBlock);
  EXPECT_EQ(kEmptyByteBlock.count, 0u);
}

TEST(TextLength, CountsBytesBeforeTheTerminator) {
  EXPECT_EQ(TextLength(nullptr), 0u);
  EXPECT_EQ(TextLength(""), 0u);
  EXPECT_EQ(TextLength("19730"), 5u);
  EXPECT_EQ(TextLength("考生"), 4u);  // two GBK characters, two bytes each
}

TEST(CompareText, OrdersBytesAsUnsignedAndTreatsAbsentAsEmpty) {
  struct Case {
    const char* a;
    const char* b;
    std::int32_t expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, 0},
      {nullptr, "", 0},
      {"", nullptr, 0},
      {nullptr, "1", -1},
      {"1", "1", 0},
      {"1", "10", -1},
      {"abc", "abd", -1},
      {"b", "abc", 1},
      {"a", "A", 1},
      {"\xB0", "\x31", 1},
      {"\x7F", "\x80", -1},
      {"\xFF", "\xFE\xFF", 1},
      {"考生", "考生", 0},
      {"考", "考生", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "a=" << (c.a ? c.a : "(absent)")
                                    << " b=" << (c.b ? c.b : "(absent)"));
    EXPECT_EQ(CompareText(c.a, c.b), c.expected);
    EXPECT_EQ(CompareText(c.b, c.a), -c.expected);
  }
}

TEST(BytesToText, TakesTheBytesBeforeTheFirstZero) {
  struct Case {
    std::string_view bytes;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {""sv, std::nullopt},
      {"\x00"sv, std::nullopt},
      {"\x00\x31"sv, std::nullopt},
      {"1"sv, "1"},
      {"1\x00\x32\x33"sv, "1"},
      {"12\x00"sv, "12"},
      {"\xBF\xBC\xC9\xFA\r\n"sv, "\xBF\xBC\xC9\xFA\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "count=" << c.bytes.size());
    ByteBlock* block = BlockOf(c.bytes);
    EXPECT_EQ(Take(BytesToText(block)), c.expected);
    FreeMemory(block);
  }
  EXPECT_EQ(Take(BytesToText(nullptr)), std::nullopt);
  EXPECT_EQ(Take(BytesToText(&kEmptyByteBlock)), std::nullopt);
}

TEST(BytesToText, TerminatesABlockWithoutZeroBytes) {
  // Filling a larger allocation first makes a missing terminator show up.
  auto* dirty = static_cast<char*>(AllocateMemory(64));
  std::memset(dirty, 'x', 64);
  FreeMemory(dirty);
  ByteBlock* block = BlockOf("abc"sv);
  char* text = BytesToText(block);
  ASSERT_NE(text, nullptr);
  EXPECT_NE(static_cast<const void*>(text), static_cast<const void*>(BlockBytes(block)));
  EXPECT_EQ(std::memcmp(text, "abc", 4), 0);
  FreeMemory(text);
  FreeMemory(block);
}

TEST(ConcatTexts, JoinsInOrderIntoOneFreshText) {
  struct Case {
    std::initializer_list<const char*> parts;
    std::string expected;
  };
  const Case cases[] = {
      {{"a"}, "a"},
      {{"12", "fg", "34"}, "12fg34"},
      {{nullptr, "fg", nullptr}, "fg"},
      {{"", nullptr, ""}, ""},
      {{nullptr}, ""},
      {{"考生", " ", "\xA3\xB1"}, "考生 \xA3\xB1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    char* joined = ConcatTexts(c.parts);
    ASSERT_NE(joined, nullptr);
    EXPECT_FALSE(IsConstantData(joined));
    EXPECT_EQ(Take(joined), c.expected);
  }
}

TEST(ConcatTexts, VariadicFormCopiesEvenASingleLiteral) {
  const char* literal = "19730";
  char* copy = ConcatTexts(literal);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, literal);
  EXPECT_FALSE(IsConstantData(copy));
  EXPECT_EQ(Take(copy), "19730");

  char* empty = ConcatTexts("", nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], '\0');
  FreeMemory(empty);

  std::string owned = "ab";
  EXPECT_EQ(Take(ConcatTexts(owned.c_str(), "\xA1\xA1", "c")), "ab\xA1\xA1" "c");
}

}  // namespace

#include <gtest/gtest.h>

#include "app/Memory.h"

namespace {

constexpr char kLiteral[] = "考生登录";

TEST(Memory, FreshBlocksAreWritableAndReleased) {
  auto* bytes = static_cast<unsigned char*>(AllocateMemory(64));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 64; ++i) bytes[i] = static_cast<unsigned char>(i);
  EXPECT_FALSE(IsConstantData(bytes));
  FreeMemory(bytes);
}

TEST(Memory, ConstantDataIsRecognisedAndIgnored) {
  EXPECT_TRUE(IsConstantData(kLiteral));
  EXPECT_TRUE(IsConstantData("fg"));
  int onTheStack = 0;
  EXPECT_FALSE(IsConstantData(&onTheStack));
  static int writableGlobal = 0;
  EXPECT_FALSE(IsConstantData(&writableGlobal));
  // Releasing a literal or null must leave the program running.
  FreeMemory(kLiteral);
  FreeMemory(nullptr);
}

}  // namespace

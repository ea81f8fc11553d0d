// Bounded waiting for conditions that another process makes true.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string_view>

namespace support {

// Polls `condition` every pollMs until it holds or timeoutMs have passed; the
// failure names `what`, so ASSERT_TRUE(WaitUntil(...)) explains itself.
::testing::AssertionResult WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs,
                                     std::string_view what, DWORD pollMs = 15);

}  // namespace support

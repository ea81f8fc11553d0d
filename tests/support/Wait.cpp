#include "support/Wait.h"

namespace support {

::testing::AssertionResult WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs,
                                     std::string_view what, DWORD pollMs) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (condition()) return ::testing::AssertionSuccess();
    if (GetTickCount64() - start >= timeoutMs) break;
    Sleep(pollMs);
  }
  // One last look: the condition may have become true during the final sleep.
  if (condition()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "timed out after " << timeoutMs << " ms waiting for " << what;
}

}  // namespace support

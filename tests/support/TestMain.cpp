// The main of test programs that re-run themselves as children: a child runs
// its mode and never reaches GoogleTest.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/ChildProcess.h"

int main(int argc, char** argv) {
  // A crash must end the process, not wait on a dialog nobody closes.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  if (auto code = support::RunChildModeIfRequested(argc, argv)) return *code;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

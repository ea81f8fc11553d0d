// Start-up, the main event loop and shutdown.
#include "app/Shell.h"

#include <ole2.h>

#include <algorithm>

ShellState& Shell() {
  static ShellState state;
  return state;
}

void RegisterExitRoutine(ExitRoutine routine) {
  auto& routines = Shell().exitRoutines;
  if (std::find(routines.begin(), routines.end(), routine) == routines.end()) {
    routines.push_back(routine);
  }
}

void ShutDownShell(std::int32_t /*exitCode*/) {
  ShellState& shell = Shell();
  ++shell.eventHoldCount;
  shell.exiting = true;

  // Taken out of the state first, so a second shutdown (the platform's own
  // clean-up at process end) finds nothing left to call.
  std::vector<ExitRoutine> routines;
  routines.swap(shell.exitRoutines);
  for (ExitRoutine routine : routines) routine();

  if (shell.hiddenOwner && IsWindow(shell.hiddenOwner)) DestroyWindow(shell.hiddenOwner);
  shell.hiddenOwner = nullptr;
  if (shell.oleInitialized) {
    OleUninitialize();
    shell.oleInitialized = false;
  }
}

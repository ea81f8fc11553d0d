// The spine of the process: start-up, the main event loop and shutdown, and
// the process-wide state they share with the window layer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <vector>

#include "ui/Description.h"

using ExitRoutine = void (*)();

struct ShellState {
  HANDLE heap = nullptr;
  bool oleInitialized = false;
  char programFolder[MAX_PATH] = {};
  char programFileName[MAX_PATH] = {};
  HWND hiddenOwner = nullptr;
  DWORD guiThreadId = 0;
  std::vector<ExitRoutine> exitRoutines;
  bool mainLoopStarted = false;
  bool exiting = false;

  // Owned by the window layer, which also keeps the table of windows: while
  // eventHoldCount is above 0 no handler runs; modalWindow is the window whose
  // nested loop is innermost.
  std::int32_t eventHoldCount = 0;
  std::uint32_t modalWindow = 0;
};

ShellState& Shell();

// The program's entry, called once on the GUI thread; always returns 0.
std::int32_t RunProgram();

// Prepares the shell with the program's own windows, or with another table of
// windows (the window layer's tests use their own).
void InitializeShell();
void InitializeShell(std::span<const WindowDescription* const> windows);
void RegisterExitRoutine(ExitRoutine routine);
void LoadStartupWindow(std::uint32_t windowNumber);
void RunEventLoop();
void ShutDownShell(std::int32_t exitCode);

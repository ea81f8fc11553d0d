// What the measuring program sees of another process, using only calls that
// send the watched process no message, so that watching does not make it work.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// Milliseconds on the performance counter.
double NowMs();

struct Started {
  HANDLE process = nullptr;
  DWORD id = 0;
  double startMs = 0;  // NowMs() just before CreateProcess
  std::string error;
};
Started StartProgram(const std::string& path, const std::string& arguments);
// Asks the program to end (WM_CLOSE to each of its top-level windows of the
// class), waits up to timeoutMs, ends it otherwise. The exit code, or nothing
// when it had to be ended.
std::optional<DWORD> EndProgram(Started& program, const char* className, DWORD timeoutMs);

std::vector<HWND> TopLevelWindows(DWORD processId);
// A top-level window of the process with this class; visibleOnly skips hidden ones.
HWND FindTopLevel(DWORD processId, const char* className, bool visibleOnly, HWND except = nullptr);
bool HasChildOfClass(HWND window, const char* className);
HWND FindChildOfClass(HWND window, const char* className);
std::size_t VisibleTopLevelCount(DWORD processId);

// Visible, nothing left to paint in it or in any visible descendant, and the
// screen shows `expected` at `point` (client coordinates of `window`).
bool IsPainted(HWND window, POINT point, COLORREF expected);

// Kernel plus user time of another process, in ms. Wine answers
// GetProcessTimes for another process with the caller's own times, so this
// reads the system's process list, which carries each process's real times.
std::optional<double> ProcessCpuMs(DWORD processId);

struct Memory {
  double peakWorkingSet = 0;  // bytes
  double privateBytes = 0;    // bytes
  bool privateFromPagefile = false;
};
// Wine leaves PrivateUsage 0 and reports resident private memory as
// PagefileUsage; that stands in when PrivateUsage is 0.
std::optional<Memory> ProcessMemory(HANDLE process);

// Waits, a few milliseconds at a time, until `condition` holds or timeoutMs
// passed or the process ended. Returns the NowMs() at which it held.
template <typename Condition>
std::optional<double> PollUntil(HANDLE process, DWORD timeoutMs, DWORD periodMs, Condition condition) {
  const double deadline = NowMs() + timeoutMs;
  for (;;) {
    if (condition()) return NowMs();
    if (NowMs() > deadline) return std::nullopt;
    // Sleeps between looks, and wakes at once if the process ends.
    if (WaitForSingleObject(process, periodMs) == WAIT_OBJECT_0) {
      return condition() ? std::optional<double>(NowMs()) : std::nullopt;
    }
  }
}

}  // namespace bench

// FatalError holds every event from the moment it starts, so no handler can
// raise a second error while the box is shown, and it empties the exit
// routines before shutting down, so none of them runs after a fatal error.
#include "app/FatalError.h"

#include <windows.h>

#include <cstdio>

#include "app/Shell.h"

void ComposeFatalErrorText(const char* message, std::int32_t code, char* buffer,
                           std::size_t bufferSize) {
  int used = std::snprintf(buffer, bufferSize, "运行时出错!\r\n\r\n");
  if (code != 0 && used >= 0 && static_cast<std::size_t>(used) < bufferSize) {
    used += std::snprintf(buffer + used, bufferSize - used, "错误代码：%ld\r\n\r\n",
                          static_cast<long>(code));
  }
  if (message && *message && used >= 0 && static_cast<std::size_t>(used) < bufferSize) {
    std::snprintf(buffer + used, bufferSize - used, "错误信息：%s\r\n", message);
  }
}

void FatalError(const char* message, std::int32_t code) {
  ShellState& shell = Shell();
  ++shell.eventHoldCount;

  // A fixed buffer: this may be reporting that the heap is exhausted.
  char text[2048];
  ComposeFatalErrorText(message, code, text, sizeof text);
  MessageBoxA(nullptr, text, "错误", MB_OK | MB_ICONERROR);

  shell.exitRoutines.clear();
  ShutDownShell(-1);
  ExitProcess(static_cast<UINT>(-1));
}

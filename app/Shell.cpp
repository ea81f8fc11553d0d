// Start-up, the main event loop and shutdown.
#include "app/Shell.h"

#include <ole2.h>

#include <algorithm>
#include <cstring>

#include "app/FatalError.h"
#include "screens/Screens.h"
#include "ui/Layer.h"

namespace {

constexpr char kHiddenOwnerClass[] = "ExamShellOwner";

void SplitProgramPath(ShellState& shell) {
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length >= sizeof path) length = sizeof path - 1;
  path[length] = '\0';
  char* lastBackslash = std::strrchr(path, '\\');
  if (lastBackslash) {
    *lastBackslash = '\0';
    std::strcpy(shell.programFolder, path);
    std::strcpy(shell.programFileName, lastBackslash + 1);
  } else {
    shell.programFolder[0] = '\0';
    std::strcpy(shell.programFileName, path);
  }
}

// Top-level windows owned by this window have no taskbar button of their own.
HWND CreateHiddenOwner(HINSTANCE instance) {
  WNDCLASSEXA owner{};
  owner.cbSize = sizeof owner;
  owner.lpfnWndProc = DefWindowProcA;
  owner.hInstance = instance;
  owner.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  owner.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  owner.lpszClassName = kHiddenOwnerClass;
  RegisterClassExA(&owner);
  return CreateWindowExA(WS_EX_TOOLWINDOW, kHiddenOwnerClass, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                         instance, nullptr);
}

}  // namespace

ShellState& Shell() {
  static ShellState state;
  return state;
}

void InitializeShell() { InitializeShell(ProgramWindowTable()); }

void InitializeShell(std::span<const WindowDescription* const> windows) {
  ShellState& shell = Shell();
  HINSTANCE instance = GetModuleHandleA(nullptr);
  shell.heap = GetProcessHeap();
  if (!shell.oleInitialized) {
    OleInitialize(nullptr);
    shell.oleInitialized = true;
  }
  SplitProgramPath(shell);
  SetCurrentDirectoryA(shell.programFolder);
  if (!shell.hiddenOwner || !IsWindow(shell.hiddenOwner)) shell.hiddenOwner = CreateHiddenOwner(instance);
  shell.guiThreadId = GetCurrentThreadId();
  RegisterLayerClasses(instance);
  if (!LoadWindowTable(windows)) FatalError("载入窗口模板数据段出错!", 0);
}

void RegisterExitRoutine(ExitRoutine routine) {
  auto& routines = Shell().exitRoutines;
  if (std::find(routines.begin(), routines.end(), routine) == routines.end()) {
    routines.push_back(routine);
  }
}

void LoadStartupWindow(std::uint32_t windowNumber) {
  if (!FindWindowEntry(windowNumber) || !LoadWindow(windowNumber, kNoParent, false)) {
    FatalError("载入启动窗口失败", 0);
  }
}

void RunEventLoop() {
  ShellState& shell = Shell();
  shell.mainLoopStarted = true;
  // The last window may already be gone, closed by its own creation handler.
  if (!AnyWindowLoaded()) return;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) PumpOneMessage(message);
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

#include "Probe.h"

#include <psapi.h>

#include <cstring>

namespace bench {

double NowMs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / frequency;
}

Started StartProgram(const std::string& path, const std::string& arguments) {
  Started started;
  std::string commandLine = "\"" + path + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  started.startMs = NowMs();
  if (!CreateProcessA(path.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    started.error = "CreateProcess " + path + " failed, error " + std::to_string(GetLastError());
    return started;
  }
  CloseHandle(info.hThread);
  started.process = info.hProcess;
  started.id = info.dwProcessId;
  return started;
}

std::optional<DWORD> EndProgram(Started& program, const char* className, DWORD timeoutMs) {
  if (!program.process) return std::nullopt;
  for (HWND window : TopLevelWindows(program.id)) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, className) == 0) PostMessageA(window, WM_CLOSE, 0, 0);
  }
  std::optional<DWORD> code;
  if (WaitForSingleObject(program.process, timeoutMs) == WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    if (GetExitCodeProcess(program.process, &exitCode)) code = exitCode;
  } else {
    TerminateProcess(program.process, 0xDEAD);
    WaitForSingleObject(program.process, 5000);
  }
  CloseHandle(program.process);
  program.process = nullptr;
  return code;
}

namespace {

struct Search {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId) search->found.push_back(window);
  return TRUE;
}

struct ChildSearch {
  const char* className;
  HWND found;
};

BOOL CALLBACK FindChild(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<ChildSearch*>(parameter);
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  if (_stricmp(name, search->className) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CountDirty(HWND window, LPARAM parameter) {
  RECT update;
  if (IsWindowVisible(window) && GetUpdateRect(window, &update, FALSE)) {
    ++*reinterpret_cast<int*>(parameter);
  }
  return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD processId) {
  Search search{processId, {}};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindTopLevel(DWORD processId, const char* className, bool visibleOnly, HWND except) {
  // Searching by class in the system's own list costs far fewer requests than
  // enumerating every window, which matters when polling.
  HWND window = nullptr;
  while ((window = FindWindowExA(nullptr, window, className, nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != processId || window == except) continue;
    if (visibleOnly && !IsWindowVisible(window)) continue;
    return window;
  }
  return nullptr;
}

HWND FindChildOfClass(HWND window, const char* className) {
  ChildSearch search{className, nullptr};
  EnumChildWindows(window, FindChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool HasChildOfClass(HWND window, const char* className) {
  return FindChildOfClass(window, className) != nullptr;
}

std::size_t VisibleTopLevelCount(DWORD processId) {
  std::size_t count = 0;
  for (HWND window : TopLevelWindows(processId)) {
    if (IsWindowVisible(window)) ++count;
  }
  return count;
}

bool IsPainted(HWND window, POINT point, COLORREF expected) {
  if (!IsWindowVisible(window)) return false;
  int dirty = 0;
  RECT update;
  if (GetUpdateRect(window, &update, FALSE)) ++dirty;
  EnumChildWindows(window, CountDirty, reinterpret_cast<LPARAM>(&dirty));
  if (dirty) return false;
  // Painted into the window's surface is not yet on the screen: Wine copies
  // the surface to the display later, so the screen itself is read.
  ClientToScreen(window, &point);
  HDC screen = GetDC(nullptr);
  COLORREF shown = GetPixel(screen, point.x, point.y);
  ReleaseDC(nullptr, screen);
  return shown == expected;
}

namespace {

// The documented head of SYSTEM_PROCESS_INFORMATION, as far as it is used here.
struct ProcessEntry {
  ULONG nextEntryOffset;
  ULONG numberOfThreads;
  LARGE_INTEGER reserved[3];
  LARGE_INTEGER createTime;
  LARGE_INTEGER userTime;
  LARGE_INTEGER kernelTime;
  struct {
    USHORT length;
    USHORT maximumLength;
    PWSTR buffer;
  } imageName;
  LONG basePriority;
  HANDLE uniqueProcessId;
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kSystemProcessInformation = 5;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004L);

}  // namespace

std::optional<double> ProcessCpuMs(DWORD processId) {
  static const auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return std::nullopt;
  static std::vector<unsigned char> buffer(1 << 20);
  for (int attempt = 0; attempt < 4; ++attempt) {
    ULONG needed = 0;
    LONG status = query(kSystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch) {
      buffer.resize(buffer.size() * 2 > needed ? buffer.size() * 2 : needed + 65536);
      continue;
    }
    if (status != 0) return std::nullopt;
    std::size_t offset = 0;
    for (;;) {
      const auto* entry = reinterpret_cast<const ProcessEntry*>(buffer.data() + offset);
      if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(entry->uniqueProcessId)) == processId) {
        return static_cast<double>(entry->kernelTime.QuadPart + entry->userTime.QuadPart) / 1e4;
      }
      if (!entry->nextEntryOffset) return std::nullopt;
      offset += entry->nextEntryOffset;
    }
  }
  return std::nullopt;
}

std::optional<Memory> ProcessMemory(HANDLE process) {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
    return std::nullopt;
  }
  Memory memory;
  memory.peakWorkingSet = static_cast<double>(counters.PeakWorkingSetSize);
  if (counters.PrivateUsage) {
    memory.privateBytes = static_cast<double>(counters.PrivateUsage);
  } else {
    memory.privateBytes = static_cast<double>(counters.PagefileUsage);
    memory.privateFromPagefile = true;
  }
  if (memory.peakWorkingSet <= 0 || memory.privateBytes <= 0) return std::nullopt;
  return memory;
}

}  // namespace bench

#include "layer/LayerFixture.h"

#include <deque>
#include <map>

#include "app/Memory.h"
#include "app/Shell.h"

namespace layertest {

namespace {

constexpr char kDriverClass[] = "LayerTestDriver";
constexpr UINT kRunStep = WM_APP + 1;
constexpr UINT_PTR kWatchdogTimer = 1;

std::vector<const WindowDescription*> installed;
std::deque<std::function<void()>> postedSteps;
std::map<UINT_PTR, std::function<void()>> timedSteps;
UINT_PTR nextTimer = 100;
bool watchdogArmed = false;
bool watchdogFired = false;

BOOL CALLBACK EndMessageBox(HWND window, LPARAM) {
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  if (lstrcmpA(name, "#32770") == 0) {
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
  }
  return TRUE;
}

LRESULT CALLBACK DriverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunStep) {
    if (postedSteps.empty()) return 0;
    std::function<void()> step = std::move(postedSteps.front());
    postedSteps.pop_front();
    step();
    return 0;
  }
  if (message == WM_TIMER) {
    KillTimer(window, wParam);
    if (wParam == kWatchdogTimer) {
      if (!watchdogArmed) return 0;
      watchdogArmed = false;
      watchdogFired = true;
      ADD_FAILURE() << "watchdog: a loop did not end in time";
      EnumThreadWindows(GetCurrentThreadId(), EndMessageBox, 0);
      DestroyLoadedWindows();
      if (Shell().mainLoopStarted) PostQuitMessage(0);
      return 0;
    }
    auto found = timedSteps.find(wParam);
    if (found == timedSteps.end()) return 0;
    std::function<void()> step = std::move(found->second);
    timedSteps.erase(found);
    step();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND Driver() {
  static HWND driver = [] {
    WNDCLASSEXA cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = DriverProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = kDriverClass;
    RegisterClassExA(&cls);
    return CreateWindowExA(0, kDriverClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  }();
  return driver;
}

void SetShift(bool down) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_SHIFT] = keys[VK_LSHIFT] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

}  // namespace

void Post(std::function<void()> step) {
  postedSteps.push_back(std::move(step));
  PostMessageA(Driver(), kRunStep, 0, 0);
}

void After(DWORD delayMs, std::function<void()> step) {
  UINT_PTR id = nextTimer++;
  timedSteps[id] = std::move(step);
  SetTimer(Driver(), id, delayMs, nullptr);
}

void PumpPending(DWORD timeoutMs) {
  ULONGLONG start = GetTickCount64();
  MSG message;
  while (GetTickCount64() - start < timeoutMs) {
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) return;
    if (message.message == WM_QUIT) return;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) continue;
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    PumpOneMessage(message);
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  ULONGLONG start = GetTickCount64();
  for (;;) {
    PumpPending(200);
    if (done()) return true;
    if (GetTickCount64() - start >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void PressKey(HWND target, UINT key, bool shift) {
  if (shift) SetShift(true);
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC) & 0xFF) << 16;
  PostMessageA(target, WM_KEYDOWN, key, 1 | scan);
  PostMessageA(target, WM_KEYUP, key, 1 | scan | (LPARAM{1} << 30) | (LPARAM{1} << 31));
  PumpPending();
  if (shift) SetShift(false);
}

Watchdog::Watchdog(DWORD ms) {
  watchdogArmed = true;
  watchdogFired = false;
  SetTimer(Driver(), kWatchdogTimer, ms, nullptr);
}

Watchdog::~Watchdog() {
  watchdogArmed = false;
  KillTimer(Driver(), kWatchdogTimer);
}

bool Watchdog::Fired() const { return watchdogFired; }

void DestroyLoadedWindows() {
  for (const WindowDescription* design : installed) {
    WindowEntry* entry = FindWindowEntry(design->number);
    if (entry && IsLoaded(*entry)) DestroyWindow(entry->hwnd);
  }
}

std::string WindowTextOf(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

void LayerTest::SetUp() {
  Driver();
  Shell().mainLoopStarted = false;
  ASSERT_EQ(Shell().eventHoldCount, 0);
  ASSERT_EQ(Shell().modalWindow, 0u);
}

void LayerTest::TearDown() {
  DestroyLoadedWindows();
  EXPECT_FALSE(AnyWindowLoaded());
  // Whatever a failed test left behind must not reach the next one.
  postedSteps.clear();
  for (auto& [id, step] : timedSteps) KillTimer(Driver(), id);
  timedSteps.clear();
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
  SetShift(false);
  Shell().mainLoopStarted = false;
  EXPECT_EQ(Shell().eventHoldCount, 0);
  EXPECT_EQ(Shell().modalWindow, 0u);
  Shell().eventHoldCount = 0;
  Shell().modalWindow = 0;
}

void LayerTest::Install(std::span<const WindowDescription* const> table) {
  ASSERT_FALSE(AnyWindowLoaded());
  installed.assign(table.begin(), table.end());
  InitializeShell(table);
}

HWND LayerTest::WindowOf(WindowNumber window) {
  WindowEntry* entry = FindWindowEntry(window);
  return entry && IsLoaded(*entry) ? entry->hwnd : nullptr;
}

HWND LayerTest::ControlOf(WindowNumber window, ControlNumber control) {
  WindowEntry* entry = FindWindowEntry(window);
  if (!entry || !IsLoaded(*entry)) return nullptr;
  const auto& controls = entry->design->controls;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].number == control) return entry->controlWindows[i];
  }
  return nullptr;
}

bool LayerTest::Loaded(WindowNumber window) { return WindowOf(window) != nullptr; }

bool LayerTest::Close(WindowNumber window) {
  HWND hwnd = WindowOf(window);
  if (!hwnd) return false;
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
  return PumpUntil([&] { return !Loaded(window); });
}

void LayerTest::Load(WindowNumber window) {
  ASSERT_TRUE(LoadWindow(window, kNoParent, false)) << "window " << window;
}

bool LayerTest::ReadBool(WindowNumber window, ControlNumber control, PropertyNumber property) {
  return ReadProperty(window, control, property).boolean != 0;
}

std::string LayerTest::ReadText(WindowNumber window, ControlNumber control) {
  PropertyValue value = ReadProperty(window, control, kPropertyText);
  if (!value.text) return "(absent)";
  std::string text = value.text;
  FreeMemory(value.text);
  return text;
}

}  // namespace layertest

// Loading windows, their properties, their events and the fully modal loop.
//
// Order matters throughout: a window is created with events held, its
// creation handler runs while it is still hidden, and only then is it shown;
// a fully modal window disables the others after it is shown and before its
// nested loop starts; a closing window gives the others back their enabled
// state before it is destroyed, so one of them can take the activation.
#include "ui/Layer.h"

#include <string>

#include "app/FatalError.h"
#include "app/Memory.h"
#include "app/Shell.h"
#include "link/Client.h"
#include "ui/Keyboard.h"
#include "ui/LayerInternal.h"

namespace {

std::vector<WindowEntry>& Table() {
  static std::vector<WindowEntry> table;
  return table;
}

std::vector<ControlValues> InitialValues(const WindowDescription& design) {
  std::vector<ControlValues> values;
  for (const ControlDescription& control : design.controls) {
    values.push_back({control.visible, control.disabled, control.text ? control.text : ""});
  }
  return values;
}

HWND ControlWindow(const WindowEntry& entry, int index) {
  return index == 0 ? entry.hwnd : entry.controlWindows[index];
}

void ShowLoadedWindow(WindowEntry& entry) {
  switch (entry.design->settings.startState) {
    case StartState::Minimized:
      ShowWindow(entry.hwnd, SW_SHOWMINIMIZED);
      break;
    case StartState::Maximized: {
      ShowWindow(entry.hwnd, SW_SHOWMAXIMIZED);
      MONITORINFO monitor{};
      monitor.cbSize = sizeof monitor;
      if (GetMonitorInfoA(MonitorFromWindow(entry.hwnd, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        SetWindowPos(entry.hwnd, nullptr, work.left, work.top, work.right - work.left,
                     work.bottom - work.top, SWP_NOZORDER | SWP_NOACTIVATE);
      }
      break;
    }
    case StartState::Normal:
      ShowWindow(entry.hwnd, SW_SHOW);
      break;
  }
}

void DisableOtherWindows(WindowEntry& modal) {
  for (WindowEntry& other : Table()) {
    if (&other == &modal || !IsLoaded(other) || GetParent(other.hwnd) != nullptr) continue;
    modal.disabledWindows.push_back({other.hwnd, IsWindowEnabled(other.hwnd) != FALSE});
    EnableWindow(other.hwnd, FALSE);
  }
}

void RestoreDisabledWindows(WindowEntry& entry) {
  std::vector<DisabledWindow> windows;
  windows.swap(entry.disabledWindows);
  for (const DisabledWindow& window : windows) {
    if (IsWindow(window.window)) EnableWindow(window.window, window.wasEnabled);
  }
}

// The nested loop of a fully modal window. It blocks while the queue is empty
// and ends when the window's destruction has cleared modalWindow. A WM_QUIT is
// left in the queue, so the enclosing loop ends as well.
void RunModalLoop(WindowEntry& entry) {
  ShellState& shell = Shell();
  WindowNumber outer = shell.modalWindow;
  shell.modalWindow = entry.design->number;
  for (;;) {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
      if (shell.modalWindow == 0) break;
      WaitMessage();
      continue;
    }
    if (message.message == WM_QUIT) break;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) continue;
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    PumpOneMessage(message);
    if (shell.modalWindow == 0) break;
  }
  shell.modalWindow = outer;
}

void FinishFirstShow(WindowEntry& entry) {
  entry.firstShowPending = false;
  ShowLoadedWindow(entry);
  if (entry.fullyModal) RunModalLoop(entry);
}

WindowEntry& RequireWindow(WindowNumber window, const char* fatalMessage) {
  WindowEntry* entry = FindWindowEntry(window);
  if (!entry) FatalError(fatalMessage, 0);
  return *entry;
}

int RequireControl(const WindowEntry& entry, ControlNumber control) {
  int index = ControlIndex(entry, control);
  if (index < 0) FatalError("指定窗口或窗口组件不存在或尚未载入", 0);
  return index;
}

// Set while a failed load tears down what it made, which must not end the
// program even when it leaves no window loaded.
bool tearingDownFailedLoad = false;

}  // namespace

bool LoadWindowTable(std::span<const WindowDescription* const> windows) {
  std::vector<WindowEntry>& table = Table();
  if (AnyWindowLoaded()) return false;
  table.clear();
  for (const WindowDescription* design : windows) {
    if (!design || !IsValidDescription(*design)) {
      table.clear();
      return false;
    }
    WindowEntry entry;
    entry.design = design;
    entry.description = InitialValues(*design);
    table.push_back(std::move(entry));
  }
  return true;
}

WindowEntry* FindWindowEntry(WindowNumber window) {
  for (WindowEntry& entry : Table()) {
    if (entry.design->number == window) return &entry;
  }
  return nullptr;
}

bool IsLoaded(const WindowEntry& entry) { return entry.hwnd && IsWindow(entry.hwnd); }

bool AnyWindowLoaded() {
  for (const WindowEntry& entry : Table()) {
    if (IsLoaded(entry)) return true;
  }
  return false;
}

WindowEntry* EntryOfWindow(HWND topLevel) {
  if (!topLevel) return nullptr;
  for (WindowEntry& entry : Table()) {
    if (entry.hwnd == topLevel) return &entry;
  }
  return nullptr;
}

int ControlIndex(const WindowEntry& entry, ControlNumber control) {
  if (control == 0) return 0;
  const auto& controls = entry.design->controls;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].number == control) return static_cast<int>(i);
  }
  return -1;
}

bool LoadWindow(WindowNumber window, WindowNumber parent, bool fullyModal) {
  ShellState& shell = Shell();
  WindowEntry* parentEntry = nullptr;
  if (parent != kNoParent) {
    parentEntry = FindWindowEntry(parent);
    if (!parentEntry || !IsLoaded(*parentEntry)) return false;
  }
  WindowEntry* found = FindWindowEntry(window);
  if (!found) return false;
  WindowEntry& entry = *found;

  if (IsLoaded(entry)) {
    if (IsIconic(entry.hwnd)) {
      ShowWindow(entry.hwnd, SW_RESTORE);
    } else {
      SetActiveWindow(entry.hwnd);
    }
    return true;
  }

  // A fully modal window is never a child. Nothing of this layer creates
  // child windows of other windows yet, so a parent only has to be alive.
  if (!fullyModal && parentEntry && !IsWindow(parentEntry->hwnd)) return false;

  ++shell.eventHoldCount;
  entry.savedValues = entry.description;
  if (!CreateLoadedWindow(entry, fullyModal)) {
    if (entry.hwnd) {
      tearingDownFailedLoad = true;
      DestroyWindow(entry.hwnd);
      tearingDownFailedLoad = false;
    }
    entry.hwnd = nullptr;
    --shell.eventHoldCount;
    return false;
  }
  for (std::size_t i = 1; i < entry.controlWindows.size(); ++i) {
    HWND control = entry.controlWindows[i];
    if (!control || entry.design->controls[i].kind == ControlKind::Client) continue;
    ShowWindow(control, entry.description[i].visible ? SW_SHOWNA : SW_HIDE);
  }
  --shell.eventHoldCount;

  RaiseEvent(window, 0, kEventCreated);
  if (!IsLoaded(entry)) return true;

  bool visible = entry.description[0].visible;
  if (visible) ShowLoadedWindow(entry);
  if (IsLoaded(entry) && fullyModal) {
    entry.fullyModal = true;
    DisableOtherWindows(entry);
  }
  if (!IsLoaded(entry)) return true;
  entry.firstShowPending = true;
  if (visible) {
    entry.firstShowPending = false;
    if (entry.fullyModal) RunModalLoop(entry);
  }
  return true;
}

void OnWindowCloseRequested(WindowEntry& entry) {
  RaiseEvent(entry.design->number, 0, kEventCloseQuery);
  if (!IsLoaded(entry)) return;
  RestoreDisabledWindows(entry);
  DestroyWindow(entry.hwnd);
}

void OnWindowDestroying(WindowEntry& entry) {
  // Destroyed some other way than through a close request.
  RestoreDisabledWindows(entry);
  RaiseEvent(entry.design->number, 0, kEventDestroyed);
  // The connections end with the window.
  entry.clients.clear();
}

void OnWindowDestroyed(WindowEntry& entry) {
  ShellState& shell = Shell();
  entry.description = entry.savedValues;
  entry.hwnd = nullptr;
  entry.controlWindows.clear();
  entry.clients.clear();
  entry.fullyModal = false;
  entry.firstShowPending = false;
  entry.focusWhenDeactivated = nullptr;
  if (shell.modalWindow == entry.design->number) {
    shell.modalWindow = 0;
    // Wakes the nested loop should it be waiting for a message.
    PostMessageA(nullptr, WM_NULL, 0, 0);
  }
  if (!tearingDownFailedLoad && !AnyWindowLoaded() && shell.mainLoopStarted) PostQuitMessage(0);
}

bool RaiseEvent(WindowNumber window, ControlNumber control, EventNumber event) {
  if (Shell().eventHoldCount > 0) return false;
  WindowEntry* entry = FindWindowEntry(window);
  if (!entry) FatalError("未找到引发事件的窗口", 0);
  int index = ControlIndex(*entry, control);
  if (index < 0) FatalError("未找到引发事件的窗口组件", 0);
  const ControlDescription& target = entry->design->controls[index];
  if (target.kind == ControlKind::Label || target.kind == ControlKind::PicBox) {
    FatalError("引发事件的窗口组件无效", 0);
  }
  for (const EventBinding& binding : target.events) {
    if (binding.event != event) continue;
    if (!binding.handler) return false;
    binding.handler();
    return true;
  }
  return false;
}

void RaiseControlClick(WindowEntry& entry, int controlIndex) {
  if (controlIndex <= 0) return;
  RaiseEvent(entry.design->number, entry.design->controls[controlIndex].number, kEventClicked);
}

void OnChildCommand(WPARAM wParam, LPARAM lParam) {
  HWND child = reinterpret_cast<HWND>(lParam);
  if (!child) return;
  WindowEntry* entry = EntryOfWindow(GetAncestor(child, GA_ROOT));
  if (!entry) return;
  int index = LOWORD(wParam);
  if (index <= 0 || index >= static_cast<int>(entry->controlWindows.size()) ||
      entry->controlWindows[index] != child) {
    return;
  }
  const ControlDescription& control = entry->design->controls[index];
  WORD code = HIWORD(wParam);
  if (control.kind == ControlKind::Button && code == BN_CLICKED) {
    RaiseEvent(entry->design->number, control.number, kEventClicked);
  } else if (control.kind == ControlKind::EditBox && code == EN_SETFOCUS) {
    RaiseEvent(entry->design->number, control.number, kEventFocusGained);
  } else if (control.kind == ControlKind::EditBox && code == EN_KILLFOCUS) {
    RaiseEvent(entry->design->number, control.number, kEventFocusLost);
  }
}

PropertyValue ReadProperty(WindowNumber window, ControlNumber control, PropertyNumber property) {
  WindowEntry& entry = RequireWindow(window, "未载入欲访问窗口组件所在的窗口");
  int index = RequireControl(entry, control);
  bool loaded = IsLoaded(entry);
  HWND hwnd = loaded ? ControlWindow(entry, index) : nullptr;
  switch (property) {
    case kPropertyVisible:
      return BoolValue(loaded ? IsWindowVisible(hwnd) != FALSE : entry.description[index].visible);
    case kPropertyDisabled:
      return BoolValue(loaded ? !IsWindowEnabled(hwnd) : entry.description[index].disabled);
    default:
      break;
  }
  if (property < kPropertyText) return {};
  if (!loaded) FatalError("指定窗口尚未载入", 0);
  if (property != kPropertyText || !hwnd) return {};
  switch (entry.design->controls[index].kind) {
    case ControlKind::Window:
    case ControlKind::Label:
    case ControlKind::EditBox:
    case ControlKind::Button: {
      int length = GetWindowTextLengthA(hwnd);
      if (length <= 0) return TextValue(nullptr);
      auto* text = static_cast<char*>(AllocateMemory(static_cast<std::size_t>(length) + 1));
      int copied = GetWindowTextA(hwnd, text, length + 1);
      text[copied > 0 ? copied : 0] = '\0';
      if (copied <= 0) {
        FreeMemory(text);
        return TextValue(nullptr);
      }
      return TextValue(text);
    }
    default:
      return {};
  }
}

void WriteProperty(WindowNumber window, ControlNumber control, PropertyNumber property,
                   PropertyValue value) {
  WindowEntry& entry = RequireWindow(window, "未载入欲访问窗口组件所在的窗口");
  int index = RequireControl(entry, control);
  bool loaded = IsLoaded(entry);
  HWND hwnd = loaded ? ControlWindow(entry, index) : nullptr;
  bool flag = value.boolean != 0;
  switch (property) {
    case kPropertyVisible:
      entry.description[index].visible = flag;
      if (!loaded || entry.design->controls[index].kind == ControlKind::Client) return;
      if (!flag) {
        ShowWindow(hwnd, SW_HIDE);
      } else if (index == 0 && entry.firstShowPending) {
        FinishFirstShow(entry);
      } else {
        ShowWindow(hwnd, SW_SHOW);
      }
      return;
    case kPropertyDisabled:
      entry.description[index].disabled = flag;
      if (loaded) EnableWindow(hwnd, !flag);
      return;
    default:
      break;
  }
  if (property < kPropertyText) return;
  if (!loaded) FatalError("指定窗口尚未载入", 0);
  if (property != kPropertyText || !hwnd) return;
  const char* text = value.text ? value.text : "";
  switch (entry.design->controls[index].kind) {
    case ControlKind::Label:
      entry.description[index].text = text;
      SetWindowTextA(hwnd, text);
      InvalidateRect(hwnd, nullptr, FALSE);
      return;
    case ControlKind::Window:
    case ControlKind::Button:
      entry.description[index].text = text;
      SetWindowTextA(hwnd, text);
      return;
    case ControlKind::EditBox:
      SetWindowTextA(hwnd, text);
      return;
    default:
      return;
  }
}

UINT MessageBoxStyle(std::int32_t style) {
  UINT result = static_cast<UINT>(style);
  if (!(result & MB_SYSTEMMODAL)) result += MB_TASKMODAL;
  return result;
}

int MapMessageBoxResult(int result) {
  switch (result) {
    case IDOK: return 0;
    case IDCANCEL: return 1;
    case IDABORT: return 2;
    case IDRETRY: return 3;
    case IDIGNORE: return 4;
    case IDYES: return 5;
    case IDNO: return 6;
    default: return 0;
  }
}

int ShowMessageBox(const char* text, std::int32_t style, const char* title, HWND owner) {
  HWND active = GetActiveWindow();
  int result =
      MessageBoxA(owner, text ? text : "", title ? title : "信息：", MessageBoxStyle(style));
  // A task-modal box gives the windows it disabled back only once it has gone,
  // too late for the system to activate one of them: the window that was
  // active before would otherwise take no keys until it is clicked.
  if (!GetActiveWindow() && active && IsWindow(active) && IsWindowVisible(active) &&
      IsWindowEnabled(active)) {
    SetActiveWindow(active);
  }
  return MapMessageBoxResult(result);
}

Client& ClientControl(WindowNumber window, ControlNumber control) {
  WindowEntry& entry = RequireWindow(window, "未载入欲访问窗口组件所在的窗口");
  int index = RequireControl(entry, control);
  if (!IsLoaded(entry) || index >= static_cast<int>(entry.clients.size()) ||
      !entry.clients[index]) {
    FatalError("指定窗口或窗口组件不存在或尚未载入", 0);
  }
  return *entry.clients[index];
}

void PumpOneMessage(MSG& message) {
  if (ApplyKeyboard(message)) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

#include "ui/Keyboard.h"

#include <algorithm>
#include <vector>

#include "ui/Layer.h"
#include "ui/LayerInternal.h"

KeyAction DecideKeyAction(const KeyInput& input) {
  if (input.message < WM_KEYFIRST || input.message > WM_KEYLAST) return KeyAction::PassOn;
  if (!input.windowEnabled) return KeyAction::PassOn;
  if (input.focusWantsKey) return KeyAction::PassOn;
  // Only the key press itself acts; its release and characters go on as usual.
  if (input.message != WM_KEYDOWN) return KeyAction::PassOn;
  bool noModifier = !input.ctrl && !input.alt;
  switch (input.key) {
    case VK_TAB:
      if (!input.ctrl && !input.alt) {
        return input.shift ? KeyAction::FocusPrevious : KeyAction::FocusNext;
      }
      return KeyAction::PassOn;
    case VK_RETURN:
      if (!noModifier || input.shift) return KeyAction::PassOn;
      if (input.focusIsEnabledDefaultButton) return KeyAction::ClickFocused;
      if (input.enterMovesFocus) return KeyAction::FocusNext;
      if (input.hasEnabledDefaultButton) return KeyAction::ClickFirstDefault;
      return KeyAction::PassOn;
    case VK_ESCAPE:
      if (noModifier && !input.shift && input.escCloses) return KeyAction::CloseWindow;
      return KeyAction::PassOn;
    default:
      return KeyAction::PassOn;
  }
}

namespace {

std::vector<int> EligibleInTabOrder(std::span<const TabStop> stops) {
  std::vector<int> order;
  for (int i = 0; i < static_cast<int>(stops.size()); ++i) {
    if (stops[i].eligible) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return stops[a].tabOrder < stops[b].tabOrder; });
  return order;
}

}  // namespace

int FirstTabStop(std::span<const TabStop> stops) {
  std::vector<int> order = EligibleInTabOrder(stops);
  return order.empty() ? -1 : order.front();
}

int NextTabStop(std::span<const TabStop> stops, int current, bool forward) {
  std::vector<int> order = EligibleInTabOrder(stops);
  if (order.empty()) return -1;
  int size = static_cast<int>(order.size());
  if (current < 0 || current >= static_cast<int>(stops.size())) {
    return forward ? order.front() : order.back();
  }
  // The current control need not be eligible itself (a button that was just
  // disabled): the step is taken from its place in the tab order.
  int currentOrder = stops[current].tabOrder;
  if (forward) {
    for (int index : order) {
      if (stops[index].tabOrder > currentOrder) return index;
    }
    return order.front();
  }
  for (int i = size - 1; i >= 0; --i) {
    if (stops[order[i]].tabOrder < currentOrder) return order[i];
  }
  return order.back();
}

namespace {

std::vector<TabStop> CollectTabStops(const WindowEntry& entry) {
  const auto& controls = entry.design->controls;
  std::vector<TabStop> stops(controls.size());
  for (std::size_t i = 1; i < controls.size(); ++i) {
    HWND control = entry.controlWindows[i];
    stops[i].tabOrder = controls[i].tabOrder;
    stops[i].eligible = controls[i].tabStop && control && IsWindowVisible(control) &&
                        IsWindowEnabled(control);
  }
  return stops;
}

int ControlIndexOf(const WindowEntry& entry, HWND window) {
  if (!window) return -1;
  for (std::size_t i = 1; i < entry.controlWindows.size(); ++i) {
    if (entry.controlWindows[i] == window) return static_cast<int>(i);
  }
  return -1;
}

bool IsEnabledDefaultButton(const WindowEntry& entry, int index) {
  if (index <= 0) return false;
  const ControlDescription& control = entry.design->controls[index];
  HWND window = entry.controlWindows[index];
  return control.kind == ControlKind::Button && control.defaultButton && window &&
         IsWindowEnabled(window);
}

int FirstEnabledDefaultButton(const WindowEntry& entry) {
  for (std::size_t i = 1; i < entry.design->controls.size(); ++i) {
    if (IsEnabledDefaultButton(entry, static_cast<int>(i))) return static_cast<int>(i);
  }
  return -1;
}

bool FocusWantsKey(HWND focus, const MSG& message) {
  if (!focus) return false;
  MSG copy = message;
  LRESULT code = SendMessageA(focus, WM_GETDLGCODE, message.wParam, reinterpret_cast<LPARAM>(&copy));
  if (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return true;
  return message.wParam == VK_TAB && (code & DLGC_WANTTAB);
}

void MoveFocus(WindowEntry& entry, bool forward) {
  std::vector<TabStop> stops = CollectTabStops(entry);
  int next = NextTabStop(stops, ControlIndexOf(entry, GetFocus()), forward);
  if (next > 0) SetFocus(entry.controlWindows[next]);
}

}  // namespace

void RestoreFocus(WindowEntry& entry) {
  HWND saved = entry.focusWhenDeactivated;
  int index = ControlIndexOf(entry, saved);
  if (index > 0 && IsWindowVisible(saved) && IsWindowEnabled(saved)) {
    SetFocus(saved);
    return;
  }
  std::vector<TabStop> stops = CollectTabStops(entry);
  int first = FirstTabStop(stops);
  if (first > 0) {
    SetFocus(entry.controlWindows[first]);
  } else {
    SetFocus(entry.hwnd);
  }
}

bool ApplyKeyboard(const MSG& message) {
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST || !message.hwnd) return false;
  HWND root = GetAncestor(message.hwnd, GA_ROOT);
  WindowEntry* entry = EntryOfWindow(root);
  if (!entry) return false;

  HWND focus = GetFocus();
  int focusIndex = ControlIndexOf(*entry, focus);
  const WindowSettings& settings = entry->design->settings;
  KeyInput input{
      .message = message.message,
      .key = message.wParam,
      .ctrl = GetKeyState(VK_CONTROL) < 0,
      .shift = GetKeyState(VK_SHIFT) < 0,
      .alt = GetKeyState(VK_MENU) < 0,
      .windowEnabled = IsWindowEnabled(root) != FALSE,
      .focusWantsKey = false,
      .focusIsEnabledDefaultButton = IsEnabledDefaultButton(*entry, focusIndex),
      .hasEnabledDefaultButton = FirstEnabledDefaultButton(*entry) > 0,
      .enterMovesFocus = settings.enterMovesFocus,
      .escCloses = settings.escCloses,
  };
  if (input.windowEnabled && message.message == WM_KEYDOWN) {
    input.focusWantsKey = FocusWantsKey(focus, message);
  }

  switch (DecideKeyAction(input)) {
    case KeyAction::PassOn:
      return false;
    case KeyAction::FocusNext:
      MoveFocus(*entry, true);
      return true;
    case KeyAction::FocusPrevious:
      MoveFocus(*entry, false);
      return true;
    case KeyAction::ClickFocused:
      RaiseControlClick(*entry, focusIndex);
      return true;
    case KeyAction::ClickFirstDefault:
      RaiseControlClick(*entry, FirstEnabledDefaultButton(*entry));
      return true;
    case KeyAction::CloseWindow:
      SendMessageA(root, WM_CLOSE, 0, 0);
      return true;
  }
  return false;
}

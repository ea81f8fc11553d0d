#include "support/WindowProbe.h"

#include <algorithm>
#include <cstdio>

#include "support/ScreenCapture.h"
#include "support/Wait.h"

namespace support {

namespace {

constexpr UINT kTextTimeoutMs = 1000;

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM context) {
  auto* found = reinterpret_cast<std::pair<DWORD, std::vector<HWND>*>*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == found->first) found->second->push_back(hwnd);
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM context) {
  reinterpret_cast<std::vector<HWND>*>(context)->push_back(hwnd);
  return TRUE;
}

bool IsIconStatic(const WindowInfo& window) {
  return window.className == "Static" && (window.style & SS_TYPEMASK) == SS_ICON;
}

std::optional<WindowInfo> MessageBoxTextControl(HWND box) {
  // Prefer the id Windows gives the text; otherwise any text static.
  if (auto byId = FindChildById(box, 0xFFFF); byId && byId->className == "Static") return byId;
  return FindChildWindow(box, [](const WindowInfo& w) {
    return w.className == "Static" && !IsIconStatic(w) && !w.text.empty();
  });
}

}  // namespace

WindowInfo DescribeWindow(HWND hwnd) {
  WindowInfo info;
  info.hwnd = hwnd;
  info.threadId = GetWindowThreadProcessId(hwnd, &info.processId);
  char name[256] = {};
  GetClassNameA(hwnd, name, sizeof name);
  info.className = name;
  info.style = GetWindowLongA(hwnd, GWL_STYLE);
  info.exStyle = GetWindowLongA(hwnd, GWL_EXSTYLE);
  bool child = (info.style & WS_CHILD) != 0;
  info.controlId = child ? GetDlgCtrlID(hwnd) : 0;
  if (child) {
    info.text = WindowText(hwnd);
  } else {
    char title[1024] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    info.text = title;
  }
  info.visible = IsWindowVisible(hwnd) != FALSE;
  info.enabled = IsWindowEnabled(hwnd) != FALSE;
  GetWindowRect(hwnd, &info.rect);
  return info;
}

std::vector<WindowInfo> FindTopLevelWindows(DWORD processId) {
  std::vector<HWND> handles;
  std::pair<DWORD, std::vector<HWND>*> context{processId, &handles};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&context));
  std::vector<WindowInfo> windows;
  for (HWND hwnd : handles) windows.push_back(DescribeWindow(hwnd));
  return windows;
}

std::vector<WindowInfo> FindChildWindows(HWND parent) {
  std::vector<HWND> handles;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&handles));
  std::vector<WindowInfo> windows;
  for (HWND hwnd : handles) windows.push_back(DescribeWindow(hwnd));
  return windows;
}

std::optional<WindowInfo> FindChildWindow(HWND parent, const WindowPredicate& predicate) {
  for (const WindowInfo& window : FindChildWindows(parent)) {
    if (predicate(window)) return window;
  }
  return std::nullopt;
}

std::optional<WindowInfo> FindChildById(HWND parent, int controlId) {
  HWND child = GetDlgItem(parent, controlId);
  if (!child) return std::nullopt;
  return DescribeWindow(child);
}

std::optional<WindowInfo> WaitForWindow(DWORD processId, const WindowPredicate& predicate,
                                        DWORD timeoutMs) {
  std::optional<WindowInfo> found;
  auto look = [&] {
    for (const WindowInfo& window : FindTopLevelWindows(processId)) {
      if (predicate(window)) {
        found = window;
        return true;
      }
    }
    return false;
  };
  if (WaitUntil(look, timeoutMs, "a window")) return found;
  return std::nullopt;
}

std::optional<WindowInfo> WaitForChildWindow(HWND parent, const WindowPredicate& predicate,
                                             DWORD timeoutMs) {
  std::optional<WindowInfo> found;
  auto look = [&] {
    found = FindChildWindow(parent, predicate);
    return found.has_value();
  };
  if (WaitUntil(look, timeoutMs, "a control")) return found;
  return std::nullopt;
}

std::string WindowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs,
                           &length)) {
    return {};
  }
  // The length is an upper bound in bytes; the text may also have grown since.
  std::string text(length + 64, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kTextTimeoutMs, &copied)) {
    return {};
  }
  text.resize(std::min<std::size_t>(copied, text.size()));
  return text;
}

std::string DescribeWindows(DWORD processId) {
  std::string all;
  char line[1400];
  auto add = [&](const WindowInfo& w, const char* indent) {
    std::snprintf(line, sizeof line,
                  "%s%p class=\"%s\" text=\"%s\" id=%d style=%08lx %s %s (%ld,%ld)-(%ld,%ld)\n",
                  indent, static_cast<void*>(w.hwnd), w.className.c_str(), w.text.c_str(),
                  w.controlId, static_cast<unsigned long>(w.style),
                  w.visible ? "visible" : "hidden", w.enabled ? "enabled" : "disabled",
                  w.rect.left, w.rect.top, w.rect.right, w.rect.bottom);
    all += line;
  };
  auto windows = FindTopLevelWindows(processId);
  if (windows.empty()) all = "(the process has no windows)\n";
  for (const WindowInfo& top : windows) {
    add(top, "");
    for (const WindowInfo& child : FindChildWindows(top.hwnd)) add(child, "    ");
  }
  return all;
}

HWND FocusedWindowOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

HWND ActiveWindowOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndActive;
}

HWND WaitForMessageBox(DWORD processId, const std::string& title, DWORD timeoutMs) {
  auto box = WaitForWindow(
      processId,
      [&](const WindowInfo& w) { return w.className == "#32770" && w.text == title && w.visible; },
      timeoutMs);
  return box ? box->hwnd : nullptr;
}

std::string MessageBoxText(HWND box) {
  auto text = MessageBoxTextControl(box);
  return text ? text->text : std::string();
}

int MessageBoxTextId(HWND box) {
  auto text = MessageBoxTextControl(box);
  return text ? text->controlId : -1;
}

std::vector<WindowInfo> MessageBoxButtons(HWND box) {
  std::vector<WindowInfo> buttons;
  for (const WindowInfo& w : FindChildWindows(box)) {
    if (w.className == "Button" && w.visible) buttons.push_back(w);
  }
  std::sort(buttons.begin(), buttons.end(),
            [](const WindowInfo& a, const WindowInfo& b) { return a.controlId < b.controlId; });
  return buttons;
}

bool MessageBoxHasIcon(HWND box) {
  return FindChildWindow(box, [](const WindowInfo& w) { return w.visible && IsIconStatic(w); })
      .has_value();
}

LPCSTR MessageBoxIconKind(HWND box) {
  auto icon =
      FindChildWindow(box, [](const WindowInfo& w) { return w.visible && IsIconStatic(w); });
  if (!icon) return nullptr;
  ScreenImage shown = CaptureScreenRect(icon->rect);
  if (shown.Empty()) return nullptr;

  LPCSTR best = nullptr;
  double bestScore = 0.0;
  for (LPCSTR kind : {IDI_HAND, IDI_EXCLAMATION, IDI_ASTERISK, IDI_QUESTION}) {
    double score = MatchIcon(shown, LoadIconA(nullptr, kind));
    if (score > bestScore) {
      bestScore = score;
      best = kind;
    }
  }
  // The icons share little: a real match is nearly perfect.
  return bestScore >= 0.9 ? best : nullptr;
}

bool PressMessageBoxButton(HWND box, int buttonId) {
  HWND button = GetDlgItem(box, buttonId);
  return PostMessageA(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button)) != FALSE;
}

}  // namespace support

// Looking at the windows of another process through the Windows API only, as
// a user would see them.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace support {

struct WindowInfo {
  HWND hwnd = nullptr;
  DWORD processId = 0;
  DWORD threadId = 0;
  std::string className;
  // Controls report their live text (WM_GETTEXT); top-level windows their
  // title as GetWindowTextA returns it.
  std::string text;
  int controlId = 0;
  LONG style = 0;
  LONG exStyle = 0;
  bool visible = false;
  bool enabled = false;
  RECT rect{};  // screen coordinates
};

using WindowPredicate = std::function<bool(const WindowInfo&)>;

WindowInfo DescribeWindow(HWND hwnd);

// Every top-level window of the process, hidden ones included, in Z order.
std::vector<WindowInfo> FindTopLevelWindows(DWORD processId);
// Every descendant of `parent`, in the order EnumChildWindows gives.
std::vector<WindowInfo> FindChildWindows(HWND parent);
std::optional<WindowInfo> FindChildWindow(HWND parent, const WindowPredicate& predicate);
// A direct child with this control id.
std::optional<WindowInfo> FindChildById(HWND parent, int controlId);

std::optional<WindowInfo> WaitForWindow(DWORD processId, const WindowPredicate& predicate,
                                        DWORD timeoutMs);
std::optional<WindowInfo> WaitForChildWindow(HWND parent, const WindowPredicate& predicate,
                                             DWORD timeoutMs);

// Text of a window of any process, asked with a bounded WM_GETTEXT so that the
// live contents of a control are read, not the caption it was created with.
std::string WindowText(HWND hwnd);
// One line per window of the process and its controls, for failure messages.
std::string DescribeWindows(DWORD processId);

// The window that has the keyboard focus in the GUI thread owning `window`.
HWND FocusedWindowOf(HWND window);
HWND ActiveWindowOf(HWND window);

// Message boxes: dialog class "#32770" with the given title.
HWND WaitForMessageBox(DWORD processId, const std::string& title, DWORD timeoutMs);
// The text of the box's message (its static control that is not an icon).
std::string MessageBoxText(HWND box);
// The control id of that static control.
int MessageBoxTextId(HWND box);
// The buttons the user can see, in the order of their ids.
std::vector<WindowInfo> MessageBoxButtons(HWND box);
// Whether the box shows an icon, and which of the standard ones it matches
// best by its pixels on screen (IDI_HAND, IDI_EXCLAMATION, IDI_ASTERISK,
// IDI_QUESTION), or null if it matches none of them.
bool MessageBoxHasIcon(HWND box);
LPCSTR MessageBoxIconKind(HWND box);
// Ends the box as its button with this id would.
bool PressMessageBoxButton(HWND box, int buttonId);

}  // namespace support

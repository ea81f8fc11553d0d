#include "support/Input.h"

#include <vector>

#include "support/Wait.h"

namespace support {

namespace {

bool IsExtendedKey(UINT key) {
  switch (key) {
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN:
    case VK_PRIOR: case VK_NEXT: case VK_HOME: case VK_END:
    case VK_INSERT: case VK_DELETE: case VK_DIVIDE: case VK_NUMLOCK:
    case VK_RCONTROL: case VK_RMENU: case VK_LWIN: case VK_RWIN: case VK_APPS:
      return true;
    default:
      return false;
  }
}

INPUT KeyInput(UINT key, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = static_cast<WORD>(key);
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = (down ? 0 : KEYEVENTF_KEYUP) | (IsExtendedKey(key) ? KEYEVENTF_EXTENDEDKEY : 0);
  return input;
}

INPUT MouseInput(DWORD flags, LONG x = 0, LONG y = 0) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = x;
  input.mi.dy = y;
  input.mi.dwFlags = flags;
  return input;
}

bool Send(std::vector<INPUT>& inputs) {
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) ==
         inputs.size();
}

}  // namespace

bool PostKey(HWND window, UINT virtualKey, bool down) {
  const UINT scan = MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
  LPARAM lParam = 1 | (static_cast<LPARAM>(scan & 0xFF) << 16);
  if (IsExtendedKey(virtualKey)) lParam |= LPARAM{1} << 24;
  // A key-up was down before (bit 30) and is a transition (bit 31).
  if (!down) lParam |= (LPARAM{1} << 30) | (LPARAM{1} << 31);
  return PostMessageA(window, down ? WM_KEYDOWN : WM_KEYUP, virtualKey, lParam) != FALSE;
}

bool PostKeyPress(HWND window, UINT virtualKey) {
  return PostKey(window, virtualKey, true) && PostKey(window, virtualKey, false);
}

bool SendKeyInput(UINT virtualKey, unsigned modifiers) {
  std::vector<INPUT> inputs;
  const UINT modifierKeys[] = {VK_SHIFT, VK_CONTROL, VK_MENU};
  for (unsigned i = 0; i < 3; ++i) {
    if (modifiers & (1u << i)) inputs.push_back(KeyInput(modifierKeys[i], true));
  }
  inputs.push_back(KeyInput(virtualKey, true));
  inputs.push_back(KeyInput(virtualKey, false));
  for (unsigned i = 3; i-- > 0;) {
    if (modifiers & (1u << i)) inputs.push_back(KeyInput(modifierKeys[i], false));
  }
  return Send(inputs);
}

bool BringToForeground(HWND window, DWORD timeoutMs) {
  SetForegroundWindow(window);
  return WaitUntil([&] { return GetForegroundWindow() == window; }, timeoutMs,
                   "the window to come to the foreground");
}

bool ClickButton(HWND button) {
  return PostMessageA(button, BM_CLICK, 0, 0) != FALSE;
}

bool ClickWithMouse(HWND window) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return false;
  return ClickAt({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
}

bool ClickAt(POINT point) {
  // Absolute mouse coordinates run from 0 to 65535 across the primary screen.
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  const LONG x = MulDiv(point.x, 65535, width - 1);
  const LONG y = MulDiv(point.y, 65535, height - 1);
  std::vector<INPUT> inputs = {
      MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x, y),
      MouseInput(MOUSEEVENTF_LEFTDOWN),
      MouseInput(MOUSEEVENTF_LEFTUP),
  };
  return Send(inputs);
}

bool TypeText(HWND window, std::string_view text) {
  bool trailPending = false;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    DWORD_PTR result = 0;
    const bool sent =
        SendMessageTimeoutA(window, WM_CHAR, byte, 1, SMTO_ABORTIFHUNG, 2000, &result) != 0;
    // A lead byte is only held back until its trail byte comes, so its call
    // reports failure; the trail byte's call tells whether the pair arrived.
    const bool lead = !trailPending && IsDBCSLeadByte(byte);
    if (!sent && !lead) return false;
    trailPending = lead;
  }
  return !trailPending;
}

bool SetControlText(HWND window, const char* text) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 2000, &result) &&
         result != FALSE;
}

}  // namespace support

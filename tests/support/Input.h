// Driving the windows of another process: keys, clicks and typed text.
#pragma once

#include <windows.h>

#include <string_view>

namespace support {

// Posted key messages reach the window's queue directly, whatever window is
// in the foreground; the target's TranslateMessage makes WM_CHAR from them.
// Modifier state cannot be posted: use SendKeyInput for Shift+key and the like.
bool PostKey(HWND window, UINT virtualKey, bool down);
bool PostKeyPress(HWND window, UINT virtualKey);

enum Modifiers : unsigned {
  kNoModifiers = 0,
  kShift = 1,
  kControl = 2,
  kAlt = 4,
};

// Synthesised key strokes (SendInput), as from the keyboard: they go to the
// focused window of the foreground window.
bool SendKeyInput(UINT virtualKey, unsigned modifiers = kNoModifiers);

// Makes the top-level window the foreground window, waiting (bounded) until
// the system says it is.
bool BringToForeground(HWND window, DWORD timeoutMs = 2000);

// A click through the button's own message handling (BM_CLICK), no mouse.
bool ClickButton(HWND button);
// A real left click (SendInput) at the window's screen centre.
bool ClickWithMouse(HWND window);
bool ClickAt(POINT screenPoint);

// Types the text (ANSI code page, GBK here) as WM_CHAR messages, one per byte,
// sent, not posted: the call returns once the target has handled them. Under
// Wine a posted GBK character arrives as "??", whether posted as two bytes or
// as one UTF-16 unit; a sent pair arrives intact.
bool TypeText(HWND window, std::string_view text);
// Replaces the whole text at once (WM_SETTEXT), bounded.
bool SetControlText(HWND window, const char* text);

}  // namespace support

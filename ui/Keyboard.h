// Keyboard pre-translation: which keys a window handles itself before they
// reach the control that has the focus. The decision is pure, so it can be
// checked case by case; ApplyKeyboard carries it out on live windows.
#pragma once

#include <windows.h>

#include <span>

struct WindowEntry;

enum class KeyAction {
  PassOn,             // on to TranslateMessage and DispatchMessageA
  FocusNext,
  FocusPrevious,
  ClickFocused,       // the focused default push button
  ClickFirstDefault,  // the first enabled default push button of the window
  CloseWindow,
};

struct KeyInput {
  UINT message = 0;
  WPARAM key = 0;
  bool ctrl = false;
  bool shift = false;
  bool alt = false;
  bool windowEnabled = true;
  bool focusWantsKey = false;            // WM_GETDLGCODE of the focused control
  bool focusIsEnabledDefaultButton = false;
  bool hasEnabledDefaultButton = false;
  bool enterMovesFocus = false;
  bool escCloses = false;
};

KeyAction DecideKeyAction(const KeyInput& input);

struct TabStop {
  int tabOrder = 0;
  bool eligible = false;  // visible, enabled and a tab stop
};

// Index of the control that Tab (forward) or Shift+Tab reaches from `current`
// (an index into stops, or -1 when the focus is on none of them), wrapping
// around; -1 when no control is eligible.
int NextTabStop(std::span<const TabStop> stops, int current, bool forward);

// Index of the eligible control with the lowest tab order, or -1.
int FirstTabStop(std::span<const TabStop> stops);

// Pre-translates a message taken by one of the loops; true when consumed.
bool ApplyKeyboard(const MSG& message);

// Gives the focus to the control that had it when the window was last
// deactivated, else to its first tab stop.
void RestoreFocus(WindowEntry& entry);

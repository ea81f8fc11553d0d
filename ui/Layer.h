// The window and control layer: turns window descriptions into live Win32
// windows and lets handlers work with them through numbers. Everything here
// runs on the GUI thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ui/Description.h"

class Client;

// A property value: a bool (any value other than 0 is true) or a text.
struct PropertyValue {
  std::int32_t boolean = 0;
  const char* text = nullptr;
};
inline PropertyValue BoolValue(bool value) { return {value ? 1 : 0, nullptr}; }
inline PropertyValue TextValue(const char* text) { return {0, text}; }

// The property values a load starts from and a close returns to.
struct ControlValues {
  bool visible = false;
  bool disabled = false;
  std::string text;
};

struct DisabledWindow {
  HWND window = nullptr;
  bool wasEnabled = false;
};

struct WindowEntry {
  const WindowDescription* design = nullptr;
  std::vector<ControlValues> description;
  std::vector<ControlValues> savedValues;
  HWND hwnd = nullptr;
  bool fullyModal = false;
  bool firstShowPending = false;
  std::vector<DisabledWindow> disabledWindows;

  // Live state of a loaded window, indexed like design->controls.
  std::vector<HWND> controlWindows;
  std::vector<std::unique_ptr<Client>> clients;
  HWND focusWhenDeactivated = nullptr;
};

// Installs the table of window descriptions. Returns false, leaving the table
// empty, when a description is not valid. Only while no window is loaded.
bool LoadWindowTable(std::span<const WindowDescription* const> windows);

WindowEntry* FindWindowEntry(WindowNumber window);
bool IsLoaded(const WindowEntry& entry);
bool AnyWindowLoaded();

bool LoadWindow(WindowNumber window, WindowNumber parent, bool fullyModal);
inline constexpr WindowNumber kNoParent = 0;

PropertyValue ReadProperty(WindowNumber window, ControlNumber control, PropertyNumber property);
void WriteProperty(WindowNumber window, ControlNumber control, PropertyNumber property,
                   PropertyValue value);

// Calls the bound handler unless events are held; true when a handler ran.
// Control number 0 stands for the window itself.
bool RaiseEvent(WindowNumber window, ControlNumber control, EventNumber event);

// Returns 0 OK, 1 Cancel, 2 Abort, 3 Retry, 4 Ignore, 5 Yes, 6 No.
int ShowMessageBox(const char* text, std::int32_t style, const char* title, HWND owner = nullptr);
// The style MessageBoxA is given for a style value.
UINT MessageBoxStyle(std::int32_t style);
int MapMessageBoxResult(int result);

// The client connection control of a loaded window; FatalError when there is none.
Client& ClientControl(WindowNumber window, ControlNumber control);

// One message of any loop: keyboard pre-translation of the window that holds
// the target, then TranslateMessage and DispatchMessageA.
void PumpOneMessage(MSG& message);

// Window classes; registered once, by InitializeShell.
void RegisterLayerClasses(HINSTANCE instance);

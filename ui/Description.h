// Window descriptions: the screens of the program as data. Each window is a
// table of entries, the first being the window itself and the rest its
// controls, with numbers, places, flags, tab order, appearance and the
// (event number, handler) pairs that bind its events.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

using WindowNumber = std::uint32_t;
using ControlNumber = std::uint32_t;
using EventNumber = std::int32_t;
using PropertyNumber = std::uint32_t;
using Handler = void (*)();

enum class ControlKind : std::uint8_t { Window, Label, EditBox, Button, PicBox, Client };

// Property numbers 0 to 7 are common to every kind; from 8 on they are the
// kind's own.
inline constexpr PropertyNumber kPropertyLeft = 0;
inline constexpr PropertyNumber kPropertyTop = 1;
inline constexpr PropertyNumber kPropertyWidth = 2;
inline constexpr PropertyNumber kPropertyHeight = 3;
inline constexpr PropertyNumber kPropertyVisible = 5;
inline constexpr PropertyNumber kPropertyDisabled = 6;
// A label's caption, an edit box's content, a button's caption, a window's title.
inline constexpr PropertyNumber kPropertyText = 8;

// Events of a window.
inline constexpr EventNumber kEventCreated = 0;
inline constexpr EventNumber kEventCloseQuery = 1;
inline constexpr EventNumber kEventDestroyed = 2;
// Events of a button.
inline constexpr EventNumber kEventClicked = 0;
// Events of an edit box.
inline constexpr EventNumber kEventFocusGained = 1;
inline constexpr EventNumber kEventFocusLost = 2;
// Events of a client connection.
inline constexpr EventNumber kEventDataArrival = 0;
inline constexpr EventNumber kEventPeerClosed = 1;

inline constexpr int kNoTabOrder = -1;
inline constexpr int kNoImage = 0;

struct EventBinding {
  EventNumber event = 0;
  Handler handler = nullptr;  // a pair without a handler binds nothing
};

enum class StartState : std::uint8_t { Normal, Minimized, Maximized };

// Settings that only the window entry itself uses.
struct WindowSettings {
  bool centred = true;
  StartState startState = StartState::Normal;
  bool border = false;  // without a border there is no title bar either
  bool minimizeBox = false;
  bool maximizeBox = false;
  bool systemMenu = false;
  bool noTaskbarButton = false;
  bool topmost = false;
  bool movable = false;
  bool escCloses = false;
  bool enterMovesFocus = false;
  int icon = kNoImage;  // resource id; none means the program's own icon
};

struct ControlDescription {
  ControlKind kind = ControlKind::Label;
  ControlNumber number = 0;
  const char* name = "";
  ControlNumber parent = 0;  // the window's own number or a picture box's
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  const char* text = "";
  bool visible = true;
  bool disabled = false;
  bool tabStop = false;
  int tabOrder = kNoTabOrder;
  // The window's background, a label's tiled background, a picture box's
  // picture or a button's face: a bitmap resource id.
  int image = kNoImage;
  bool stretchImage = false;    // picture boxes: fill the box instead of natural size
  COLORREF textColor = RGB(0, 0, 0);
  UINT textFormat = DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOCLIP;  // labels
  bool defaultButton = false;   // buttons: BS_DEFPUSHBUTTON
  bool multiline = false;       // buttons: BS_MULTILINE
  std::span<const EventBinding> events = {};
};

struct WindowDescription {
  WindowNumber number = 0;
  WindowSettings settings = {};
  // controls[0] is the window itself.
  std::span<const ControlDescription> controls = {};
};

// The checks every description must pass: at least the window entry, control
// numbers unique, every parent described before its children and either the
// window or a picture box, tab orders unique among tab stops.
constexpr bool IsValidDescription(const WindowDescription& window) {
  if (window.controls.empty() || window.controls[0].kind != ControlKind::Window) return false;
  for (std::size_t i = 1; i < window.controls.size(); ++i) {
    const ControlDescription& control = window.controls[i];
    if (control.kind == ControlKind::Window) return false;
    bool parentFound = false;
    for (std::size_t j = 0; j < i; ++j) {
      const ControlDescription& earlier = window.controls[j];
      if (earlier.number == control.number) return false;
      if (earlier.number == control.parent &&
          (earlier.kind == ControlKind::Window || earlier.kind == ControlKind::PicBox)) {
        parentFound = true;
      }
      if (control.tabStop && earlier.tabStop && control.tabOrder == earlier.tabOrder) return false;
    }
    if (!parentFound) return false;
  }
  return true;
}

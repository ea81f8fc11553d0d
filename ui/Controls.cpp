// The Win32 side of windows and controls: window classes, creation from a
// description, and painting of window backgrounds, labels and picture boxes.
#include <windows.h>

#include <map>

#include "app/Shell.h"
#include "link/Client.h"
#include "ui/Gdi.h"
#include "ui/Keyboard.h"
#include "ui/Layer.h"
#include "ui/LayerInternal.h"

namespace {

constexpr char kFormClass[] = "ExamForm";
constexpr char kLabelClass[] = "ExamLabel";
constexpr char kPictureBoxClass[] = "ExamPictureBox";
// The program icon's resource id.
constexpr int kProgramIcon = 1;

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

struct ImageCache {
  std::map<int, UniqueBitmap> bitmaps;
  std::map<int, UniqueBrush> brushes;
};

ImageCache& Images() {
  static ImageCache cache;
  return cache;
}

// Fills with the tiled image, or the button-face colour without one. Pattern
// brushes tile from the DC's origin, which is the top-left corner of the
// window being painted.
void FillBackground(HDC dc, const RECT& rect, int image) {
  HBRUSH tile = image != kNoImage ? LayerTileBrush(image) : nullptr;
  if (tile) {
    SetBrushOrgEx(dc, 0, 0, nullptr);
    FillRect(dc, &rect, tile);
  } else {
    FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
  }
}

struct ControlSlot {
  WindowEntry* entry;
  int index;
};

ControlSlot SlotOf(HWND control) {
  WindowEntry* entry = EntryOfWindow(GetAncestor(control, GA_ROOT));
  if (!entry) return {nullptr, -1};
  int index = GetDlgCtrlID(control);
  if (index <= 0 || index >= static_cast<int>(entry->controlWindows.size()) ||
      entry->controlWindows[index] != control) {
    return {nullptr, -1};
  }
  return {entry, index};
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* entry = static_cast<WindowEntry*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(entry));
    // Known from here on, so that messages sent during creation find it.
    entry->hwnd = window;
    return DefWindowProcA(window, message, wParam, lParam);
  }
  auto* entry = reinterpret_cast<WindowEntry*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!entry) return DefWindowProcA(window, message, wParam, lParam);

  switch (message) {
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(window, &client);
      FillBackground(reinterpret_cast<HDC>(wParam), client, entry->design->controls[0].image);
      return 1;
    }
    case WM_COMMAND:
      OnChildCommand(wParam, lParam);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window, focus)) entry->focusWhenDeactivated = focus;
      } else if (!HIWORD(wParam)) {
        RestoreFocus(*entry);
      }
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MOVE && !entry->design->settings.movable) return 0;
      break;
    case WM_CLOSE:
      OnWindowCloseRequested(*entry);
      return 0;
    case WM_DESTROY:
      OnWindowDestroying(*entry);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      OnWindowDestroyed(*entry);
      return DefWindowProcA(window, message, wParam, lParam);
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      ControlSlot slot = SlotOf(window);
      BufferedPaint paint(window);
      if (!slot.entry) {
        FillBackground(paint.Dc(), paint.Client(), kNoImage);
        return 0;
      }
      const ControlDescription& label = slot.entry->design->controls[slot.index];
      FillBackground(paint.Dc(), paint.Client(), label.image);
      char text[1024];
      int length = GetWindowTextA(window, text, sizeof text);
      if (length > 0) {
        ScopedSelectObject font(paint.Dc(), GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(paint.Dc(), TRANSPARENT);
        SetTextColor(paint.Dc(), label.textColor);
        RECT area = paint.Client();
        DrawTextA(paint.Dc(), text, length, &area, label.textFormat);
      }
      return 0;
    }
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK PictureBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      ControlSlot slot = SlotOf(window);
      BufferedPaint paint(window);
      FillRect(paint.Dc(), &paint.Client(), GetSysColorBrush(COLOR_BTNFACE));
      if (!slot.entry) return 0;
      const ControlDescription& box = slot.entry->design->controls[slot.index];
      HBITMAP picture = box.image != kNoImage ? LayerImage(box.image) : nullptr;
      if (!picture) return 0;
      BITMAP info{};
      GetObjectA(picture, sizeof info, &info);
      UniqueMemoryDc source(CreateCompatibleDC(paint.Dc()));
      ScopedSelectObject select(source.Get(), picture);
      const RECT& client = paint.Client();
      if (box.stretchImage) {
        SetStretchBltMode(paint.Dc(), HALFTONE);
        StretchBlt(paint.Dc(), 0, 0, client.right, client.bottom, source.Get(), 0, 0,
                   info.bmWidth, info.bmHeight, SRCCOPY);
      } else {
        BitBlt(paint.Dc(), 0, 0, info.bmWidth, info.bmHeight, source.Get(), 0, 0, SRCCOPY);
      }
      return 0;
    }
    case WM_COMMAND:
      // Controls placed on a picture box notify it, not the window.
      OnChildCommand(wParam, lParam);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

POINT WindowPosition(const ControlDescription& window, const WindowSettings& settings) {
  if (!settings.centred) return {window.left, window.top};
  return {(GetSystemMetrics(SM_CXSCREEN) - window.width) / 2,
          (GetSystemMetrics(SM_CYSCREEN) - window.height) / 2};
}

HWND CreateTopLevel(WindowEntry& entry, bool fullyModal) {
  const ControlDescription& design = entry.design->controls[0];
  const WindowSettings& settings = entry.design->settings;
  DWORD style = WS_OVERLAPPED | WS_CLIPCHILDREN;
  // The window is a control of its own description: its disabled flag counts too.
  if (entry.description[0].disabled) style |= WS_DISABLED;
  if (settings.border) style |= WS_CAPTION | WS_THICKFRAME;
  if (settings.systemMenu) style |= WS_SYSMENU;
  if (settings.minimizeBox) style |= WS_MINIMIZEBOX;
  if (settings.maximizeBox) style |= WS_MAXIMIZEBOX;
  HWND owner = (fullyModal || settings.noTaskbarButton) ? Shell().hiddenOwner : nullptr;
  POINT place = WindowPosition(design, settings);

  HWND window = CreateWindowExA(0, kFormClass, design.text, style, place.x, place.y, design.width,
                                design.height, owner, nullptr, Instance(), &entry);
  if (!window) return nullptr;
  if (!settings.border) {
    // The system gives every overlapped window a caption; a borderless one
    // takes it off again, so its window is exactly its client area.
    LONG_PTR current = GetWindowLongPtrA(window, GWL_STYLE);
    SetWindowLongPtrA(window, GWL_STYLE,
                      current & ~static_cast<LONG_PTR>(WS_CAPTION | WS_THICKFRAME | WS_BORDER |
                                                       WS_DLGFRAME));
    SetWindowPos(window, nullptr, place.x, place.y, design.width, design.height,
                 SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (settings.topmost) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  if (settings.icon != kNoImage) {
    HICON icon = LoadIconA(Instance(), MAKEINTRESOURCEA(settings.icon));
    if (icon) SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  }
  if (!settings.movable) {
    if (HMENU menu = GetSystemMenu(window, FALSE)) DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND);
  }
  return window;
}

// A single-line edit box must be at least one Chinese character of its font
// plus its two edges high.
int EditBoxHeight(HWND edit, int height) {
  HDC dc = GetDC(edit);
  if (!dc) return height;
  ScopedSelectObject font(dc, GetStockObject(DEFAULT_GUI_FONT));
  SIZE character{};
  GetTextExtentPoint32A(dc, "汉", 2, &character);
  ReleaseDC(edit, dc);
  int minimum = character.cy + 2 * GetSystemMetrics(SM_CYEDGE);
  return height < minimum ? minimum : height;
}

HWND CreateControl(WindowEntry& entry, int index, HWND parent) {
  const ControlDescription& control = entry.design->controls[index];
  const ControlValues& values = entry.description[index];
  DWORD common = WS_CHILD | WS_CLIPSIBLINGS;
  if (values.disabled) common |= WS_DISABLED;
  if (control.tabStop) common |= WS_TABSTOP;
  auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(index));
  const char* text = values.text.c_str();
  HFONT guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

  switch (control.kind) {
    case ControlKind::Label:
      return CreateWindowExA(0, kLabelClass, text, common, control.left, control.top,
                             control.width, control.height, parent, id, Instance(), nullptr);
    case ControlKind::PicBox:
      return CreateWindowExA(0, kPictureBoxClass, "", common | WS_CLIPCHILDREN, control.left,
                             control.top, control.width, control.height, parent, id, Instance(),
                             nullptr);
    case ControlKind::EditBox: {
      HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", text, common | ES_LEFT | ES_AUTOHSCROLL,
                                  control.left, control.top, control.width, control.height,
                                  parent, id, Instance(), nullptr);
      if (!edit) return nullptr;
      SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(guiFont), FALSE);
      SendMessageA(edit, EM_LIMITTEXT, 0, 0);
      int height = EditBoxHeight(edit, control.height);
      if (height != control.height) {
        SetWindowPos(edit, nullptr, 0, 0, control.width, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return edit;
    }
    case ControlKind::Button: {
      DWORD style = common | BS_CENTER | BS_VCENTER;
      style |= control.defaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
      if (control.image != kNoImage) style |= BS_BITMAP;
      if (control.multiline) style |= BS_MULTILINE;
      HWND button = CreateWindowExA(0, "BUTTON", text, style, control.left, control.top,
                                    control.width, control.height, parent, id, Instance(), nullptr);
      if (!button) return nullptr;
      SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(guiFont), FALSE);
      if (control.image != kNoImage) {
        SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP,
                     reinterpret_cast<LPARAM>(LayerImage(control.image)));
      }
      return button;
    }
    case ControlKind::Client: {
      RECT place{control.left, control.top, control.left + control.width,
                 control.top + control.height};
      auto client = std::make_unique<Client>(entry.design->number, control.number, parent, place,
                                             index);
      HWND notification = client->NotificationWindow();
      if (!notification) return nullptr;
      entry.clients[index] = std::move(client);
      return notification;
    }
    case ControlKind::Window:
      return nullptr;
  }
  return nullptr;
}

}  // namespace

HBITMAP LayerImage(int resourceId) {
  auto& bitmaps = Images().bitmaps;
  auto found = bitmaps.find(resourceId);
  if (found != bitmaps.end()) return found->second.Get();
  auto bitmap = static_cast<HBITMAP>(
      LoadImageA(Instance(), MAKEINTRESOURCEA(resourceId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  return bitmaps.emplace(resourceId, UniqueBitmap(bitmap)).first->second.Get();
}

HBRUSH LayerTileBrush(int resourceId) {
  auto& brushes = Images().brushes;
  auto found = brushes.find(resourceId);
  if (found != brushes.end()) return found->second.Get();
  HBITMAP bitmap = LayerImage(resourceId);
  HBRUSH brush = bitmap ? CreatePatternBrush(bitmap) : nullptr;
  return brushes.emplace(resourceId, UniqueBrush(brush)).first->second.Get();
}

namespace {

void RegisterLayerClass(HINSTANCE instance, const char* name, WNDPROC procedure, HICON icon,
                        HBRUSH background) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = icon;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = background;
  windowClass.lpszClassName = name;
  RegisterClassExA(&windowClass);
}

}  // namespace

void RegisterLayerClasses(HINSTANCE instance) {
  RegisterLayerClass(instance, kFormClass, FormProc,
                     LoadIconA(instance, MAKEINTRESOURCEA(kProgramIcon)),
                     reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  // Labels and picture boxes paint their whole area themselves.
  RegisterLayerClass(instance, kLabelClass, LabelProc, nullptr, nullptr);
  RegisterLayerClass(instance, kPictureBoxClass, PictureBoxProc, nullptr, nullptr);
  RegisterClientClass(instance);
}

bool CreateLoadedWindow(WindowEntry& entry, bool fullyModal) {
  const auto& controls = entry.design->controls;
  entry.controlWindows.assign(controls.size(), nullptr);
  entry.clients.clear();
  entry.clients.resize(controls.size());
  HWND window = CreateTopLevel(entry, fullyModal);
  if (!window) return false;
  entry.controlWindows[0] = window;
  for (std::size_t i = 1; i < controls.size(); ++i) {
    int parentIndex = ControlIndex(entry, controls[i].parent);
    HWND parent = parentIndex > 0 ? entry.controlWindows[parentIndex] : window;
    HWND control = CreateControl(entry, static_cast<int>(i), parent);
    if (!control) return false;
    entry.controlWindows[i] = control;
  }
  return true;
}

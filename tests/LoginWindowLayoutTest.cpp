// The login window as the layer builds it from the real description (its
// network handlers left out): place, frame, title, owner, system menu and
// moving, and every control's parent, place, size, class and style, on the
// 1280x800 screen of the test session.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "layer/LayerFixture.h"
#include "layer/LoginCopy.h"
#include "screens/Screens.h"
#include "ui/Layer.h"

namespace {

using namespace layertest;
using W = LoginWindow;

LoginCopy loginCopy;

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

bool moveModeEntered = false;

LRESULT CALLBACK WatchMoveMode(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && reinterpret_cast<CWPSTRUCT*>(lParam)->message == WM_ENTERSIZEMOVE) {
    moveModeEntered = true;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

class LoginLayoutTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
    ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 800);
    Install(loginCopy.Table());
    Load(W::number);
    window_ = WindowOf(W::number);
    ASSERT_NE(window_, nullptr);
  }

  HWND window_ = nullptr;
};

TEST_F(LoginLayoutTest, WindowIsCentredFramelessTitledAndHasItsOwnTaskbarButton) {
  RECT rect{};
  GetWindowRect(window_, &rect);
  EXPECT_EQ(rect.left, (1280 - 1000) / 2);
  EXPECT_EQ(rect.top, (800 - 400) / 2);
  EXPECT_EQ(rect.right - rect.left, 1000);
  EXPECT_EQ(rect.bottom - rect.top, 400);
  RECT client{};
  GetClientRect(window_, &client);
  EXPECT_EQ(client.right, 1000);
  EXPECT_EQ(client.bottom, 400);
  POINT origin{0, 0};
  ClientToScreen(window_, &origin);
  EXPECT_EQ(origin.x, 140);
  EXPECT_EQ(origin.y, 200);

  LONG style = GetWindowLongA(window_, GWL_STYLE);
  LONG exStyle = GetWindowLongA(window_, GWL_EXSTYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME), 0);
  EXPECT_EQ(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_NE(style & WS_CLIPCHILDREN, 0);
  EXPECT_EQ(style & WS_CHILD, 0);
  EXPECT_EQ(exStyle & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST), 0);
  EXPECT_EQ(GetWindow(window_, GW_OWNER), nullptr);
  EXPECT_EQ(GetParent(window_), nullptr);
  EXPECT_EQ(WindowTextOf(window_), "考试系统");
  EXPECT_TRUE(IsWindowVisible(window_));
  // No icon of its own: the program's, through the window class.
  EXPECT_NE(GetClassLongPtrA(window_, GCLP_HICON), 0);

  EXPECT_EQ(GetActiveWindow(), window_);
  EXPECT_EQ(GetFocus(), ControlOf(W::number, W::考生号输入框));
}

TEST_F(LoginLayoutTest, CannotBeMoved) {
  HMENU menu = GetSystemMenu(window_, FALSE);
  // Without WS_SYSMENU the system may give it no menu at all.
  if (menu) {
    EXPECT_EQ(GetMenuState(menu, SC_MOVE, MF_BYCOMMAND), static_cast<UINT>(-1));
  }
  RECT before{};
  GetWindowRect(window_, &before);
  POINT centre{before.left + 500, before.top + 200};
  EXPECT_EQ(SendMessageA(window_, WM_NCHITTEST, 0, MAKELPARAM(centre.x, centre.y)), HTCLIENT);

  // Were the command carried out, the system's keyboard move mode would take
  // these keys and shift the window right.
  Watchdog watchdog(5000);
  for (int i = 0; i < 3; ++i) PostMessageA(window_, WM_KEYDOWN, VK_RIGHT, 1);
  PostMessageA(window_, WM_KEYDOWN, VK_RETURN, 1);
  moveModeEntered = false;
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, WatchMoveMode, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  SendMessageA(window_, WM_SYSCOMMAND, SC_MOVE, 0);
  UnhookWindowsHookEx(hook);
  EXPECT_FALSE(moveModeEntered) << "the system's move mode ran";
  PumpPending();
  ASSERT_TRUE(Loaded(W::number));
  RECT after{};
  GetWindowRect(window_, &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_FALSE(watchdog.Fired());
}

TEST_F(LoginLayoutTest, EveryControlSitsAtItsPlaceOnItsParent) {
  struct Place {
    ControlNumber number;
    ControlNumber parent;
    int left, top, width, height;
    const char* text;  // null: not looked at
  };
  const Place places[] = {
      {W::图片框1, W::self, 28, 90, 456, 86, nullptr},
      {W::图片框2, W::self, 111, 187, 283, 93, nullptr},
      {W::图片框3, W::self, 492, 80, 504, 209, nullptr},
      {W::连接状态标签, W::图片框3, 52, 24, 192, 16, "考生登录"},
      {W::标签2, W::图片框3, 108, 67, 48, 16, "考生号："},
      {W::考生号输入框, W::图片框3, 172, 64, 200, 20, ""},
      {W::标签3, W::图片框3, 108, 114, 56, 16, "身份证号："},
      {W::身份证号输入框, W::图片框3, 172, 111, 200, 20, ""},
      {W::登录按钮, W::图片框3, 212, 160, 118, 39, "按钮"},
  };
  for (const Place& p : places) {
    SCOPED_TRACE(p.number);
    HWND control = ControlOf(W::number, p.number);
    ASSERT_TRUE(IsWindow(control));
    HWND parent = p.parent == W::self ? window_ : ControlOf(W::number, p.parent);
    EXPECT_EQ(GetParent(control), parent);
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, p.left);
    EXPECT_EQ(rect.top, p.top);
    EXPECT_EQ(rect.right - rect.left, p.width);
    EXPECT_EQ(rect.bottom - rect.top, p.height);
    EXPECT_TRUE(IsWindowVisible(control));
    EXPECT_TRUE(IsWindowEnabled(control));
    LONG style = GetWindowLongA(control, GWL_STYLE);
    EXPECT_NE(style & WS_CHILD, 0);
    EXPECT_EQ(style & WS_BORDER, 0);
    if (p.text) {
      EXPECT_EQ(WindowTextOf(control), p.text);
    }
  }
  // The connection control has a window for its notifications, never shown.
  HWND client = ControlOf(W::number, W::客户1);
  ASSERT_TRUE(IsWindow(client));
  EXPECT_FALSE(IsWindowVisible(client));
}

TEST_F(LoginLayoutTest, EditBoxesAreSunkenScrollingAndUnlimited) {
  for (ControlNumber number : {W::考生号输入框, W::身份证号输入框}) {
    SCOPED_TRACE(number);
    HWND edit = ControlOf(W::number, number);
    EXPECT_EQ(lstrcmpiA(ClassOf(edit).c_str(), "Edit"), 0) << ClassOf(edit);
    LONG style = GetWindowLongA(edit, GWL_STYLE);
    EXPECT_NE(GetWindowLongA(edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    EXPECT_NE(style & ES_AUTOHSCROLL, 0);
    EXPECT_EQ(style & (ES_PASSWORD | ES_MULTILINE | ES_NUMBER | ES_UPPERCASE | ES_LOWERCASE |
                       ES_NOHIDESEL | ES_READONLY),
              0);
    EXPECT_NE(style & WS_TABSTOP, 0);
    EXPECT_EQ(static_cast<UINT>(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0)), 0x7FFFFFFEu);
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(edit, WM_GETFONT, 0, 0)),
              GetStockObject(DEFAULT_GUI_FONT));
  }
}

TEST_F(LoginLayoutTest, LoginButtonShowsItsBitmap) {
  HWND button = ControlOf(W::number, W::登录按钮);
  EXPECT_EQ(lstrcmpiA(ClassOf(button).c_str(), "Button"), 0) << ClassOf(button);
  LONG style = GetWindowLongA(button, GWL_STYLE);
  EXPECT_NE(style & BS_BITMAP, 0);
  EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON) << "not a default button";
  EXPECT_NE(style & WS_TABSTOP, 0);
  auto image = reinterpret_cast<HBITMAP>(SendMessageA(button, BM_GETIMAGE, IMAGE_BITMAP, 0));
  ASSERT_NE(image, nullptr);
  BITMAP info{};
  ASSERT_NE(GetObjectA(image, sizeof info, &info), 0);
  EXPECT_EQ(info.bmWidth, 118);
  EXPECT_EQ(info.bmHeight, 39);
  EXPECT_EQ(info.bmBitsPixel, 24);
}

}  // namespace

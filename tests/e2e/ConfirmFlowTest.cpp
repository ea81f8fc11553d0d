// The confirmation and exam windows against a scripted exam server, and the
// whole journey of a candidate: accepted login, checking the information,
// the exam window, and what is left once the confirmation window has closed.
//
// With EXAM_SCREENSHOT_DIR set (a Unix or Windows folder), the Screenshots
// test also saves the three windows as login-window.bmp, confirm-window.bmp
// and exam-window.bmp there (scripts/screenshots.sh turns them into PNGs).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "e2e/ClientSession.h"
#include "support/Input.h"
#include "support/ScreenCapture.h"
#include "support/Wait.h"

namespace e2e {
namespace {

using support::WaitUntil;
using C = ConfirmWindow;

constexpr char kCandidateNumber[] = "2024001";
constexpr char kIdCardNumber[] = "110105199003071234";
// What the login request of those two numbers puts on the wire.
const std::string kRequest = std::string(kCandidateNumber) + "fg" + kIdCardNumber;

constexpr char kWaitTitle[] = "请耐心等待";
constexpr char kWaitText[] = "已告知监考教师，请坐在原位耐心等待。";
constexpr char kRejectTitle[] = "登录失败";
constexpr char kRejectText[] = "考生信息有误，请重新输入";

// All three windows: 1000 x 400, centred on the 1280 x 800 test screen.
constexpr RECT kCentred{140, 200, 1140, 600};
// 图片框3, the blue panel, in the confirmation window's client area.
constexpr POINT kPanel{492, 80};
constexpr COLORREF kPanelBlue = RGB(0x29, 0x6A, 0xBA);

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

RECT WindowRectOf(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

std::string TitleOf(HWND window) {
  char title[256] = {};
  GetWindowTextA(window, title, sizeof title);
  return title;
}

bool IsBluish(COLORREF c) {
  return GetBValue(c) >= 0x80 && GetBValue(c) > GetRValue(c) + 0x30 &&
         GetBValue(c) > GetGValue(c) + 0x20;
}
bool IsWhite(COLORREF c) { return GetRValue(c) >= 0xF0 && GetGValue(c) >= 0xF0 && GetBValue(c) >= 0xF0; }
bool IsLight(COLORREF c) { return GetRValue(c) >= 0xE0 && GetGValue(c) >= 0xE0 && GetBValue(c) >= 0xE0; }
bool IsDark(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 0x50; }

// Pixels of a window's capture in a rectangle given in window coordinates.
struct Tally {
  int total = 0;
  int bluish = 0;
  int white = 0;
  int face = 0;
  int dark = 0;
};

Tally Count(const support::ScreenImage& image, const RECT& area) {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  Tally tally;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      COLORREF c = image.PixelAt(x, y);
      ++tally.total;
      if (IsBluish(c)) ++tally.bluish;
      if (IsWhite(c)) ++tally.white;
      if (c == face) ++tally.face;
      if (IsDark(c)) ++tally.dark;
    }
  }
  return tally;
}

// A control's rectangle in the coordinates of its top-level window.
RECT RectInWindow(HWND control, HWND window) {
  RECT control_rect = WindowRectOf(control);
  RECT window_rect = WindowRectOf(window);
  OffsetRect(&control_rect, -window_rect.left, -window_rect.top);
  return control_rect;
}

POINT CentreOf(HWND window) {
  RECT r = WindowRectOf(window);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A press at one point, a move and a release at another: a drag attempt.
bool DragWithMouse(POINT from, POINT to) {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  auto at = [&](POINT p, DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(p.x, 65535, width - 1);
    input.mi.dy = MulDiv(p.y, 65535, height - 1);
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return input;
  };
  INPUT inputs[] = {at(from, 0), at(from, MOUSEEVENTF_LEFTDOWN),
                    at({(from.x + to.x) / 2, (from.y + to.y) / 2}, 0), at(to, 0),
                    at(to, MOUSEEVENTF_LEFTUP)};
  return SendInput(static_cast<UINT>(std::size(inputs)), inputs, sizeof(INPUT)) == std::size(inputs);
}

// A Unix folder as Wine shows it (Z:); a Windows one unchanged.
std::string WindowsFolder(std::string folder) {
  if (!folder.empty() && folder[0] == '/') {
    for (char& c : folder) {
      if (c == '/') c = '\\';
    }
    folder = "Z:" + folder;
  }
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

class ConfirmFlow : public ClientSession {
 protected:
  // Starts the client, logs in with the two numbers and answers "1"; the
  // confirmation window is then open with the focus on 信息有误.
  void OpenConfirmWindow() {
    StartClientForServer();
    ASSERT_TRUE(server.WaitForConnection(0, kReactTimeoutMs));
    SubmitLogin(kCandidateNumber, kIdCardNumber);
    ASSERT_TRUE(server.WaitForReceived(0, kRequest.size(), kReactTimeoutMs));
    AcceptAgain();
  }

  // One more "1" while no confirmation window is open.
  void AcceptAgain() {
    ASSERT_TRUE(server.Send(0, "1"));
    auto window = WaitForConfirmWindow();
    ASSERT_TRUE(window) << "no confirmation window\n" << Describe();
    confirm = window->hwnd;
    ASSERT_TRUE(WaitForFocus(Button(C::按钮1))) << Describe();
  }

  HWND Button(ControlNumber control) const {
    return ControlOf(confirm, kConfirmWindowDescription, control);
  }
  HWND Control(ControlNumber control) const { return Button(control); }

  ::testing::AssertionResult WaitForFocus(HWND control) const {
    return WaitUntil([&] { return support::FocusedWindowOf(confirm) == control; }, kReactTimeoutMs,
                     "the focus on the control");
  }

  // Posts the key to the control that has the focus (the window itself when
  // nothing has).
  void PressKey(HWND window, UINT key) {
    HWND focus = support::FocusedWindowOf(window);
    ASSERT_TRUE(support::PostKeyPress(focus ? focus : window, key));
  }

  // The three buttons as the window shows them at load.
  void ExpectButtonsAsAtLoad() {
    EXPECT_TRUE(IsWindowEnabled(Button(C::按钮1))) << "信息有误";
    EXPECT_TRUE(IsWindowEnabled(Button(C::按钮2))) << "信息正确";
    EXPECT_FALSE(IsWindowEnabled(Button(C::开始考试按钮))) << "开始考试";
  }
  void ExpectButtonsConfirmed() {
    EXPECT_FALSE(IsWindowEnabled(Button(C::按钮1))) << "信息有误";
    EXPECT_FALSE(IsWindowEnabled(Button(C::按钮2))) << "信息正确";
    EXPECT_TRUE(IsWindowEnabled(Button(C::开始考试按钮))) << "开始考试";
  }

  // Opens the exam window with 信息正确 and returns it.
  HWND OpenExamWindow() {
    EXPECT_TRUE(support::ClickButton(Button(C::按钮2)));
    auto exam = WaitForExamWindow();
    EXPECT_TRUE(exam) << "no exam window\n" << Describe();
    return exam ? exam->hwnd : nullptr;
  }

  // Esc on the exam window, then 开始考试 enabled and the answers disabled.
  void CloseExamWindow(HWND exam) {
    PressKey(exam, VK_ESCAPE);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(exam); }, kReactTimeoutMs, "exam window closed"))
        << Describe();
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(Button(C::开始考试按钮)) != FALSE; },
                          kReactTimeoutMs, "开始考试 enabled"))
        << Describe();
  }

  // Esc on the confirmation window, then the login window hidden.
  void CloseConfirmWindow() {
    PressKey(confirm, VK_ESCAPE);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(confirm); }, kReactTimeoutMs,
                          "confirmation window closed"))
        << Describe();
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(login); }, kReactTimeoutMs,
                          "login window hidden"))
        << Describe();
  }

  // 信息有误 once: the box, its look, the windows it disables, and back.
  void InformTheInvigilator() {
    ASSERT_TRUE(support::ClickButton(Button(C::按钮1)));
    HWND box = support::WaitForMessageBox(client.Id(), kWaitTitle, kReactTimeoutMs);
    ASSERT_TRUE(box) << "no box titled " << kWaitTitle << "\n" << Describe();
    EXPECT_EQ(support::MessageBoxText(box), kWaitText);
    EXPECT_EQ(support::MessageBoxIconKind(box), IDI_ASTERISK);
    std::vector<support::WindowInfo> buttons = support::MessageBoxButtons(box);
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(buttons[0].controlId, IDOK);
    // Task modal with no owner: the box disables the confirmation window.
    EXPECT_FALSE(IsWindowEnabled(confirm));
    EXPECT_FALSE(IsWindowEnabled(login));
    ASSERT_TRUE(support::PressMessageBoxButton(box, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box) && IsWindowEnabled(confirm); },
                          kReactTimeoutMs, "box gone, confirmation window enabled"))
        << Describe();
  }

  // The window's capture once the panel has been painted.
  support::ScreenImage CapturePainted(HWND window) {
    support::ScreenImage image;
    WaitUntil(
        [&] {
          image = support::CaptureWindow(window);
          return !image.Empty() && IsBluish(image.PixelAt(kPanel.x + 5, kPanel.y + 5));
        },
        kReactTimeoutMs, "the panel painted");
    return image;
  }

  HWND confirm = nullptr;
};

TEST_F(ConfirmFlow, OneOpensTheWindowCentredOverTheDisabledLoginWindowWithoutTaskbarButton) {
  OpenConfirmWindow();
  ASSERT_TRUE(confirm);
  EXPECT_TRUE(SameRect(WindowRectOf(confirm), kCentred)) << RectText(WindowRectOf(confirm));
  EXPECT_TRUE(SameRect(WindowRectOf(login), kCentred)) << RectText(WindowRectOf(login));
  RECT client_rect{};
  GetClientRect(confirm, &client_rect);
  EXPECT_EQ(client_rect.right, 1000);
  EXPECT_EQ(client_rect.bottom, 400);
  EXPECT_FALSE(IsWindowEnabled(login));
  EXPECT_TRUE(IsWindowVisible(login));
  EXPECT_TRUE(IsWindowEnabled(confirm));
  EXPECT_EQ(TitleOf(confirm), "考试系统");
  // The confirmation window lies above the login window: it is what a point
  // of the shared rectangle shows.
  EXPECT_EQ(GetAncestor(WindowFromPoint({640, 400}), GA_ROOT), confirm);

  // No taskbar button: owned by the program's hidden tool window.
  HWND owner = GetWindow(confirm, GW_OWNER);
  ASSERT_TRUE(owner);
  EXPECT_FALSE(IsWindowVisible(owner));
  EXPECT_TRUE(GetWindowLongA(owner, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  DWORD ownerProcess = 0;
  GetWindowThreadProcessId(owner, &ownerProcess);
  EXPECT_EQ(ownerProcess, client.Id());
  EXPECT_FALSE(GetWindowLongA(confirm, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_EQ(GetParent(confirm), nullptr);

  const LONG style = GetWindowLongA(confirm, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_EQ(style & WS_CAPTION, 0) << std::hex << style;
  EXPECT_EQ(style & WS_BORDER, 0) << std::hex << style;
  EXPECT_EQ(style & WS_DLGFRAME, 0) << std::hex << style;
  EXPECT_EQ(style & WS_SYSMENU, 0) << std::hex << style;
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0) << std::hex << style;
  EXPECT_EQ(style & WS_THICKFRAME, 0) << std::hex << style;
  EXPECT_EQ(style & WS_POPUP, 0) << std::hex << style;
}

TEST_F(ConfirmFlow, TheWindowShowsTheFixedInformationWhateverWasTyped) {
  OpenConfirmWindow();
  ASSERT_TRUE(confirm);
  struct Expected {
    ControlNumber control;
    const char* text;
  };
  const Expected labels[] = {
      {C::标签1, "考生信息查看（本考场为）"}, {C::标签2, "姓名："},
      {C::考生姓名标签, "考生姓名"},         {C::标签4, "考生号："},
      {C::考生号标签, "考生号"},             {C::标签6, "身份证号："},
      {C::身份证号标签, "身份证号"},
  };
  for (const Expected& label : labels) {
    SCOPED_TRACE(label.text);
    HWND hwnd = Control(label.control);
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(support::WindowText(hwnd), label.text);
    EXPECT_TRUE(IsWindowVisible(hwnd));
  }
  // The typed numbers appear nowhere in the window.
  for (const support::WindowInfo& child : support::FindChildWindows(confirm)) {
    EXPECT_EQ(child.text.find(kCandidateNumber), std::string::npos) << child.className;
    EXPECT_EQ(child.text.find(kIdCardNumber), std::string::npos) << child.className;
  }
  // 考生照片标签: an empty 80 x 104 box on the panel, at 380,40 of it.
  HWND photo = Control(C::考生照片标签);
  ASSERT_TRUE(photo);
  RECT photoRect = RectInWindow(photo, confirm);
  EXPECT_TRUE(SameRect(photoRect, {kPanel.x + 380, kPanel.y + 40, kPanel.x + 460, kPanel.y + 144}))
      << RectText(photoRect);
  EXPECT_TRUE(support::FindChildWindows(photo).empty());

  // The three buttons: push buttons with their captions, in their places.
  struct ExpectedButton {
    ControlNumber control;
    const char* text;
    int left;
  };
  const ExpectedButton buttons[] = {
      {C::按钮1, "信息有误", 124}, {C::按钮2, "信息正确", 232}, {C::开始考试按钮, "开始考试", 336}};
  for (const ExpectedButton& b : buttons) {
    SCOPED_TRACE(b.text);
    HWND hwnd = Button(b.control);
    ASSERT_TRUE(hwnd);
    support::WindowInfo info = support::DescribeWindow(hwnd);
    EXPECT_EQ(info.className, "Button");
    EXPECT_EQ(info.text, b.text);
    EXPECT_EQ(info.style & BS_TYPEMASK, BS_PUSHBUTTON) << "a push button, not a default one";
    EXPECT_TRUE(info.style & WS_TABSTOP);
    EXPECT_TRUE(info.visible);
    RECT r = RectInWindow(hwnd, confirm);
    EXPECT_TRUE(SameRect(r, {kPanel.x + b.left, kPanel.y + 168, kPanel.x + b.left + 72,
                             kPanel.y + 192}))
        << RectText(r);
  }
  ExpectButtonsAsAtLoad();
}

TEST_F(ConfirmFlow, FocusStartsOnInfoWrongAndTabSkipsTheDisabledStartButton) {
  OpenConfirmWindow();
  ASSERT_TRUE(confirm);
  HWND wrong = Button(C::按钮1);
  HWND correct = Button(C::按钮2);
  EXPECT_EQ(support::FocusedWindowOf(confirm), wrong);
  EXPECT_EQ(support::ActiveWindowOf(confirm), confirm);

  PressKey(confirm, VK_TAB);
  ASSERT_TRUE(WaitForFocus(correct));
  PressKey(confirm, VK_TAB);  // from 按钮2 past the disabled 开始考试 back to 按钮1
  ASSERT_TRUE(WaitForFocus(wrong));
  PressKey(confirm, VK_TAB);
  ASSERT_TRUE(WaitForFocus(correct));
  PressKey(confirm, VK_TAB);
  ASSERT_TRUE(WaitForFocus(wrong));

  // Shift+Tab from 按钮1 goes backwards, to 按钮2, and back again.
  ASSERT_TRUE(support::BringToForeground(confirm));
  ASSERT_TRUE(support::SendKeyInput(VK_TAB, support::kShift));
  ASSERT_TRUE(WaitForFocus(correct));
  ASSERT_TRUE(support::SendKeyInput(VK_TAB, support::kShift));
  ASSERT_TRUE(WaitForFocus(wrong));

  // Enter does nothing: no default button, and Enter does not move the focus.
  PressKey(confirm, VK_RETURN);
  EXPECT_TRUE(StaysQuiet(2));
  EXPECT_EQ(support::FocusedWindowOf(confirm), wrong);
  EXPECT_EQ(server.Received(0), kRequest);
}

TEST_F(ConfirmFlow, InfoWrongShowsTheWaitBoxAndLeavesTheButtonsAsTheyWereEveryTime) {
  OpenConfirmWindow();
  ASSERT_TRUE(confirm);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("round " + std::to_string(i + 1));
    InformTheInvigilator();
    ExpectButtonsAsAtLoad();
    EXPECT_TRUE(IsWindowVisible(confirm));
    EXPECT_FALSE(IsWindowEnabled(login)) << "still disabled by the confirmation window";
    // The box gives no window the activation back (see the disabled test
    // below); once the window is active again the focus is on 信息有误.
    ASSERT_TRUE(support::BringToForeground(confirm));
    EXPECT_TRUE(WaitForFocus(Button(C::按钮1))) << "focus back on 信息有误";
  }
  // The space bar on the focused 信息有误 is a click too.
  PressKey(confirm, VK_SPACE);
  HWND box = support::WaitForMessageBox(client.Id(), kWaitTitle, kReactTimeoutMs);
  ASSERT_TRUE(box) << Describe();
  ASSERT_TRUE(support::PressMessageBoxButton(box, IDOK));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, kReactTimeoutMs, "box closed"));
  ExpectButtonsAsAtLoad();
  // Nothing is sent to the server.
  EXPECT_TRUE(StaysQuiet(2));
  EXPECT_EQ(server.Received(0), kRequest);
}

TEST_F(ConfirmFlow, InfoCorrectOpensTheBlankExamWindowOverTheDisabledWindows) {
  OpenConfirmWindow();
  ASSERT_TRUE(confirm);
  HWND exam = OpenExamWindow();
  ASSERT_TRUE(exam);
  EXPECT_NE(exam, confirm);
  EXPECT_NE(exam, login);
  EXPECT_EQ(TitleOf(exam), "");
  EXPECT_EQ(support::WindowText(exam), "");
  EXPECT_TRUE(support::FindChildWindows(exam).empty());
  EXPECT_TRUE(SameRect(WindowRectOf(exam), kCentred)) << RectText(WindowRectOf(exam));
  HWND owner = GetWindow(exam, GW_OWNER);
  ASSERT_TRUE(owner);
  EXPECT_EQ(owner, GetWindow(confirm, GW_OWNER));
  EXPECT_TRUE(GetWindowLongA(owner, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  const LONG style = GetWindowLongA(exam, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX | WS_THICKFRAME), 0)
      << std::hex << style;

  EXPECT_FALSE(IsWindowEnabled(confirm));
  EXPECT_FALSE(IsWindowEnabled(login));
  EXPECT_TRUE(IsWindowVisible(confirm));
  EXPECT_TRUE(IsWindowEnabled(exam));
  // It covers the confirmation window exactly: 信息有误's place shows it.
  EXPECT_EQ(GetAncestor(WindowFromPoint(CentreOf(Button(C::按钮1))), GA_ROOT), exam);

  // The button-face colour over the whole area.
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  support::ScreenImage image;
  int others = -1;
  EXPECT_TRUE(WaitUntil(
      [&] {
        image = support::CaptureWindow(exam);
        if (image.Width() != 1000 || image.Height() != 400) return false;
        others = 0;
        for (int y = 0; y < image.Height(); ++y) {
          for (int x = 0; x < image.Width(); ++x) {
            if (image.PixelAt(x, y) != face) ++others;
          }
        }
        return others == 0;
      },
      kReactTimeoutMs, "the exam window all button face"))
      << others << " pixels of another colour; " << support::SaveScreenshot("exam-colour.bmp");

  // Neither the mouse nor the keyboard does anything: clicks anywhere, over
  // the answer buttons' places too, a drag, Enter, space and Tab.
  ASSERT_TRUE(support::BringToForeground(exam));
  ASSERT_TRUE(support::ClickAt(CentreOf(exam)));
  ASSERT_TRUE(support::ClickAt(CentreOf(Button(C::按钮1))));
  ASSERT_TRUE(support::ClickAt(CentreOf(Button(C::按钮2))));
  ASSERT_TRUE(DragWithMouse({300, 300}, {500, 450}));
  ASSERT_TRUE(support::SendKeyInput(VK_RETURN));
  ASSERT_TRUE(support::SendKeyInput(VK_SPACE));
  ASSERT_TRUE(support::SendKeyInput(VK_TAB));
  EXPECT_TRUE(StaysQuiet(3));
  EXPECT_TRUE(IsWindow(exam));
  EXPECT_TRUE(SameRect(WindowRectOf(exam), kCentred)) << RectText(WindowRectOf(exam));
  EXPECT_FALSE(support::WaitForMessageBox(client.Id(), kWaitTitle, 0));
  EXPECT_FALSE(IsWindowEnabled(confirm));
  ExpectButtonsAsAtLoad();
  EXPECT_EQ(server.Received(0), kRequest);

  CloseExamWindow(exam);
  EXPECT_TRUE(IsWindowEnabled(confirm));
  EXPECT_FALSE(IsWindowEnabled(login)) << "the confirmation window still holds it disabled";
  ExpectButtonsConfirmed();
}

TEST_F(ConfirmFlow, AfterTheExamWindowStartExamIsEnabledAndDoesNothing) {
  OpenConfirmWindow();
  ASSERT_TRUE(confirm);
  HWND exam = OpenExamWindow();
  ASSERT_TRUE(exam);
  CloseExamWindow(exam);
  ExpectButtonsConfirmed();
  HWND start = Button(C::开始考试按钮);

  // Only 开始考试 is left in the tab cycle.
  PressKey(confirm, VK_TAB);
  ASSERT_TRUE(WaitForFocus(start)) << Describe();
  PressKey(confirm, VK_TAB);
  EXPECT_TRUE(StaysQuiet(2, 300));
  EXPECT_EQ(support::FocusedWindowOf(confirm), start);

  // Clicking it, in every way, does nothing.
  ASSERT_TRUE(support::ClickButton(start));
  PressKey(confirm, VK_SPACE);
  ASSERT_TRUE(support::BringToForeground(confirm));
  ASSERT_TRUE(support::ClickWithMouse(start));
  EXPECT_TRUE(StaysQuiet(2));
  EXPECT_EQ(VisibleWindows().size(), 2u) << Describe();
  EXPECT_TRUE(IsWindow(confirm));
  EXPECT_FALSE(WaitForExamWindow(0));
  ExpectButtonsConfirmed();
  EXPECT_EQ(server.Received(0), kRequest);

  // The disabled answers cannot be clicked with the mouse.
  ASSERT_TRUE(support::ClickWithMouse(Button(C::按钮1)));
  ASSERT_TRUE(support::ClickWithMouse(Button(C::按钮2)));
  EXPECT_TRUE(StaysQuiet(2));
  ExpectButtonsConfirmed();
}

TEST_F(ConfirmFlow, EscHidesTheLoginWindowAndTheProgramRunsOnWithItsConnection) {
  OpenConfirmWindow();
  ASSERT_TRUE(confirm);
  CloseConfirmWindow();
  EXPECT_TRUE(IsWindow(login)) << "hidden, not closed";
  EXPECT_TRUE(IsWindowEnabled(login)) << "given back its enabled state";
  EXPECT_TRUE(VisibleWindows().empty()) << Describe();
  EXPECT_TRUE(StaysQuiet(0));
  EXPECT_TRUE(client.IsRunning());
  EXPECT_TRUE(server.IsConnectionOpen(0));
  EXPECT_EQ(server.ConnectionCount(), 1u);

  // A later "1" opens the window again as it was at load.
  AcceptAgain();
  ASSERT_TRUE(confirm);
  EXPECT_TRUE(SameRect(WindowRectOf(confirm), kCentred)) << RectText(WindowRectOf(confirm));
  ExpectButtonsAsAtLoad();
  EXPECT_EQ(VisibleWindows().size(), 1u) << "the login window stays hidden\n" << Describe();
  EXPECT_FALSE(IsWindowEnabled(login));
  EXPECT_EQ(support::WindowText(Control(C::考生号标签)), "考生号");

  // Through to the end this time, then once more from the start.
  HWND exam = OpenExamWindow();
  ASSERT_TRUE(exam);
  CloseExamWindow(exam);
  ExpectButtonsConfirmed();
  CloseConfirmWindow();
  EXPECT_TRUE(VisibleWindows().empty()) << Describe();
  AcceptAgain();
  ASSERT_TRUE(confirm);
  ExpectButtonsAsAtLoad();
  CloseConfirmWindow();

  // A later "0": the warning box with no window of the program behind it.
  ASSERT_TRUE(server.Send(0, "0"));
  HWND box = support::WaitForMessageBox(client.Id(), kRejectTitle, kReactTimeoutMs);
  ASSERT_TRUE(box) << Describe();
  EXPECT_EQ(support::MessageBoxText(box), kRejectText);
  EXPECT_EQ(support::MessageBoxIconKind(box), IDI_EXCLAMATION);
  std::vector<support::WindowInfo> visible = VisibleWindows();
  ASSERT_EQ(visible.size(), 1u) << Describe();
  EXPECT_EQ(visible[0].hwnd, box);
  ASSERT_TRUE(support::PressMessageBoxButton(box, IDOK));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, kReactTimeoutMs, "box closed"));
  EXPECT_TRUE(StaysQuiet(0));
  EXPECT_TRUE(client.IsRunning());
  EXPECT_TRUE(server.IsConnectionOpen(0));
  EXPECT_EQ(server.Received(0), kRequest);
}

TEST_F(ConfirmFlow, EscAfterTheExamWindowClosesTheConfirmationWindowToo) {
  OpenConfirmWindow();
  ASSERT_TRUE(confirm);
  HWND exam = OpenExamWindow();
  ASSERT_TRUE(exam);
  CloseExamWindow(exam);
  CloseConfirmWindow();
  EXPECT_TRUE(IsWindow(login));
  EXPECT_TRUE(VisibleWindows().empty()) << Describe();
  EXPECT_TRUE(StaysQuiet(0));
  EXPECT_TRUE(server.IsConnectionOpen(0));
}

TEST_F(ConfirmFlow, ASecondOneWhileTheWindowIsOpenHidesTheLoginWindowOnly) {
  OpenConfirmWindow();
  ASSERT_TRUE(confirm);
  ASSERT_TRUE(server.Send(0, "1"));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(login); }, kReactTimeoutMs,
                        "login window hidden"))
      << Describe();
  EXPECT_TRUE(IsWindow(login));
  // The same confirmation window, still open and working; no second one.
  std::vector<support::WindowInfo> visible = VisibleWindows();
  ASSERT_EQ(visible.size(), 1u) << Describe();
  EXPECT_EQ(visible[0].hwnd, confirm);
  EXPECT_TRUE(IsWindowEnabled(confirm));
  ExpectButtonsAsAtLoad();
  InformTheInvigilator();
  ExpectButtonsAsAtLoad();
  EXPECT_TRUE(IsWindowVisible(confirm));
  EXPECT_FALSE(IsWindowVisible(login));

  // Closing it leaves the program running with nothing visible.
  CloseConfirmWindow();
  EXPECT_TRUE(VisibleWindows().empty()) << Describe();
  EXPECT_TRUE(StaysQuiet(0));
  EXPECT_TRUE(client.IsRunning());
  EXPECT_TRUE(server.IsConnectionOpen(0));
}

TEST_F(ConfirmFlow, TheWindowLooksAsDesigned) {
  OpenConfirmWindow();
  ASSERT_TRUE(confirm);
  support::ScreenImage image = CapturePainted(confirm);
  ASSERT_EQ(image.Width(), 1000);
  ASSERT_EQ(image.Height(), 400);
  std::string saved;
  auto keep = [&] {
    if (saved.empty()) saved = support::SaveScreenshot("confirm-look.bmp");
    return saved;
  };

  // Background: the light grey dotted image around the boxes.
  Tally background = Count(image, {0, 0, 1000, 60});
  EXPECT_EQ(background.bluish, 0) << keep();
  EXPECT_EQ(background.white + background.dark, 0) << keep();

  // The panel: blue, 209 rows of it.
  Tally panel = Count(image, {kPanel.x, kPanel.y, kPanel.x + 504, kPanel.y + 209});
  EXPECT_GT(panel.bluish, panel.total * 3 / 4) << keep();
  Tally below = Count(image, {kPanel.x, kPanel.y + 209, kPanel.x + 504, kPanel.y + 212});
  EXPECT_EQ(below.bluish, 0) << keep();

  // Labels: white text on the blue texture.
  const ControlNumber labels[] = {C::标签1, C::标签2, C::考生姓名标签, C::标签4,
                                  C::考生号标签, C::标签6, C::身份证号标签};
  for (ControlNumber label : labels) {
    HWND hwnd = Control(label);
    SCOPED_TRACE(support::WindowText(hwnd));
    Tally t = Count(image, RectInWindow(hwnd, confirm));
    EXPECT_GT(t.bluish, t.total / 2) << keep();
    EXPECT_GT(t.white, t.total / 100) << "some white text " << t.white << "/" << t.total << keep();
    EXPECT_GT(t.white, 15) << keep();
    EXPECT_EQ(t.dark, 0) << keep();
    EXPECT_EQ(t.face, 0) << "no grey background " << keep();
  }
  // Well inside the panel colour, by a sample pixel of a label's edge row.
  COLORREF sample = image.PixelAt(kPanel.x + 52, kPanel.y + 24);
  EXPECT_TRUE(support::SimilarColour(sample, kPanelBlue, 0x30))
      << std::hex << sample << keep();

  // The photo box: a plain button-face rectangle, 80 x 104, on the blue.
  const RECT photo{kPanel.x + 380, kPanel.y + 40, kPanel.x + 460, kPanel.y + 144};
  Tally inside = Count(image, photo);
  EXPECT_EQ(inside.face, inside.total) << keep();
  Tally left = Count(image, {photo.left - 2, photo.top, photo.left, photo.bottom});
  Tally right = Count(image, {photo.right, photo.top, photo.right + 2, photo.bottom});
  Tally top = Count(image, {photo.left, photo.top - 2, photo.right, photo.top});
  Tally bottom = Count(image, {photo.left, photo.bottom, photo.right, photo.bottom + 2});
  for (const Tally* edge : {&left, &right, &top, &bottom}) {
    EXPECT_EQ(edge->bluish, edge->total) << keep();
  }

  // Buttons: push buttons as the system's visual style draws them (under
  // Wine's theme: a white face in a one-pixel frame, grey, blue on the focused
  // one), the caption dark, greyed on the disabled one.
  struct ButtonLook {
    ControlNumber control;
    bool enabled;
  };
  for (const ButtonLook& b : {ButtonLook{C::按钮1, true}, ButtonLook{C::按钮2, true},
                              ButtonLook{C::开始考试按钮, false}}) {
    HWND hwnd = Button(b.control);
    SCOPED_TRACE(support::WindowText(hwnd));
    const RECT r = RectInWindow(hwnd, confirm);
    const COLORREF inside = image.PixelAt(r.left + 3, r.top + 3);
    Tally face = Count(image, {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1});
    int sameAsFace = 0;
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
      for (int x = r.left + 1; x < r.right - 1; ++x) sameAsFace += image.PixelAt(x, y) == inside;
    }
    EXPECT_TRUE(IsLight(inside)) << std::hex << inside << keep();
    EXPECT_GT(sameAsFace, face.total * 2 / 3) << "a plain face " << keep();
    EXPECT_EQ(Count(image, {r.left + 2, r.top + 2, r.right - 2, r.bottom - 2}).bluish, 0)
        << "nothing of the panel shows through " << keep();
    // A frame of one colour other than the face's, all round.
    const COLORREF frame = image.PixelAt(r.left + 4, r.top);
    EXPECT_NE(frame, inside) << keep();
    int frameMismatches = 0;
    for (int x = r.left + 2; x < r.right - 2; ++x) {
      frameMismatches += !support::SimilarColour(image.PixelAt(x, r.top), frame, 8);
      frameMismatches += !support::SimilarColour(image.PixelAt(x, r.bottom - 1), frame, 8);
    }
    for (int y = r.top + 2; y < r.bottom - 2; ++y) {
      frameMismatches += !support::SimilarColour(image.PixelAt(r.left, y), frame, 8);
      frameMismatches += !support::SimilarColour(image.PixelAt(r.right - 1, y), frame, 8);
    }
    EXPECT_EQ(frameMismatches, 0) << keep();
    Tally caption = Count(image, {r.left + 4, r.top + 4, r.right - 4, r.bottom - 4});
    int captionPixels = 0;
    for (int y = r.top + 4; y < r.bottom - 4; ++y) {
      for (int x = r.left + 4; x < r.right - 4; ++x) captionPixels += image.PixelAt(x, y) != inside;
    }
    EXPECT_GT(captionPixels, 40) << "a caption " << keep();
    if (b.enabled) {
      EXPECT_GT(caption.dark, 40) << "a dark caption " << keep();
    } else {
      EXPECT_EQ(caption.dark, 0) << "a greyed caption " << keep();
    }
  }
  // The focused 信息有误 has its frame in another colour than 信息正确's.
  const RECT wrong = RectInWindow(Button(C::按钮1), confirm);
  const RECT correct = RectInWindow(Button(C::按钮2), confirm);
  EXPECT_NE(image.PixelAt(wrong.left + 4, wrong.top), image.PixelAt(correct.left + 4, correct.top))
      << keep();
}

// A task-modal box without an owner enables the windows it disabled only after
// it has gone, so nothing would take the activation back and the keyboard
// would be dead until the candidate clicked the window.
TEST_F(ConfirmFlow, AfterTheWaitBoxTheWindowIsActiveAgain) {
  OpenConfirmWindow();
  ASSERT_TRUE(confirm);
  InformTheInvigilator();
  EXPECT_TRUE(WaitUntil([&] { return support::ActiveWindowOf(confirm) == confirm; }, 3000,
                        "the confirmation window active"));
  EXPECT_TRUE(WaitForFocus(Button(C::按钮1)));
  // Esc, as the candidate would press it, closes the window.
  ASSERT_TRUE(support::SendKeyInput(VK_ESCAPE));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(confirm); }, 3000, "Esc closed the window"));
}

// Saves the three windows for the documentation when EXAM_SCREENSHOT_DIR is
// set; otherwise it only walks the same journey.
TEST_F(ConfirmFlow, Screenshots) {
  const char* folderSetting = std::getenv("EXAM_SCREENSHOT_DIR");
  const std::string folder = folderSetting ? WindowsFolder(folderSetting) : std::string();
  auto save = [&](HWND window, const char* name) {
    support::ScreenImage image = support::CaptureWindow(window);
    ASSERT_EQ(image.Width(), 1000);
    ASSERT_EQ(image.Height(), 400);
    if (!folder.empty()) {
      EXPECT_TRUE(image.SaveBmp(folder + name)) << folder + name;
      std::cout << "saved " << folder << name << '\n';
    }
  };

  StartClientForServer();
  ASSERT_TRUE(server.WaitForConnection(0, kReactTimeoutMs));
  ASSERT_TRUE(WaitUntil(
      [&] { return support::WindowText(LoginControl(LoginWindow::连接状态标签)) == "考生登录"; },
      kReactTimeoutMs, "connected"));
  ASSERT_TRUE(support::SetControlText(LoginControl(LoginWindow::考生号输入框), kCandidateNumber));
  ASSERT_TRUE(support::SetControlText(LoginControl(LoginWindow::身份证号输入框), kIdCardNumber));
  // The focus in the second box, as after Tab (its caret blinks, so a capture
  // may or may not show it).
  ASSERT_TRUE(support::BringToForeground(login));
  PressKey(login, VK_TAB);
  Sleep(500);
  save(login, "login-window.bmp");

  ASSERT_TRUE(support::ClickButton(LoginControl(LoginWindow::登录按钮)));
  ASSERT_TRUE(server.WaitForReceived(0, kRequest.size(), kReactTimeoutMs));
  AcceptAgain();
  ASSERT_TRUE(confirm);
  CapturePainted(confirm);
  Sleep(300);
  save(confirm, "confirm-window.bmp");

  HWND exam = OpenExamWindow();
  ASSERT_TRUE(exam);
  Sleep(500);
  save(exam, "exam-window.bmp");
  CloseExamWindow(exam);
  CloseConfirmWindow();
}

}  // namespace
}  // namespace e2e

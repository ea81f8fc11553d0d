// The login window against a scripted exam server: the connection state it
// shows, the bytes each click puts on the wire, and how every reply is judged.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>

#include "e2e/ClientSession.h"
#include "support/Input.h"
#include "support/Paths.h"
#include "support/Wait.h"

namespace e2e {
namespace {

using support::WaitUntil;
using W = LoginWindow;

std::string LabelText(HWND label) { return support::WindowText(label); }

class LoginFlow : public ClientSession {};

TEST_F(LoginFlow, WithoutServerTheWindowShowsTheFailedAttemptAndEscEndsTheProgram) {
  StartClient(ConfigFor(support::ScriptedServer::ClosedPort()));
  EXPECT_EQ(LabelText(LoginControl(W::连接状态标签)), "正在连接服务器");
  EXPECT_FALSE(IsWindowEnabled(LoginControl(W::登录按钮)));
  // Nothing tries again: the state stays as it was first shown.
  EXPECT_TRUE(StaysQuiet(1));
  EXPECT_EQ(LabelText(LoginControl(W::连接状态标签)), "正在连接服务器");
  EXPECT_FALSE(IsWindowEnabled(LoginControl(W::登录按钮)));
  EXPECT_EQ(server.ConnectionCount(), 0u);

  ASSERT_TRUE(support::PostKeyPress(LoginControl(W::考生号输入框), VK_ESCAPE));
  EXPECT_EQ(client.WaitForExit(kReactTimeoutMs), std::optional<DWORD>(0));
}

TEST_F(LoginFlow, WithServerTheWindowIsReadyWithFocusInTheCandidateNumber) {
  StartClientForServer();
  ASSERT_TRUE(server.WaitForConnection(0, kReactTimeoutMs));
  EXPECT_EQ(LabelText(LoginControl(W::连接状态标签)), "考生登录");
  EXPECT_TRUE(IsWindowEnabled(LoginControl(W::登录按钮)));
  EXPECT_EQ(support::FocusedWindowOf(login), LoginControl(W::考生号输入框));
  EXPECT_EQ(server.Received(0), "");  // no greeting
}

struct RequestCase {
  const char* what;
  std::string candidateNumber;
  std::string idCardNumber;
  std::string wire;
};

TEST_F(LoginFlow, EachClickSendsExactlyTheTwoNumbersJoinedByFg) {
  const RequestCase cases[] = {
      {"digits", "123", "456", "\x31\x32\x33\x66\x67\x34\x35\x36"},
      {"both boxes empty", "", "", "\x66\x67"},
      {"spaces kept", " 2024 ", " 11010519900307123x ", " 2024 fg 11010519900307123x "},
      {"lower-case x kept", "2024001", "11010519900307123x", "2024001fg11010519900307123x"},
      {"GBK Chinese sent as typed", "考生", "张三", "\xBF\xBC\xC9\xFA" "fg" "\xD5\xC5\xC8\xFD"},
      {"fg inside a number", "12fg3", "4", "12fg3fg4"},
  };
  StartClientForServer();
  ASSERT_TRUE(server.WaitForConnection(0, kReactTimeoutMs));
  std::string expected;
  for (const RequestCase& c : cases) {
    SCOPED_TRACE(c.what);
    SubmitLogin(c.candidateNumber, c.idCardNumber);
    expected += c.wire;
    ASSERT_TRUE(server.WaitForReceived(0, expected.size(), kReactTimeoutMs));
    EXPECT_EQ(server.Received(0), expected);
  }
  EXPECT_EQ(server.ConnectionCount(), 1u);
}

TEST_F(LoginFlow, ThreeClicksSendThreeRequestsAndTheButtonStaysEnabled) {
  StartClientForServer();
  ASSERT_TRUE(server.WaitForConnection(0, kReactTimeoutMs));
  HWND button = LoginControl(W::登录按钮);
  ASSERT_TRUE(support::SetControlText(LoginControl(W::考生号输入框), "7"));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(support::ClickButton(button));
    EXPECT_TRUE(IsWindowEnabled(button));
  }
  ASSERT_TRUE(server.WaitForReceived(0, 9, kReactTimeoutMs));
  EXPECT_EQ(server.Received(0), "7fg7fg7fg");
  // The boxes keep what was typed.
  EXPECT_EQ(support::WindowText(LoginControl(W::考生号输入框)), "7");
}

TEST_F(LoginFlow, AMouseClickOnTheButtonSendsTheRequest) {
  StartClientForServer();
  ASSERT_TRUE(server.WaitForConnection(0, kReactTimeoutMs));
  ASSERT_TRUE(support::SetControlText(LoginControl(W::考生号输入框), "9"));
  ASSERT_TRUE(support::BringToForeground(login));
  ASSERT_TRUE(support::ClickWithMouse(LoginControl(W::登录按钮)));
  ASSERT_TRUE(server.WaitForReceived(0, 3, kReactTimeoutMs));
  EXPECT_EQ(server.Received(0), "9fg");
}

struct ReplyCase {
  const char* what;
  std::string bytes;
};

TEST_F(LoginFlow, EveryReplyButOneIsARejectionWithTheWarningBox) {
  const ReplyCase rejected[] = {
      {"1 CR LF", std::string("1\r\n")},
      {"11", "11"},
      {"0", "0"},
      {"space 1", " 1"},
      {"zero byte then 1", std::string("\0" "1", 2)},
      {"a lone zero byte", std::string("\0", 1)},
  };
  StartClientForServer();
  ASSERT_TRUE(server.WaitForConnection(0, kReactTimeoutMs));
  SubmitLogin("2024001", "110105199003071234");
  ASSERT_TRUE(server.WaitForReceived(0, 25, kReactTimeoutMs));
  for (const ReplyCase& c : rejected) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(server.Send(0, c.bytes));
    HWND box = support::WaitForMessageBox(client.Id(), "登录失败", kReactTimeoutMs);
    ASSERT_TRUE(box) << Describe();
    EXPECT_EQ(support::MessageBoxText(box), "考生信息有误，请重新输入");
    EXPECT_EQ(support::MessageBoxIconKind(box), IDI_EXCLAMATION);
    std::vector<support::WindowInfo> buttons = support::MessageBoxButtons(box);
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(buttons[0].controlId, IDOK);
    // No owner is given: the box disables the login window while it is open.
    EXPECT_FALSE(IsWindowEnabled(login));
    ASSERT_TRUE(support::PressMessageBoxButton(box, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box) && IsWindowEnabled(login); },
                          kReactTimeoutMs, "box gone, login window enabled"));
    // The keyboard works again at once, without a click on the window.
    EXPECT_TRUE(WaitUntil([&] { return support::ActiveWindowOf(login) == login; },
                          kReactTimeoutMs, "login window active again"));
    EXPECT_EQ(support::WindowText(LoginControl(W::考生号输入框)), "2024001");
    EXPECT_EQ(support::WindowText(LoginControl(W::身份证号输入框)), "110105199003071234");
    EXPECT_FALSE(WaitForConfirmWindow(0));
  }
}

TEST_F(LoginFlow, TheAcceptedRepliesOpenTheConfirmationWindow) {
  const ReplyCase accepted[] = {
      {"1", "1"},
      {"1, a zero byte, then anything", std::string("1\0" "0junk", 7)},
  };
  for (const ReplyCase& c : accepted) {
    SCOPED_TRACE(c.what);
    support::ScriptedServer own;
    ASSERT_TRUE(own.Listening());
    config.reset();
    StartClient(ConfigFor(own.Port()));
    ASSERT_TRUE(own.WaitForConnection(0, kReactTimeoutMs));
    SubmitLogin("1", "2");
    ASSERT_TRUE(own.WaitForReceived(0, 4, kReactTimeoutMs));
    ASSERT_TRUE(own.Send(0, c.bytes));
    ASSERT_TRUE(WaitForConfirmWindow()) << Describe();
    EXPECT_FALSE(IsWindowEnabled(login));
    EXPECT_FALSE(support::WaitForMessageBox(client.Id(), "登录失败", 200));
    client.Terminate();
  }
}

TEST_F(LoginFlow, AOneThatNobodyAskedForIsAcceptedAllTheSame) {
  StartClientForServer();
  ASSERT_TRUE(server.WaitForConnection(0, kReactTimeoutMs));
  ASSERT_TRUE(server.Send(0, "1"));
  ASSERT_TRUE(WaitForConfirmWindow()) << Describe();
  EXPECT_EQ(server.Received(0), "");
}

TEST_F(LoginFlow, ARejectionWhileTheBoxIsOpenOpensASecondBox) {
  StartClientForServer();
  ASSERT_TRUE(server.WaitForConnection(0, kReactTimeoutMs));
  ASSERT_TRUE(server.Send(0, "0"));
  HWND first = support::WaitForMessageBox(client.Id(), "登录失败", kReactTimeoutMs);
  ASSERT_TRUE(first);
  ASSERT_TRUE(server.Send(0, "0"));
  HWND second = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const support::WindowInfo& w : support::FindTopLevelWindows(client.Id())) {
          if (w.className == "#32770" && w.visible && w.hwnd != first) second = w.hwnd;
        }
        return second != nullptr;
      },
      kReactTimeoutMs, "a second box"));
  EXPECT_EQ(support::MessageBoxText(second), "考生信息有误，请重新输入");
  EXPECT_TRUE(IsWindow(first));
  ASSERT_TRUE(support::PressMessageBoxButton(second, IDOK));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(second); }, kReactTimeoutMs, "second box closed"));
  EXPECT_TRUE(IsWindow(first));
  ASSERT_TRUE(support::PressMessageBoxButton(first, IDOK));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(first) && IsWindowEnabled(login); },
                        kReactTimeoutMs, "first box closed"));
}

TEST_F(LoginFlow, WhenTheServerClosesNothingVisibleHappensAndLaterClicksAreHarmless) {
  StartClientForServer();
  ASSERT_TRUE(server.WaitForConnection(0, kReactTimeoutMs));
  server.Close(0);
  EXPECT_TRUE(StaysQuiet(1));
  EXPECT_EQ(support::WindowText(LoginControl(W::连接状态标签)), "考生登录");
  EXPECT_TRUE(IsWindowEnabled(LoginControl(W::登录按钮)));
  for (int i = 0; i < 3; ++i) SubmitLogin("1", "2");
  EXPECT_TRUE(StaysQuiet(1));
  EXPECT_EQ(server.ConnectionCount(), 1u);
  EXPECT_TRUE(client.IsRunning());
}

TEST_F(LoginFlow, AHugeReplyIsReadAndJudgedWithoutFreezingTheWindow) {
  StartClientForServer();
  ASSERT_TRUE(server.WaitForConnection(0, kReactTimeoutMs));
  const std::string huge(4 * 1024 * 1024, '0');
  ASSERT_TRUE(server.Send(0, huge));
  // However the bytes are split into arrivals, each one is a rejection box.
  // An arrival during a box opens the next box over it, and a box under
  // another one closes only after it, so every box seen is answered each round
  // until none has been open for a while.
  std::set<HWND> seen;
  ASSERT_TRUE(support::WaitForMessageBox(client.Id(), "登录失败", 30000)) << Describe();
  DWORD lastBoxAt = GetTickCount();
  while (GetTickCount() - lastBoxAt < 2000) {
    for (const support::WindowInfo& window : support::FindTopLevelWindows(client.Id())) {
      if (window.className != "#32770" || !window.visible) continue;
      lastBoxAt = GetTickCount();
      seen.insert(window.hwnd);
      EXPECT_EQ(support::MessageBoxText(window.hwnd), "考生信息有误，请重新输入");
      support::PressMessageBoxButton(window.hwnd, IDOK);
    }
    // The program answers while boxes come and go.
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(login, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
    ASSERT_LT(seen.size(), 5000u) << "one box per arrival, not per byte";
    Sleep(50);
  }
  int boxes = static_cast<int>(seen.size());
  EXPECT_GE(boxes, 1);
  EXPECT_TRUE(client.IsRunning());
  EXPECT_TRUE(IsWindowEnabled(login));
}

}  // namespace
}  // namespace e2e

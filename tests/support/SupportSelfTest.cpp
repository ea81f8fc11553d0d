// The helpers against a child window and a client socket whose behaviour this
// file controls, so that a fault in a helper shows up here and not as a
// puzzling failure of a client test.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/ChildProcess.h"
#include "support/Input.h"
#include "support/Paths.h"
#include "support/PrefixConfig.h"
#include "support/ScreenCapture.h"
#include "support/ScriptedServer.h"
#include "support/Wait.h"
#include "support/WindowProbe.h"

namespace {

using namespace support;

constexpr char kTitle[] = "自检窗口";
constexpr char kHiddenTitle[] = "隐藏窗口";
constexpr char kInitialText[] = "初始";
constexpr char kButtonText[] = "应用";
constexpr int kEditId = 101;
constexpr int kButtonId = 102;
constexpr COLORREF kBackground = RGB(20, 160, 90);
constexpr DWORD kTimeoutMs = 10000;

// --- the child: a window with an edit box and a button ----------------------

int clicks = 0;

LRESULT CALLBACK ChildWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kButtonId && HIWORD(wParam) == BN_CLICKED) {
        char text[256] = {};
        GetDlgItemTextA(hwnd, kEditId, text, sizeof text);
        std::string title = "点击" + std::to_string(++clicks) + ":" + text;
        SetWindowTextA(hwnd, title.c_str());
        SetFocus(GetDlgItem(hwnd, kEditId));
        return 0;
      }
      break;
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(hwnd, &client);
      HBRUSH brush = CreateSolidBrush(kBackground);
      FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
      DeleteObject(brush);
      return 1;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

SUPPORT_CHILD_MODE(window) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ChildWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = "SupportSelfTestWindow";
  RegisterClassA(&windowClass);

  CreateWindowExA(0, windowClass.lpszClassName, kHiddenTitle, WS_OVERLAPPEDWINDOW, 0, 0, 100,
                  100, nullptr, nullptr, instance, nullptr);
  HWND top = CreateWindowExA(0, windowClass.lpszClassName, kTitle, WS_OVERLAPPEDWINDOW, 100,
                             100, 420, 300, nullptr, nullptr, instance, nullptr);
  HWND edit = CreateWindowExA(0, "EDIT", kInitialText,
                              WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 20, 20, 200,
                              24, top, reinterpret_cast<HMENU>(kEditId), instance, nullptr);
  CreateWindowExA(0, "BUTTON", kButtonText, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 240, 20, 100,
                  24, top, reinterpret_cast<HMENU>(kButtonId), instance, nullptr);
  ShowWindow(top, SW_SHOWNORMAL);
  SetFocus(edit);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

SUPPORT_CHILD_MODE(exit_with) { return arguments.empty() ? -2 : std::stoi(arguments[0]); }

SUPPORT_CHILD_MODE(sleep) {
  Sleep(60000);
  return 0;
}

// --- the test side ----------------------------------------------------------

struct ChildWindow {
  ChildProcess process;
  WindowInfo top;
  HWND edit = nullptr;
  HWND button = nullptr;
};

// Starts the child and waits for its window; on failure says what was there.
::testing::AssertionResult StartChildWindow(ChildWindow& child) {
  child.process = ChildProcess::StartSelf("window");
  if (!child.process.Started()) {
    return ::testing::AssertionFailure() << "could not start " << child.process.CommandLine()
                                         << ": error " << child.process.StartError();
  }
  auto top = WaitForWindow(
      child.process.Id(), [](const WindowInfo& w) { return w.text == kTitle && w.visible; },
      kTimeoutMs);
  if (!top) {
    return ::testing::AssertionFailure() << "no window titled " << kTitle << "\n"
                                         << DescribeWindows(child.process.Id())
                                         << SaveScreenshot("support_self_test.bmp");
  }
  child.top = *top;
  child.edit = GetDlgItem(top->hwnd, kEditId);
  child.button = GetDlgItem(top->hwnd, kButtonId);
  if (!child.edit || !child.button) {
    return ::testing::AssertionFailure() << "the controls are missing\n"
                                         << DescribeWindows(child.process.Id());
  }
  return ::testing::AssertionSuccess();
}

TEST(ChildProcessTest, ReportsExitCodesAndEndsChildrenThatHang) {
  struct Case {
    const char* mode;
    const char* arguments;
    DWORD exitCode;
  };
  const Case cases[] = {
      {"exit_with", "42", 42},
      {"exit_with", "-1", 0xFFFFFFFF},
      {"no_such_mode", "", kUnknownChildMode},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.arguments);
    ChildProcess child = ChildProcess::StartSelf(c.mode, c.arguments);
    ASSERT_TRUE(child.Started()) << child.StartError();
    EXPECT_NE(child.Id(), 0u);
    EXPECT_EQ(child.WaitForExit(kTimeoutMs), c.exitCode);
    EXPECT_FALSE(child.IsRunning());
  }

  ChildProcess sleeper = ChildProcess::StartSelf("sleep");
  ASSERT_TRUE(sleeper.Started());
  EXPECT_EQ(sleeper.WaitForExit(200), std::nullopt);
  EXPECT_EQ(sleeper.ExitCode(), std::nullopt);
  sleeper.Terminate(77);
  EXPECT_EQ(sleeper.ExitCode(), 77u);

  ChildProcess missing = ChildProcess::Start("Z:\\no\\such\\program.exe");
  EXPECT_FALSE(missing.Started());
  EXPECT_NE(missing.StartError(), 0u);
}

TEST(ChildProcessTest, QuotesArgumentsAsTheRuntimeSplitsThem) {
  struct Case {
    const char* argument;
    const char* quoted;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"", "\"\""},
      {"two words", "\"two words\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\dir with space\\", "\"C:\\dir with space\\\\\""},
      {"C:\\no_space\\", "C:\\no_space\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(QuoteArgument(c.argument), c.quoted) << c.argument;
}

TEST(PathsTest, ClientProgramIsWhereTheBuildPutIt) {
  EXPECT_NE(GetFileAttributesA(ExamClientPath().c_str()), INVALID_FILE_ATTRIBUTES)
      << ExamClientPath();
  const DWORD folder = GetFileAttributesA(OutputPath("").c_str());
  EXPECT_TRUE(folder != INVALID_FILE_ATTRIBUTES && (folder & FILE_ATTRIBUTE_DIRECTORY))
      << OutputPath("");
}

TEST(WindowProbeTest, SeesWindowsAndControlsOfAnotherProcess) {
  ChildWindow child;
  ASSERT_TRUE(StartChildWindow(child));
  EXPECT_EQ(child.top.className, "SupportSelfTestWindow");
  EXPECT_TRUE(child.top.enabled);
  EXPECT_EQ(child.top.processId, child.process.Id());

  auto windows = FindTopLevelWindows(child.process.Id());
  bool hiddenSeen = false;
  for (const WindowInfo& w : windows) {
    if (w.text == kHiddenTitle) hiddenSeen = !w.visible;
  }
  EXPECT_TRUE(hiddenSeen) << DescribeWindows(child.process.Id());

  auto edit = FindChildById(child.top.hwnd, kEditId);
  auto button = FindChildById(child.top.hwnd, kButtonId);
  ASSERT_TRUE(edit && button) << DescribeWindows(child.process.Id());
  EXPECT_EQ(edit->className, "Edit");
  EXPECT_EQ(edit->text, kInitialText);
  EXPECT_TRUE(edit->visible && edit->enabled);
  EXPECT_EQ(button->className, "Button");
  EXPECT_EQ(button->text, kButtonText);
  EXPECT_EQ(button->style & 0x0F, BS_PUSHBUTTON);
  // Inside the window, left of the button, as the child placed them.
  EXPECT_GT(edit->rect.left, child.top.rect.left);
  EXPECT_GT(edit->rect.top, child.top.rect.top);
  EXPECT_LE(edit->rect.right, button->rect.left);
  EXPECT_EQ(edit->rect.right - edit->rect.left, 200);
  EXPECT_EQ(FindChildWindows(child.top.hwnd).size(), 2u);

  EXPECT_TRUE(WaitUntil([&] { return FocusedWindowOf(child.top.hwnd) == child.edit; },
                        kTimeoutMs, "the edit box to have the focus"));
  EXPECT_EQ(ActiveWindowOf(child.top.hwnd), child.top.hwnd);
}

TEST(InputTest, PostedKeysAndTextReachTheEditAndClicksTheButton) {
  ChildWindow child;
  ASSERT_TRUE(StartChildWindow(child));
  auto editIs = [&](const std::string& expected) {
    auto result = WaitUntil([&] { return WindowText(child.edit) == expected; }, kTimeoutMs,
                            "the edit box to hold \"" + expected + "\"");
    if (!result) result << ", it has \"" << WindowText(child.edit) << "\"";
    return result;
  };

  ASSERT_TRUE(SetControlText(child.edit, ""));
  EXPECT_TRUE(editIs(""));
  ASSERT_TRUE(TypeText(child.edit, "考生A1"));
  EXPECT_TRUE(editIs("考生A1"));
  ASSERT_TRUE(PostKeyPress(child.edit, VK_BACK));
  EXPECT_TRUE(editIs("考生A"));
  // Without Shift held the key gives the small letter.
  ASSERT_TRUE(PostKeyPress(child.edit, 'B'));
  EXPECT_TRUE(editIs("考生Ab"));

  ASSERT_TRUE(ClickButton(child.button));
  EXPECT_TRUE(WaitUntil([&] { return WindowText(child.top.hwnd) == "点击1:考生Ab"; },
                        kTimeoutMs, "the title to tell of the click"));
}

TEST(InputTest, SynthesisedKeysAndMouseReachTheForegroundWindow) {
  ChildWindow child;
  ASSERT_TRUE(StartChildWindow(child));
  ASSERT_TRUE(BringToForeground(child.top.hwnd)) << SaveScreenshot("support_foreground.bmp");
  ASSERT_TRUE(WaitUntil([&] { return FocusedWindowOf(child.top.hwnd) == child.edit; },
                        kTimeoutMs, "the edit box to have the focus"));
  ASSERT_TRUE(SetControlText(child.edit, "x"));

  // The caret starts before the new text; End is an extended key.
  ASSERT_TRUE(SendKeyInput(VK_END));
  ASSERT_TRUE(SendKeyInput('C', kShift));
  ASSERT_TRUE(SendKeyInput('D'));
  EXPECT_TRUE(WaitUntil([&] { return WindowText(child.edit) == "xCd"; }, kTimeoutMs,
                        "typed keys in the edit box"))
      << WindowText(child.edit);

  ASSERT_TRUE(ClickWithMouse(child.button));
  EXPECT_TRUE(WaitUntil([&] { return WindowText(child.top.hwnd) == "点击1:xCd"; }, kTimeoutMs,
                        "the title to tell of the click"))
      << WindowText(child.top.hwnd) << "\n" << SaveScreenshot("support_mouse.bmp");
}

TEST(ScreenCaptureTest, ReadsWhatAnotherProcessPaintedAndSavesIt) {
  ChildWindow child;
  ASSERT_TRUE(StartChildWindow(child));
  RECT client{};
  GetClientRect(child.top.hwnd, &client);
  RECT button{};
  GetWindowRect(child.button, &button);
  MapWindowPoints(nullptr, child.top.hwnd, reinterpret_cast<POINT*>(&button), 2);
  // Below the controls the child paints only its background; the button face
  // differs from it, so a uniform capture would not pass.
  const POINT probe{client.right - 10, client.bottom - 10};
  const POINT onButton{button.left + 5, (button.top + button.bottom) / 2};
  ScreenImage image;
  ASSERT_TRUE(WaitUntil(
      [&] {
        image = CaptureClientArea(child.top.hwnd);
        return !image.Empty() && image.PixelAt(probe.x, probe.y) == kBackground &&
               image.PixelAt(onButton.x, onButton.y) != kBackground;
      },
      kTimeoutMs, "the background and the button on screen"))
      << std::hex << image.PixelAt(probe.x, probe.y) << " "
      << image.PixelAt(onButton.x, onButton.y) << " " << SaveScreenshot("support_capture.bmp");
  EXPECT_EQ(image.Width(), client.right);
  EXPECT_EQ(image.Height(), client.bottom);
  EXPECT_EQ(image.PixelAt(-1, 0), CLR_INVALID);
  EXPECT_EQ(image.PixelAt(image.Width(), 0), CLR_INVALID);

  // Read back through GDI's own loader: the file is a valid bitmap of the image.
  const std::string path = OutputPath("support_capture_roundtrip.bmp");
  ASSERT_TRUE(image.SaveBmp(path));
  auto bitmap = static_cast<HBITMAP>(
      LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  ASSERT_NE(bitmap, nullptr) << path;
  BITMAP size{};
  GetObjectA(bitmap, sizeof size, &size);
  EXPECT_EQ(size.bmWidth, image.Width());
  EXPECT_EQ(size.bmHeight, image.Height());
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(dc, bitmap);
  EXPECT_EQ(GetPixel(dc, probe.x, probe.y), kBackground);
  EXPECT_EQ(GetPixel(dc, onButton.x, onButton.y), image.PixelAt(onButton.x, onButton.y));
  SelectObject(dc, previous);
  DeleteDC(dc);
  DeleteObject(bitmap);
  DeleteFileA(path.c_str());
}

// --- the scripted server ----------------------------------------------------

std::string ReceiveExactly(SOCKET socket, std::size_t count) {
  std::string bytes;
  char buffer[256];
  while (bytes.size() < count) {
    int got = recv(socket, buffer, static_cast<int>(std::min(sizeof buffer, count - bytes.size())), 0);
    if (got <= 0) break;
    bytes.append(buffer, got);
  }
  return bytes;
}

// Bounded reads, so a server that never answers fails the test instead of
// hanging it.
void SetReceiveTimeout(SOCKET socket, DWORD timeoutMs) {
  setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
             sizeof timeoutMs);
}

TEST(ScriptedServerTest, RecordsEachConnectionAndAnswersOnDemand) {
  ScriptedServer server;
  ASSERT_TRUE(server.Listening());
  EXPECT_EQ(server.ConnectionCount(), 0u);
  EXPECT_FALSE(server.IsConnectionOpen(0));

  WinsockSession winsock;
  UniqueSocket first = ConnectToLocalPort(server.Port());
  ASSERT_TRUE(first);
  ASSERT_TRUE(server.WaitForConnection(0, kTimeoutMs));
  UniqueSocket second = ConnectToLocalPort(server.Port());
  ASSERT_TRUE(second);
  ASSERT_TRUE(server.WaitForConnection(1, kTimeoutMs));
  SetReceiveTimeout(first.Get(), kTimeoutMs);
  SetReceiveTimeout(second.Get(), kTimeoutMs);

  // Bytes of any value, sent in pieces, come out whole and in order.
  const std::string request("GET\0\xB5\xC7\xC2\xBC\r\n", 10);
  ASSERT_EQ(send(first.Get(), request.data(), 4, 0), 4);
  ASSERT_EQ(send(second.Get(), "other", 5, 0), 5);
  ASSERT_EQ(send(first.Get(), request.data() + 4, 6, 0), 6);
  ASSERT_TRUE(server.WaitForReceived(0, request.size(), kTimeoutMs));
  ASSERT_TRUE(server.WaitForReceived(
      1, [](const std::string& bytes) { return bytes == "other"; }, kTimeoutMs));
  EXPECT_EQ(server.Received(0), request);
  EXPECT_EQ(server.Received(1), "other");
  EXPECT_FALSE(server.WaitForReceived(0, request.size() + 1, 100));

  ASSERT_TRUE(server.Send(1, "reply-1"));
  ASSERT_TRUE(server.Send(0, "reply-0"));
  EXPECT_EQ(ReceiveExactly(first.Get(), 7), "reply-0");
  EXPECT_EQ(ReceiveExactly(second.Get(), 7), "reply-1");

  // The client closing is seen by the server; the server closing by the client.
  EXPECT_TRUE(server.IsConnectionOpen(1));
  second.Reset();
  EXPECT_TRUE(server.WaitForConnectionEnd(1, kTimeoutMs));
  EXPECT_FALSE(server.IsConnectionOpen(1));
  EXPECT_TRUE(server.IsConnectionOpen(0));
  server.Close(0);
  EXPECT_FALSE(server.IsConnectionOpen(0));
  char byte;
  EXPECT_EQ(recv(first.Get(), &byte, 1, 0), 0);
  EXPECT_EQ(server.ConnectionCount(), 2u);
}

TEST(ScriptedServerTest, AutoReplyAnswersEveryCompleteLine) {
  ScriptedServer server;
  ASSERT_TRUE(server.Listening());
  server.SetAutoReply([](std::size_t connection, std::string& unanswered) {
    const std::size_t end = unanswered.find('\n');
    if (end == std::string::npos) return std::string();
    std::string line = unanswered.substr(0, end);
    unanswered.erase(0, end + 1);
    return std::to_string(connection) + ":" + line + "\n";
  });

  WinsockSession winsock;
  UniqueSocket client = ConnectToLocalPort(server.Port());
  ASSERT_TRUE(client);
  SetReceiveTimeout(client.Get(), kTimeoutMs);
  ASSERT_EQ(send(client.Get(), "a\nbc", 4, 0), 4);
  EXPECT_EQ(ReceiveExactly(client.Get(), 4), "0:a\n");
  ASSERT_EQ(send(client.Get(), "\nd\n", 3, 0), 3);
  EXPECT_EQ(ReceiveExactly(client.Get(), 9), "0:bc\n0:d\n");
  EXPECT_EQ(server.Received(0), "a\nbc\nd\n");
}

TEST(ScriptedServerTest, NothingListensOnTheClosedPort) {
  const std::uint16_t port = ScriptedServer::ClosedPort();
  ASSERT_NE(port, 0);
  WinsockSession winsock;
  int error = 0;
  EXPECT_FALSE(ConnectToLocalPort(port, &error));
  EXPECT_EQ(error, WSAECONNREFUSED);
}

TEST(PrefixConfigTest, WritesTheFileAndPutsBackWhatWasThere) {
  const std::string path = PrefixConfig::ConfigPath();
  const auto before = ReadFileBytes(path);
  {
    PrefixConfig outer("[Server]\r\nAddress=一\r\n");
    ASSERT_TRUE(outer.Written());
    EXPECT_EQ(outer.Path(), path);
    {
      PrefixConfig inner("second");
      EXPECT_EQ(ReadFileBytes(path), "second");
    }
    EXPECT_EQ(ReadFileBytes(path), "[Server]\r\nAddress=一\r\n");
  }
  EXPECT_EQ(ReadFileBytes(path), before);
}

}  // namespace

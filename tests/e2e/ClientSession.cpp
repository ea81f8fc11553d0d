#include "e2e/ClientSession.h"

#include "support/Input.h"
#include "support/Paths.h"
#include "support/Wait.h"

namespace e2e {

namespace {

bool IsForm(const support::WindowInfo& window) { return window.className == "ExamForm"; }

bool HasChildOfClass(HWND window, const char* className) {
  return support::FindChildWindow(window, [&](const support::WindowInfo& child) {
           return child.className == className;
         }).has_value();
}

}  // namespace

std::string ConfigFor(std::uint16_t port) {
  return "[Server]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(port) + "\r\n";
}

int ControlId(const WindowDescription& window, ControlNumber control) {
  for (std::size_t i = 0; i < window.controls.size(); ++i) {
    if (window.controls[i].number == control) return static_cast<int>(i);
  }
  ADD_FAILURE() << "no control " << control << " in window " << window.number;
  return -1;
}

void ClientSession::TearDown() {
  if (HasFailure() && client.Started()) {
    std::cerr << "client windows at failure:\n" << Describe() << '\n';
  }
  client.Terminate();
}

void ClientSession::StartClient(const std::string& configText) {
  ASSERT_TRUE(server.Listening());
  if (!configText.empty()) {
    config.emplace(configText);
    ASSERT_TRUE(config->Written()) << config->Path();
  }
  client = support::ChildProcess::Start(support::ExamClientPath());
  ASSERT_TRUE(client.Started()) << "error " << client.StartError();
  auto window = support::WaitForWindow(
      client.Id(),
      [](const support::WindowInfo& w) {
        return IsForm(w) && w.visible && HasChildOfClass(w.hwnd, "Edit");
      },
      kStartTimeoutMs);
  ASSERT_TRUE(window) << "no login window\n" << Describe();
  login = window->hwnd;
}

HWND ClientSession::ControlOf(HWND window, const WindowDescription& description,
                              ControlNumber control) const {
  int id = ControlId(description, control);
  auto found = support::FindChildWindow(
      window, [&](const support::WindowInfo& child) { return child.controlId == id; });
  return found ? found->hwnd : nullptr;
}

HWND ClientSession::LoginControl(ControlNumber control) const {
  return ControlOf(login, kLoginWindowDescription, control);
}

void ClientSession::SubmitLogin(const std::string& candidateNumber,
                                const std::string& idCardNumber) {
  ASSERT_TRUE(support::SetControlText(LoginControl(LoginWindow::考生号输入框), candidateNumber.c_str()));
  ASSERT_TRUE(support::SetControlText(LoginControl(LoginWindow::身份证号输入框), idCardNumber.c_str()));
  ASSERT_TRUE(support::ClickButton(LoginControl(LoginWindow::登录按钮)));
}

std::vector<support::WindowInfo> ClientSession::VisibleWindows() const {
  std::vector<support::WindowInfo> visible;
  for (const support::WindowInfo& window : support::FindTopLevelWindows(client.Id())) {
    if (window.visible) visible.push_back(window);
  }
  return visible;
}

std::optional<support::WindowInfo> ClientSession::WaitForConfirmWindow(DWORD timeoutMs) const {
  return support::WaitForWindow(
      client.Id(),
      [](const support::WindowInfo& w) {
        return IsForm(w) && w.visible && !HasChildOfClass(w.hwnd, "Edit") &&
               HasChildOfClass(w.hwnd, "Button");
      },
      timeoutMs);
}

std::optional<support::WindowInfo> ClientSession::WaitForExamWindow(DWORD timeoutMs) const {
  return support::WaitForWindow(
      client.Id(),
      [](const support::WindowInfo& w) {
        return IsForm(w) && w.visible && support::FindChildWindows(w.hwnd).empty();
      },
      timeoutMs);
}

void ClientSession::DismissBox(const std::string& title) {
  HWND box = support::WaitForMessageBox(client.Id(), title, kReactTimeoutMs);
  ASSERT_TRUE(box) << "no box titled " << title << "\n" << Describe();
  ASSERT_TRUE(support::PressMessageBoxButton(box, IDOK));
  ASSERT_TRUE(support::WaitUntil([&] { return !IsWindow(box); }, kReactTimeoutMs, "box closed"));
}

::testing::AssertionResult ClientSession::StaysQuiet(std::size_t visibleWindows, DWORD forMs) const {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < forMs) {
    std::size_t now = VisibleWindows().size();
    if (now != visibleWindows) {
      return ::testing::AssertionFailure()
             << now << " visible windows instead of " << visibleWindows << "\n" << Describe();
    }
    if (!client.IsRunning()) return ::testing::AssertionFailure() << "the client ended";
    Sleep(50);
  }
  return ::testing::AssertionSuccess();
}

std::string ClientSession::Describe() const {
  return client.Started() ? support::DescribeWindows(client.Id()) : std::string("(no client)");
}

}  // namespace e2e

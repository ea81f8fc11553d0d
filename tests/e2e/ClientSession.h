// The real client program run as a separate process against a scripted exam
// server on 127.0.0.1, and what a test sees of it through the Windows API.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "screens/Screens.h"
#include "support/ChildProcess.h"
#include "support/PrefixConfig.h"
#include "support/ScriptedServer.h"
#include "support/WindowProbe.h"

namespace e2e {

inline constexpr DWORD kStartTimeoutMs = 20000;
inline constexpr DWORD kReactTimeoutMs = 10000;
// How long a test watches for something that must not happen.
inline constexpr DWORD kQuietMs = 1500;

// The settings file that points the client at 127.0.0.1:port.
std::string ConfigFor(std::uint16_t port);

// The control id of a control of a description: the layer numbers the child
// windows by their place in the description.
int ControlId(const WindowDescription& window, ControlNumber control);

class ClientSession : public ::testing::Test {
 protected:
  void TearDown() override;

  // Writes config.ini into the Windows directory (nothing when `config` is
  // empty), starts the client and waits until its login window is visible.
  void StartClient(const std::string& config);
  void StartClientForServer() { StartClient(ConfigFor(server.Port())); }

  HWND Login() const { return login; }
  HWND LoginControl(ControlNumber control) const;
  HWND ControlOf(HWND window, const WindowDescription& description, ControlNumber control) const;

  // Types into both boxes (replacing what they hold) and clicks the button.
  void SubmitLogin(const std::string& candidateNumber, const std::string& idCardNumber);

  // The visible top-level windows of the client, and the confirmation and
  // exam windows once they are open.
  std::vector<support::WindowInfo> VisibleWindows() const;
  std::optional<support::WindowInfo> WaitForConfirmWindow(DWORD timeoutMs = kReactTimeoutMs) const;
  std::optional<support::WindowInfo> WaitForExamWindow(DWORD timeoutMs = kReactTimeoutMs) const;
  // Dismisses the box with this title; fails the test when none comes.
  void DismissBox(const std::string& title);
  // No window of the client shows anything new for a while: no box, no
  // window appearing.
  ::testing::AssertionResult StaysQuiet(std::size_t visibleWindows, DWORD forMs = kQuietMs) const;

  std::string Describe() const;

  support::ScriptedServer server;
  std::optional<support::PrefixConfig> config;
  support::ChildProcess client;
  HWND login = nullptr;
};

}  // namespace e2e

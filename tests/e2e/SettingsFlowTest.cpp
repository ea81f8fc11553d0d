// The server settings as the real program reads them: config.ini in the
// Windows directory only, and the port text converted as the settings say.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "e2e/ClientSession.h"
#include "support/Paths.h"
#include "support/Wait.h"

namespace e2e {
namespace {

using W = LoginWindow;

std::string FullWidthDigits(std::uint16_t port) {
  std::string digits;
  for (char c : std::to_string(port)) {
    digits += '\xA3';
    digits += static_cast<char>(0xB0 + (c - '0'));
  }
  return digits;
}

std::string Config(const std::string& ip, const std::string& port) {
  return "[Server]\r\nIP=" + ip + "\r\nPort=" + port + "\r\n";
}

class SettingsFlow : public ClientSession {
 protected:
  void ExpectConnected() {
    EXPECT_TRUE(server.WaitForConnection(0, kReactTimeoutMs)) << Describe();
    EXPECT_EQ(support::WindowText(LoginControl(W::连接状态标签)), "考生登录");
    EXPECT_TRUE(IsWindowEnabled(LoginControl(W::登录按钮)));
  }
  void ExpectNotConnected() {
    EXPECT_FALSE(server.WaitForConnection(0, kQuietMs));
    EXPECT_EQ(support::WindowText(LoginControl(W::连接状态标签)), "正在连接服务器");
    EXPECT_FALSE(IsWindowEnabled(LoginControl(W::登录按钮)));
  }
};

struct PortCase {
  const char* what;
  std::string portText;  // built from the server's port P
};

TEST_F(SettingsFlow, PortTextsThatNameTheServersPort) {
  const std::uint16_t p = server.Port();
  const PortCase cases[] = {
      {"full-width digits", FullWidthDigits(p)},
      {"ideographic space first", "\xA1\xA1" + std::to_string(p)},
      {"trailing letters ignored", std::to_string(p) + "abc"},
      {"65536 above the port", std::to_string(65536 + p)},
      {"2^32 above the port, wrapped", std::to_string(4294967296ull + p)},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    config.reset();
    StartClient(Config("127.0.0.1", cases[i].portText));
    ASSERT_TRUE(server.WaitForConnection(i, kReactTimeoutMs)) << Describe();
    EXPECT_EQ(support::WindowText(LoginControl(W::连接状态标签)), "考生登录");
    client.Terminate();
  }
}

// A listener on a fixed low port, for the texts that convert to port 1.
class FixedPortListener {
 public:
  explicit FixedPortListener(std::uint16_t port) {
    socket_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ok_ = socket_ != INVALID_SOCKET &&
          bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
          listen(socket_, 4) == 0;
  }
  ~FixedPortListener() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
  }
  bool Ok() const { return ok_; }
  // Waits for one connection and accepts it.
  bool AcceptOne(DWORD timeoutMs) const {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval timeout{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &timeout) != 1) return false;
    SOCKET accepted = accept(socket_, nullptr, nullptr);
    if (accepted == INVALID_SOCKET) return false;
    closesocket(accepted);
    return true;
  }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  bool ok_ = false;
};

TEST_F(SettingsFlow, PortTextsWithoutANumberConnectToPortOne) {
  support::WinsockSession winsock;
  FixedPortListener portOne(1);
  if (!portOne.Ok()) GTEST_SKIP() << "cannot listen on port 1 here (needs root)";
  for (const char* portText : {"abc", "", "-1", "0x4D12"}) {
    SCOPED_TRACE(portText);
    config.reset();
    StartClient(Config("127.0.0.1", portText));
    EXPECT_TRUE(portOne.AcceptOne(kReactTimeoutMs));
    EXPECT_EQ(support::WindowText(LoginControl(W::连接状态标签)), "考生登录");
    client.Terminate();
  }
}

TEST_F(SettingsFlow, AnEmptyAddressMeansNoConnectionAtAll) {
  StartClient(Config("", std::to_string(server.Port())));
  ExpectNotConnected();
}

TEST_F(SettingsFlow, AHostNameIsLookedUp) {
  StartClient(Config("localhost", std::to_string(server.Port())));
  ExpectConnected();
}

TEST_F(SettingsFlow, AConfigBesideTheProgramIsNotRead) {
  // No file in the Windows directory: the defaults apply, not this one.
  std::optional<std::string> previous = support::ReadFileBytes(support::PrefixConfig::ConfigPath());
  if (previous) DeleteFileA(support::PrefixConfig::ConfigPath().c_str());
  std::string exe = support::ExamClientPath();
  std::string beside = exe.substr(0, exe.find_last_of('\\') + 1) + "config.ini";
  ASSERT_TRUE(support::WriteFileBytes(beside, ConfigFor(server.Port())));
  StartClient("");
  ExpectNotConnected();
  DeleteFileA(beside.c_str());
  if (previous) support::WriteFileBytes(support::PrefixConfig::ConfigPath(), *previous);
}

}  // namespace
}  // namespace e2e

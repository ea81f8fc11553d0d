// The real client against the real exam server (its Windows build, under the
// same Wine session) with the sample roster.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "e2e/ClientSession.h"
#include "support/Wait.h"

namespace e2e {
namespace {

class ExamServerFlow : public ClientSession {
 protected:
  void SetUp() override {
    port_ = support::ScriptedServer::ClosedPort();
    std::string arguments = "--roster " + support::QuoteArgument(EXAM_ROSTER_PATH) +
                            " --listen 127.0.0.1:" + std::to_string(port_) + " --log " +
                            support::QuoteArgument(EXAM_AUDIT_LOG_PATH);
    DeleteFileA(EXAM_AUDIT_LOG_PATH);
    examServer_ = support::ChildProcess::Start(EXAM_SERVER_PATH, arguments);
    ASSERT_TRUE(examServer_.Started()) << "error " << examServer_.StartError();
    support::WinsockSession winsock;
    ASSERT_TRUE(support::WaitUntil(
        [&] { return static_cast<bool>(support::ConnectToLocalPort(port_)); }, kStartTimeoutMs,
        "the exam server listening"));
  }
  void TearDown() override {
    ClientSession::TearDown();
    examServer_.Terminate();
  }

  std::uint16_t port_ = 0;
  support::ChildProcess examServer_;
};

TEST_F(ExamServerFlow, ARosteredCandidateReachesTheConfirmationAndAWrongIdIsRefused) {
  StartClient(ConfigFor(port_));
  ASSERT_TRUE(support::WaitUntil(
      [&] { return IsWindowEnabled(LoginControl(LoginWindow::登录按钮)) != FALSE; },
      kReactTimeoutMs, "connected"));

  SubmitLogin("2024010101", "110101200503141011");
  DismissBox("登录失败");

  SubmitLogin("2024010101", "110101200503141010");
  ASSERT_TRUE(WaitForConfirmWindow()) << Describe();

  // Every attempt is in the audit log, each written before its reply.
  std::optional<std::string> log = support::ReadFileBytes(EXAM_AUDIT_LOG_PATH);
  ASSERT_TRUE(log);
  EXPECT_NE(log->find("2024010101"), std::string::npos);
  std::size_t lines = 0;
  for (char c : *log) lines += c == '\n';
  EXPECT_GE(lines, 2u) << *log;
}

}  // namespace
}  // namespace e2e

// Runs the real exam-server on 127.0.0.1 and talks to it as workstations do.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "server_process.hpp"
#include "test_client.hpp"

namespace exam::testing {
namespace {

struct TestCandidate {
  std::string number;
  std::string idCard;
  std::string Login() const { return number + "fg" + idCard; }
};

// Plausible but fictitious: every fourth ID-card number ends in X.
std::vector<TestCandidate> MakeCandidates(int count) {
  std::vector<TestCandidate> candidates;
  for (int i = 0; i < count; ++i) {
    char number[16];
    char idCard[24];
    std::snprintf(number, sizeof number, "2024%06d", i);
    std::snprintf(idCard, sizeof idCard, "1101012005%07d%c", i, i % 4 == 3 ? 'X' : static_cast<char>('0' + i % 10));
    candidates.push_back({number, idCard});
  }
  return candidates;
}

std::vector<std::string> SplitCsvLine(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  for (std::string field; std::getline(stream, field, ',');) fields.push_back(field);
  if (!line.empty() && line.back() == ',') fields.emplace_back();
  return fields;
}

enum AuditColumn { kTime, kAddress, kPort, kCandidate, kName, kResult, kReason, kDetail };

class ExamServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RaiseOpenFileLimit(); }

  void SetUp() override {
    directory = std::filesystem::temp_directory_path() /
                ("exam-server-it-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    logPath = directory / "audit.csv";
  }
  void TearDown() override {
    server.reset();
    std::filesystem::remove_all(directory);
  }

  std::filesystem::path WriteRoster(const std::vector<TestCandidate>& candidates) {
    static const char* const kNames[] = {"张伟", "李娜", "王芳", "刘洋", "陈静", "杨磊", "赵敏", "黄强"};
    std::ofstream roster(directory / "roster.csv", std::ios::binary);
    roster << "准考证号,身份证号,姓名\r\n";
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      roster << candidates[i].number << ',' << candidates[i].idCard << ',' << kNames[i % 8] << "\r\n";
    }
    return directory / "roster.csv";
  }

  // Starts the server on an ephemeral port; the port is in `port`.
  void StartServer(const std::vector<TestCandidate>& candidates, std::vector<std::string> extraArguments = {}) {
    std::vector<std::string> arguments{"--roster", WriteRoster(candidates).string(), "--listen", "127.0.0.1:0",
                                       "--log", logPath.string()};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    server = std::make_unique<ServerProcess>(arguments);
    port = server->WaitForPort();
    ASSERT_NE(port, 0) << "no \"listening on\" first line; output:\n" << server->Output();
  }

  std::vector<std::vector<std::string>> AuditRows() const {
    std::ifstream log(logPath, std::ios::binary);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    std::getline(log, line);
    EXPECT_EQ(line + "\n", "time,peer_address,peer_port,candidate_number,name,result,reason,detail\n");
    while (std::getline(log, line)) rows.push_back(SplitCsvLine(line));
    return rows;
  }

  std::filesystem::path directory;
  std::filesystem::path logPath;
  std::unique_ptr<ServerProcess> server;
  std::uint16_t port = 0;
};

TEST_F(ExamServerTest, ThousandConcurrentLoginsGetTheRightAnswers) {
  constexpr int kWorkstations = 1000;
  const auto candidates = MakeCandidates(kWorkstations);
  StartServer(candidates);

  struct Expectation {
    std::string request;
    std::string reply;
    std::string reason;
  };
  std::vector<Expectation> expected;
  for (int i = 0; i < kWorkstations; ++i) {
    const TestCandidate& candidate = candidates[i];
    if (i % 111 == 5) {
      // Nine wrong guesses: below the throttle, all from 127.0.0.1.
      expected.push_back({candidate.number + "fg" + candidates[i + 1].idCard, "0", "wrong ID-card number"});
    } else if (candidate.idCard.back() == 'X' && i % 2 == 1) {
      std::string lowerX = candidate.Login();
      lowerX.back() = 'x';
      expected.push_back({lowerX, "1", "accepted"});
    } else {
      expected.push_back({candidate.Login(), "1", "accepted"});
    }
  }

  std::vector<TestClient> clients;
  for (int i = 0; i < kWorkstations; ++i) clients.push_back(TestClient::Connect(port));
  for (int i = 0; i < kWorkstations; ++i) ASSERT_TRUE(clients[i].Send(expected[i].request)) << i;

  const auto deadline = std::chrono::steady_clock::now() + 60s;
  std::map<std::uint16_t, int> workstationByPort;
  int wrongAnswers = 0;
  for (int i = 0; i < kWorkstations; ++i) {
    const auto left = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   deadline - std::chrono::steady_clock::now()), 1ms);
    const auto reply = clients[i].Receive(left);
    if (reply != expected[i].reply) {
      ++wrongAnswers;
      ADD_FAILURE() << "workstation " << i << " sent " << expected[i].request << ", got "
                    << reply.value_or("(nothing)");
    }
    workstationByPort[clients[i].LocalPort()] = i;
  }
  EXPECT_EQ(wrongAnswers, 0);

  const auto rows = AuditRows();
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kWorkstations));
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 8u);
    const int i = workstationByPort.at(static_cast<std::uint16_t>(std::stoi(row[kPort])));
    EXPECT_EQ(row[kAddress], "127.0.0.1");
    EXPECT_EQ(row[kCandidate], candidates[i].number);
    EXPECT_EQ(row[kReason], expected[i].reason) << candidates[i].number;
    EXPECT_EQ(row[kResult], expected[i].reply == "1" ? "accepted" : "rejected");
  }

  server->Signal(SIGTERM);
  EXPECT_EQ(server->WaitForExit(20s), 0) << server->Output();
  const std::string output = server->Output();
  EXPECT_NE(output.find("attendance: 991 of 1000 candidates logged in"), std::string::npos) << output;
  EXPECT_NE(output.find("not logged in (9):\n  2024000005  "), std::string::npos);
}

TEST_F(ExamServerTest, JunkOversizedSilentAndGreedyPeersDoNotDelayOthers) {
  const auto candidates = MakeCandidates(20);
  StartServer(candidates);

  for (int i = 0; i < 3000; ++i) {
    TestClient churn = TestClient::Connect(port);
    if (i % 2 == 0) churn.Abort();
  }

  std::vector<TestClient> silent;
  for (int i = 0; i < 200; ++i) silent.push_back(TestClient::Connect(port));

  TestClient oversized = TestClient::Connect(port);
  ASSERT_TRUE(oversized.Send(std::string(64 * 1024, '7') + "fg1"));
  // The tail may arrive as further reads; every answer must still be "0".
  const auto refusal = oversized.Receive();
  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(refusal->find_first_not_of('0'), std::string::npos) << *refusal;
  EXPECT_TRUE(oversized.WaitForClose(15s)) << "oversized sender should be hung up on";

  std::vector<TestClient> junk;
  for (int i = 0; i < 20; ++i) {
    junk.push_back(TestClient::Connect(port));
    const std::string bytes{'\x00', '\xFF', static_cast<char>(i), '\r', '\n', 'g', 'f'};
    for (int round = 0; round < 3; ++round) EXPECT_EQ(junk.back().Request(bytes), "0") << i;
  }

  // Sends until the kernel buffers are full and never reads a reply.
  TestClient greedy = TestClient::Connect(port);
  ::fcntl(greedy.Descriptor(), F_SETFL, ::fcntl(greedy.Descriptor(), F_GETFL) | O_NONBLOCK);
  const std::string chunk(16 * 1024, 'J');
  for (int i = 0; i < 1024 && ::send(greedy.Descriptor(), chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0; ++i) {
  }

  for (std::size_t i = 0; i < 10; ++i) {
    const auto started = std::chrono::steady_clock::now();
    TestClient workstation = TestClient::Connect(port);
    EXPECT_EQ(workstation.Request(candidates[i].Login(), 2s), "1") << candidates[i].number;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  }
  // A workstation that sat silent all this time is still served.
  EXPECT_EQ(silent.front().Request(candidates[15].Login(), 2s), "1");
  EXPECT_EQ(junk.front().Request(candidates[16].Login(), 2s), "1");

  const auto rows = AuditRows();
  const auto accepted = std::count_if(rows.begin(), rows.end(), [](const auto& row) { return row[kReason] == "accepted"; });
  EXPECT_EQ(accepted, 12);
  const auto oversizedRows = std::count_if(rows.begin(), rows.end(), [](const auto& row) {
    return row[kReason] == "malformed" && row[kDetail] == "request over 1 KiB";
  });
  EXPECT_GE(oversizedRows, 1);
}

TEST_F(ExamServerTest, AuditLogLosesNoLineWhenKilledRightAfterReplies) {
  const auto candidates = MakeCandidates(8);
  StartServer(candidates);

  std::vector<TestClient> workstations;
  for (int i = 0; i < 4; ++i) workstations.push_back(TestClient::Connect(port));
  struct Sent {
    std::uint16_t port;
    std::string candidate;
    std::string reason;
  };
  std::vector<Sent> sent;
  for (int i = 0; i < 300; ++i) {
    TestClient& workstation = workstations[i % 4];
    const bool junk = i % 3 == 2;
    const std::string request = junk ? "no separator" : candidates[i % 4].Login();
    ASSERT_EQ(workstation.Request(request), junk ? "0" : "1") << i;
    sent.push_back({workstation.LocalPort(), junk ? "" : candidates[i % 4].number, junk ? "malformed" : "accepted"});
  }
  server->Signal(SIGKILL);
  ASSERT_EQ(server->WaitForExit(), 128 + SIGKILL);

  const auto rows = AuditRows();
  ASSERT_EQ(rows.size(), sent.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(std::stoi(rows[i][kPort]), sent[i].port) << "line " << i + 2;
    EXPECT_EQ(rows[i][kCandidate], sent[i].candidate) << "line " << i + 2;
    EXPECT_EQ(rows[i][kReason], sent[i].reason) << "line " << i + 2;
  }
}

TEST_F(ExamServerTest, KeepsTheConnectionAndThrottlesGuessers) {
  const auto candidates = MakeCandidates(8);
  StartServer(candidates);

  TestClient workstation = TestClient::Connect(port);
  EXPECT_EQ(workstation.Request(candidates[0].number + "fg" + candidates[1].idCard), "0");
  EXPECT_EQ(workstation.Request(candidates[0].Login() + "\r\n"), "0") << "the client sends no line end";
  EXPECT_EQ(workstation.Request(candidates[0].Login()), "1");
  EXPECT_EQ(workstation.Request(candidates[0].Login()), "1") << "a second press on the same connection";
  EXPECT_EQ(TestClient::Connect(port).Request(candidates[0].Login()), "1") << "same address, new connection";

  for (int i = 0; i < 8; ++i) EXPECT_EQ(workstation.Request("9999fg" + std::to_string(i)), "0");
  EXPECT_EQ(workstation.Request(candidates[1].Login()), "0") << "throttled after ten failures";

  const auto rows = AuditRows();
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.back()[kReason], "throttled");
  EXPECT_EQ(rows.back()[kCandidate], candidates[1].number);
  EXPECT_EQ(rows[0][kName], "张伟");

  server->Signal(SIGINT);
  EXPECT_EQ(server->WaitForExit(), 0);
  EXPECT_NE(server->Output().find("attendance: 1 of 8 candidates logged in"), std::string::npos) << server->Output();
}

TEST_F(ExamServerTest, BadStartsExitWithOneClearLine) {
  const auto rosterPath = WriteRoster(MakeCandidates(3)).string();
  {
    std::ofstream duplicate(directory / "duplicate.csv", std::ios::binary);
    duplicate << "准考证号,身份证号,姓名\n2024001,1,a\n2024001,2,b\n";
  }
  const std::string duplicatePath = (directory / "duplicate.csv").string();

  UniqueFd occupied(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(occupied.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(occupied.Get(), 1), 0);
  socklen_t length = sizeof address;
  ::getsockname(occupied.Get(), reinterpret_cast<sockaddr*>(&address), &length);
  const std::string busy = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

  struct Case {
    std::vector<std::string> arguments;
    int exitStatus;
    std::string line;
  };
  const Case cases[] = {
      {{}, 2, "exam-server: --roster FILE is required (see --help)"},
      {{"--roster", rosterPath, "--listen", "127.0.0.1"}, 2,
       "exam-server: listen address '127.0.0.1' should look like ADDR:PORT, e.g. 0.0.0.0:19730 (see --help)"},
      {{"--roster", (directory / "absent.csv").string()}, 1,
       "exam-server: " + (directory / "absent.csv").string() + ": cannot open roster file"},
      {{"--roster", duplicatePath}, 1,
       "exam-server: " + duplicatePath + ":3: duplicate candidate number 2024001 (first on line 2)"},
      {{"--roster", rosterPath, "--listen", busy, "--log", logPath.string()}, 1,
       "exam-server: cannot listen on " + busy + ": Address already in use"},
      {{"--roster", rosterPath, "--log", (directory / "no-dir" / "a.csv").string()}, 1,
       "exam-server: " + (directory / "no-dir" / "a.csv").string() +
           ": cannot open for appending: No such file or directory"},
  };
  for (const auto& [arguments, exitStatus, line] : cases) {
    ServerProcess process(arguments);
    EXPECT_EQ(process.WaitForExit(), exitStatus) << line;
    EXPECT_EQ(process.Output(), line + "\n");
  }

  ServerProcess help({"--help"});
  EXPECT_EQ(help.WaitForExit(), 0);
  EXPECT_TRUE(help.Output().starts_with("Usage: exam-server --roster FILE")) << help.Output();
}

}  // namespace
}  // namespace exam::testing

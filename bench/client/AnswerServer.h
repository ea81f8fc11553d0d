// The exam server as the client measurements need it: on 127.0.0.1, it
// answers every block it receives at once with the current reply byte.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bench {

class AnswerServer {
 public:
  AnswerServer();
  ~AnswerServer();
  AnswerServer(const AnswerServer&) = delete;
  AnswerServer& operator=(const AnswerServer&) = delete;

  bool Listening() const { return port_ != 0; }
  std::uint16_t Port() const { return port_; }
  void SetReply(char reply) { reply_ = reply; }

  // Every block received since the last call, oldest first, one per recv.
  std::vector<std::string> TakeReceived();

 private:
  void Run();

  SOCKET listener_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
  std::atomic<char> reply_{'1'};
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<std::string> received_;
  std::thread thread_;
};

}  // namespace bench

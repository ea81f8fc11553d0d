#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "test_client.hpp"

namespace exam::testing {

// The real exam-server binary, its stdout and stderr collected as it runs.
class ServerProcess {
 public:
  explicit ServerProcess(const std::vector<std::string>& arguments);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // The port from the first line, "listening on 127.0.0.1:PORT"; 0 if it did not come.
  std::uint16_t WaitForPort(std::chrono::milliseconds timeout = 10s);
  bool WaitForOutput(std::string_view text, std::chrono::milliseconds timeout);
  std::string Output() const;

  void Signal(int signalNumber);
  // The exit status, 128 + N for signal N, or nullopt on timeout.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout = 10s);

 private:
  void CollectOutput();

  pid_t pid = -1;
  UniqueFd output;
  std::thread collector;
  mutable std::mutex mutex;
  std::condition_variable outputChanged;
  std::string collected;
  bool outputClosed = false;
  std::optional<int> exitStatus;
};

}  // namespace exam::testing

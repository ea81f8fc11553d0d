#include "server_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace exam::testing {

ServerProcess::ServerProcess(const std::vector<std::string>& arguments) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  }
  output = UniqueFd(pipeEnds[0]);
  const UniqueFd childEnd(pipeEnds[1]);

  std::vector<std::string> argvStrings{EXAM_SERVER_BINARY};
  argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& argument : argvStrings) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, childEnd.Get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, childEnd.Get(), STDERR_FILENO);
  const int spawnError = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawnError != 0) {
    throw std::runtime_error(std::string("spawn exam-server: ") + std::strerror(spawnError));
  }
  collector = std::thread([this] { CollectOutput(); });
}

ServerProcess::~ServerProcess() {
  if (!WaitForExit(0ms)) {
    ::kill(pid, SIGKILL);
    WaitForExit(10s);
  }
  if (collector.joinable()) collector.join();
}

void ServerProcess::CollectOutput() {
  char buffer[4096];
  while (true) {
    const ssize_t received = ::read(output.Get(), buffer, sizeof buffer);
    if (received < 0 && errno == EINTR) continue;
    std::lock_guard lock(mutex);
    if (received <= 0) {
      outputClosed = true;
      outputChanged.notify_all();
      return;
    }
    collected.append(buffer, static_cast<std::size_t>(received));
    outputChanged.notify_all();
  }
}

std::uint16_t ServerProcess::WaitForPort(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex);
  outputChanged.wait_for(lock, timeout, [this] { return outputClosed || collected.find('\n') != std::string::npos; });
  const std::string_view prefix = "listening on 127.0.0.1:";
  const auto lineEnd = collected.find('\n');
  if (lineEnd == std::string::npos || !collected.starts_with(prefix)) {
    return 0;
  }
  return static_cast<std::uint16_t>(std::stoi(collected.substr(prefix.size(), lineEnd - prefix.size())));
}

bool ServerProcess::WaitForOutput(std::string_view text, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex);
  return outputChanged.wait_for(lock, timeout, [&] {
    return outputClosed || collected.find(text) != std::string::npos;
  }) && collected.find(text) != std::string::npos;
}

std::string ServerProcess::Output() const {
  std::lock_guard lock(mutex);
  return collected;
}

void ServerProcess::Signal(int signalNumber) { ::kill(pid, signalNumber); }

std::optional<int> ServerProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (exitStatus) return exitStatus;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  {
    // The pipe closes when the server exits; that is the wake-up.
    std::unique_lock lock(mutex);
    if (!outputChanged.wait_until(lock, deadline, [this] { return outputClosed; })) {
      return std::nullopt;
    }
  }
  while (true) {
    int status = 0;
    const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
    if (reaped == pid) {
      exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return exitStatus;
    }
    if (reaped < 0 || std::chrono::steady_clock::now() >= deadline) {
      return std::nullopt;
    }
    // Output is closed, so the process is already on its way out.
    std::this_thread::sleep_for(5ms);
  }
}

}  // namespace exam::testing

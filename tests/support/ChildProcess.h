// Programs started by a test: the real client, or the test program itself
// re-run in a "child mode" so that a test can watch code that ends its process.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "support/Handles.h"

namespace support {

class ChildProcess {
 public:
  // `arguments` follow the quoted program path on the command line as given.
  // On failure the result is not Started() and StartError() holds the reason.
  static ChildProcess Start(const std::string& path, const std::string& arguments = {},
                            const std::string& workingDirectory = {});
  // This program again, running the child mode registered under `mode`.
  static ChildProcess StartSelf(const std::string& mode, const std::string& arguments = {});

  ChildProcess() = default;
  ChildProcess(ChildProcess&&) noexcept = default;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // A child still running when its test ends would outlive it and disturb the
  // next test, so it is ended here.
  ~ChildProcess();

  bool Started() const { return static_cast<bool>(process_); }
  DWORD StartError() const { return startError_; }
  DWORD Id() const { return id_; }
  HANDLE Handle() const { return process_.Get(); }
  const std::string& CommandLine() const { return commandLine_; }

  bool IsRunning() const;
  // The exit code, or nothing if the child still runs after timeoutMs.
  std::optional<DWORD> WaitForExit(DWORD timeoutMs) const;
  // The exit code, or nothing while the child runs.
  std::optional<DWORD> ExitCode() const;
  // Ends the child and waits (bounded) until it is gone.
  void Terminate(UINT exitCode = 0xDEAD);

 private:
  UniqueHandle process_;
  DWORD id_ = 0;
  DWORD startError_ = 0;
  std::string commandLine_;
};

// Quotes one command-line argument the way the C runtime splits them again.
std::string QuoteArgument(const std::string& argument);

// The full path of the running program.
std::string SelfPath();

// A child mode gets the arguments that follow --child=NAME and returns the
// process exit code.
using ChildMode = int (*)(const std::vector<std::string>& arguments);

// Returns true so it can initialise a namespace-scope constant.
bool RegisterChildMode(const std::string& name, ChildMode mode);

// Runs the child mode named by a leading --child=NAME argument and gives its
// exit code; nothing when the program was not started as a child. An unknown
// name gives kUnknownChildMode.
std::optional<int> RunChildModeIfRequested(int argc, char** argv);
constexpr int kUnknownChildMode = 97;

}  // namespace support

// SUPPORT_CHILD_MODE(name) { ...body using `arguments`...; return code; }
#define SUPPORT_CHILD_MODE(name)                                                        \
  static int SupportChildMode_##name(const std::vector<std::string>& arguments);        \
  [[maybe_unused]] static const bool supportChildModeRegistered_##name =                \
      ::support::RegisterChildMode(#name, &SupportChildMode_##name);                    \
  static int SupportChildMode_##name([[maybe_unused]] const std::vector<std::string>& arguments)

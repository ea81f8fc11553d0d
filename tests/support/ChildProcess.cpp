#include "support/ChildProcess.h"

#include <cstdio>
#include <map>
#include <string_view>

namespace support {

namespace {

constexpr std::string_view kChildPrefix = "--child=";

std::map<std::string, ChildMode>& ChildModes() {
  static std::map<std::string, ChildMode> modes;
  return modes;
}

}  // namespace

ChildProcess ChildProcess::Start(const std::string& path, const std::string& arguments,
                                 const std::string& workingDirectory) {
  ChildProcess child;
  child.commandLine_ = QuoteArgument(path);
  if (!arguments.empty()) child.commandLine_ += " " + arguments;

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // CreateProcessA may write into the command line, so it gets its own copy.
  std::vector<char> commandLine(child.commandLine_.begin(), child.commandLine_.end());
  commandLine.push_back('\0');
  if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                      &info)) {
    child.startError_ = GetLastError();
    return child;
  }
  CloseHandle(info.hThread);
  child.process_.Reset(info.hProcess);
  child.id_ = info.dwProcessId;
  return child;
}

ChildProcess ChildProcess::StartSelf(const std::string& mode, const std::string& arguments) {
  std::string all = std::string(kChildPrefix) + mode;
  if (!arguments.empty()) all += " " + arguments;
  return Start(SelfPath(), all);
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    if (IsRunning()) Terminate();
    process_ = std::move(other.process_);
    id_ = other.id_;
    startError_ = other.startError_;
    commandLine_ = std::move(other.commandLine_);
  }
  return *this;
}

ChildProcess::~ChildProcess() {
  if (IsRunning()) Terminate();
}

bool ChildProcess::IsRunning() const {
  return Started() && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProcess::WaitForExit(DWORD timeoutMs) const {
  if (!Started() || WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  return ExitCode();
}

std::optional<DWORD> ChildProcess::ExitCode() const {
  if (IsRunning() || !Started()) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_.Get(), &code)) return std::nullopt;
  return code;
}

void ChildProcess::Terminate(UINT exitCode) {
  if (!Started()) return;
  TerminateProcess(process_.Get(), exitCode);
  WaitForSingleObject(process_.Get(), 5000);
}

std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    return argument;
  }
  // Backslashes only need doubling where a quote follows them.
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') quoted.append(backslashes * 2 + 1, '\\');
    else quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

std::string SelfPath() {
  char path[MAX_PATH * 2];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, length < sizeof path ? length : 0);
}

bool RegisterChildMode(const std::string& name, ChildMode mode) {
  ChildModes()[name] = mode;
  return true;
}

std::optional<int> RunChildModeIfRequested(int argc, char** argv) {
  if (argc < 2) return std::nullopt;
  std::string_view first = argv[1];
  if (!first.starts_with(kChildPrefix)) return std::nullopt;
  std::string name(first.substr(kChildPrefix.size()));
  auto found = ChildModes().find(name);
  if (found == ChildModes().end()) {
    std::fprintf(stderr, "no child mode named '%s'\n", name.c_str());
    return kUnknownChildMode;
  }
  std::vector<std::string> arguments(argv + 2, argv + argc);
  return found->second(arguments);
}

}  // namespace support

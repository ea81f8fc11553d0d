#include <csignal>
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "asio_setup.hpp"
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include "attendance.hpp"
#include "audit_log.hpp"
#include "command_line.hpp"
#include "exam_server.hpp"
#include "login_service.hpp"
#include "roster.hpp"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace {

constexpr int kExitCannotStart = 1;
constexpr int kExitBadArguments = 2;

void PrepareProcess() {
#ifdef _WIN32
  // Names are UTF-8 throughout.
  SetConsoleOutputCP(CP_UTF8);
#else
  // A closed console must not kill the server mid-exam.
  std::signal(SIGPIPE, SIG_IGN);
  // Every workstation holds a descriptor for the whole exam.
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
#endif
}

int Run(const exam::ServerOptions& options) {
  const exam::Roster roster = exam::Roster::Load(options.rosterPath);
  exam::AuditLog auditLog(options.logPath);
  exam::LoginService service(roster, {.allowSecondSeat = options.allowSecondSeat});
  exam::Attendance attendance;

  asio::io_context io(1);
  const asio::ip::tcp::endpoint endpoint(asio::ip::make_address(options.listen.host), options.listen.port);
  exam::ExamServer server(io, endpoint, service, auditLog, attendance, std::cout);

  std::cout << "listening on " << exam::EndpointText(server.LocalEndpoint()) << std::endl;
  std::cout << "roster " << options.rosterPath << ": " << roster.Candidates().size() << " candidates ("
            << exam::ToString(roster.Encoding()) << ")\n"
            << "audit log " << options.logPath << "\n"
            << (options.allowSecondSeat ? "second seats allowed\n" : "")
            << "Ctrl+C stops the server and prints the attendance" << std::endl;

  asio::signal_set stopSignals(io, SIGINT, SIGTERM);
#ifdef SIGBREAK
  stopSignals.add(SIGBREAK);
#endif
  stopSignals.async_wait([&server](std::error_code error, int signalNumber) {
    if (error) return;
    std::cout << "stopping on signal " << signalNumber << std::endl;
    server.Stop();
  });

  server.Start();
  io.run();

  std::cout << attendance.Report(roster) << std::flush;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const exam::CommandLine commandLine = exam::ParseCommandLine(arguments);
  switch (commandLine.action) {
    case exam::CommandLine::Action::ShowHelp:
      std::cout << exam::HelpText();
      return 0;
    case exam::CommandLine::Action::Fail:
      std::cerr << "exam-server: " << commandLine.error << " (see --help)\n";
      return kExitBadArguments;
    case exam::CommandLine::Action::Run:
      break;
  }
  PrepareProcess();
  try {
    return Run(commandLine.options);
  } catch (const std::exception& error) {
    std::cerr << "exam-server: " << error.what() << '\n';
    return kExitCannotStart;
  }
}

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace exam {

inline constexpr std::uint16_t kDefaultPort = 19730;

struct ListenAddress {
  std::string host = "0.0.0.0";
  std::uint16_t port = kDefaultPort;

  bool operator==(const ListenAddress&) const = default;
};

struct ServerOptions {
  std::string rosterPath;
  ListenAddress listen;
  std::string logPath = "exam-audit.csv";
  bool allowSecondSeat = false;
};

struct CommandLine {
  enum class Action { Run, ShowHelp, Fail };

  Action action = Action::Fail;
  ServerOptions options;
  std::string error;  // one line, for Fail
};

// arguments excludes the program name.
CommandLine ParseCommandLine(const std::vector<std::string_view>& arguments);

// "ADDR:PORT" with an IPv4 or a bracketed IPv6 literal; empty error when fine.
ListenAddress ParseListenAddress(std::string_view text, std::string& error);

std::string HelpText();

}  // namespace exam

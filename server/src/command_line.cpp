#include "command_line.hpp"

#include <charconv>
#include <optional>

#include "asio_setup.hpp"
#include <asio/ip/address.hpp>

namespace exam {
namespace {

std::optional<std::uint16_t> ParsePort(std::string_view text) {
  unsigned value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || status != std::errc() || end != text.data() + text.size() || value > 65535) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted += '\'';
  quoted += text;
  quoted += '\'';
  return quoted;
}

}  // namespace

ListenAddress ParseListenAddress(std::string_view text, std::string& error) {
  error.clear();
  std::string_view host;
  std::string_view port;
  if (text.starts_with('[')) {
    const auto close = text.find("]:");
    if (close == std::string_view::npos) {
      error = "listen address " + Quoted(text) + " should look like [IPV6]:PORT";
      return {};
    }
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) {
      error = "listen address " + Quoted(text) + " should look like ADDR:PORT, e.g. 0.0.0.0:19730";
      return {};
    }
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) {
      error = "IPv6 addresses need brackets, e.g. [::1]:19730";
      return {};
    }
  }
  std::error_code addressError;
  asio::ip::make_address(std::string(host), addressError);
  if (addressError) {
    error = Quoted(host) + " is not an IP address (host names are not accepted)";
    return {};
  }
  const auto portNumber = ParsePort(port);
  if (!portNumber) {
    error = Quoted(port) + " is not a port number (0-65535)";
    return {};
  }
  return {std::string(host), *portNumber};
}

CommandLine ParseCommandLine(const std::vector<std::string_view>& arguments) {
  CommandLine result;
  const auto fail = [&result](std::string message) {
    result.action = CommandLine::Action::Fail;
    result.error = std::move(message);
    return result;
  };
  for (const std::string_view argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      result.action = CommandLine::Action::ShowHelp;
      return result;
    }
  }
  bool sawRoster = false;
  bool sawListen = false;
  bool sawLog = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string_view option = arguments[i];
    std::optional<std::string_view> inlineValue;
    if (const auto equals = option.find('='); option.starts_with("--") && equals != std::string_view::npos) {
      inlineValue = option.substr(equals + 1);
      option = option.substr(0, equals);
    }
    const auto takeValue = [&]() -> std::optional<std::string_view> {
      if (inlineValue) return inlineValue;
      if (i + 1 < arguments.size()) return arguments[++i];
      return std::nullopt;
    };
    const auto once = [&](bool& seen) {
      const bool first = !seen;
      seen = true;
      return first;
    };

    if (option == "--allow-second-seat") {
      if (inlineValue) return fail("--allow-second-seat takes no value");
      result.options.allowSecondSeat = true;
      continue;
    }
    if (option == "--roster" || option == "--listen" || option == "--log") {
      const auto value = takeValue();
      if (!value || value->empty()) return fail(std::string(option) + " needs a value");
      if (option == "--roster") {
        if (!once(sawRoster)) return fail("--roster given more than once");
        result.options.rosterPath = std::string(*value);
      } else if (option == "--log") {
        if (!once(sawLog)) return fail("--log given more than once");
        result.options.logPath = std::string(*value);
      } else {
        if (!once(sawListen)) return fail("--listen given more than once");
        std::string error;
        result.options.listen = ParseListenAddress(*value, error);
        if (!error.empty()) return fail(error);
      }
      continue;
    }
    if (option.starts_with('-')) {
      return fail("unknown option " + Quoted(option));
    }
    return fail("unexpected argument " + Quoted(option));
  }
  if (!sawRoster) {
    return fail("--roster FILE is required");
  }
  result.action = CommandLine::Action::Run;
  return result;
}

std::string HelpText() {
  return R"(Usage: exam-server --roster FILE [--listen ADDR:PORT] [--log FILE] [--allow-second-seat]

Checks the logins of the exam-room workstations against a roster.

Options:
  --roster FILE         CSV roster: candidate number, ID-card number, name
                        (UTF-8 with or without BOM, or GBK; an optional header
                        row). Any bad row stops the start-up with its line.
  --listen ADDR:PORT    Where to accept workstations (default 0.0.0.0:19730).
                        IPv6 as [::]:19730. Port 0 picks a free port; the
                        first output line says "listening on ADDR:PORT".
  --log FILE            Audit log, one CSV line appended per request and
                        written out before the reply (default exam-audit.csv).
  --allow-second-seat   Accept a candidate who is already logged in from
                        another workstation (refused by default).
  -h, --help            Show this help.

A request is the candidate number, "fg", and the ID-card number. The reply is
"1" for a match, "0" otherwise. After 10 failures within a minute, an address
gets "0" for the next minute. Ctrl+C or SIGTERM stops the server and prints
who logged in and who did not.

Exit status: 0 after a clean stop, 1 if the server cannot start, 2 for bad
arguments.
)";
}

}  // namespace exam

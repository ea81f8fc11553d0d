#include "command_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace exam {
namespace {

using Args = std::vector<std::string_view>;

TEST(CommandLine, ReadsEveryOptionInBothSpellings) {
  struct Case {
    Args args;
    std::string roster;
    ListenAddress listen;
    std::string log;
    bool allowSecondSeat;
  };
  const Case cases[] = {
      {{"--roster", "r.csv"}, "r.csv", {"0.0.0.0", 19730}, "exam-audit.csv", false},
      {{"--roster=r.csv", "--listen=127.0.0.1:0", "--log=a.csv", "--allow-second-seat"},
       "r.csv",
       {"127.0.0.1", 0},
       "a.csv",
       true},
      {{"--listen", "[::]:19731", "--roster", "考生.csv", "--log", "log dir/a.csv"},
       "考生.csv",
       {"::", 19731},
       "log dir/a.csv",
       false},
      {{"--roster", "r.csv", "--listen", "[::ffff:10.0.0.1]:65535"}, "r.csv", {"::ffff:10.0.0.1", 65535},
       "exam-audit.csv", false},
  };
  for (const auto& [args, roster, listen, log, allowSecondSeat] : cases) {
    const CommandLine commandLine = ParseCommandLine(args);
    ASSERT_EQ(commandLine.action, CommandLine::Action::Run) << commandLine.error;
    EXPECT_EQ(commandLine.options.rosterPath, roster);
    EXPECT_EQ(commandLine.options.listen, listen) << roster;
    EXPECT_EQ(commandLine.options.logPath, log);
    EXPECT_EQ(commandLine.options.allowSecondSeat, allowSecondSeat);
  }
}

TEST(CommandLine, HelpWinsOverEverythingElse) {
  for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"--roster", "r.csv", "--bogus", "--help"}}) {
    EXPECT_EQ(ParseCommandLine(args).action, CommandLine::Action::ShowHelp) << args.back();
  }
  const std::string help = HelpText();
  for (const std::string_view mentioned : {"--roster", "--listen", "--log", "--allow-second-seat", "19730",
                                           "GBK", "\"1\"", "10 failures", "SIGTERM", "Exit status"}) {
    EXPECT_NE(help.find(mentioned), std::string::npos) << mentioned;
  }
}

TEST(CommandLine, BadArgumentsGiveOneClearLine) {
  struct Case {
    Args args;
    std::string_view error;
  };
  const Case cases[] = {
      {{}, "--roster FILE is required"},
      {{"--log", "a.csv"}, "--roster FILE is required"},
      {{"--roster"}, "--roster needs a value"},
      {{"--roster="}, "--roster needs a value"},
      {{"--roster", "a", "--roster", "b"}, "--roster given more than once"},
      {{"--roster", "r", "--log", "a", "--log", "b"}, "--log given more than once"},
      {{"--roster", "r", "--verbose"}, "unknown option '--verbose'"},
      {{"--roster", "r", "extra"}, "unexpected argument 'extra'"},
      {{"--roster", "r", "--allow-second-seat=yes"}, "--allow-second-seat takes no value"},
      {{"--roster", "r", "--listen", "19730"}, "listen address '19730' should look like ADDR:PORT"},
      {{"--roster", "r", "--listen", "localhost:19730"}, "'localhost' is not an IP address"},
      {{"--roster", "r", "--listen", "0.0.0.0:65536"}, "'65536' is not a port number (0-65535)"},
      {{"--roster", "r", "--listen", "0.0.0.0:"}, "'' is not a port number"},
      {{"--roster", "r", "--listen", "0.0.0.0:+80"}, "'+80' is not a port number"},
      {{"--roster", "r", "--listen", "::1:80"}, "IPv6 addresses need brackets, e.g. [::1]:19730"},
      {{"--roster", "r", "--listen", "[::1]80"}, "should look like [IPV6]:PORT"},
      {{"--roster", "r", "--listen", "300.1.1.1:80"}, "'300.1.1.1' is not an IP address"},
  };
  for (const auto& [args, error] : cases) {
    const CommandLine commandLine = ParseCommandLine(args);
    EXPECT_EQ(commandLine.action, CommandLine::Action::Fail) << error;
    EXPECT_NE(commandLine.error.find(error), std::string::npos) << commandLine.error;
    EXPECT_EQ(commandLine.error.find('\n'), std::string::npos) << commandLine.error;
  }
}

}  // namespace
}  // namespace exam

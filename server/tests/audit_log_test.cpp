#include "audit_log.hpp"

#include "scoped_time_zone.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace exam {
namespace {

WallTime UtcSeconds(long long seconds, int milliseconds = 0) {
  return WallTime{} + std::chrono::seconds(seconds) + std::chrono::milliseconds(milliseconds);
}

class FixedTimeZone : public ::testing::Test {
 protected:
  void UseTimeZone(const char* zone) { timeZone.Use(zone); }

  ScopedTimeZone timeZone{"CST-8"};
};

using Timestamps = FixedTimeZone;

TEST_F(Timestamps, CarryTheLocalOffset) {
  struct Case {
    const char* zone;
    WallTime time;
    std::string expected;
  };
  const Case cases[] = {
      {"UTC0", UtcSeconds(1717203601, 123), "2024-06-01T01:00:01.123+00:00"},
      {"CST-8", UtcSeconds(1717203601, 123), "2024-06-01T09:00:01.123+08:00"},
      {"CST-8", UtcSeconds(1704052800), "2024-01-01T04:00:00.000+08:00"},
      {"<-0330>3:30", UtcSeconds(1704074400), "2023-12-31T22:30:00.000-03:30"},
      {"EST5EDT,M3.2.0,M11.1.0", UtcSeconds(1719835200, 999), "2024-07-01T08:00:00.999-04:00"},
      {"<+1345>-13:45", UtcSeconds(1709251200), "2024-03-01T13:45:00.000+13:45"},
  };
  for (const auto& [zone, time, expected] : cases) {
    UseTimeZone(zone);
    EXPECT_EQ(FormatIsoTimestamp(time), expected) << zone;
  }
}

AuditEntry Entry(std::string candidateNumber, std::string name, bool accepted, LoginReason reason,
                 std::string detail = {}) {
  return {UtcSeconds(1717203601, 5), "192.168.1.23", 50211, std::move(candidateNumber), std::move(name),
          accepted, reason, std::move(detail)};
}

using AuditLines = FixedTimeZone;

TEST_F(AuditLines, StayOneSafeCsvLineWhateverThePeerSent) {
  struct Case {
    std::string_view label;
    AuditEntry entry;
    std::string csv;
    std::string console;
  };
  const Case cases[] = {
      {"accepted", Entry("2024001", "张伟", true, LoginReason::Accepted),
       "2024-06-01T09:00:01.005+08:00,192.168.1.23,50211,2024001,张伟,accepted,accepted,\n",
       "2024-06-01 09:00:01  192.168.1.23:50211  2024001 张伟  accepted"},
      {"wrong ID-card number", Entry("2024001", "张伟", false, LoginReason::WrongIdCardNumber),
       "2024-06-01T09:00:01.005+08:00,192.168.1.23,50211,2024001,张伟,rejected,wrong ID-card number,\n",
       "2024-06-01 09:00:01  192.168.1.23:50211  2024001 张伟  rejected: wrong ID-card number"},
      {"line breaks and GBK bytes are escaped", Entry("20\r\n24\xD5\xC5", "", false, LoginReason::UnknownCandidate),
       "2024-06-01T09:00:01.005+08:00,192.168.1.23,50211,20\\x0D\\x0A24\\xD5\\xC5,,rejected,unknown candidate,\n",
       "2024-06-01 09:00:01  192.168.1.23:50211  20\\x0D\\x0A24\\xD5\\xC5  rejected: unknown candidate"},
      {"commas and quotes are quoted", Entry("1,\"2\"", "Zhang, Wei", false, LoginReason::UnknownCandidate),
       "2024-06-01T09:00:01.005+08:00,192.168.1.23,50211,\"1,\"\"2\"\"\",\"Zhang, Wei\",rejected,unknown "
       "candidate,\n",
       "2024-06-01 09:00:01  192.168.1.23:50211  1,\"2\" Zhang, Wei  rejected: unknown candidate"},
      {"a typed formula stays text", Entry("=HYPERLINK(1)", "", false, LoginReason::UnknownCandidate),
       "2024-06-01T09:00:01.005+08:00,192.168.1.23,50211,'=HYPERLINK(1),,rejected,unknown candidate,\n",
       "2024-06-01 09:00:01  192.168.1.23:50211  =HYPERLINK(1)  rejected: unknown candidate"},
      {"second seat is a warning with the other address",
       Entry("2024001", "张伟", false, LoginReason::SecondSeat, "already logged in from 192.168.1.7"),
       "2024-06-01T09:00:01.005+08:00,192.168.1.23,50211,2024001,张伟,rejected,second seat,already logged in from "
       "192.168.1.7\n",
       "WARNING 2024-06-01 09:00:01  192.168.1.23:50211  2024001 张伟  rejected: second seat (already logged in "
       "from 192.168.1.7)"},
      {"malformed", Entry("", "", false, LoginReason::Malformed, "no \"fg\" separator"),
       "2024-06-01T09:00:01.005+08:00,192.168.1.23,50211,,,rejected,malformed,\"no \"\"fg\"\" separator\"\n",
       "2024-06-01 09:00:01  192.168.1.23:50211  -  rejected: malformed (no \"fg\" separator)"},
  };
  for (const auto& [label, entry, csv, console] : cases) {
    EXPECT_EQ(FormatAuditCsvLine(entry), csv) << label;
    EXPECT_EQ(FormatConsoleLine(entry), console) << label;
  }
  AuditEntry ipv6 = Entry("2024001", "张伟", true, LoginReason::Accepted);
  ipv6.peerAddress = "fe80::1";
  EXPECT_NE(FormatConsoleLine(ipv6).find("[fe80::1]:50211"), std::string::npos);
  EXPECT_NE(FormatAuditCsvLine(ipv6).find(",fe80::1,50211,"), std::string::npos);
}

class AuditLogFile : public FixedTimeZone {
 protected:
  void SetUp() override {
    path = std::filesystem::temp_directory_path() /
           ("exam-audit-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".csv");
    std::filesystem::remove(path);
  }
  void TearDown() override {
    std::filesystem::remove(path);
  }

  std::string Contents() const {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

  std::filesystem::path path;
};

TEST_F(AuditLogFile, EachLineIsInTheFileBeforeAppendReturns) {
  const AuditEntry first = Entry("2024001", "张伟", true, LoginReason::Accepted);
  const AuditEntry second = Entry("2024002", "李娜", false, LoginReason::WrongIdCardNumber);
  {
    AuditLog log(path);
    ASSERT_TRUE(log.Append(first));
    // Read through a separate handle while the log is still open.
    EXPECT_EQ(Contents(), std::string(kAuditCsvHeader) + FormatAuditCsvLine(first));
    EXPECT_TRUE(log.NeedsSync());
    EXPECT_TRUE(log.Sync());
    EXPECT_FALSE(log.NeedsSync());
  }
  {
    AuditLog reopened(path);
    ASSERT_TRUE(reopened.Append(second));
  }
  EXPECT_EQ(Contents(), std::string(kAuditCsvHeader) + FormatAuditCsvLine(first) + FormatAuditCsvLine(second));
}

TEST_F(AuditLogFile, UnwritablePathStopsTheStartWithItsName) {
  const auto missingDirectory = path.parent_path() / "exam-no-such-directory" / "audit.csv";
  try {
    AuditLog log(missingDirectory);
    FAIL() << "opened";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()).rfind(missingDirectory.string() + ": cannot open for appending", 0), 0u)
        << error.what();
  }
}

}  // namespace
}  // namespace exam

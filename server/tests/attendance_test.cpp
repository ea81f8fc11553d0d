#include "attendance.hpp"

#include "scoped_time_zone.hpp"

#include <gtest/gtest.h>

#include <string>

namespace exam {
namespace {

TEST(Attendance, ListsWhoCameInRosterOrderWithTheirFirstLogin) {
  const ScopedTimeZone beijing("CST-8");
  const Roster roster = Roster::Parse(
      "2024001,1,张伟\n"
      "2024002,2,李娜\n"
      "2024003,3,王芳\n");
  Attendance attendance;
  const WallTime nine = WallTime{} + std::chrono::seconds(1717203600);  // 09:00 in +08:00
  attendance.Record(roster.Candidates()[2], "10.0.0.3", nine);
  attendance.Record(roster.Candidates()[0], "10.0.0.1", nine + std::chrono::minutes(1));
  attendance.Record(roster.Candidates()[0], "10.0.0.9", nine + std::chrono::minutes(5));

  EXPECT_TRUE(attendance.HasLoggedIn("2024001"));
  EXPECT_FALSE(attendance.HasLoggedIn("2024002"));
  EXPECT_EQ(attendance.Report(roster),
            "attendance: 2 of 3 candidates logged in\n"
            "logged in (2):\n"
            "  2024001  张伟  2024-06-01 09:01:00  10.0.0.1\n"
            "  2024003  王芳  2024-06-01 09:00:00  10.0.0.3\n"
            "not logged in (1):\n"
            "  2024002  李娜\n");
}

}  // namespace
}  // namespace exam

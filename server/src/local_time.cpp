#include "local_time.hpp"

#include <cstdio>
#include <ctime>

namespace exam {
namespace {

struct LocalTime {
  std::tm fields{};
  int offsetMinutes = 0;
  int milliseconds = 0;
};

LocalTime ToLocalTime(WallTime time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  LocalTime local;
  std::tm utc{};
#ifdef _WIN32
  localtime_s(&local.fields, &seconds);
  gmtime_s(&utc, &seconds);
#else
  localtime_r(&seconds, &local.fields);
  gmtime_r(&seconds, &utc);
#endif
  // Offsets never exceed a day, so the calendar days differ by at most one.
  int dayDifference = local.fields.tm_yday - utc.tm_yday;
  if (local.fields.tm_year != utc.tm_year) {
    dayDifference = local.fields.tm_year > utc.tm_year ? 1 : -1;
  }
  local.offsetMinutes = dayDifference * 24 * 60 + (local.fields.tm_hour - utc.tm_hour) * 60 +
                        (local.fields.tm_min - utc.tm_min);
  const auto sinceEpoch = time.time_since_epoch();
  const auto wholeSeconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
  local.milliseconds =
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - wholeSeconds).count());
  return local;
}

}  // namespace

std::string FormatIsoTimestamp(WallTime time) {
  const LocalTime local = ToLocalTime(time);
  const int absoluteOffset = local.offsetMinutes < 0 ? -local.offsetMinutes : local.offsetMinutes;
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", local.fields.tm_year + 1900,
                local.fields.tm_mon + 1, local.fields.tm_mday, local.fields.tm_hour, local.fields.tm_min,
                local.fields.tm_sec, local.milliseconds, local.offsetMinutes < 0 ? '-' : '+', absoluteOffset / 60,
                absoluteOffset % 60);
  return text;
}

std::string FormatReadableTime(WallTime time) {
  const LocalTime local = ToLocalTime(time);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.fields.tm_year + 1900,
                local.fields.tm_mon + 1, local.fields.tm_mday, local.fields.tm_hour, local.fields.tm_min,
                local.fields.tm_sec);
  return text;
}

}  // namespace exam

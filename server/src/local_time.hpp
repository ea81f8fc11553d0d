#pragma once

#include <chrono>
#include <string>

namespace exam {

using WallTime = std::chrono::system_clock::time_point;

// Local time with its UTC offset, e.g. 2024-06-01T09:00:01.123+08:00.
std::string FormatIsoTimestamp(WallTime time);

// Local time for people, e.g. 2024-06-01 09:00:01.
std::string FormatReadableTime(WallTime time);

}  // namespace exam

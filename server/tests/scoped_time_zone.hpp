#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace exam {

// Pins the process's local time zone and puts the old one back.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) previous = old;
    Use(zone);
  }
  ~ScopedTimeZone() {
    if (previous) {
      setenv("TZ", previous->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  void Use(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

 private:
  std::optional<std::string> previous;
};

}  // namespace exam

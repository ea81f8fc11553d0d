#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "local_time.hpp"
#include "roster.hpp"

namespace exam {

// Who logged in during this run: the first accepted login counts.
class Attendance {
 public:
  void Record(const Candidate& candidate, std::string_view address, WallTime time);
  bool HasLoggedIn(std::string_view candidateNumber) const;
  std::string Report(const Roster& roster) const;

 private:
  struct FirstLogin {
    std::string address;
    WallTime time;
  };

  std::map<std::string, FirstLogin, std::less<>> firstLogins;
};

}  // namespace exam

#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

namespace exam {

using ConnectionId = std::uint64_t;

// Which open connections are logged in as which candidate. A connection
// holds at most one seat and gives it up when it closes.
class SeatRegistry {
 public:
  // The address of another workstation holding the candidate's seat.
  std::optional<std::string> HolderOtherThan(std::string_view candidateNumber, std::string_view address) const;

  void Occupy(std::string_view candidateNumber, ConnectionId connection, std::string_view address);
  void Release(ConnectionId connection);

 private:
  struct Seat {
    std::string candidateNumber;
    std::string address;
  };

  std::unordered_map<ConnectionId, Seat> seatByConnection;
  std::map<std::string, std::set<ConnectionId>, std::less<>> connectionsByCandidate;
};

}  // namespace exam

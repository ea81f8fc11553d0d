#include "seat_registry.hpp"

namespace exam {

std::optional<std::string> SeatRegistry::HolderOtherThan(std::string_view candidateNumber,
                                                         std::string_view address) const {
  const auto found = connectionsByCandidate.find(candidateNumber);
  if (found == connectionsByCandidate.end()) {
    return std::nullopt;
  }
  for (const ConnectionId connection : found->second) {
    const Seat& seat = seatByConnection.at(connection);
    if (seat.address != address) {
      return seat.address;
    }
  }
  return std::nullopt;
}

void SeatRegistry::Occupy(std::string_view candidateNumber, ConnectionId connection, std::string_view address) {
  Release(connection);
  seatByConnection.emplace(connection, Seat{std::string(candidateNumber), std::string(address)});
  auto found = connectionsByCandidate.find(candidateNumber);
  if (found == connectionsByCandidate.end()) {
    found = connectionsByCandidate.emplace(std::string(candidateNumber), std::set<ConnectionId>{}).first;
  }
  found->second.insert(connection);
}

void SeatRegistry::Release(ConnectionId connection) {
  const auto seat = seatByConnection.find(connection);
  if (seat == seatByConnection.end()) {
    return;
  }
  const auto holders = connectionsByCandidate.find(seat->second.candidateNumber);
  holders->second.erase(connection);
  if (holders->second.empty()) {
    connectionsByCandidate.erase(holders);
  }
  seatByConnection.erase(seat);
}

}  // namespace exam

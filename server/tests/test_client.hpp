#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace exam::testing {

using namespace std::chrono_literals;

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd = other.Release();
    }
    return *this;
  }

  int Get() const { return fd; }
  int Release() {
    const int released = fd;
    fd = -1;
    return released;
  }
  void Reset();

 private:
  int fd = -1;
};

// Each descriptor a test opens counts against the soft limit.
void RaiseOpenFileLimit();

// A blocking loopback client whose every wait is bounded.
class TestClient {
 public:
  // Throws std::runtime_error when 127.0.0.1:port does not answer.
  static TestClient Connect(std::uint16_t port);

  bool Send(std::string_view bytes);
  // One read's worth of bytes; nullopt on timeout or when the server closed.
  std::optional<std::string> Receive(std::chrono::milliseconds timeout = 5s);
  std::optional<std::string> Request(std::string_view bytes, std::chrono::milliseconds timeout = 5s);
  // True once the server has closed the connection.
  bool WaitForClose(std::chrono::milliseconds timeout);
  // Close with a reset instead of a FIN.
  void Abort();
  std::uint16_t LocalPort() const;
  int Descriptor() const { return socket.Get(); }

 private:
  explicit TestClient(UniqueFd socket) : socket(std::move(socket)) {}

  UniqueFd socket;
};

}  // namespace exam::testing

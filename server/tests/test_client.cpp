#include "test_client.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace exam::testing {

void UniqueFd::Reset() {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void RaiseOpenFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

TestClient TestClient::Connect(std::uint16_t port) {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (socket.Get() < 0) {
    throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  }
  // Bounds connect() as well as send() on Linux.
  const timeval sendTimeout{5, 0};
  setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
  const int on = 1;
  setsockopt(socket.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error(std::string("connect: ") + std::strerror(errno));
  }
  return TestClient(std::move(socket));
}

bool TestClient::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(socket.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

std::optional<std::string> TestClient::Receive(std::chrono::milliseconds timeout) {
  pollfd readable{socket.Get(), POLLIN, 0};
  if (::poll(&readable, 1, static_cast<int>(timeout.count())) <= 0) {
    return std::nullopt;
  }
  char buffer[256];
  const ssize_t received = ::recv(socket.Get(), buffer, sizeof buffer, 0);
  if (received <= 0) {
    return std::nullopt;
  }
  return std::string(buffer, static_cast<std::size_t>(received));
}

std::optional<std::string> TestClient::Request(std::string_view bytes, std::chrono::milliseconds timeout) {
  if (!Send(bytes)) return std::nullopt;
  return Receive(timeout);
}

bool TestClient::WaitForClose(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd readable{socket.Get(), POLLIN, 0};
    if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
      return false;
    }
    char buffer[4096];
    const ssize_t received = ::recv(socket.Get(), buffer, sizeof buffer, 0);
    if (received == 0 || (received < 0 && errno == ECONNRESET)) {
      return true;
    }
  }
}

void TestClient::Abort() {
  const linger resetOnClose{1, 0};
  setsockopt(socket.Get(), SOL_SOCKET, SO_LINGER, &resetOnClose, sizeof resetOnClose);
  socket.Reset();
}

std::uint16_t TestClient::LocalPort() const {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

}  // namespace exam::testing

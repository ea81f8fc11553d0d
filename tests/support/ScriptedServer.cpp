#include "support/ScriptedServer.h"

#include <ws2tcpip.h>

#include <utility>

namespace support {

struct ScriptedServer::Connection {
  UniqueSocket socket;
  std::mutex sending;  // replies from the reader and Send() from the test
  std::string received;
  bool ended = false;       // the reader saw the end of the stream
  bool closedByUs = false;  // Close() was called
  std::thread reader;
};

namespace {

sockaddr_in LocalAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

}  // namespace

WinsockSession::WinsockSession() {
  WSADATA data{};
  ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockSession::~WinsockSession() {
  if (ok_) WSACleanup();
}

UniqueSocket::UniqueSocket(UniqueSocket&& other) noexcept
    : socket_(std::exchange(other.socket_, INVALID_SOCKET)) {}

UniqueSocket& UniqueSocket::operator=(UniqueSocket&& other) noexcept {
  if (this != &other) Reset(std::exchange(other.socket_, INVALID_SOCKET));
  return *this;
}

void UniqueSocket::Reset(SOCKET socket) {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
  socket_ = socket;
}

UniqueSocket ConnectToLocalPort(std::uint16_t port, int* error) {
  UniqueSocket client(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address = LocalAddress(port);
  if (!client ||
      connect(client.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (error) *error = WSAGetLastError();
    return {};
  }
  if (error) *error = 0;
  return client;
}

ScriptedServer::ScriptedServer() {
  if (!winsock_.Ok()) return;
  listener_.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address = LocalAddress(0);
  int length = sizeof address;
  if (!listener_ ||
      bind(listener_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_.Get(), SOMAXCONN) != 0 ||
      getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    listener_.Reset();
    return;
  }
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  if (acceptThread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    // A connection of our own is the sure way to wake the blocked accept().
    if (!ConnectToLocalPort(port_)) listener_.Reset();
    acceptThread_.join();
  }
  listener_.Reset();
  // No more connections can appear now.
  for (auto& connection : connections_) {
    shutdown(connection->socket.Get(), SD_BOTH);
    if (connection->reader.joinable()) connection->reader.join();
  }
}

std::uint16_t ScriptedServer::ClosedPort() {
  WinsockSession winsock;
  UniqueSocket probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address = LocalAddress(0);
  int length = sizeof address;
  if (!winsock.Ok() || !probe ||
      bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

void ScriptedServer::SetAutoReply(AutoReply reply) {
  std::lock_guard lock(mutex_);
  autoReply_ = std::move(reply);
}

void ScriptedServer::AcceptLoop() {
  for (;;) {
    UniqueSocket accepted(accept(listener_.Get(), nullptr, nullptr));
    std::lock_guard lock(mutex_);
    if (stopping_ || !accepted) return;
    auto connection = std::make_unique<Connection>();
    connection->socket = std::move(accepted);
    Connection* raw = connection.get();
    const std::size_t index = connections_.size();
    connections_.push_back(std::move(connection));
    raw->reader = std::thread([this, index, raw] { ReadLoop(index, raw); });
    changed_.notify_all();
  }
}

void ScriptedServer::ReadLoop(std::size_t index, Connection* connection) {
  std::string unanswered;
  char buffer[4096];
  for (;;) {
    const int count = recv(connection->socket.Get(), buffer, sizeof buffer, 0);
    if (count <= 0) break;
    AutoReply reply;
    {
      std::lock_guard lock(mutex_);
      connection->received.append(buffer, count);
      reply = autoReply_;
    }
    changed_.notify_all();
    if (!reply) continue;
    unanswered.append(buffer, count);
    std::string answer;
    for (;;) {
      const std::size_t before = unanswered.size();
      answer += reply(index, unanswered);
      if (unanswered.empty() || unanswered.size() == before) break;
    }
    if (!answer.empty()) SendAll(*connection, answer);
  }
  {
    std::lock_guard lock(mutex_);
    connection->ended = true;
  }
  changed_.notify_all();
}

bool ScriptedServer::SendAll(Connection& connection, std::string_view bytes) {
  std::lock_guard lock(connection.sending);
  while (!bytes.empty()) {
    const int sent = send(connection.socket.Get(), bytes.data(), static_cast<int>(bytes.size()), 0);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

bool ScriptedServer::WaitFor(DWORD timeoutMs, const std::function<bool()>& done) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

std::size_t ScriptedServer::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

bool ScriptedServer::WaitForConnection(std::size_t index, DWORD timeoutMs) const {
  return WaitFor(timeoutMs, [&] { return index < connections_.size(); });
}

std::string ScriptedServer::Received(std::size_t index) const {
  std::lock_guard lock(mutex_);
  return index < connections_.size() ? connections_[index]->received : std::string();
}

bool ScriptedServer::WaitForReceived(std::size_t index, std::size_t byteCount,
                                     DWORD timeoutMs) const {
  return WaitFor(timeoutMs, [&] {
    return index < connections_.size() && connections_[index]->received.size() >= byteCount;
  });
}

bool ScriptedServer::WaitForReceived(std::size_t index,
                                     const std::function<bool(const std::string&)>& done,
                                     DWORD timeoutMs) const {
  return WaitFor(timeoutMs, [&] {
    return index < connections_.size() && done(connections_[index]->received);
  });
}

bool ScriptedServer::IsConnectionOpen(std::size_t index) const {
  std::lock_guard lock(mutex_);
  return index < connections_.size() && !connections_[index]->ended &&
         !connections_[index]->closedByUs;
}

bool ScriptedServer::WaitForConnectionEnd(std::size_t index, DWORD timeoutMs) const {
  return WaitFor(timeoutMs,
                 [&] { return index < connections_.size() && connections_[index]->ended; });
}

bool ScriptedServer::Send(std::size_t index, std::string_view bytes) {
  Connection* connection = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (index >= connections_.size()) return false;
    connection = connections_[index].get();
  }
  return SendAll(*connection, bytes);
}

void ScriptedServer::Close(std::size_t index) {
  Connection* connection = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (index >= connections_.size()) return;
    connection = connections_[index].get();
    connection->closedByUs = true;
  }
  // The socket itself stays until the destructor, after its reader is joined.
  std::lock_guard lock(connection->sending);
  shutdown(connection->socket.Get(), SD_BOTH);
}

}  // namespace support

// A stand-in for the exam server: listens on 127.0.0.1, records every byte
// the client sends, and answers only what and when the test says.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace support {

// Winsock for the lifetime of the object.
class WinsockSession {
 public:
  WinsockSession();
  ~WinsockSession();
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  bool Ok() const { return ok_; }

 private:
  bool ok_ = false;
};

class UniqueSocket {
 public:
  UniqueSocket() = default;
  explicit UniqueSocket(SOCKET socket) : socket_(socket) {}
  UniqueSocket(UniqueSocket&& other) noexcept;
  UniqueSocket& operator=(UniqueSocket&& other) noexcept;
  UniqueSocket(const UniqueSocket&) = delete;
  UniqueSocket& operator=(const UniqueSocket&) = delete;
  ~UniqueSocket() { Reset(); }

  SOCKET Get() const { return socket_; }
  explicit operator bool() const { return socket_ != INVALID_SOCKET; }
  void Reset(SOCKET socket = INVALID_SOCKET);

 private:
  SOCKET socket_ = INVALID_SOCKET;
};

// A blocking client socket connected to 127.0.0.1:port, or an empty one with
// the Winsock error in *error.
UniqueSocket ConnectToLocalPort(std::uint16_t port, int* error = nullptr);

class ScriptedServer {
 public:
  // Called on the connection's own thread with the bytes received on it that
  // no call has answered yet. It erases from `unanswered` what it answers and
  // returns the reply (possibly empty); it is called again while it erases.
  // It must not call the server.
  using AutoReply = std::function<std::string(std::size_t connection, std::string& unanswered)>;

  ScriptedServer();
  // Stops accepting, closes every connection and joins every thread.
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  bool Listening() const { return port_ != 0; }
  std::uint16_t Port() const { return port_; }
  // A port on 127.0.0.1 where nothing listens, for refused connections.
  static std::uint16_t ClosedPort();

  void SetAutoReply(AutoReply reply);

  std::size_t ConnectionCount() const;
  bool WaitForConnection(std::size_t index, DWORD timeoutMs) const;
  // Everything received on the connection so far, in order.
  std::string Received(std::size_t index) const;
  bool WaitForReceived(std::size_t index, std::size_t byteCount, DWORD timeoutMs) const;
  bool WaitForReceived(std::size_t index, const std::function<bool(const std::string&)>& done,
                       DWORD timeoutMs) const;
  // Neither side has closed the connection yet.
  bool IsConnectionOpen(std::size_t index) const;
  // Until the connection has ended: the peer closed it or Close() did.
  bool WaitForConnectionEnd(std::size_t index, DWORD timeoutMs) const;

  bool Send(std::size_t index, std::string_view bytes);
  // Ends the connection from the server side (the client then reads 0 bytes).
  void Close(std::size_t index);

 private:
  struct Connection;

  void AcceptLoop();
  void ReadLoop(std::size_t index, Connection* connection);
  bool WaitFor(DWORD timeoutMs, const std::function<bool()>& done) const;
  static bool SendAll(Connection& connection, std::string_view bytes);

  WinsockSession winsock_;
  UniqueSocket listener_;
  std::uint16_t port_ = 0;
  bool stopping_ = false;  // guarded by mutex_

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::unique_ptr<Connection>> connections_;
  AutoReply autoReply_;
  std::thread acceptThread_;
};

}  // namespace support

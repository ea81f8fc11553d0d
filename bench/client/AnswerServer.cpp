#include "AnswerServer.h"

#include <algorithm>

namespace bench {

AnswerServer::AnswerServer() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener_ == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, SOMAXCONN) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(listener_);
    listener_ = INVALID_SOCKET;
    return;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Run(); });
}

AnswerServer::~AnswerServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ != INVALID_SOCKET) closesocket(listener_);
  WSACleanup();
}

std::vector<std::string> AnswerServer::TakeReceived() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> taken;
  taken.swap(received_);
  return taken;
}

void AnswerServer::Run() {
  std::vector<SOCKET> connections;
  while (!stopping_) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener_, &readable);
    for (SOCKET connection : connections) FD_SET(connection, &readable);
    // The timeout only bounds how late a stop is noticed; data wakes it at once.
    timeval timeout{0, 100 * 1000};
    if (select(0, &readable, nullptr, nullptr, &timeout) <= 0) continue;
    if (FD_ISSET(listener_, &readable)) {
      SOCKET accepted = accept(listener_, nullptr, nullptr);
      if (accepted != INVALID_SOCKET) {
        BOOL noDelay = TRUE;
        setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        if (connections.size() < FD_SETSIZE - 1) {
          connections.push_back(accepted);
        } else {
          closesocket(accepted);
        }
      }
    }
    for (auto it = connections.begin(); it != connections.end();) {
      if (!FD_ISSET(*it, &readable)) {
        ++it;
        continue;
      }
      char bytes[1024];
      int count = recv(*it, bytes, sizeof bytes, 0);
      if (count <= 0) {
        closesocket(*it);
        it = connections.erase(it);
        continue;
      }
      // Recorded first: whoever sees the reply's effect must find the request.
      {
        std::lock_guard lock(mutex_);
        received_.emplace_back(bytes, static_cast<std::size_t>(count));
      }
      char reply = reply_;
      send(*it, &reply, 1, 0);
      ++it;
    }
  }
  for (SOCKET connection : connections) closesocket(connection);
}

}  // namespace bench

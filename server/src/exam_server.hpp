#pragma once

#include "asio_setup.hpp"
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>

#include "attendance.hpp"
#include "audit_log.hpp"
#include "login_service.hpp"

namespace exam {

class Connection;

// One thread, one io_context, one connection object per workstation.
class ExamServer {
 public:
  ExamServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, LoginService& service,
             AuditLog& auditLog, Attendance& attendance, std::ostream& console);

  asio::ip::tcp::endpoint LocalEndpoint() const { return acceptor.local_endpoint(); }
  void Start();
  // Closes every connection so that io_context::run returns.
  void Stop();

  struct Reply {
    char byte = '0';
    bool hangUp = false;
  };
  Reply HandleRequest(ConnectionId connection, const std::string& peerAddress, std::uint16_t peerPort,
                      std::string_view request);
  void ConnectionClosed(ConnectionId connection);

 private:
  void AcceptNext();
  void OnAccepted(asio::ip::tcp::socket socket);
  void RetryAcceptLater(const std::error_code& error);
  void ScheduleSync();
  void PrintLine(const std::string& line);

  LoginService& service;
  AuditLog& auditLog;
  Attendance& attendance;
  std::ostream& console;

  asio::ip::tcp::acceptor acceptor;
  asio::steady_timer acceptRetryTimer;
  asio::steady_timer syncTimer;
  bool syncScheduled = false;
  bool acceptFailing = false;
  bool stopping = false;
  ConnectionId nextConnectionId = 1;
  std::unordered_map<ConnectionId, std::weak_ptr<Connection>> openConnections;
};

std::string EndpointText(const asio::ip::tcp::endpoint& endpoint);

}  // namespace exam

#include "exam_server.hpp"

#include <array>
#include <stdexcept>
#include <vector>

#include <asio/ip/v6_only.hpp>
#include <asio/write.hpp>

#ifdef _WIN32
#include <mstcpip.h>
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace exam {
namespace {

using asio::ip::tcp;
using namespace std::chrono_literals;

// A reply is one byte, so only a peer that never reads can stall a write.
constexpr auto kWriteTimeout = 10s;
// Time given to a hung-up peer to read its "0" before the socket goes.
constexpr auto kHangUpGrace = 5s;
constexpr auto kAcceptRetryDelay = 100ms;
// Bounds what a power cut can take; a killed process loses nothing anyway.
constexpr auto kSyncDelay = 1s;

// A workstation that loses power never closes its connection, and would hold
// its candidate's seat for good; keepalive notices it in about 90 s.
constexpr int kKeepAliveIdleSeconds = 60;
constexpr int kKeepAliveIntervalSeconds = 10;
constexpr int kKeepAliveProbes = 3;

void EnableKeepAlive(tcp::socket& socket) {
  std::error_code ignored;
  socket.set_option(asio::socket_base::keep_alive(true), ignored);
#ifdef _WIN32
  tcp_keepalive settings{1, kKeepAliveIdleSeconds * 1000, kKeepAliveIntervalSeconds * 1000};
  DWORD returned = 0;
  WSAIoctl(socket.native_handle(), SIO_KEEPALIVE_VALS, &settings, sizeof settings, nullptr, 0, &returned, nullptr,
           nullptr);
#elif defined(TCP_KEEPIDLE)
  const auto setTcpOption = [&socket](int option, int value) {
    ::setsockopt(socket.native_handle(), IPPROTO_TCP, option, &value, sizeof value);
  };
  setTcpOption(TCP_KEEPIDLE, kKeepAliveIdleSeconds);
  setTcpOption(TCP_KEEPINTVL, kKeepAliveIntervalSeconds);
  setTcpOption(TCP_KEEPCNT, kKeepAliveProbes);
#endif
}

std::string AddressText(const asio::ip::address& address) {
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string();
  }
  return address.to_string();
}

}  // namespace

std::string EndpointText(const tcp::endpoint& endpoint) {
  const std::string host = endpoint.address().to_string();
  const std::string port = std::to_string(endpoint.port());
  return endpoint.address().is_v6() ? "[" + host + "]:" + port : host + ":" + port;
}

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(ExamServer& server, tcp::socket socket, ConnectionId id, std::string peerAddress,
             std::uint16_t peerPort)
      : server(server),
        socket(std::move(socket)),
        deadline(this->socket.get_executor()),
        id(id),
        peerAddress(std::move(peerAddress)),
        peerPort(peerPort) {}

  void Start() { ReadRequest(); }

  void Close() {
    if (closed) return;
    closed = true;
    std::error_code ignored;
    socket.close(ignored);
    deadline.cancel();
    server.ConnectionClosed(id);
  }

 private:
  void ReadRequest() {
    socket.async_read_some(asio::buffer(buffer), [self = shared_from_this()](std::error_code error, std::size_t size) {
      if (self->closed) return;
      if (error) {
        self->Close();
        return;
      }
      const auto reply =
          self->server.HandleRequest(self->id, self->peerAddress, self->peerPort, {self->buffer.data(), size});
      self->SendReply(reply);
    });
  }

  void SendReply(ExamServer::Reply reply) {
    replyByte = reply.byte;
    writing = true;
    deadline.expires_after(kWriteTimeout);
    deadline.async_wait([self = shared_from_this()](std::error_code error) {
      if (!error && self->writing) self->Close();
    });
    asio::async_write(socket, asio::buffer(&replyByte, 1),
                      [self = shared_from_this(), hangUp = reply.hangUp](std::error_code error, std::size_t) {
                        self->writing = false;
                        if (self->closed) return;
                        self->deadline.cancel();
                        if (error) {
                          self->Close();
                        } else if (hangUp) {
                          self->HangUp();
                        } else {
                          self->ReadRequest();
                        }
                      });
  }

  // Closing with unread input would reset the connection and could destroy
  // the "0" before the peer reads it, so stop sending and drain for a while.
  void HangUp() {
    std::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_send, ignored);
    deadline.expires_after(kHangUpGrace);
    deadline.async_wait([self = shared_from_this()](std::error_code error) {
      if (!error) self->Close();
    });
    Drain();
  }

  void Drain() {
    socket.async_read_some(asio::buffer(buffer), [self = shared_from_this()](std::error_code error, std::size_t) {
      if (self->closed) return;
      if (error) {
        self->Close();
      } else {
        self->Drain();
      }
    });
  }

  ExamServer& server;
  tcp::socket socket;
  asio::steady_timer deadline;
  const ConnectionId id;
  const std::string peerAddress;
  const std::uint16_t peerPort;
  // One byte more than allowed, so that an oversized request shows itself.
  std::array<char, kMaxRequestBytes + 1> buffer{};
  char replyByte = '0';
  bool writing = false;
  bool closed = false;
};

ExamServer::ExamServer(asio::io_context& io, const tcp::endpoint& endpoint, LoginService& service,
                       AuditLog& auditLog, Attendance& attendance, std::ostream& console)
    : service(service),
      auditLog(auditLog),
      attendance(attendance),
      console(console),
      acceptor(io),
      acceptRetryTimer(io),
      syncTimer(io) {
  const auto fail = [&endpoint](const std::error_code& error) {
    throw std::runtime_error("cannot listen on " + EndpointText(endpoint) + ": " + error.message());
  };
  std::error_code error;
  acceptor.open(endpoint.protocol(), error);
  if (error) fail(error);
#ifndef _WIN32
  // On Windows this would let another program take the port over.
  acceptor.set_option(tcp::acceptor::reuse_address(true), error);
#endif
  if (endpoint.address() == asio::ip::address(asio::ip::address_v6::any())) {
    acceptor.set_option(asio::ip::v6_only(false), error);
  }
  acceptor.bind(endpoint, error);
  if (error) fail(error);
  acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (error) fail(error);
}

void ExamServer::Start() { AcceptNext(); }

void ExamServer::Stop() {
  if (stopping) return;
  stopping = true;
  std::error_code ignored;
  acceptor.close(ignored);
  acceptRetryTimer.cancel();
  syncTimer.cancel();
  std::vector<std::shared_ptr<Connection>> stillOpen;
  for (const auto& [id, connection] : openConnections) {
    if (auto alive = connection.lock()) stillOpen.push_back(std::move(alive));
  }
  for (const auto& connection : stillOpen) {
    connection->Close();
  }
  if (auditLog.NeedsSync() && !auditLog.Sync()) {
    PrintLine("ERROR audit log " + auditLog.Path().string() + ": " + auditLog.LastError());
  }
}

void ExamServer::AcceptNext() {
  acceptor.async_accept([this](std::error_code error, tcp::socket socket) {
    if (stopping || error == asio::error::operation_aborted) return;
    if (error) {
      RetryAcceptLater(error);
      return;
    }
    acceptFailing = false;
    OnAccepted(std::move(socket));
    AcceptNext();
  });
}

void ExamServer::RetryAcceptLater(const std::error_code& error) {
  // Out of descriptors: retrying at once would spin, so give closes a moment.
  if (!acceptFailing) {
    PrintLine("WARNING cannot accept connections: " + error.message() + " (retrying)");
    acceptFailing = true;
  }
  acceptRetryTimer.expires_after(kAcceptRetryDelay);
  acceptRetryTimer.async_wait([this](std::error_code timerError) {
    if (!timerError && !stopping) AcceptNext();
  });
}

void ExamServer::OnAccepted(tcp::socket socket) {
  std::error_code error;
  const tcp::endpoint remote = socket.remote_endpoint(error);
  if (error) return;  // already gone
  socket.set_option(tcp::no_delay(true), error);
  EnableKeepAlive(socket);
  const ConnectionId id = nextConnectionId++;
  auto connection = std::make_shared<Connection>(*this, std::move(socket), id, AddressText(remote.address()),
                                                 remote.port());
  openConnections.emplace(id, connection);
  connection->Start();
}

ExamServer::Reply ExamServer::HandleRequest(ConnectionId connection, const std::string& peerAddress,
                                            std::uint16_t peerPort, std::string_view request) {
  const LoginOutcome outcome = service.Handle(connection, peerAddress, request, std::chrono::steady_clock::now());
  AuditEntry entry{std::chrono::system_clock::now(),
                   peerAddress,
                   peerPort,
                   outcome.candidateNumber,
                   outcome.candidate != nullptr ? outcome.candidate->name : std::string(),
                   outcome.Accepted(),
                   outcome.reason,
                   outcome.detail};
  const bool logged = auditLog.Append(entry);
  PrintLine(FormatConsoleLine(entry));
  if (!logged) {
    // Nothing is let in that the audit log does not show.
    if (outcome.Accepted()) service.ConnectionClosed(connection);
    PrintLine("ERROR audit log " + auditLog.Path().string() + ": " + auditLog.LastError() + "; replied \"0\"");
  } else if (outcome.Accepted()) {
    attendance.Record(*outcome.candidate, peerAddress, entry.time);
  }
  ScheduleSync();
  return {outcome.Accepted() && logged ? '1' : '0', request.size() > kMaxRequestBytes};
}

void ExamServer::ConnectionClosed(ConnectionId connection) {
  openConnections.erase(connection);
  service.ConnectionClosed(connection);
}

void ExamServer::ScheduleSync() {
  if (syncScheduled || stopping) return;
  syncScheduled = true;
  syncTimer.expires_after(kSyncDelay);
  syncTimer.async_wait([this](std::error_code error) {
    syncScheduled = false;
    if (error) return;
    if (!auditLog.Sync()) {
      PrintLine("ERROR audit log " + auditLog.Path().string() + ": " + auditLog.LastError());
    }
  });
}

void ExamServer::PrintLine(const std::string& line) { console << line << std::endl; }

}  // namespace exam

// The socket is blocking while it connects; asking for notifications makes it
// non-blocking, so every later send and receive returns at once, and a read
// notification drains whatever is pending in one go.
#include "link/Client.h"

#include <cstring>
#include <vector>

#include "app/Memory.h"
#include "ui/Layer.h"

namespace {

constexpr char kClientClass[] = "ExamClientNotification";
constexpr int kFurtherReadSize = 1024;

}  // namespace

void RegisterClientClass(HINSTANCE instance) {
  WNDCLASSEXA notification{};
  notification.cbSize = sizeof notification;
  notification.lpfnWndProc = DefWindowProcA;
  notification.hInstance = instance;
  notification.lpszClassName = kClientClass;
  RegisterClassExA(&notification);
}

Client::Client(WindowNumber window, ControlNumber control, HWND parent, const RECT& place,
               int controlId)
    : windowNumber_(window), controlNumber_(control) {
  WSADATA data;
  socketsStarted_ = WSAStartup(MAKEWORD(1, 1), &data) == 0;
  HWND notification = CreateWindowExA(
      0, kClientClass, "", WS_CHILD, place.left, place.top, place.right - place.left,
      place.bottom - place.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
      GetModuleHandleA(nullptr), nullptr);
  if (notification) {
    SetWindowLongPtrA(notification, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(notification, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NotificationProc));
  }
  notificationWindow_.Reset(notification);
}

Client::~Client() {
  *alive_ = false;
  FreeMemory(heldArrival_);
  heldArrival_ = nullptr;
  CloseConnection();
  if (socketsStarted_) WSACleanup();
  if (HWND notification = notificationWindow_.Get()) {
    SetWindowLongPtrA(notification, GWLP_USERDATA, 0);
  }
}

std::uint16_t Client::EffectivePort(std::int32_t port) {
  std::int32_t atLeastOne = port < 1 ? 1 : port;
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(atLeastOne) & 0xFFFFu);
}

void Client::CloseConnection() {
  if (socket_) {
    // Cancelled first, so no notification for this socket is posted after it closes.
    WSAAsyncSelect(socket_.Get(), notificationWindow_.Get(), 0, 0);
    socket_.Reset();
  }
  connected_ = false;
}

bool Client::Connect(const char* address, std::int32_t port) {
  std::uint16_t effectivePort = EffectivePort(port);
  if (!socketsStarted_) return false;
  CloseConnection();

  socket_.Reset(socket(AF_INET, SOCK_STREAM, 0));
  if (!socket_) return false;

  if (!address || !*address) {
    CloseConnection();
    return false;
  }
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(effectivePort);
  unsigned long numeric = inet_addr(address);
  if (numeric != INADDR_NONE) {
    server.sin_addr.s_addr = numeric;
  } else {
    hostent* host = gethostbyname(address);
    // Only an IPv4 answer fits the IPv4 socket address.
    if (!host || host->h_addrtype != AF_INET || host->h_length != sizeof(server.sin_addr) ||
        !host->h_addr_list || !host->h_addr_list[0]) {
      CloseConnection();
      return false;
    }
    std::memcpy(&server.sin_addr, host->h_addr_list[0], sizeof(server.sin_addr));
    server.sin_family = static_cast<short>(host->h_addrtype);
  }

  // Still blocking: this waits for the system to connect or give up.
  if (connect(socket_.Get(), reinterpret_cast<const sockaddr*>(&server), sizeof server) ==
      SOCKET_ERROR) {
    CloseConnection();
    return false;
  }
  if (WSAAsyncSelect(socket_.Get(), notificationWindow_.Get(), kSocketNotification,
                     FD_READ | FD_CLOSE) == SOCKET_ERROR) {
    CloseConnection();
    return false;
  }
  connected_ = true;
  return true;
}

bool Client::SendBytes(const char* bytes, std::size_t count) {
  if (!socket_ || !connected_) return false;
  std::size_t sent = 0;
  while (sent < count) {
    std::size_t chunk = count - sent;
    if (chunk > 0x7FFFFFFF) chunk = 0x7FFFFFFF;
    int accepted = send(socket_.Get(), bytes + sent, static_cast<int>(chunk), 0);
    // Non-blocking: a send that would have to wait fails like any other.
    if (accepted == SOCKET_ERROR) return false;
    sent += static_cast<std::size_t>(accepted);
  }
  return true;
}

bool Client::Send(const char* text) { return SendBytes(text, TextLength(text)); }

bool Client::Send(const ByteBlock* block) {
  return SendBytes(reinterpret_cast<const char*>(BlockBytes(block)), block ? block->count : 0);
}

const ByteBlock* Client::GetData() const {
  if (!heldArrival_) return &kEmptyByteBlock;
  return NewByteBlock(BlockBytes(heldArrival_), heldArrival_->count);
}

void Client::OnNotification(SOCKET socket, WORD event) {
  if (!socket_) return;
  if (event == FD_CLOSE) {
    // The socket is kept and still counts as connected.
    RaiseEvent(windowNumber_, controlNumber_, kEventPeerClosed);
    return;
  }
  u_long pending = 0;
  if (ioctlsocket(socket, FIONREAD, &pending) != 0) return;
  std::size_t firstRead = pending < 1 ? 1 : pending;

  std::vector<char> arrived;
  std::size_t readSize = firstRead;
  for (;;) {
    std::size_t used = arrived.size();
    arrived.resize(used + readSize);
    int received = recv(socket, arrived.data() + used, static_cast<int>(readSize), 0);
    if (received <= 0) {
      arrived.resize(used);
      break;
    }
    arrived.resize(used + static_cast<std::size_t>(received));
    readSize = kFurtherReadSize;
  }
  if (arrived.empty()) return;

  // An arrival delivered while another one's handler still runs replaces it.
  FreeMemory(heldArrival_);
  heldArrival_ = NewByteBlock(arrived.data(), static_cast<std::uint32_t>(arrived.size()));
  std::vector<char>().swap(arrived);
  std::shared_ptr<bool> alive = alive_;
  RaiseEvent(windowNumber_, controlNumber_, kEventDataArrival);
  if (!*alive) return;
  FreeMemory(heldArrival_);
  heldArrival_ = nullptr;
}

LRESULT CALLBACK Client::NotificationProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  if (message == kSocketNotification) {
    auto* client = reinterpret_cast<Client*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (client) client->OnNotification(static_cast<SOCKET>(wParam), WSAGETSELECTEVENT(lParam));
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

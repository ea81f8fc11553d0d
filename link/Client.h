// The client connection control: one TCP connection to the exam server, with
// the socket's notifications delivered as window messages on the GUI thread
// and raised as the control's events.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>

#include "link/Texts.h"
#include "ui/Description.h"
#include "ui/Gdi.h"

// The window message that carries the socket's notifications.
inline constexpr UINT kSocketNotification = 32888;

struct SocketTraits {
  using Handle = SOCKET;
  static Handle Invalid() { return INVALID_SOCKET; }
  static void Close(Handle socket) { closesocket(socket); }
};
using UniqueSocket = UniqueHandle<SocketTraits>;

class Client {
 public:
  // Starts Windows Sockets for this control and creates its notification
  // window, a hidden child of `parent` with the control id `controlId`.
  Client(WindowNumber window, ControlNumber control, HWND parent, const RECT& place,
         int controlId);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  HWND NotificationWindow() const { return notificationWindow_.Get(); }

  // Blocks until connected or given up: one attempt, no time-out of its own.
  bool Connect(const char* address, std::int32_t port);
  // Puts exactly the text's bytes, without its terminator, on the connection.
  bool Send(const char* text);
  bool Send(const ByteBlock* block);
  // A copy of the arrival being delivered; the empty block at any other time.
  const ByteBlock* GetData() const;

  // The port a Connect with this number uses: at least 1, then the low 16 bits.
  static std::uint16_t EffectivePort(std::int32_t port);

 private:
  static LRESULT CALLBACK NotificationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnNotification(SOCKET socket, WORD event);
  bool SendBytes(const char* bytes, std::size_t count);
  void CloseConnection();

  WindowNumber windowNumber_;
  ControlNumber controlNumber_;
  bool socketsStarted_ = false;
  UniqueSocket socket_;
  bool connected_ = false;
  ByteBlock* heldArrival_ = nullptr;
  // Cleared when the control is destroyed, which may happen inside one of its
  // own event handlers (the window closed from a nested loop).
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  UniqueWindow notificationWindow_;
};

void RegisterClientClass(HINSTANCE instance);

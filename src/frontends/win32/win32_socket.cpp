#include "frontends/win32/win32_socket.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace velmora {

namespace {

constexpr long kSocketError = -2;
constexpr long kEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;  // 0x33

// The UTF-8 form of a UTF-16 text.
std::string WideToUtf8(const wchar_t* text, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

Win32Socket::~Win32Socket() { Close(); }

// The host by name, else as a dotted address looked up by its four bytes; then a socket
// registered for the window's messages (which makes it non-blocking) and a connect to the
// telnet port. A connect that would block is under way: its end comes as FD_CONNECT.
int Win32Socket::Connect(const std::string& host) {
  if (socket_ != INVALID_SOCKET) return 0;
  const hostent* found = gethostbyname(host.c_str());
  if (found == nullptr) {
    const unsigned long address = inet_addr(host.c_str());
    found = gethostbyaddr(reinterpret_cast<const char*>(&address), 4, AF_INET);
    if (found == nullptr) return WSAGetLastError();
  }
  in_addr address{};
  if (found->h_addr_list == nullptr || found->h_addr_list[0] == nullptr || found->h_length != 4) return WSAHOST_NOT_FOUND;
  std::memcpy(&address, found->h_addr_list[0], 4);

  socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (socket_ == INVALID_SOCKET) return WSAGetLastError();
  if (WSAAsyncSelect(socket_, window_, kWmSocket, kEvents) == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
    return error;
  }
  uint16_t port = htons(23);
  if (const servent* service = getservbyname("telnet", "tcp")) port = static_cast<uint16_t>(service->s_port);
  if (portOverride_) port = htons(*portOverride_);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = port;
  peer.sin_addr = address;
  if (connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      closesocket(socket_);
      socket_ = INVALID_SOCKET;
      return error;
    }
  }
  return 0;
}

long Win32Socket::Send(const uint8_t* data, size_t size) {
  if (socket_ == INVALID_SOCKET) return kSocketError;
  const int n = send(socket_, reinterpret_cast<const char*>(data), static_cast<int>(std::min<size_t>(size, 1 << 30)), 0);
  if (n != SOCKET_ERROR) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kSocketError;
}

long Win32Socket::Receive(uint8_t* data, size_t size) {
  if (socket_ == INVALID_SOCKET) return kSocketError;
  const int n = recv(socket_, reinterpret_cast<char*>(data), static_cast<int>(std::min<size_t>(size, 1 << 30)), 0);
  if (n != SOCKET_ERROR) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kSocketError;
}

void Win32Socket::ShutdownSend() {
  if (socket_ != INVALID_SOCKET) shutdown(socket_, SD_SEND);
}

void Win32Socket::Close() {
  if (socket_ == INVALID_SOCKET) return;
  shutdown(socket_, SD_BOTH);
  closesocket(socket_);  // also ends the registration for the window's messages
  socket_ = INVALID_SOCKET;
}

// The system's text for the code in the user's language, as UTF-8; empty when it has none.
std::string Win32Socket::ErrorText(int error) const {
  wchar_t text[1024];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      static_cast<DWORD>(error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text,
                                      1024, nullptr);
  if (length == 0) return {};
  return WideToUtf8(text, static_cast<int>(length));
}

void Win32Socket::OnSocketMessage(WPARAM wParam, LPARAM lParam) {
  if (handler_ == nullptr || socket_ == INVALID_SOCKET || static_cast<SOCKET>(wParam) != socket_) return;
  const int error = WSAGETSELECTERROR(lParam);
  switch (WSAGETSELECTEVENT(lParam)) {
    case FD_CONNECT: handler_->OnSocketEvent(SocketEvent::Connected, error); break;
    case FD_READ: handler_->OnSocketEvent(SocketEvent::Readable, error); break;
    case FD_WRITE: handler_->OnSocketEvent(SocketEvent::Writable, error); break;
    case FD_CLOSE: handler_->OnSocketEvent(SocketEvent::Closed, error); break;
    default: break;
  }
}

}  // namespace velmora

#include "frontends/win32/win32_socket.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

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

// The host's addresses of one family, appended to `out`; 0, or the resolver's error code.
int Win32Socket::ResolveFamily(const std::string& host, int family, std::vector<Candidate>& out) {
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (error != 0) return error;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family != family || a->ai_addrlen > sizeof(sockaddr_storage)) continue;
    Candidate candidate{};
    std::memcpy(&candidate.address, a->ai_addr, a->ai_addrlen);
    candidate.length = static_cast<int>(a->ai_addrlen);
    out.push_back(candidate);
  }
  freeaddrinfo(found);
  return 0;
}

// The IPv4 addresses first (a dotted address as it is, else the name's), then the IPv6 ones.
int Win32Socket::Resolve(const std::string& host, std::vector<Candidate>& out) const {
  const size_t before = out.size();
  const int ipv4Error = ResolveFamily(host, AF_INET, out);
  ResolveFamily(host, AF_INET6, out);
  if (out.size() > before) return 0;
  return ipv4Error != 0 ? ipv4Error : WSAHOST_NOT_FOUND;
}

// The host's addresses, then a connect to the first that takes one, on the address's port or
// the telnet port. A connect that would block is under way: its end comes as FD_CONNECT.
int Win32Socket::Connect(const HostAddress& target) {
  if (socket_ != INVALID_SOCKET) return 0;
  candidates_.clear();
  nextCandidate_ = 0;
  if (const int error = Resolve(target.host, candidates_); error != 0) {
    candidates_.clear();
    return error;
  }
  uint16_t port = htons(23);
  if (const servent* service = getservbyname("telnet", "tcp")) port = static_cast<uint16_t>(service->s_port);
  if (portOverride_) port = htons(*portOverride_);
  if (target.port) port = htons(*target.port);
  for (Candidate& candidate : candidates_) {
    if (candidate.address.ss_family == AF_INET6) {
      reinterpret_cast<sockaddr_in6&>(candidate.address).sin6_port = port;
    } else {
      reinterpret_cast<sockaddr_in&>(candidate.address).sin_port = port;
    }
  }
  return ConnectNext();
}

int Win32Socket::ConnectNext() {
  int error = WSAEHOSTUNREACH;
  while (nextCandidate_ < candidates_.size()) {
    const Candidate& peer = candidates_[nextCandidate_++];
    const SOCKET s = ::socket(peer.address.ss_family, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
      error = WSAGetLastError();
      continue;
    }
    // The registration also makes the socket non-blocking.
    if (WSAAsyncSelect(s, window_, kWmSocket, kEvents) == SOCKET_ERROR ||
        (connect(s, reinterpret_cast<const sockaddr*>(&peer.address), peer.length) == SOCKET_ERROR &&
         WSAGetLastError() != WSAEWOULDBLOCK)) {
      error = WSAGetLastError();
      closesocket(s);
      continue;
    }
    socket_ = s;
    return 0;
  }
  candidates_.clear();
  nextCandidate_ = 0;
  return error;
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
  candidates_.clear();
  nextCandidate_ = 0;
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
    case FD_CONNECT: OnConnectResult(error); break;
    case FD_READ: handler_->OnSocketEvent(SocketEvent::Readable, error); break;
    case FD_WRITE: handler_->OnSocketEvent(SocketEvent::Writable, error); break;
    case FD_CLOSE: handler_->OnSocketEvent(SocketEvent::Closed, error); break;
    default: break;
  }
}

// A failed connect goes on to the next address; the failed socket stays until one is under
// way, so that a failure of them all is reported with a socket still there, as for one address.
void Win32Socket::OnConnectResult(int error) {
  if (error != 0 && nextCandidate_ < candidates_.size()) {
    const SOCKET failed = socket_;
    socket_ = INVALID_SOCKET;
    const int next = ConnectNext();
    if (next == 0) {
      closesocket(failed);
      return;
    }
    socket_ = failed;
    error = next;
  }
  candidates_.clear();
  nextCandidate_ = 0;
  handler_->OnSocketEvent(SocketEvent::Connected, error);
}

}  // namespace velmora

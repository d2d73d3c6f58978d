// The loopback host over Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "support/loopback_host.h"

namespace velmora::testing {

LoopbackHost::LoopbackHost(const std::vector<std::string>& addresses, int receiveBuffer) {
  for (const std::string& address : addresses) {
    const bool ipv6 = address.find(':') != std::string::npos;
    const SOCKET s = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (s != INVALID_SOCKET && receiveBuffer > 0) {
      setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer), sizeof receiveBuffer);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_port = htons(port);
    sockaddr* bound = ipv6 ? reinterpret_cast<sockaddr*>(&a6) : reinterpret_cast<sockaddr*>(&a);
    int length = ipv6 ? sizeof a6 : sizeof a;
    const int parsed = ipv6 ? inet_pton(AF_INET6, address.c_str(), &a6.sin6_addr)
                            : inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (s == INVALID_SOCKET || parsed != 1 || bind(s, bound, length) != 0 || listen(s, 4) != 0 ||
        getsockname(s, bound, &length) != 0) {
      if (!ipv6) ADD_FAILURE() << "cannot listen on " << address << ":" << port;
      if (s != INVALID_SOCKET) closesocket(s);
      continue;
    }
    port = ntohs(ipv6 ? a6.sin6_port : a.sin_port);
    listeners_.push_back(static_cast<Handle>(s));
  }
}

LoopbackHost::~LoopbackHost() {
  CloseConnection();
  CloseListeners();
}

LoopbackHost::Handle LoopbackHost::WaitForConnection(int sliceMs) {
  if (listeners_.empty()) {
    Sleep(static_cast<DWORD>(sliceMs));
    return kNoSocket;
  }
  fd_set ready;
  FD_ZERO(&ready);
  for (const Handle s : listeners_) FD_SET(static_cast<SOCKET>(s), &ready);
  timeval wait{0, sliceMs * 1000};
  if (select(0, &ready, nullptr, nullptr, &wait) <= 0) return kNoSocket;
  for (const Handle s : listeners_) {
    if (FD_ISSET(static_cast<SOCKET>(s), &ready)) return s;
  }
  return kNoSocket;
}

bool LoopbackHost::Accept(int seconds, const std::function<void()>& pump) {
  CloseConnection();
  received.clear();
  sawEnd = false;
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < deadline) {
    const Handle ready = WaitForConnection(10);
    if (ready != kNoSocket) {
      const SOCKET c = accept(static_cast<SOCKET>(ready), nullptr, nullptr);
      connection_ = c == INVALID_SOCKET ? kNoSocket : static_cast<Handle>(c);
      return connection_ != kNoSocket;
    }
    if (pump) pump();
  }
  return false;
}

LoopbackHost::Handle LoopbackHost::AcceptSocket(const Deadline& deadline) {
  while (!deadline.Passed()) {
    const Handle ready = WaitForConnection(20);
    if (ready == kNoSocket) continue;
    const SOCKET c = accept(static_cast<SOCKET>(ready), nullptr, nullptr);
    return c == INVALID_SOCKET ? kNoSocket : static_cast<Handle>(c);
  }
  return kNoSocket;
}

void LoopbackHost::CloseSocket(Handle s) {
  if (s != kNoSocket) closesocket(static_cast<SOCKET>(s));
}

bool LoopbackHost::Send(const std::string& bytes) {
  const int n = connection_ == kNoSocket
                    ? -1
                    : send(static_cast<SOCKET>(connection_), bytes.data(), static_cast<int>(bytes.size()), 0);
  EXPECT_EQ(n, static_cast<int>(bytes.size())) << "the host could not send";
  return n == static_cast<int>(bytes.size());
}

void LoopbackHost::ReadAvailable(size_t limit) {
  size_t taken = 0;
  while (taken < limit) {
    if (connection_ == kNoSocket) return;
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(static_cast<SOCKET>(connection_), &ready);
    timeval now{0, 0};
    if (select(0, &ready, nullptr, nullptr, &now) <= 0) return;
    char buffer[4096];
    const int n = recv(static_cast<SOCKET>(connection_), buffer,
                       static_cast<int>(std::min(sizeof buffer, limit - taken)), 0);
    if (n <= 0) {
      sawEnd = true;
      return;
    }
    received.append(buffer, static_cast<size_t>(n));
    taken += static_cast<size_t>(n);
  }
}

std::string LoopbackHost::Read(size_t count, int seconds, const std::function<void()>& pump) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (received.size() < count && !sawEnd && Clock::now() < deadline) {
    ReadAvailable();
    if (pump) {
      pump();
    } else {
      Sleep(1);
    }
  }
  return Take();
}

void LoopbackHost::CloseConnection() {
  CloseSocket(connection_);
  connection_ = kNoSocket;
}

void LoopbackHost::CloseListeners() {
  for (const Handle s : listeners_) CloseSocket(s);
  listeners_.clear();
}

uint16_t RefusingPort() {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int length = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
  closesocket(s);
  return ntohs(a.sin_port);
}

}  // namespace velmora::testing

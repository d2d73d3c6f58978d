// The loopback host. BSD sockets and Winsock share the calls it makes (socket, bind, listen,
// select, accept, send, recv); the few places where they differ are the shim at the top.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include "support/loopback_host.h"

namespace velmora::testing {
namespace {

#ifdef _WIN32
using NativeSocket = SOCKET;
using AddressLength = int;
constexpr NativeSocket kInvalid = INVALID_SOCKET;
constexpr int kStreamType = SOCK_STREAM;
constexpr int kSendFlags = 0;
void CloseNative(NativeSocket s) { closesocket(s); }
NativeSocket AcceptNative(NativeSocket listener) { return accept(listener, nullptr, nullptr); }
#else
using NativeSocket = int;
using AddressLength = socklen_t;
constexpr NativeSocket kInvalid = -1;
// Descriptors the test's children (a telnet server it starts) do not inherit.
constexpr int kStreamType = SOCK_STREAM | SOCK_CLOEXEC;
constexpr int kSendFlags = MSG_NOSIGNAL;
void CloseNative(NativeSocket s) { close(s); }
NativeSocket AcceptNative(NativeSocket listener) { return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }
#endif

NativeSocket Native(LoopbackHost::Handle h) { return static_cast<NativeSocket>(h); }
LoopbackHost::Handle Wrap(NativeSocket s) { return s == kInvalid ? LoopbackHost::kNoSocket : static_cast<LoopbackHost::Handle>(s); }

// The first of `sockets` that is readable within `ms`, or kNoSocket.
LoopbackHost::Handle FirstReadable(const std::vector<LoopbackHost::Handle>& sockets, int ms) {
  if (sockets.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return LoopbackHost::kNoSocket;
  }
  fd_set ready;
  FD_ZERO(&ready);
  NativeSocket highest = 0;
  for (const LoopbackHost::Handle s : sockets) {
    FD_SET(Native(s), &ready);
    highest = std::max(highest, Native(s));
  }
  timeval wait{0, ms * 1000};
  if (select(static_cast<int>(highest) + 1, &ready, nullptr, nullptr, &wait) <= 0) return LoopbackHost::kNoSocket;
  for (const LoopbackHost::Handle s : sockets) {
    if (FD_ISSET(Native(s), &ready)) return s;
  }
  return LoopbackHost::kNoSocket;
}

}  // namespace

LoopbackHost::LoopbackHost(const std::vector<std::string>& addresses, int receiveBuffer) {
  for (const std::string& address : addresses) {
    const bool ipv6 = address.find(':') != std::string::npos;
    const NativeSocket s = socket(ipv6 ? AF_INET6 : AF_INET, kStreamType, 0);
    if (s != kInvalid && receiveBuffer > 0) {
      setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer), sizeof receiveBuffer);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_port = htons(port);
    sockaddr* bound = ipv6 ? reinterpret_cast<sockaddr*>(&a6) : reinterpret_cast<sockaddr*>(&a);
    AddressLength length = ipv6 ? sizeof a6 : sizeof a;
    const int parsed = ipv6 ? inet_pton(AF_INET6, address.c_str(), &a6.sin6_addr)
                            : inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (s == kInvalid || parsed != 1 || bind(s, bound, length) != 0 || listen(s, 4) != 0 ||
        getsockname(s, bound, &length) != 0) {
      if (!ipv6) ADD_FAILURE() << "cannot listen on " << address << ":" << port;
      if (s != kInvalid) CloseNative(s);
      continue;
    }
    port = ntohs(ipv6 ? a6.sin6_port : a.sin_port);
    listeners_.push_back(Wrap(s));
  }
}

LoopbackHost::~LoopbackHost() {
  CloseConnection();
  CloseListeners();
}

bool LoopbackHost::Accept(int seconds, const std::function<void()>& pump) {
  CloseConnection();
  received.clear();
  sawEnd = false;
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < deadline) {
    if (const Handle ready = FirstReadable(listeners_, 10); ready != kNoSocket) {
      connection_ = Wrap(AcceptNative(Native(ready)));
      return connection_ != kNoSocket;
    }
    if (pump) pump();
  }
  return false;
}

LoopbackHost::Handle LoopbackHost::AcceptSocket(const Deadline& deadline) {
  while (!deadline.Passed()) {
    if (const Handle ready = FirstReadable(listeners_, 20); ready != kNoSocket) return Wrap(AcceptNative(Native(ready)));
  }
  return kNoSocket;
}

void LoopbackHost::CloseSocket(Handle s) {
  if (s != kNoSocket) CloseNative(Native(s));
}

bool LoopbackHost::Send(const std::string& bytes) {
  const long n = connection_ == kNoSocket
                     ? -1
                     : static_cast<long>(send(Native(connection_), bytes.data(), static_cast<int>(bytes.size()), kSendFlags));
  EXPECT_EQ(n, static_cast<long>(bytes.size())) << "the host could not send";
  return n == static_cast<long>(bytes.size());
}

void LoopbackHost::ReadAvailable(size_t limit) {
  char buffer[65536];
  size_t taken = 0;
  while (taken < limit && connection_ != kNoSocket && FirstReadable({connection_}, 0) != kNoSocket) {
    const long n = static_cast<long>(
        recv(Native(connection_), buffer, static_cast<int>(std::min(sizeof buffer, limit - taken)), 0));
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
    if (received.size() >= count || sawEnd) break;
    if (pump) {
      pump();
    } else if (connection_ != kNoSocket) {
      FirstReadable({connection_}, 20);
    } else {
      break;
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
  const NativeSocket s = socket(AF_INET, kStreamType, 0);
  if (s == kInvalid) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  AddressLength length = sizeof a;
  uint16_t port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
    port = ntohs(a.sin_port);
  }
  CloseNative(s);
  return port;
}

}  // namespace velmora::testing

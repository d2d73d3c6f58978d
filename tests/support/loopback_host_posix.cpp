// The loopback host over BSD sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include "support/loopback_host.h"

namespace velmora::testing {

LoopbackHost::LoopbackHost(const std::vector<std::string>& addresses, int receiveBuffer) {
  for (const std::string& address : addresses) {
    const bool ipv6 = address.find(':') != std::string::npos;
    const int s = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s >= 0 && receiveBuffer > 0) setsockopt(s, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_port = htons(port);
    sockaddr* bound = ipv6 ? reinterpret_cast<sockaddr*>(&a6) : reinterpret_cast<sockaddr*>(&a);
    socklen_t length = ipv6 ? sizeof a6 : sizeof a;
    const int parsed = ipv6 ? inet_pton(AF_INET6, address.c_str(), &a6.sin6_addr)
                            : inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (s < 0 || parsed != 1 || bind(s, bound, length) != 0 || listen(s, 4) != 0 ||
        getsockname(s, bound, &length) != 0) {
      if (!ipv6) ADD_FAILURE() << "cannot listen on " << address << ":" << port;
      if (s >= 0) close(s);
      continue;
    }
    port = ntohs(ipv6 ? a6.sin6_port : a.sin_port);
    listeners_.push_back(s);
  }
}

LoopbackHost::~LoopbackHost() {
  CloseConnection();
  CloseListeners();
}

LoopbackHost::Handle LoopbackHost::WaitForConnection(int sliceMs) {
  std::vector<pollfd> p;
  for (const Handle s : listeners_) p.push_back({static_cast<int>(s), POLLIN, 0});
  if (p.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
    return kNoSocket;
  }
  if (poll(p.data(), p.size(), sliceMs) <= 0) return kNoSocket;
  for (const pollfd& q : p) {
    if ((q.revents & POLLIN) != 0) return q.fd;
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
      connection_ = accept4(static_cast<int>(ready), nullptr, nullptr, SOCK_CLOEXEC);
      return connection_ >= 0;
    }
    if (pump) pump();
  }
  return false;
}

LoopbackHost::Handle LoopbackHost::AcceptSocket(const Deadline& deadline) {
  while (!deadline.Passed()) {
    const Handle ready = WaitForConnection(20);
    if (ready != kNoSocket) return accept4(static_cast<int>(ready), nullptr, nullptr, SOCK_CLOEXEC);
  }
  return kNoSocket;
}

void LoopbackHost::CloseSocket(Handle s) {
  if (s >= 0) close(static_cast<int>(s));
}

bool LoopbackHost::Send(const std::string& bytes) {
  const ssize_t n = connection_ < 0 ? -1 : send(static_cast<int>(connection_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
  EXPECT_EQ(n, static_cast<ssize_t>(bytes.size())) << "the host could not send";
  return n == static_cast<ssize_t>(bytes.size());
}

void LoopbackHost::ReadAvailable(size_t limit) {
  if (connection_ < 0) return;
  char buf[65536];
  size_t taken = 0;
  while (taken < limit) {
    const ssize_t n = recv(static_cast<int>(connection_), buf, std::min(sizeof buf, limit - taken), MSG_DONTWAIT);
    if (n > 0) {
      received.append(buf, static_cast<size_t>(n));
      taken += static_cast<size_t>(n);
      continue;
    }
    if (n == 0) sawEnd = true;
    break;
  }
}

std::string LoopbackHost::Read(size_t count, int seconds, const std::function<void()>& pump) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (received.size() < count && !sawEnd && Clock::now() < deadline) {
    ReadAvailable();
    if (received.size() >= count || sawEnd) break;
    if (pump) {
      pump();
    } else {
      pollfd p{static_cast<int>(connection_), POLLIN, 0};
      poll(&p, 1, 20);
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
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
  close(s);
  return ntohs(a.sin_port);
}

}  // namespace velmora::testing

#pragma once
// The main window's logic in a headless window with a real socket, and a peer on 127.0.0.1 that
// plays the host: what the terminal sends is read back, what the host says is sent from here.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "screen/screen_test_support.h"
#include "app/main_window.h"
#include "platform/posix/posix_socket.h"
#include "recording_window.h"
#include "settings/memory_store.h"

namespace velmora::testing {

// A peer listening on 127.0.0.1 (or ::1). It accepts one connection at a time; a later Accept
// takes the next one (the terminal's next connection) after dropping the previous.
class LoopbackPeer {
 public:
  // `receiveBuffer` > 0 shrinks the receive buffer of the accepted connections, so that a
  // peer that does not read soon pushes back on the terminal's output. With `family` AF_INET6
  // the peer listens on ::1, and `port` stays 0 where the machine has no IPv6 loopback.
  explicit LoopbackPeer(int receiveBuffer = 0, int family = AF_INET) {
    listen_ = socket(family, SOCK_STREAM, 0);
    if (listen_ < 0) return;
    if (receiveBuffer > 0) setsockopt(listen_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_addr = in6addr_loopback;
    sockaddr* address = family == AF_INET6 ? reinterpret_cast<sockaddr*>(&a6) : reinterpret_cast<sockaddr*>(&a);
    socklen_t len = family == AF_INET6 ? sizeof a6 : sizeof a;
    if (bind(listen_, address, len) != 0 || listen(listen_, 1) != 0 || getsockname(listen_, address, &len) != 0) {
      CloseListener();
      return;
    }
    port = ntohs(family == AF_INET6 ? a6.sin6_port : a.sin_port);
  }
  ~LoopbackPeer() {
    CloseConnection();
    CloseListener();
  }
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  // Waits (at most 30 s) for the terminal's connection.
  bool Accept() {
    CloseConnection();
    received.clear();
    sawEnd = false;
    pollfd p{listen_, POLLIN, 0};
    if (poll(&p, 1, 30000) <= 0) return false;
    conn_ = accept(listen_, nullptr, nullptr);
    return conn_ >= 0;
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(send(conn_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
  }
  // Reads until `count` bytes arrived (bounded wait); for a terminal that needs no pumping.
  std::string Read(size_t count) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
      char buf[4096];
      timeval tv{0, 100000};
      setsockopt(conn_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
      const ssize_t n = recv(conn_, buf, sizeof buf, 0);
      if (n > 0) got.append(buf, static_cast<size_t>(n));
      if (n == 0) break;
    }
    return got;
  }
  // Takes what has arrived, without waiting, into `received` (at most `limit` bytes per
  // call); notes the end of the terminal's output in `sawEnd`.
  void ReadAvailable(size_t limit = 1u << 20) {
    if (conn_ < 0) return;
    char buf[65536];
    size_t taken = 0;
    while (taken < limit) {
      const ssize_t n = recv(conn_, buf, std::min(sizeof buf, limit - taken), MSG_DONTWAIT);
      if (n > 0) {
        received.append(buf, static_cast<size_t>(n));
        taken += static_cast<size_t>(n);
        continue;
      }
      if (n == 0) sawEnd = true;
      break;
    }
  }
  // Hands `received` over and starts collecting anew.
  std::string Take() {
    std::string out;
    out.swap(received);
    return out;
  }
  // Closes the accepted connection (the host logs the user out).
  void CloseConnection() {
    if (conn_ >= 0) close(conn_);
    conn_ = -1;
  }
  // Stops listening: connections to the port are refused from now on.
  void CloseListener() {
    if (listen_ >= 0) close(listen_);
    listen_ = -1;
  }

  uint16_t port = 0;
  std::string received;  // what the terminal sent, as ReadAvailable collected it
  bool sawEnd = false;   // the terminal shut its sending side or closed

 private:
  int listen_ = -1;
  int conn_ = -1;
};

// The terminal in a headless window; the socket's events go to the window's logic.
template <class Window>
struct HeadlessOf {
  explicit HeadlessOf(std::optional<uint16_t> port = std::nullopt) : socket(port), logic(window, socket, store, 4242) {
    window.logic = &logic;
  }
  // Polls until `done` holds (bounded). `peer`, when given, reads what the terminal sends on
  // every round, so that output larger than the socket buffers can drain.
  bool PumpUntil(const std::function<bool()>& done, LoopbackPeer* peer = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (!socket.PollOnce(peer != nullptr ? 2 : 20)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (peer != nullptr) peer->ReadAvailable();
    }
    return true;
  }
  // Screen row r without its trailing blanks.
  std::string Row(int r) {
    const TerminalLine* l = logic.screen().ScreenLine(r);
    std::string s(reinterpret_cast<const char*>(l->text.get()), static_cast<size_t>(l->width));
    return s.erase(s.find_last_not_of(' ') + 1);
  }

  MemoryStore store;
  Window window;
  PosixSocket socket;
  MainWindow logic;
};

using Headless = HeadlessOf<RecordingWindow>;

}  // namespace velmora::testing

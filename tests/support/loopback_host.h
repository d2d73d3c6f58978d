#pragma once
// A telnet host played by a test on loopback. It listens on one port of one or more loopback
// addresses ("127.0.0.1", "::1") and talks to one connection at a time: the test sends what
// the host says and reads back what the terminal sent. Every wait is bounded, so it also works
// from a thread of its own; nothing here measures time.
//
// One implementation for BSD sockets and Winsock (on Windows the caller has started Winsock).
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora::testing {

using Clock = std::chrono::steady_clock;
constexpr auto kHangGuard = std::chrono::seconds(30);

// A deadline, and a flag the test sets when it ends so that a host still waiting lets go.
struct Deadline {
  Clock::time_point until = Clock::now() + kHangGuard;
  const std::atomic<bool>* stop = nullptr;
  bool Passed() const { return Clock::now() >= until || (stop != nullptr && stop->load()); }
};

// Calls `step` until `done` holds; false once `within` (the hang guard) has run out, or at once
// when a step says there is nothing more to wait on, unless `done` holds by then.
inline bool PumpUntil(const std::function<bool()>& done, const std::function<bool()>& step,
                      Clock::duration within = kHangGuard) {
  const auto deadline = Clock::now() + within;
  while (!done()) {
    if (Clock::now() >= deadline || !step()) return done();
  }
  return true;
}

class LoopbackHost {
 public:
  // A socket of the platform's API: a descriptor, or a Winsock SOCKET; kNoSocket for none.
  using Handle = std::intptr_t;
  static constexpr Handle kNoSocket = -1;

  // Listens on `addresses`, all on the same ephemeral port. `receiveBuffer` > 0 shrinks the
  // receive buffer of the accepted connections, so that a host that does not read soon pushes
  // back on the terminal's output. An IPv4 address it cannot listen on is a test failure; an
  // IPv6 one is left out (the machine may have no IPv6 loopback: see ok()).
  explicit LoopbackHost(const std::vector<std::string>& addresses = {"127.0.0.1"}, int receiveBuffer = 0);
  explicit LoopbackHost(int receiveBuffer) : LoopbackHost({"127.0.0.1"}, receiveBuffer) {}
  ~LoopbackHost();
  LoopbackHost(const LoopbackHost&) = delete;
  LoopbackHost& operator=(const LoopbackHost&) = delete;

  // Whether it listens on any address.
  bool ok() const { return !listeners_.empty(); }

  // Waits (at most `seconds`) for the terminal's next connection, after dropping the previous
  // one. With a `pump`, the caller's thread keeps handling its events while it waits.
  bool Accept(int seconds = 30, const std::function<void()>& pump = nullptr);
  // For a host scripted on a thread of its own: the next connection, which the script owns
  // and closes (CloseSocket), or kNoSocket when `deadline` passes first.
  Handle AcceptSocket(const Deadline& deadline);
  static void CloseSocket(Handle s);

  // Sends all of `bytes` on the connection; a failure is also a test failure.
  bool Send(const std::string& bytes);
  // Takes what has arrived, without waiting, into `received` (at most `limit` bytes a call);
  // notes the end of the terminal's output in `sawEnd`.
  void ReadAvailable(size_t limit = 1u << 20);
  // Waits (at most `seconds`) until `count` bytes arrived or the terminal ended its output, and
  // takes all that arrived.
  std::string Read(size_t count, int seconds = 30, const std::function<void()>& pump = nullptr);
  // Hands `received` over and starts collecting anew.
  std::string Take() {
    std::string out;
    out.swap(received);
    return out;
  }
  // Closes the accepted connection (the host logs the user out).
  void CloseConnection();
  // Stops listening: connections to the port are refused from now on.
  void CloseListeners();

  uint16_t port = 0;
  std::string received;  // what the terminal sent, as ReadAvailable collected it
  bool sawEnd = false;   // the terminal shut its sending side or closed

 private:
  // The listener with a connection waiting, or kNoSocket after `sliceMs` without one.
  Handle WaitForConnection(int sliceMs);

  std::vector<Handle> listeners_;
  Handle connection_ = kNoSocket;
};

// A loopback port nobody listens on: connecting there is refused.
uint16_t RefusingPort();

}  // namespace velmora::testing

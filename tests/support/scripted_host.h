#pragma once
// A host scripted on a thread of its own (POSIX): a LoopbackHost on 127.0.0.1 whose script
// accepts the connections it wants and drives them with the bounded I/O of host_io.h. The
// script lets go when the test ends early; what it recorded is read after Finish().
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>

#include "support/host_io.h"
#include "support/loopback_host.h"

namespace velmora::testing {

class ScriptedHost {
 public:
  using Script = std::function<void(ScriptedHost&, const Deadline&)>;
  using ConnectionScript = std::function<void(int fd, const Deadline&)>;

  // `receiveBuffer` > 0 makes the accepted connections' receive buffer that small.
  explicit ScriptedHost(int receiveBuffer = 0) : listener_(receiveBuffer) {}
  ~ScriptedHost() {
    stop_ = true;
    Finish();
  }
  ScriptedHost(const ScriptedHost&) = delete;
  ScriptedHost& operator=(const ScriptedHost&) = delete;

  bool ok() const { return listener_.ok(); }
  uint16_t port() const { return listener_.port; }

  // Runs `script` on the host's thread.
  void Run(Script script) {
    thread_ = std::thread([this, script = std::move(script)] {
      Deadline deadline;
      deadline.stop = &stop_;
      script(*this, deadline);
      done_ = true;
    });
  }
  // Runs `script` on the first connection, then closes it (unless the script did: MarkClosed).
  // The host is done before it closes, so that a terminal waiting for done() never sees the
  // close first.
  void ServeOne(ConnectionScript script) {
    Run([script = std::move(script)](ScriptedHost& host, const Deadline& deadline) {
      const int fd = host.Accept(deadline);
      if (fd < 0) return;
      host.accepted_ = true;
      script(fd, deadline);
      host.done_ = true;
      if (!host.closedByScript_) ::close(fd);
    });
  }
  // From the script: the next connection, or -1.
  int Accept(const Deadline& deadline) { return static_cast<int>(listener_.AcceptSocket(deadline)); }
  void Finish() {
    if (thread_.joinable()) thread_.join();
  }

  bool done() const { return done_.load(); }
  bool accepted() const { return accepted_.load(); }
  // The script closed the descriptor itself (a reset).
  void MarkClosed() { closedByScript_ = true; }

 private:
  LoopbackHost listener_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::atomic<bool> accepted_{false};
  bool closedByScript_ = false;
};

}  // namespace velmora::testing

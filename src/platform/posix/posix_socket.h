#pragma once
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "telnet/socket.h"

namespace velmora {

// The connection's socket on POSIX systems. It does not run an event loop of its own: whoever
// drives the program's loop (a Qt socket notifier, or poll in tests) asks which readiness it
// waits for and hands what poll reported to Dispatch, which turns it into SocketEvents.
class PosixSocket : public Socket {
 public:
  // `portOverride` replaces the telnet service port (a port in the host text still wins); tests
  // use it to reach a peer of their own.
  explicit PosixSocket(std::optional<uint16_t> portOverride = std::nullopt) : portOverride_(portOverride) {}
  ~PosixSocket() override;

  int Connect(const HostAddress& address) override;
  long Send(const uint8_t* data, size_t size) override;
  long Receive(uint8_t* data, size_t size) override;
  void ShutdownSend() override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  std::string ErrorText(int error) const override;
  void SetEventHandler(SocketEventHandler* handler) override { handler_ = handler; }

  // The descriptor to watch (-1 when none) and the poll events wanted on it.
  int fd() const { return fd_; }
  short WantedEvents() const;
  // Reports what poll found on fd() as events to the handler.
  void Dispatch(short revents);

  // Polls the socket once for at most `timeoutMs` and dispatches what it finds. Returns false
  // when there is no socket.
  bool PollOnce(int timeoutMs);

 protected:
  // One address of the host.
  struct Candidate {
    sockaddr_storage address;
    socklen_t length;
  };
  // Appends the host's addresses, IPv4 and IPv6, in the order the resolver prefers them, to
  // `out`; returns 0 when there is at least one, otherwise the error code. Tests give a host
  // addresses of their choosing through it.
  virtual int Resolve(const std::string& host, std::vector<Candidate>& out) const;

 private:
  // Starts a non-blocking connect to the first of the addresses not yet tried that takes one;
  // 0 when a connect is under way, otherwise the error of the last address tried.
  int ConnectNext();

  std::optional<uint16_t> portOverride_;
  std::vector<Candidate> candidates_;  // the host's addresses in the resolver's order, with the port
  size_t nextCandidate_ = 0;
  SocketEventHandler* handler_ = nullptr;
  int fd_ = -1;
  bool connecting_ = false;
  bool wantWrite_ = false;
  bool closedReported_ = false;
};

}  // namespace velmora

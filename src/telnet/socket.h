#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "telnet/host_address.h"

namespace velmora {

// What the network reports about the connection's socket, in the order it happened.
enum class SocketEvent {
  Connected,  // the connect finished; the error code says whether it succeeded
  Readable,   // data waits: one Receive is allowed
  Writable,   // output that would have blocked can go on
  Closed,     // the host closed or reset the connection (error code 0 or the reason)
};

// Receives the socket's events on the program's one event-handling thread.
class SocketEventHandler {
 public:
  virtual ~SocketEventHandler() = default;
  virtual void OnSocketEvent(SocketEvent event, int error) = 0;
};

// The one TCP stream socket to the host, non-blocking, provided by the platform.
class Socket {
 public:
  static constexpr long kWouldBlock = -1;

  virtual ~Socket() = default;

  // Resolves the host (a name, an IPv4 or an IPv6 address) to its addresses, creates a socket
  // and starts a non-blocking connect to the address's port, or to the telnet port when it has
  // none. A connect that fails goes on to the next address; SocketEvent::Connected reports
  // the first that succeeds, or the error of the last. Returns 0 while a connect is under way,
  // otherwise the error code; no socket is then left open.
  virtual int Connect(const HostAddress& address) = 0;
  // Offers bytes; returns how many were taken (possibly fewer than offered), kWouldBlock when
  // none could be (SocketEvent::Writable follows), or another negative value for an error. Only
  // kWouldBlock promises the writable event: after a short send the rest must be offered again.
  virtual long Send(const uint8_t* data, size_t size) = 0;
  // Reads at most `size` bytes: the count, 0 at the end of the stream, kWouldBlock when nothing
  // waits, or another negative value for an error.
  virtual long Receive(uint8_t* data, size_t size) = 0;
  // No more output; data from the host still arrives until it closes.
  virtual void ShutdownSend() = 0;
  virtual void Close() = 0;
  // Whether a socket exists: connected, or with the connect still under way.
  virtual bool IsOpen() const = 0;
  // The system's text for an error code from this socket (the resolver's for its failures).
  virtual std::string ErrorText(int error) const = 0;
  virtual void SetEventHandler(SocketEventHandler* handler) = 0;
};

}  // namespace velmora

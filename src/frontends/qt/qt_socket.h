#pragma once
#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/posix/posix_socket.h"

namespace velmora {

// The connection's POSIX socket driven by Qt's event loop: socket notifiers watch for what the
// socket waits on, and each activation is turned into the socket's events on the GUI thread,
// in the order poll reports them. The notifiers follow every change of the socket (a new
// connection, a queue waiting to be sent, the close).
class QtSocket : public QObject, public PosixSocket {
  Q_OBJECT
 public:
  explicit QtSocket(std::optional<uint16_t> portOverride = std::nullopt) : PosixSocket(portOverride) {}
  ~QtSocket() override;

  int Connect(const HostAddress& address) override;
  long Send(const uint8_t* data, size_t size) override;
  long Receive(uint8_t* data, size_t size) override;
  void ShutdownSend() override;
  void Close() override;
  void SetEventHandler(SocketEventHandler* handler) override {
    handler_ = handler;
    PosixSocket::SetEventHandler(handler);
  }

 private:
  // Makes the notifiers match fd() and WantedEvents().
  void Watch();
  void Activated();
  void DropNotifiers();

  std::unique_ptr<QSocketNotifier> read_;
  std::unique_ptr<QSocketNotifier> write_;
  int watched_ = -1;
  SocketEventHandler* handler_ = nullptr;
  // An activation reports at most this many readable events; the window takes one read of at
  // most 512 bytes for each.
  static constexpr int kEventsPerActivation = 8;
  // What an activation read from the socket at once, for its readable events to hand to
  // Receive: [aheadAt_, aheadEnd_) not yet taken. As much as the events of one activation take.
  uint8_t ahead_[kEventsPerActivation * 512];
  size_t aheadAt_ = 0;
  size_t aheadEnd_ = 0;
  bool activationQueued_ = false;  // bytes read ahead are left: another activation is on its way
};

}  // namespace velmora

#include "frontends/qt/qt_socket.h"

#include <poll.h>

namespace velmora {

QtSocket::~QtSocket() {
  DropNotifiers();
  PosixSocket::Close();
}

int QtSocket::Connect(const HostAddress& address) {
  const int result = PosixSocket::Connect(address);
  Watch();
  return result;
}

long QtSocket::Send(const uint8_t* data, size_t size) {
  const long result = PosixSocket::Send(data, size);
  Watch();
  return result;
}

long QtSocket::Receive(uint8_t* data, size_t size) {
  const long result = PosixSocket::Receive(data, size);
  Watch();
  return result;
}

void QtSocket::ShutdownSend() {
  PosixSocket::ShutdownSend();
  Watch();
}

void QtSocket::Close() {
  PosixSocket::Close();
  Watch();
}

// A notifier may be dropped from inside its own activation, so it is deleted later.
void QtSocket::DropNotifiers() {
  for (auto* n : {&read_, &write_}) {
    if (*n) {
      (*n)->setEnabled(false);
      (*n)->disconnect(this);
      n->release()->deleteLater();
    }
  }
  watched_ = -1;
}

void QtSocket::Watch() {
  if (fd() != watched_) {
    DropNotifiers();
    if (fd() < 0) return;
    watched_ = fd();
    read_ = std::make_unique<QSocketNotifier>(watched_, QSocketNotifier::Read);
    write_ = std::make_unique<QSocketNotifier>(watched_, QSocketNotifier::Write);
    connect(read_.get(), &QSocketNotifier::activated, this, &QtSocket::Activated);
    connect(write_.get(), &QSocketNotifier::activated, this, &QtSocket::Activated);
  }
  if (watched_ < 0) return;
  const short wanted = WantedEvents();
  read_->setEnabled((wanted & (POLLIN | POLLRDHUP)) != 0);
  write_->setEnabled((wanted & POLLOUT) != 0);
}

// What the socket is ready for, asked of poll without waiting, goes to the socket's events.
// While data keeps arriving a few reads are taken per activation, each still its own readable
// event: the event loop is not gone round for every 512 bytes of a flood, and input and
// frames still come in between.
void QtSocket::Activated() {
  constexpr int kEventsPerActivation = 8;
  for (int round = 0; round < kEventsPerActivation && fd() >= 0; ++round) {
    pollfd p{fd(), WantedEvents(), 0};
    if (poll(&p, 1, 0) <= 0 || p.revents == 0) break;
    Dispatch(p.revents);
    if ((p.revents & POLLIN) == 0) break;
  }
  Watch();
}

}  // namespace velmora

#include "frontends/qt/qt_socket.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

// The bytes an activation read for its readable event come first.
long QtSocket::Receive(uint8_t* data, size_t size) {
  if (aheadAt_ < aheadEnd_) {
    const size_t n = std::min(size, aheadEnd_ - aheadAt_);
    std::memcpy(data, ahead_ + aheadAt_, n);
    aheadAt_ += n;
    return static_cast<long>(n);
  }
  const long result = PosixSocket::Receive(data, size);
  Watch();
  return result;
}

void QtSocket::ShutdownSend() {
  PosixSocket::ShutdownSend();
  Watch();
}

void QtSocket::Close() {
  aheadAt_ = aheadEnd_ = 0;
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

// What the socket is ready for goes to the socket's events. While data keeps arriving up to
// eight reads are taken per activation, each its own readable event: the event loop is not
// gone round for every 512 bytes of a flood, and input and frames still come in between.
// While nothing but reading is waited for, the socket is read once for all the events of the
// activation: one recv, without poll or a look at the socket, takes what is there (as much as
// eight reads), and each readable event's Receive hands on the next part of it, so a flood
// costs one system call per eight reads instead of three per read. When the recv finds the end
// of the stream or an error, the socket's own dispatch reports the close (after an error it
// finds the stream ended, so the close then carries no error code). Whatever else the socket
// waits for is asked of poll without waiting.
void QtSocket::Activated() {
  activationQueued_ = false;
  for (int round = 0; round < kEventsPerActivation && fd() >= 0 && handler_ != nullptr; ++round) {
    if (aheadAt_ == aheadEnd_ && WantedEvents() == POLLIN) {
      const ssize_t n = recv(fd(), ahead_, sizeof ahead_, MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
      if (n <= 0) {
        Dispatch(POLLIN);
        break;
      }
      aheadAt_ = 0;
      aheadEnd_ = static_cast<size_t>(n);
    }
    if (aheadAt_ < aheadEnd_) {
      // Bytes read ahead go first, before anything that happened after them.
      handler_->OnSocketEvent(SocketEvent::Readable, 0);
      continue;
    }
    pollfd p{fd(), WantedEvents(), 0};
    if (poll(&p, 1, 0) <= 0 || p.revents == 0) break;
    Dispatch(p.revents);
    if ((p.revents & POLLIN) == 0) break;
  }
  if (aheadAt_ < aheadEnd_ && fd() >= 0 && !activationQueued_) {
    // The socket's notifier says nothing of bytes already read: their events follow at once.
    activationQueued_ = true;
    QMetaObject::invokeMethod(this, &QtSocket::Activated, Qt::QueuedConnection);
  }
  Watch();
}

}  // namespace velmora

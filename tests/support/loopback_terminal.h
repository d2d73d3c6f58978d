#pragma once
// The terminal as the main window runs it, without a window (POSIX): a socket to a host on
// loopback, the connection, and a session whose telnet replies go out on the connection. The
// socket's events are handled as the window handles them: one read of at most 512 bytes per
// readable event, every byte through the receive pipeline; on the close, what is still
// readable is taken, the socket closed and the outgoing queue dropped.
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/posix_socket.h"
#include "support/loopback_host.h"
#include "support/recording_sinks.h"
#include "telnet/connection.h"
#include "telnet/terminal_session.h"

namespace velmora::testing {

template <class SocketType = PosixSocket>
class LoopbackTerminal : public SocketEventHandler {
 public:
  explicit LoopbackTerminal(uint16_t port) : socket(port), connection(socket), session(observer, trace, connection) {
    observer.model = &session.screen();
    socket.SetEventHandler(this);
    if (!session.screen().CreateLineStore()) ADD_FAILURE() << "cannot create the line store";
    session.screen().ResetForConnection();
  }

  void OnSocketEvent(SocketEvent event, int error) override {
    events.push_back(event);
    switch (event) {
      case SocketEvent::Connected:
        connectError = error;
        connection.OnConnected(error);
        if (error != 0) socket.Close();
        break;
      case SocketEvent::Readable:
        Receive();
        break;
      case SocketEvent::Writable:
        connection.OnWritable();
        break;
      case SocketEvent::Closed: {
        closed = true;
        closeError = error;
        receivedAtClose = received.size();
        for (int i = 0; i < 1 << 20 && Receive(); ++i) {
        }
        drainedAtClose = received.size() - receivedAtClose;
        socket.Close();
        connection.DropQueue();
        if (resetSessionOnClose) session.OnConnectionClosed();
        ++closes;
        break;
      }
    }
    if (afterEvent) afterEvent();
  }

  // Runs the event loop until `done` holds, the socket is gone or the hang guard runs out.
  bool PumpUntil(const std::function<bool()>& done) {
    return testing::PumpUntil(done, [this] { return socket.PollOnce(20); });
  }

  // Connects to the host's port and waits for the connect to finish; true when it succeeded.
  bool Connect() {
    connectError.reset();
    if (connection.ConnectToHost("127.0.0.1") != 0) return false;
    return PumpUntil([this] { return connectError.has_value(); }) && *connectError == 0;
  }

  // Makes the kernel's send buffer small, so that what it cannot take waits in the queue.
  void UseSmallSendBuffer() {
    int size = 8192;
    setsockopt(socket.fd(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  }

  // Sends everything waiting, then ends the output so that the host sees the end of the stream.
  bool FlushAndEndOutput() {
    const bool flushed = PumpUntil([this] { return connection.queuedBytes() == 0; });
    socket.ShutdownSend();
    return flushed;
  }

  // Keys typed by the user.
  void Type(std::string_view text) {
    for (const char c : text) connection.SendChar(static_cast<uint8_t>(c));
  }

  // Bytes as if they had come from the host, outside the socket: lets a test place a telnet
  // request at an exact point of its own output.
  void Feed(std::string_view bytes) {
    for (const char c : bytes) session.pipeline().ReceiveByte(static_cast<uint8_t>(c));
  }

  // Screen row r as its code page 932 bytes, spaces at the end removed.
  std::string Row(int32_t r) const {
    const TerminalLine* line = session.screen().ScreenLine(r);
    std::string text(reinterpret_cast<const char*>(line->text()), static_cast<size_t>(line->width));
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }

  bool Saw(SocketEvent event) const { return std::find(events.begin(), events.end(), event) != events.end(); }

  LiveObserver observer;
  NoTrace trace;
  SocketType socket;
  Connection connection;
  TerminalSession session;

  std::vector<SocketEvent> events;
  std::optional<int> connectError;
  std::optional<int> closeError;
  std::string received;                  // every byte the host sent, in order
  std::atomic<size_t> receivedCount{0};  // their count, for a host's thread to read
  size_t receivedAtClose = 0;            // how many had come before the close was seen
  size_t drainedAtClose = 0;             // how many were taken after it
  bool closed = false;
  int closes = 0;
  bool resetSessionOnClose = false;      // a closed connection resets the session, as in the window
  std::function<void()> afterEvent;      // runs after every event, like the window's next message

 private:
  // One read of at most 512 bytes. False when nothing was read.
  bool Receive() {
    uint8_t buf[512];
    const long n = socket.Receive(buf, sizeof buf);
    if (n <= 0) return false;
    received.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
    for (long i = 0; i < n; ++i) session.pipeline().ReceiveByte(buf[i]);
    receivedCount += static_cast<size_t>(n);
    return true;
  }
};

}  // namespace velmora::testing

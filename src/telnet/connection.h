#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "encoding/byte_sink.h"
#include "telnet/reply_sink.h"
#include "telnet/socket.h"

namespace velmora {

// The connection to the host and everything that puts bytes on it. Sending never waits: what
// the socket cannot take at once waits, in order, in one outgoing queue that drains when the
// socket becomes writable, and every later byte goes behind it. While nothing waits, single
// bytes go out one send each and a telnet reply goes out whole in one send. The queue is
// dropped only when the connection ends.
class Connection : public ByteSink, public ReplySink {
 public:
  // Above this much waiting output, telnet replies are no longer queued: a host that keeps
  // asking and never reads gets no more answers. What the user typed or pasted is always kept.
  static constexpr size_t kReplyQueueLimit = 1u << 20;

  explicit Connection(Socket& socket) : socket_(socket) {}

  // Starts connecting to the host text `hostName` (a host, "host:port", an IPv6 address or
  // "[IPv6]:port"; see ParseHostText), on the telnet port when the text names none. Returns 0
  // while the connect is under way, or the error code (no socket is then left): a text that
  // cannot be read gives HostTextErrorCode of what is wrong with it, and no connect is tried.
  int ConnectToHost(const std::string& hostName);
  // Whether a connection exists, also while the connect is still under way.
  bool IsConnected() const { return socket_.IsOpen(); }
  Socket& socket() { return socket_; }

  // ByteSink: key-sequence bytes and typed text.
  void SendByte(uint8_t b) override;
  void SendChar(uint8_t b) override;
  // High byte, then low byte.
  void SendWord16(uint16_t value);
  // Text sent as it is, as one piece.
  void SendText(std::string_view text);
  // Pasted text, already in the host encoding: goes behind anything waiting. False, with
  // nothing sent, when there is no memory to hold what the socket cannot take at once.
  bool SendData(std::string_view data);

  // ReplySink: a whole telnet reply, or nothing of it when too much output waits.
  bool SendReply(std::string_view reply) override;

  // Socket events the connection itself takes care of.
  void OnConnected(int error);  // a successful connect sends what was typed meanwhile
  void OnWritable();            // drains the queue as far as the socket takes it
  // The connection ended: the waiting output is dropped.
  void DropQueue();
  size_t queuedBytes() const { return queue_.size() - head_; }

 private:
  // Sends what the socket takes until it would block and queues the rest behind anything
  // waiting. False when the rest could not be queued for lack of memory (it is then lost).
  bool Offer(const uint8_t* data, size_t size);
  bool Queue(const uint8_t* data, size_t size);
  void Flush();
  void ReleaseIdleQueue();

  Socket& socket_;
  bool connecting_ = false;
  std::string queue_;  // waiting output from head_ on
  size_t head_ = 0;
};

}  // namespace velmora

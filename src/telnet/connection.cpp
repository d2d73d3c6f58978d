#include "telnet/connection.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace velmora {

int Connection::ConnectToHost(const std::string& hostName) {
  if (socket_.IsOpen()) return 0;  // already connected or connecting
  DropQueue();
  const HostTextParse parsed = ParseHostText(hostName);
  if (parsed.error != HostTextError::kNone) return HostTextErrorCode(parsed.error);
  const int error = socket_.Connect(parsed.address);
  connecting_ = error == 0;
  return error;
}

void Connection::SendByte(uint8_t b) { Offer(&b, 1); }

void Connection::SendChar(uint8_t b) {
  if (b == '\n') SendByte('\r');
  SendByte(b);
  if (b == 0xFF) SendByte(0xFF);  // IAC IAC: a data byte, not a command
}

void Connection::SendWord16(uint16_t value) {
  SendByte(static_cast<uint8_t>(value >> 8));
  SendByte(static_cast<uint8_t>(value & 0xFF));
}

void Connection::SendText(std::string_view text) {
  Offer(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// A data byte 0xFF goes out doubled (IAC IAC), so the host never reads pasted text as a command.
// The queue first makes room for all of it, so that running out of memory abandons the paste
// before its first byte leaves instead of cutting it somewhere in the middle.
bool Connection::SendData(std::string_view data) {
  if (data.empty() || !socket_.IsOpen()) return true;
  const auto doubled = static_cast<size_t>(std::count(data.begin(), data.end(), '\xFF'));
  try {
    queue_.reserve(queue_.size() + data.size() + doubled);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  size_t start = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    if (static_cast<uint8_t>(data[i]) != 0xFF) continue;
    Offer(reinterpret_cast<const uint8_t*>(data.data()) + start, i + 1 - start);
    start = i;  // the 0xFF goes out once more with the next piece
  }
  Offer(reinterpret_cast<const uint8_t*>(data.data()) + start, data.size() - start);
  if (queuedBytes() == 0) ReleaseIdleQueue();
  return true;
}

// A reply goes out in one send, so that it reaches the host in one piece: some servers read
// a NUL that ends a read as the pad after a carriage return and drop it, and a window-size
// report cut after one of its zero bytes then swallows the next command, whose option byte
// lands in the shell's input. A reply is refused whole, never in part, when too much output
// waits.
bool Connection::SendReply(std::string_view reply) {
  if (queuedBytes() > kReplyQueueLimit) return false;
  return Offer(reinterpret_cast<const uint8_t*>(reply.data()), reply.size());
}

// The socket is offered the rest again after a short send, until it says it would block: only
// then does a writable event follow on every platform (Winsock posts FD_WRITE only after a
// send has failed with WSAEWOULDBLOCK), so a queue left after a short send would never drain.
bool Connection::Offer(const uint8_t* data, size_t size) {
  if (size == 0 || !socket_.IsOpen()) return true;  // no connection: the bytes are lost
  if (connecting_ || queuedBytes() > 0) return Queue(data, size);
  while (size > 0) {
    const long sent = socket_.Send(data, size);
    if (sent == Socket::kWouldBlock || sent == 0) return Queue(data, size);
    if (sent < 0) return true;  // the connection is ending; its close drops everything anyway
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

bool Connection::Queue(const uint8_t* data, size_t size) {
  try {
    queue_.append(reinterpret_cast<const char*>(data), size);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void Connection::OnConnected(int error) {
  connecting_ = false;
  if (error != 0) {
    DropQueue();
    return;
  }
  Flush();
}

void Connection::OnWritable() { Flush(); }

void Connection::Flush() {
  while (queuedBytes() > 0 && socket_.IsOpen()) {
    const long sent = socket_.Send(reinterpret_cast<const uint8_t*>(queue_.data()) + head_, queuedBytes());
    if (sent <= 0) {
      if (sent != Socket::kWouldBlock && sent != 0) DropQueue();
      break;
    }
    head_ += static_cast<size_t>(sent);
  }
  if (head_ == queue_.size()) {
    ReleaseIdleQueue();
  } else if (head_ > (1u << 16) && head_ * 2 > queue_.size()) {
    queue_.erase(0, head_);
    head_ = 0;
  }
}

// An empty queue keeps a little room for the next short wait and gives back what a large
// paste made it hold.
void Connection::ReleaseIdleQueue() {
  queue_.clear();
  head_ = 0;
  if (queue_.capacity() > kReplyQueueLimit) queue_.shrink_to_fit();
}

void Connection::DropQueue() {
  queue_.clear();
  queue_.shrink_to_fit();
  head_ = 0;
}

}  // namespace velmora

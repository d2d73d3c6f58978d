#pragma once
#include <cstdint>
#include <string_view>

namespace velmora {

// Where the telnet negotiator's answers go. The connection implements it, sending each byte in
// its own send while nothing is waiting; a host that keeps asking without reading gets no more
// answers once a great deal of output is waiting. Tools record the bytes instead.
class ReplySink {
 public:
  virtual ~ReplySink() = default;
  virtual void SendReplyByte(uint8_t b) = 0;
  // A text inside a reply (terminal type, display location), sent as it is.
  virtual void SendReplyText(std::string_view text) = 0;
};

// A sink that drops every reply.
class NullReplySink : public ReplySink {
 public:
  void SendReplyByte(uint8_t) override {}
  void SendReplyText(std::string_view) override {}
};

}  // namespace velmora

#pragma once
#include <string_view>

namespace velmora {

// Where the telnet negotiator's answers go, one whole reply at a time. The connection
// implements it: while nothing waits, each byte goes out in its own send; a reply is never cut,
// so a host never reads half a command followed by typed text. Tools record the bytes instead.
class ReplySink {
 public:
  virtual ~ReplySink() = default;
  // False when the reply was not taken (too much output waits): nothing of it goes out.
  virtual bool SendReply(std::string_view bytes) = 0;
};

// A sink that drops every reply.
class NullReplySink : public ReplySink {
 public:
  bool SendReply(std::string_view) override { return true; }
};

}  // namespace velmora

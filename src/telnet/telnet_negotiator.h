#pragma once
#include <cstdint>

#include "emulation/stream_state.h"
#include "emulation/trace_writer.h"

namespace velmora {

// Telnet option negotiation: the receive pipeline hands it the byte after IAC DO, DONT, WILL
// or WONT, and every byte after IAC SB; it ends the command by setting the receive state back
// to text.
class TelnetNegotiator {
 public:
  TelnetNegotiator(StreamState& stream, TraceWriter& trace) : stream_(stream), trace_(trace) {}

  void OnDo(uint8_t option);
  void OnDont(uint8_t option);
  void OnWill(uint8_t option);
  void OnWont(uint8_t option);
  void OnSubnegotiation(uint8_t b);

 private:
  StreamState& stream_;
  TraceWriter& trace_;
};

}  // namespace velmora

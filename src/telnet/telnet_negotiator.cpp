#include "telnet/telnet_negotiator.h"

namespace velmora {

// Framing only for now: a verb ends with its option byte and a subnegotiation with IAC SE.
void TelnetNegotiator::OnDo(uint8_t) { stream_.EndSequence(); }
void TelnetNegotiator::OnDont(uint8_t) { stream_.EndSequence(); }
void TelnetNegotiator::OnWill(uint8_t) { stream_.EndSequence(); }
void TelnetNegotiator::OnWont(uint8_t) { stream_.EndSequence(); }

void TelnetNegotiator::OnSubnegotiation(uint8_t b) {
  auto& buf = stream_.sequenceBuffer;
  if (buf[3] == 0xFF && b == 0xF0) {
    stream_.EndSequence();
    return;
  }
  buf[3] = (buf[3] == 0xFF && b == 0xFF) ? 0 : b;
}

}  // namespace velmora

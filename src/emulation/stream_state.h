#pragma once
#include <array>
#include <cstdint>

namespace velmora {

// What the receive pipeline is in the middle of: plain text, an escape sequence (the value is
// the ESC byte) or a telnet command (the IAC byte).
enum class ReceiveState : uint8_t { Text = 0x00, Escape = 0x1B, Command = 0xFF };

// The receive state shared by the pipeline, which opens sequences, and the escape interpreters
// and telnet negotiator, which consume them and say when they end.
struct StreamState {
  ReceiveState receiveState = ReceiveState::Text;
  // Workspace of the open sequence, zeroed when an escape or command starts. For a telnet
  // command: byte 0 the verb, byte 1 a subnegotiation's option, byte 2 its countdown. For an
  // escape sequence it belongs to the interpreter.
  std::array<uint8_t, 32> sequenceBuffer{};
  // How many bytes of sequenceBuffer the open escape sequence has filled.
  uint8_t sequenceLength = 0;
  // JIS kanji shift in effect: received bytes are taken in pairs as JIS X 0208 codes.
  bool kanjiMode = false;

  void BeginSequence(ReceiveState s) {
    receiveState = s;
    sequenceBuffer.fill(0);
    sequenceLength = 0;
  }
  void EndSequence() { receiveState = ReceiveState::Text; }
};

}  // namespace velmora

#pragma once
#include <array>
#include <cstdint>

namespace velmora {

// What the receive pipeline is in the middle of: plain text, an escape sequence (the value is
// the ESC byte) or a telnet command (the IAC byte).
enum class ReceiveState : uint8_t { Text = 0x00, Escape = 0x1B, Command = 0xFF };

// Where an open escape sequence stands: what the next byte may be. ESC opens it at Start and the
// escape interpreter moves it on.
enum class EscapeState : uint8_t {
  Start,             // the byte after ESC
  Ss3,               // ESC O: a cursor key's letter follows
  KanjiDesignation,  // ESC $: one more byte, and JIS X 0208 is in force
  AsciiDesignation,  // ESC (: one more byte, and ASCII is in force
  CsiEntry,          // ESC [ with nothing after it yet
  CsiParameters,     // ESC [ and a digit: parameter characters up to the final byte
  HomeClear,         // ESC [ ;: bytes counted by position up to the end of ESC [ 2 J
  ForeignCsi,        // a control sequence outside the repertoire, consumed to its final byte
  Intermediates,     // ESC and an intermediate byte, consumed to its final byte
  ControlString,     // OSC, DCS, SOS, PM or APC, consumed to its terminator
  Vt52Row,           // VT52 ESC Y: the row byte follows
  Vt52Column,        // VT52 ESC Y and its row: the column byte follows
  OtherType,         // a sequence of the terminal type no longer in force: the next byte ends it
};

// The receive state shared by the pipeline, which opens sequences, and the escape interpreters
// and telnet negotiator, which consume them and say when they end.
struct StreamState {
  ReceiveState receiveState = ReceiveState::Text;
  EscapeState escapeState = EscapeState::Start;
  // Workspace of an open telnet command: byte 0 the verb, byte 1 a subnegotiation's option,
  // byte 2 its countdown. Bytes 0 and 1 are zero when IAC opens the command.
  std::array<uint8_t, 32> sequenceBuffer{};
  // How many bytes of an open control sequence are kept: ESC [ counts one, then each parameter
  // character up to kMaxSequenceLength; later ones are traced but count for nothing.
  static constexpr uint8_t kMaxSequenceLength = 32;
  uint8_t sequenceLength = 0;
  // JIS kanji shift in effect: received bytes are taken in pairs as JIS X 0208 codes.
  bool kanjiMode = false;

  void BeginEscape() {
    receiveState = ReceiveState::Escape;
    escapeState = EscapeState::Start;
  }
  void BeginCommand() {
    receiveState = ReceiveState::Command;
    sequenceBuffer[0] = 0;
    sequenceBuffer[1] = 0;
  }
  void EndSequence() { receiveState = ReceiveState::Text; }
};

}  // namespace velmora

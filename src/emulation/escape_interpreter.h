#pragma once
#include <cstdint>

#include "emulation/stream_state.h"
#include "emulation/terminal_options.h"
#include "emulation/trace_writer.h"
#include "screen/screen_model.h"

namespace velmora {

// Interprets the bytes of an escape sequence once the receive pipeline has seen ESC, as a
// VT100 or a VT52 according to the terminal type, and ends the sequence by setting the
// receive state back to text. The state of an open sequence is what the sequence buffer holds:
// byte 0 the introducer, the bytes after it what was collected since.
class EscapeInterpreter {
 public:
  EscapeInterpreter(ScreenModel& screen, StreamState& stream, const TerminalOptions& options,
                    TraceWriter& trace)
      : screen_(screen), stream_(stream), options_(options), trace_(trace) {}

  // One byte after ESC; the interpreter is chosen afresh for every byte.
  void EscapeDispatch(uint8_t b);

  void Vt100Byte(uint8_t b);
  void Vt52Byte(uint8_t b);

 private:
  // VT100 states.
  void Vt100Start(uint8_t b);
  void Vt100Ss3(uint8_t b);
  void CsiStart(uint8_t b);
  void CsiParam(uint8_t b);
  void CsiFinal(uint8_t b);
  void CsiHomeClear(uint8_t b);
  void BecomeForeignCsi(uint8_t b);
  void ConsumeToFinal(uint8_t b, uint8_t firstFinal);
  void ControlString(uint8_t b);
  void SelectGraphicRendition(int32_t first, bool hasSecond, int32_t second);
  // VT52 states.
  void Vt52Start(uint8_t b);
  void Vt52Address(uint8_t b);

  // Keeps b in the buffer as the next byte of the sequence.
  void Hold(uint8_t b);
  // A byte the open sequence does not expect: traced, dropped, and the sequence ends.
  void Unexpected(uint8_t b);
  void End() { stream_.EndSequence(); }

  ScreenModel& screen_;
  StreamState& stream_;
  const TerminalOptions& options_;
  TraceWriter& trace_;
};

}  // namespace velmora

#pragma once
#include <cstdint>

#include "emulation/stream_state.h"
#include "emulation/terminal_options.h"
#include "emulation/trace_writer.h"
#include "screen/screen_model.h"

namespace velmora {

// Interprets the bytes of an escape sequence once the receive pipeline has seen ESC, as a
// VT100 or a VT52 according to the terminal type, and ends the sequence by setting the
// receive state back to text.
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
  ScreenModel& screen_;
  StreamState& stream_;
  const TerminalOptions& options_;
  TraceWriter& trace_;
};

}  // namespace velmora

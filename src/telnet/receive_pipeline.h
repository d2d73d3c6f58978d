#pragma once
#include <cstdint>

#include "emulation/escape_interpreter.h"
#include "emulation/stream_state.h"
#include "emulation/terminal_options.h"
#include "emulation/trace_writer.h"
#include "screen/screen_model.h"
#include "telnet/telnet_negotiator.h"

namespace velmora {

// The single path by which bytes from the host reach the terminal. Each byte is routed, in
// arrival order and without buffering ahead, to the telnet negotiator, the escape interpreter,
// a control action on the screen, or assembled into a character of the host encoding,
// converted to Shift-JIS and written at the cursor.
class ReceivePipeline {
 public:
  ReceivePipeline(ScreenModel& screen, StreamState& stream, const TerminalOptions& options,
                  EscapeInterpreter& escapes, TelnetNegotiator& negotiator, TraceWriter& trace)
      : screen_(screen), stream_(stream), options_(options), escapes_(escapes),
        negotiator_(negotiator), trace_(trace) {}

  void ReceiveByte(uint8_t b);

  // Whether b starts a double-byte character in the current host encoding.
  bool IsLeadByte(uint8_t b) const;
  // Completes the character begun by `lead`; false when one more byte is needed.
  bool DecodePair(uint8_t lead, uint8_t b);
  // Shift Out / Shift In and the katakana shift of one byte; true when b was a shift control.
  bool ApplyShiftState(uint8_t& b);

  uint8_t pendingLead = 0;     // lead byte waiting for its second byte
  uint8_t utf8Middle = 0;      // second byte of a three-byte UTF-8 sequence
  bool katakanaShift = false;  // Shift Out in effect
  // A four-byte UTF-8 sequence being gathered: its bytes so far (0 when none).
  uint8_t utf8Long[3] = {0, 0, 0};
  int utf8LongCount = 0;

 private:
  void ReceiveCommandByte(uint8_t b);
  void ReceiveTextByte(uint8_t b);
  // A byte that is part of no multi-byte character: shift controls or a single-byte character.
  void WriteSingle(uint8_t b);
  // Gathers a four-byte UTF-8 sequence; false when b does not belong to one.
  bool GatherLongUtf8(uint8_t b);

  ScreenModel& screen_;
  StreamState& stream_;
  const TerminalOptions& options_;
  EscapeInterpreter& escapes_;
  TelnetNegotiator& negotiator_;
  TraceWriter& trace_;
};

}  // namespace velmora

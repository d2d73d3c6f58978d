#pragma once
#include <cstdint>

#include "emulation/escape_interpreter.h"
#include "emulation/stream_state.h"
#include "emulation/terminal_options.h"
#include "emulation/trace_writer.h"
#include "encoding/host_decoder.h"
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
  // The bytes of one read, with exactly the effect of ReceiveByte on each in turn: runs of
  // printable ASCII in plain text (nothing pending, no shift, no trace) are written as runs, and
  // so are runs of complete double-byte characters (nothing pending, no katakana shift, no
  // trace).
  void ReceiveBytes(const uint8_t* data, size_t size);

  // The character under way and the katakana shift, for tests and checks.
  const HostDecoder& decoder() const { return decoder_; }
  bool katakanaShift() const { return katakanaShift_; }

 private:
  // Writes the double-byte characters that begin at data[i] as runs (HostDecoder::
  // DecodeDoubleRun) when nothing is pending, the katakana shift is out and no trace is
  // written; returns where they end, i when there are none.
  size_t WriteDoubleByteRun(const uint8_t* data, size_t i, size_t size);
  void ReceiveCommandByte(uint8_t b);
  void ReceiveTextByte(uint8_t b);
  // A byte that is part of no multi-byte character: shift controls or a single-byte character.
  void WriteSingle(uint8_t b);
  // Shift Out / Shift In and the katakana shift of one byte; true when b was a shift control.
  bool ApplyShiftState(uint8_t& b);
  void Write(const HostDecoder::Result& r);

  HostDecoder decoder_;
  bool katakanaShift_ = false;  // Shift Out in effect

  ScreenModel& screen_;
  StreamState& stream_;
  const TerminalOptions& options_;
  EscapeInterpreter& escapes_;
  TelnetNegotiator& negotiator_;
  TraceWriter& trace_;
};

}  // namespace velmora

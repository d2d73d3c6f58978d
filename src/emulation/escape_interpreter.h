#pragma once
#include <cstdint>

#include "emulation/stream_state.h"
#include "emulation/terminal_options.h"
#include "emulation/trace_writer.h"
#include "screen/screen_model.h"

namespace velmora {

// Interprets the bytes of an escape sequence once the receive pipeline has seen ESC, as a
// VT100 or a VT52 according to the terminal type, and ends the sequence by setting the
// receive state back to text. Where an open sequence stands is the stream's escape state; a
// control sequence's parameters are read as their characters arrive.
class EscapeInterpreter {
 public:
  EscapeInterpreter(ScreenModel& screen, StreamState& stream, const TerminalOptions& options,
                    TraceWriter& trace)
      : screen_(screen), stream_(stream), options_(options), trace_(trace), vt52_(options.IsVt52()) {}

  // One byte after ESC, read by the terminal type in force at that byte.
  void EscapeDispatch(uint8_t b);
  // The options' terminal type changed: it is read here once rather than for every byte.
  void TerminalTypeChanged();

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
  // Both: ESC $ x and ESC ( x.
  void Designation(uint8_t b);

  // A byte the open sequence does not expect: traced, dropped, and the sequence ends.
  void Unexpected(uint8_t b);
  void Enter(EscapeState s) { stream_.escapeState = s; }
  void End() { stream_.EndSequence(); }

  ScreenModel& screen_;
  StreamState& stream_;
  const TerminalOptions& options_;
  TraceWriter& trace_;
  bool vt52_;
  // The state of an open sequence of the other terminal type, put aside while the stream's
  // state is OtherType, and taken back if the type changes back before the next byte.
  EscapeState setAside_ = EscapeState::Start;
  // The parameters of the open control sequence, as far as its kept characters go: the number
  // before the first ';', the number after it, and a third slot that takes every later digit.
  // csiField_ is the slot the next digit goes to (the count of ';' kept, at most 2).
  int32_t csiNumbers_[3] = {};
  uint8_t csiField_ = 0;
  // The first parameter character, which selects the erase variant.
  uint8_t csiFirst_ = 0;
  // VT52 ESC Y: the row byte received.
  uint8_t vt52Row_ = 0;
};

}  // namespace velmora

#include "emulation/escape_interpreter.h"

namespace velmora {

void EscapeInterpreter::Unexpected(uint8_t b) {
  trace_.Trace("[%03d]\n", b);
  End();
}

// ESC $ x designates JIS X 0208 (kanji), ESC ( x ASCII, whatever x is; the same for both
// terminal types.
void EscapeInterpreter::Designation(uint8_t b) {
  trace_.Trace("[%c]", b);
  stream_.kanjiMode = stream_.escapeState == EscapeState::KanjiDesignation;
  End();
}

void EscapeInterpreter::EscapeDispatch(uint8_t b) {
  // The states of ESC [ n ; m x, by far the most frequent, are tested first.
  const EscapeState state = stream_.escapeState;
  if (state == EscapeState::CsiParameters) {
    CsiParam(b);
    return;
  }
  if (state == EscapeState::Start) {
    if (vt52_) {
      Vt52Start(b);
    } else {
      Vt100Start(b);
    }
    return;
  }
  if (state == EscapeState::CsiEntry) {
    CsiStart(b);
    return;
  }
  switch (state) {
    case EscapeState::Start:
    case EscapeState::CsiParameters:
    case EscapeState::CsiEntry:
      return;  // taken above
    case EscapeState::Ss3:
      Vt100Ss3(b);
      return;
    case EscapeState::KanjiDesignation:
    case EscapeState::AsciiDesignation:
      Designation(b);
      return;
    case EscapeState::HomeClear:
      CsiHomeClear(b);
      return;
    case EscapeState::ForeignCsi:
      ConsumeToFinal(b, 0x40);
      return;
    case EscapeState::Intermediates:
      ConsumeToFinal(b, 0x30);
      return;
    case EscapeState::ControlString:
      ControlString(b);
      return;
    case EscapeState::Vt52Row:
    case EscapeState::Vt52Column:
      Vt52Address(b);
      return;
    case EscapeState::OtherType:
      Unexpected(b);
      return;
  }
}

// The start and the designations are read alike by both types. Every other state belongs to
// the type it was reached under: while the other type is in force it is put aside, so the next
// byte ends the sequence, unless the type changes back first.
void EscapeInterpreter::TerminalTypeChanged() {
  const bool vt52 = options_.IsVt52();
  if (vt52 == vt52_) return;
  vt52_ = vt52;
  EscapeState& state = stream_.escapeState;
  switch (state) {
    case EscapeState::Start:
    case EscapeState::KanjiDesignation:
    case EscapeState::AsciiDesignation:
      return;
    case EscapeState::OtherType:
      state = setAside_;  // put aside at the change away from the type now in force again
      return;
    default:
      setAside_ = state;
      state = EscapeState::OtherType;
      return;
  }
}

// VT52: cursor keys, home, erase, reverse scroll, direct cursor addressing and the JIS kanji
// designations. No parameters, regions or attributes of its own.
void EscapeInterpreter::Vt52Start(uint8_t b) {
  switch (b) {
    case 'A': trace_.Trace("[A]\n"); screen_.CursorUp(); break;
    case 'B': trace_.Trace("[B]\n"); screen_.LineFeed(); break;
    case 'C': trace_.Trace("[C]\n"); screen_.CursorRight(); break;
    case 'D': trace_.Trace("[D]\n"); screen_.Backspace(); break;
    case 'H': trace_.Trace("[H]"); screen_.MoveCursor(0, 0); break;
    case 'I': trace_.Trace("[I]\n"); screen_.ScrollRegionDown(); break;
    case 'J': trace_.Trace("[J]\n"); screen_.EraseBelow(); break;
    case 'K': trace_.Trace("[K]\n"); screen_.EraseLineRight(); break;
    case 'Y':
      trace_.Trace("[Y]");
      Enter(EscapeState::Vt52Row);
      return;
    case '$':
      trace_.Trace("[$]");
      Enter(EscapeState::KanjiDesignation);
      return;
    case '(':
      trace_.Trace("[(]");
      Enter(EscapeState::AsciiDesignation);
      return;
    default:
      Unexpected(b);
      return;
  }
  End();
}

// ESC Y row column, each offset by 32 and taken modulo 256. A row byte of 0 cannot be told
// from "no row yet", so the byte after it is taken as the row again.
void EscapeInterpreter::Vt52Address(uint8_t b) {
  const auto value = static_cast<uint8_t>(b - 32);
  if (stream_.escapeState == EscapeState::Vt52Row) {
    trace_.Trace("[%03d]", value);
    if (b != 0) {
      vt52Row_ = b;
      Enter(EscapeState::Vt52Column);
    }
    return;
  }
  trace_.Trace("[%03d]\n", value);
  screen_.MoveCursor(value, static_cast<uint8_t>(vt52Row_ - 32));
  End();
}

}  // namespace velmora

// The VT100 escape sequences: a narrow repertoire of cursor, erase, edit, attribute, region
// and kanji-designation sequences. Anything else is consumed through its natural end (the
// final byte of a control sequence or of an escape with intermediates, the terminator of a
// control string), traced, and has no effect.
#include <algorithm>
#include <cstdint>

#include "emulation/escape_interpreter.h"

namespace velmora {

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kBel = 0x07, kCan = 0x18, kSub = 0x1A, kIac = 0xFF;
constexpr int32_t kNumberCap = 1000000000;  // parameters saturate here

bool IsDigit(uint8_t b) { return b >= '0' && b <= '9'; }
bool IsIntermediate(uint8_t b) { return b >= 0x20 && b <= 0x2F; }
// Parameter bytes that the repertoire does not use: private markers and the sub-parameter colon.
bool IsForeignParameter(uint8_t b) { return b == ':' || (b >= '<' && b <= '?'); }
// ESC ] (OSC), ESC P (DCS), ESC X (SOS), ESC ^ (PM) and ESC _ (APC) open a control string.
bool OpensControlString(uint8_t b) {
  return b == ']' || b == 'P' || b == 'X' || b == '^' || b == '_';
}

}  // namespace

void EscapeInterpreter::Vt100Start(uint8_t b) {
  if (b == '[') {
    trace_.Trace("[[]");
    stream_.sequenceLength = 1;
    Enter(EscapeState::CsiEntry);
    return;
  }
  switch (b) {
    case 'O':
      trace_.Trace("[O]");
      Enter(EscapeState::Ss3);
      return;
    case '$':
      trace_.Trace("[$]");
      Enter(EscapeState::KanjiDesignation);
      return;
    case '(':
      trace_.Trace("[(]");
      Enter(EscapeState::AsciiDesignation);
      return;
    case '7': trace_.Trace("[7]\n"); screen_.SaveCursor(); break;     // DECSC
    case '8': trace_.Trace("[8]\n"); screen_.RestoreCursor(); break;  // DECRC
    // Index and reverse index scroll the region wherever the cursor is; it does not move.
    case 'D': trace_.Trace("[D]\n"); screen_.ScrollRegionUp(); break;    // IND
    case 'M': trace_.Trace("[M]\n"); screen_.ScrollRegionDown(); break;  // RI
    default:
      // ESC ) 0, ESC # 8, ESC % G ... or a control string: consumed to its end.
      if (IsIntermediate(b)) {
        trace_.Trace("[%c]", b);
        Enter(EscapeState::Intermediates);
        return;
      }
      if (OpensControlString(b)) {
        trace_.Trace("[%c]", b);
        Enter(EscapeState::ControlString);
        return;
      }
      Unexpected(b);
      return;
  }
  End();
}

// Bytes from 0x20 below `firstFinal` are consumed; one from `firstFinal` to 0x7E ends the
// sequence. An escape with intermediates takes 0x20-0x2F and ends at 0x30-0x7E; a control
// sequence outside the repertoire (ESC [ ? 2004 h, ESC [ > 4 ; 2 m, ESC [ SP q ...) takes its
// parameter and intermediate bytes 0x20-0x3F and ends at 0x40-0x7E.
void EscapeInterpreter::ConsumeToFinal(uint8_t b, uint8_t firstFinal) {
  if (b >= 0x20 && b < firstFinal) {
    trace_.Trace("[%c]", b);
  } else if (b >= firstFinal && b <= 0x7E) {
    trace_.Trace("[%c]\n", b);
    End();
  } else {
    Unexpected(b);
  }
}

// The rest of the control sequence is consumed without effect.
void EscapeInterpreter::BecomeForeignCsi(uint8_t b) {
  trace_.Trace("[%c]", b);
  Enter(EscapeState::ForeignCsi);
}

// A control string (a window title, a device control string ...): every byte up to BEL, CAN,
// SUB or 0xFF, which end it and are dropped, or up to ESC, which ends it and opens a new
// escape sequence (so the terminator ESC \ is a two-byte sequence of its own). Nothing of the
// string is kept, so an endless one costs nothing but time.
void EscapeInterpreter::ControlString(uint8_t b) {
  switch (b) {
    case kBel:
    case kCan:
    case kSub:
    case kIac:
      trace_.Trace("[%03d]\n", b);
      End();
      return;
    case kEsc:
      trace_.Trace("[ESC]");
      stream_.BeginEscape();
      return;
    default:
      if (b >= 0x20 && b <= 0x7E) trace_.Trace("[%c]", b); else trace_.Trace("[%03d]", b);
      return;
  }
}

// ESC O x: the cursor-key form. Down is a line feed, left a backspace.
void EscapeInterpreter::Vt100Ss3(uint8_t b) {
  switch (b) {
    case 'A': trace_.Trace("[A]\n"); screen_.CursorUp(); break;
    case 'B': trace_.Trace("[B]\n"); screen_.LineFeed(); break;
    case 'C': trace_.Trace("[C]\n"); screen_.CursorRight(); break;
    case 'D': trace_.Trace("[D]\n"); screen_.Backspace(); break;
    default:
      Unexpected(b);
      return;
  }
  End();
}

// The first byte after ESC [.
void EscapeInterpreter::CsiStart(uint8_t b) {
  if (IsDigit(b)) {
    trace_.Trace("[%c]", b);
    stream_.sequenceLength = 2;
    csiFirst_ = b;
    csiNumbers_[0] = b - '0';
    csiNumbers_[1] = 0;
    csiField_ = 0;
    Enter(EscapeState::CsiParameters);
    return;
  }
  if (b == ';') {
    trace_.Trace("[;]");
    stream_.sequenceLength = 2;
    Enter(EscapeState::HomeClear);
    return;
  }
  if (IsForeignParameter(b) || IsIntermediate(b)) {
    BecomeForeignCsi(b);
    return;
  }
  switch (b) {
    case 'A': screen_.CursorUp(); break;           // CUU
    case 'B': screen_.LineFeed(); break;           // CUD, a line feed here
    case 'C': screen_.CursorRight(); break;        // CUF
    case 'D': screen_.Backspace(); break;          // CUB, a backspace here
    case 'H': screen_.MoveCursor(0, 0); break;     // CUP
    case 'J': screen_.EraseBelow(); break;         // ED
    case 'K': screen_.EraseLineRight(); break;     // EL
    // DECSTBM without parameters: the whole screen becomes the region.
    case 'r': screen_.SetScrollRegion(0, screen_.rows() - 1); break;
    case 'm':  // SGR 0
      trace_.Trace("[m]");
      screen_.ResetAttributes();
      End();
      return;
    default:
      Unexpected(b);
      return;
  }
  trace_.Trace("[%c]\n", b);
  End();
}

// Parameter characters, then the final byte. The numbers are read as the characters arrive;
// characters beyond the kept length count for nothing, and the sequence stays open until its
// final byte. A number saturates at kNumberCap.
void EscapeInterpreter::CsiParam(uint8_t b) {
  if (IsDigit(b)) {
    trace_.Trace("[%c]", b);
    if (stream_.sequenceLength < StreamState::kMaxSequenceLength) {
      ++stream_.sequenceLength;
      // Below kNumberCap / 10 one more digit stays below kNumberCap; from there on it saturates.
      int32_t& n = csiNumbers_[csiField_];
      n = n < kNumberCap / 10 ? n * 10 + (b - '0') : kNumberCap;
    }
    return;
  }
  if (b == ';') {
    trace_.Trace("[;]");
    if (stream_.sequenceLength < StreamState::kMaxSequenceLength) {
      ++stream_.sequenceLength;
      if (csiField_ < 2) ++csiField_;
    }
    return;
  }
  if (IsForeignParameter(b) || IsIntermediate(b)) {
    BecomeForeignCsi(b);
    return;
  }
  CsiFinal(b);
}

void EscapeInterpreter::CsiFinal(uint8_t b) {
  // The first number, and the number after the first ';' (0 without one).
  const int32_t n = csiNumbers_[0], m = csiNumbers_[1];
  const bool hasSemicolon = csiField_ > 0;
  ScreenModel& s = screen_;
  // Counts are bounded where a larger one changes nothing more on the screen.
  auto repeat = [](int32_t count, int32_t bound, auto op) {
    for (int32_t i = std::min(count, bound); i > 0; --i) op();
  };
  switch (b) {
    case 'A': repeat(n, s.rows(), [&] { s.CursorUp(); }); break;  // CUU
    // CUD: enough line feeds to reach the bottom and then scroll every row of the screen.
    case 'B': repeat(n, 2 * s.rows(), [&] { s.LineFeed(); }); break;
    case 'C': repeat(n, s.columns(), [&] { s.CursorRight(); }); break;  // CUF
    // CUB: each backspace at column 0 moves up a row, so the whole grid can be walked back.
    case 'D': repeat(n, s.rows() * s.columns() + 1, [&] { s.Backspace(); }); break;
    // CUP: a row alone (no ';') addresses its first column.
    case 'H': s.MoveCursor(hasSemicolon ? m - 1 : 0, n - 1); break;
    case 'J':  // ED
      if (csiFirst_ == '1' || csiFirst_ == '2') s.EraseAbove();
      if (csiFirst_ != '1') s.EraseBelow();
      break;
    case 'K':  // EL
      if (csiFirst_ == '1' || csiFirst_ == '2') s.EraseLineLeft();
      if (csiFirst_ != '1') s.EraseLineRight();
      break;
    case 'L': s.InsertLines(n); break;  // IL
    case 'M': s.DeleteLines(n); break;  // DL
    case 'P': s.DeleteChars(n); break;  // DCH
    case 'm':  // SGR
      trace_.Trace("[m]");
      SelectGraphicRendition(n, hasSemicolon, m);
      End();
      return;
    // DECSTBM: a top of 0 is the first row; a bottom that is missing or 0 is the last row.
    // The cursor does not move.
    case 'r': s.SetScrollRegion(std::max(n, 1) - 1, m > 0 ? m - 1 : s.rows() - 1); break;
    default:
      Unexpected(b);
      return;
  }
  trace_.Trace("[%c]\n", b);
  End();
}

// Only the first two parameters count. The first sets one attribute or, for any other value
// (colours included), resets them all; the second can only add one.
void EscapeInterpreter::SelectGraphicRendition(int32_t first, bool hasSecond, int32_t second) {
  auto bit = [](int32_t value) -> uint8_t {
    switch (value) {
      case 1: return kAttrBold;
      case 4: return kAttrUnderline;
      case 5: return kAttrBlink;
      case 7: return kAttrReverse;
      default: return 0;
    }
  };
  if (const uint8_t b = bit(first)) {
    screen_.AddAttribute(b);
  } else {
    screen_.ResetAttributes();
  }
  if (hasSecond) {
    if (const uint8_t b = bit(second)) screen_.AddAttribute(b);
  }
}

// ESC [ ; recognises one shape, the home-and-clear pair ESC [ ; H ESC [ 2 J: after the 'H'
// four more bytes are consumed whatever they are, and the screen is cleared.
void EscapeInterpreter::CsiHomeClear(uint8_t b) {
  // Where b stands after ESC [ ;, from the count of bytes kept: '[', ';', then the bytes so far.
  enum HomeClearByte { kHomeByte = 3, kEscByte, kBracketByte, kDigitByte, kFinalByte };
  switch (stream_.sequenceLength + 1) {
    case kHomeByte:
      if (b != 'H') {
        trace_.Trace("[%c]\n", b);
        End();
        return;
      }
      trace_.Trace("[H]");
      break;
    case kEscByte:
      if (b == kEsc) trace_.Trace("[ESC]"); else trace_.Trace("[%03d]", b);
      break;
    case kBracketByte:
    case kDigitByte:
      trace_.Trace("[%c]", b);
      break;
    default:  // kFinalByte
      trace_.Trace("[%c]\n", b);
      screen_.ClearScreen();
      End();
      return;
  }
  ++stream_.sequenceLength;
}

}  // namespace velmora

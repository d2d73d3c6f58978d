#include "telnet/receive_pipeline.h"

#include "encoding/code_converter.h"
#include "encoding/cp932.h"

namespace velmora {

namespace {

constexpr uint8_t kIac = 0xFF;
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kSb = 250, kWill = 251, kWont = 252, kDo = 253, kDont = 254;

// Trace tokens of the telnet commands 236 (xEOF) to 254 (DONT).
constexpr const char* kCommandTokens[] = {
    "[xEOF]", "[SUSP]", "[ABORT]", "[EOR]", "[SE]",   "[NOP]", "[DM]",
    "[BREAK]", "[IP]",  "[AO]",    "[AYT]", "[EC]",   "[EL]",  "[GA]",
    "[SB]",   "[WILL]", "[WONT]",  "[DO]",  "[DONT]",
};

bool IsUtf8Continuation(uint8_t b) { return b >= 0x80 && b <= 0xBF; }

}  // namespace

void ReceivePipeline::ReceiveByte(uint8_t b) {
  // Printable ASCII in text with nothing pending and no shift in force is simply written: the
  // common case, taken before the general rules (which give it the same treatment).
  if (stream_.receiveState == ReceiveState::Text && b >= 0x20 && b < 0x7F && pendingLead == 0 &&
      utf8LongCount == 0 && !katakanaShift && !stream_.kanjiMode) {
    screen_.PutChar(b);
    trace_.Trace("%c", b);
    return;
  }
  switch (stream_.receiveState) {
    case ReceiveState::Command:
      ReceiveCommandByte(b);
      return;
    case ReceiveState::Escape:
      // Every byte, control characters and 0xFF included, belongs to the escape sequence
      // until the interpreter ends it.
      escapes_.EscapeDispatch(b);
      return;
    case ReceiveState::Text:
      break;
  }
  ReceiveTextByte(b);
}

void ReceivePipeline::ReceiveCommandByte(uint8_t b) {
  auto& buf = stream_.sequenceBuffer;
  if (buf[0] == 0) {
    // The byte after IAC.
    if (b >= 236 && b <= 254) {
      trace_.Trace("%s", kCommandTokens[b - 236]);
      if (b >= kSb) {
        buf[0] = b;  // a verb: its option or subnegotiation follows
      } else {
        stream_.EndSequence();
      }
    } else {
      // Anything else, IAC IAC included, is dropped.
      trace_.Trace("[%03d]", b);
      stream_.EndSequence();
    }
    return;
  }
  switch (buf[0]) {
    case kSb: negotiator_.OnSubnegotiation(b); break;
    case kWill: negotiator_.OnWill(b); break;
    case kWont: negotiator_.OnWont(b); break;
    case kDo: negotiator_.OnDo(b); break;
    case kDont: negotiator_.OnDont(b); break;
    default: stream_.EndSequence(); break;
  }
}

void ReceivePipeline::ReceiveTextByte(uint8_t b) {
  // A pending lead byte is completed by any byte from 0x20 up but IAC; a control character or
  // a telnet command in between is handled first and the lead keeps waiting.
  if (pendingLead != 0 && b >= 0x20 && b != kIac) {
    if (DecodePair(pendingLead, b)) {
      pendingLead = 0;
      // A character completed under another encoding than the one it began in must not
      // leave its UTF-8 middle byte to spoil the next three-byte character.
      utf8Middle = 0;
    }
    return;
  }
  if (utf8LongCount > 0) {
    if (GatherLongUtf8(b)) return;
    // Not a well-formed four-byte sequence after all: its bytes are single-byte characters.
    const int held = utf8LongCount;
    utf8LongCount = 0;
    for (int i = 0; i < held; ++i) WriteSingle(utf8Long[i]);
  }
  if (b == kIac) {
    trace_.Trace("[IAC]");
    stream_.BeginSequence(ReceiveState::Command);
    return;
  }
  if (b == kEsc) {
    trace_.Trace("[ESC]");
    stream_.BeginSequence(ReceiveState::Escape);
    return;
  }
  if (IsLeadByte(b)) {
    pendingLead = b;
    return;
  }
  switch (b) {
    case 0x08:
      trace_.Trace("[^H]");
      screen_.Backspace();
      return;
    case 0x09:
      trace_.Trace("%c", b);
      screen_.HorizontalTab();
      return;
    case 0x0A:
      trace_.Trace("[LF]\n");
      screen_.LineFeed();
      return;
    case 0x0D:
      trace_.Trace("[CR]");
      screen_.CarriageReturn();
      return;
    case 0x00:
      trace_.Trace("[NULL]");
      return;
    case 0x07:
      trace_.Trace("[BEEP]");
      screen_.observer().AlertSound();
      return;
    default:
      break;
  }
  if (b >= 0xF0 && b <= 0xF4 && options_.hostEncoding == HostEncoding::UTF8) {
    utf8Long[0] = b;
    utf8LongCount = 1;
    return;
  }
  WriteSingle(b);
}

bool ReceivePipeline::GatherLongUtf8(uint8_t b) {
  if (!IsUtf8Continuation(b)) return false;
  if (utf8LongCount < 3) {
    utf8Long[utf8LongCount++] = b;
    return true;
  }
  // A character beyond the 16-bit range: code page 932 has no form for it.
  screen_.PutChar('?');
  for (int i = 0; i < 3; ++i) trace_.Trace("\\%d", utf8Long[i]);
  trace_.Trace("\\%d", b);
  utf8LongCount = 0;
  return true;
}

void ReceivePipeline::WriteSingle(uint8_t b) {
  if (ApplyShiftState(b)) return;
  screen_.PutChar(b);
  trace_.Trace("%c", b);
}

bool ReceivePipeline::ApplyShiftState(uint8_t& b) {
  if (b == 0x0E || b == 0x0F) {
    katakanaShift = (b == 0x0E);
    trace_.Trace("[%03d]", b);
    return true;
  }
  if (katakanaShift && b >= 0x21 && b <= 0x5F) b = static_cast<uint8_t>(b + 0x80);
  return false;
}

bool ReceivePipeline::IsLeadByte(uint8_t b) const {
  if (stream_.kanjiMode) return true;
  switch (options_.hostEncoding) {
    case HostEncoding::SJIS:
      return IsSjisLeadByte(b);
    case HostEncoding::UTF8:
      return b >= 0xC0 && b <= 0xEF;
    default:
      return b == 0x8E || (b >= 0xA1 && b <= 0xFE);
  }
}

bool ReceivePipeline::DecodePair(uint8_t lead, uint8_t b) {
  uint8_t s1 = lead;
  uint8_t s2 = b;
  if (stream_.kanjiMode) {
    JisToSjis(s1, s2);
    screen_.PutDoubleChar(s1, s2);
    trace_.Trace("%c%c", s1, s2);
    return true;
  }
  switch (options_.hostEncoding) {
    case HostEncoding::SJIS:
      screen_.PutDoubleChar(s1, s2);
      trace_.Trace("%c%c", s1, s2);
      return true;
    case HostEncoding::UTF8: {
      if (lead >= 0xE0 && lead <= 0xEF && utf8Middle == 0) {
        utf8Middle = b;
        return false;
      }
      uint8_t third = 0;
      if (lead >= 0xC0 && lead <= 0xDF) {
        utf8Middle = b;
      } else {
        third = b;
      }
      const uint8_t middle = utf8Middle;
      s2 = middle;
      const int n = Utf8ToSjis(s1, s2, third);
      if (n == 1) {
        screen_.PutChar(s1);
        trace_.Trace("%c", s1);
      } else if (n == 2) {
        screen_.PutDoubleChar(s1, s2);
        trace_.Trace("%c%c", s1, s2);
      } else {
        // The combining sound marks have no code page 932 form; they modify the kana before.
        if (lead == 0xE3 && middle == 0x82 && third == 0x99) {
          screen_.ApplyVoicedMark(false);
        } else if (lead == 0xE3 && middle == 0x82 && third == 0x9A) {
          screen_.ApplyVoicedMark(true);
        } else {
          screen_.PutChar('?');
        }
        trace_.Trace("\\%d", lead);
        trace_.Trace("\\%d", middle);
        if (third != 0) trace_.Trace("\\%d", third);
      }
      utf8Middle = 0;
      return true;
    }
    default:
      if (lead == 0x8E) {
        screen_.PutChar(b);  // half-width katakana
        trace_.Trace("%c", b);
      } else {
        EucToSjis(s1, s2);
        screen_.PutDoubleChar(s1, s2);
        trace_.Trace("%c%c", s1, s2);
      }
      return true;
  }
}

}  // namespace velmora

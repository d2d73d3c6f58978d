#include "telnet/receive_pipeline.h"


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

}  // namespace

void ReceivePipeline::ReceiveByte(uint8_t b) {
  // Printable ASCII in text with nothing pending and no shift in force is simply written: the
  // common case, taken before the general rules (which give it the same treatment).
  if (stream_.receiveState == ReceiveState::Text && b >= 0x20 && b < 0x7F && decoder_.pendingLead() == 0 &&
      decoder_.heldLongBytes() == 0 && !katakanaShift_ && !stream_.kanjiMode) {
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

void ReceivePipeline::ReceiveBytes(const uint8_t* data, size_t size) {
  size_t i = 0;
  while (i < size) {
    // Printable ASCII, CR and LF in plain text (nothing pending, no shift in force, no trace)
    // keep it plain, and are written or done here. Any other byte goes the byte path at once, so
    // that text of other kinds pays nothing here.
    const uint8_t b = data[i];
    const bool plainByte = b < 0x20 ? (b == '\r' || b == '\n') : b < 0x7F;
    if (!plainByte || stream_.receiveState != ReceiveState::Text || decoder_.pendingLead() != 0 ||
        decoder_.heldLongBytes() != 0 || katakanaShift_ || stream_.kanjiMode || trace_.traceEnabled) {
      // Double-byte text with nothing pending is written a run of characters at a time.
      if (b >= 0x80 || stream_.kanjiMode) {
        const size_t end = WriteDoubleByteRun(data, i, size);
        if (end != i) {
          i = end;
          continue;
        }
      }
      ReceiveByte(b);
      ++i;
      continue;
    }
    for (;;) {
      i += screen_.PutAsciiRun(data + i, size - i);
      if (i == size) return;
      if (data[i] == '\r') {
        screen_.CarriageReturn();
      } else if (data[i] == '\n') {
        screen_.LineFeed();
      } else {
        break;
      }
      ++i;
    }
  }
}

size_t ReceivePipeline::WriteDoubleByteRun(const uint8_t* data, size_t i, size_t size) {
  if (stream_.receiveState != ReceiveState::Text || decoder_.pendingLead() != 0 || decoder_.heldLongBytes() != 0 ||
      katakanaShift_ || trace_.traceEnabled) {
    return i;
  }
  // The byte path would take each character's bytes into the decoder and write its code page
  // 932 form with PutDoubleChar, leaving nothing pending; here they are decoded a stretch at a
  // time and written as one run.
  constexpr size_t kMaxCharacters = 256;
  uint8_t pairs[2 * kMaxCharacters];
  for (;;) {
    const HostDecoder::DoubleRun run = HostDecoder::DecodeDoubleRun(data + i, size - i, options_.hostEncoding,
                                                                    stream_.kanjiMode, pairs, kMaxCharacters);
    if (run.characters == 0) return i;
    screen_.PutDoubleCharRun(pairs, run.characters);
    i += run.bytes;
    if (run.characters < kMaxCharacters) return i;
  }
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
  if (decoder_.pendingLead() != 0 && b >= 0x20 && b != kIac) {
    const HostDecoder::Result r = decoder_.CompleteLead(b, options_.hostEncoding, stream_.kanjiMode);
    if (r.kind != HostDecoder::Result::Kind::Pending) Write(r);
    return;
  }
  if (decoder_.heldLongBytes() > 0) {
    HostDecoder::Result r;
    if (decoder_.GatherLong(b, r)) {
      Write(r);
      return;
    }
    // Not a well-formed four-byte sequence after all: its bytes are single-byte characters.
    uint8_t held[3];
    const int count = decoder_.TakeLong(held);
    for (int i = 0; i < count; ++i) WriteSingle(held[i]);
  }
  if (b == kIac) {
    trace_.Trace("[IAC]");
    stream_.BeginCommand();
    return;
  }
  if (b == kEsc) {
    trace_.Trace("[ESC]");
    stream_.BeginEscape();
    return;
  }
  if (HostDecoder::IsLeadByte(b, options_.hostEncoding, stream_.kanjiMode)) {
    decoder_.BeginLead(b);
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
  if (HostDecoder::IsLongUtf8Lead(b) && options_.hostEncoding == HostEncoding::UTF8) {
    decoder_.BeginLong(b);
    return;
  }
  WriteSingle(b);
}

// Writes what the decoder completed, with its trace: the code page 932 bytes of a character,
// or the host bytes of one that code page 932 cannot show.
void ReceivePipeline::Write(const HostDecoder::Result& r) {
  using Kind = HostDecoder::Result::Kind;
  switch (r.kind) {
    case Kind::Pending:
      return;
    case Kind::Single:
      screen_.PutChar(r.first);
      trace_.Trace("%c", r.first);
      return;
    case Kind::Double:
      screen_.PutDoubleChar(r.first, r.second);
      trace_.Trace("%c%c", r.first, r.second);
      return;
    case Kind::VoicedMark:
    case Kind::SemiVoicedMark:
      screen_.ApplyVoicedMark(r.kind == Kind::SemiVoicedMark);
      break;
    case Kind::NoForm:
      screen_.PutChar('?');
      break;
  }
  for (const uint8_t b : decoder_.raw()) trace_.Trace("\\%d", b);
}

void ReceivePipeline::WriteSingle(uint8_t b) {
  if (ApplyShiftState(b)) return;
  screen_.PutChar(b);
  trace_.Trace("%c", b);
}

bool ReceivePipeline::ApplyShiftState(uint8_t& b) {
  if (b == 0x0E || b == 0x0F) {
    katakanaShift_ = (b == 0x0E);
    trace_.Trace("[%03d]", b);
    return true;
  }
  if (katakanaShift_ && b >= 0x21 && b <= 0x5F) b = static_cast<uint8_t>(b + 0x80);
  return false;
}

}  // namespace velmora

#include "emulation/escape_interpreter.h"

namespace velmora {

void EscapeInterpreter::EscapeDispatch(uint8_t b) {
  if (options_.IsVt52()) {
    Vt52Byte(b);
  } else {
    Vt100Byte(b);
  }
}

void EscapeInterpreter::Hold(uint8_t b) {
  if (stream_.sequenceLength < stream_.sequenceBuffer.size()) {
    stream_.sequenceBuffer[stream_.sequenceLength++] = b;
  }
}

void EscapeInterpreter::Unexpected(uint8_t b) {
  trace_.Trace("[%03d]\n", b);
  End();
}

// VT52: cursor keys, home, erase, reverse scroll, direct cursor addressing and the JIS kanji
// designations. No parameters, regions or attributes of its own.
void EscapeInterpreter::Vt52Byte(uint8_t b) {
  switch (stream_.sequenceBuffer[0]) {
    case 0:
      Vt52Start(b);
      return;
    case 'Y':
      Vt52Address(b);
      return;
    case '$':
    case '(':
      trace_.Trace("[%c]", b);
      stream_.kanjiMode = stream_.sequenceBuffer[0] == '$';
      End();
      return;
    default:
      // A sequence opened while the terminal was a VT100.
      Unexpected(b);
      return;
  }
}

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
    case '$':
    case '(':
      trace_.Trace("[%c]", b);
      Hold(b);
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
  auto& buf = stream_.sequenceBuffer;
  const auto value = static_cast<uint8_t>(b - 32);
  if (buf[1] == 0) {
    trace_.Trace("[%03d]", value);
    buf[1] = b;
    return;
  }
  trace_.Trace("[%03d]\n", value);
  screen_.MoveCursor(value, static_cast<uint8_t>(buf[1] - 32));
  End();
}

}  // namespace velmora

#include "emulation/escape_interpreter.h"

namespace velmora {

void EscapeInterpreter::EscapeDispatch(uint8_t b) {
  if (options_.IsVt52()) {
    Vt52Byte(b);
  } else {
    Vt100Byte(b);
  }
}

// Sequence framing only: the sequence's bytes are consumed and the character-set designations
// switch the JIS kanji shift. sequenceBuffer[0] counts the bytes seen, [1] holds the first.
void EscapeInterpreter::Vt100Byte(uint8_t b) {
  auto& buf = stream_.sequenceBuffer;
  const uint8_t seen = buf[0]++;
  if (seen == 0) {
    buf[1] = b;
    if (b == '[' || b == '(' || b == ')' || b == '$' || b == '#') return;
    stream_.EndSequence();
    return;
  }
  switch (buf[1]) {
    case '[':
      if (b >= 0x40 && b <= 0x7E) stream_.EndSequence();
      else if (seen >= 30) stream_.EndSequence();
      return;
    case '$':
      stream_.kanjiMode = true;
      break;
    case '(':
      stream_.kanjiMode = false;
      break;
    default:
      break;
  }
  stream_.EndSequence();
}

void EscapeInterpreter::Vt52Byte(uint8_t b) {
  auto& buf = stream_.sequenceBuffer;
  const uint8_t seen = buf[0]++;
  if (seen == 0) {
    buf[1] = b;
    if (b == 'Y' || b == '$' || b == '(') return;
    stream_.EndSequence();
    return;
  }
  if (buf[1] == 'Y') {
    if (seen == 2) stream_.EndSequence();
    return;
  }
  stream_.kanjiMode = (buf[1] == '$');
  stream_.EndSequence();
}

}  // namespace velmora

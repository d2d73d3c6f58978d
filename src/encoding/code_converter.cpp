#include "encoding/code_converter.h"

#include "encoding/cp932.h"

namespace velmora {

// The JIS <-> Shift-JIS arithmetic: two JIS rows share one Shift-JIS lead byte, the odd row
// taking trails 0x40-0x9E (skipping 0x7F) and the even row 0x9F-0xFC. Lead bytes 0xA0-0xDF
// belong to half-width katakana, so rows from 0x5F on are shifted past them. Any byte values
// are accepted; results wrap modulo 256.

void JisToSjis(uint8_t& j1, uint8_t& j2) {
  const unsigned row = j1;
  const unsigned cell = j2;
  j1 = static_cast<uint8_t>(((row + 1) >> 1) + (row < 0x5F ? 0x70 : 0xB0));
  if (row & 1) {
    j2 = static_cast<uint8_t>(cell < 0x60 ? cell + 0x1F : cell + 0x20);
  } else {
    j2 = static_cast<uint8_t>(cell + 0x7E);
  }
}

void SjisToJis(uint8_t& s1, uint8_t& s2) {
  const unsigned lead = s1;
  const unsigned trail = s2;
  const unsigned base = lead < 0xA0 ? 0x70 : 0xB0;
  if (trail < 0x9F) {
    s1 = static_cast<uint8_t>((lead - base) * 2 - 1);
    s2 = static_cast<uint8_t>(trail <= 0x7F ? trail - 0x1F : trail - 0x20);
  } else {
    s1 = static_cast<uint8_t>((lead - base) * 2);
    s2 = static_cast<uint8_t>(trail - 0x7E);
  }
}

void EucToSjis(uint8_t& e1, uint8_t& e2) {
  e1 = static_cast<uint8_t>(e1 - 0x80);
  e2 = static_cast<uint8_t>(e2 - 0x80);
  JisToSjis(e1, e2);
}

void SjisToEuc(uint8_t& s1, uint8_t& s2) {
  SjisToJis(s1, s2);
  s1 = static_cast<uint8_t>(s1 + 0x80);
  s2 = static_cast<uint8_t>(s2 + 0x80);
}

int Utf8ToSjis(uint8_t& b1, uint8_t& b2, uint8_t b3) {
  // Only the payload bits are used: continuation bytes are not checked and overlong forms are
  // accepted. Anything that is not a two-byte lead is read as a three-byte sequence.
  uint16_t unicode;
  if (b1 >= 0xC0 && b1 <= 0xDF) {
    unicode = static_cast<uint16_t>(((b1 & 0x1F) << 6) | (b2 & 0x3F));
  } else {
    unicode = static_cast<uint16_t>(((b1 & 0x0F) << 12) | ((b2 & 0x3F) << 6) | (b3 & 0x3F));
  }
  const int32_t code = UnicodeToCp932(unicode);
  if (code < 0) return 0;
  if (code < 0x100) {
    b1 = static_cast<uint8_t>(code);
    return 1;
  }
  b1 = static_cast<uint8_t>(code >> 8);
  b2 = static_cast<uint8_t>(code & 0xFF);
  return 2;
}

int SjisToUtf8(uint8_t& p1, uint8_t& p2, uint8_t& p3) {
  // A lead byte with a second byte is one double-byte code; anything else is p1 alone, so a
  // lone lead byte finds no single-byte mapping and fails.
  const uint16_t code = (p2 != 0 && IsSjisLeadByte(p1)) ? static_cast<uint16_t>(p1 << 8 | p2) : p1;
  const int32_t unicode = Cp932ToUnicode(code);
  if (unicode <= 0) return 0;  // NUL is not passed on as a character either
  if (unicode <= 0x7FF) {
    // Characters below 0x80 take this two-byte form too.
    p1 = static_cast<uint8_t>(0xC0 | (unicode >> 6));
    p2 = static_cast<uint8_t>(0x80 | (unicode & 0x3F));
    return 2;
  }
  p1 = static_cast<uint8_t>(0xE0 | (unicode >> 12));
  p2 = static_cast<uint8_t>(0x80 | ((unicode >> 6) & 0x3F));
  p3 = static_cast<uint8_t>(0x80 | (unicode & 0x3F));
  return 3;
}

}  // namespace velmora

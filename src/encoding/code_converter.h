#pragma once
#include <cstdint>

namespace velmora {

// Character-level conversions between the host's forms and internal Shift-JIS. Each works in
// place on the bytes it is given. The JIS/EUC arithmetic takes any byte values and never fails;
// the UTF-8 conversions go through the code page 932 table and leave their bytes untouched on
// failure.

// JIS X 0208 row/cell bytes (0x21-0x7E each) to Shift-JIS lead and trail.
void JisToSjis(uint8_t& j1, uint8_t& j2);
// Shift-JIS lead and trail to JIS X 0208 bytes.
void SjisToJis(uint8_t& s1, uint8_t& s2);
// EUC-JP double-byte (JIS + 0x80) to Shift-JIS, and back.
void EucToSjis(uint8_t& e1, uint8_t& e2);
void SjisToEuc(uint8_t& s1, uint8_t& s2);

// A two-byte (lead 0xC0-0xDF; b3 ignored) or three-byte UTF-8 sequence to Shift-JIS. Returns 1
// (result in b1) or 2 (result in b1, b2), or 0 when the character has no code page 932 form.
int Utf8ToSjis(uint8_t& b1, uint8_t& b2, uint8_t b3);

// A Shift-JIS character (p1, and p2 or 0 for a single byte) to UTF-8 in p1, p2 and p3. Returns
// 2 or 3, or 0 or less when the bytes are not a code page 932 character (nothing is written).
int SjisToUtf8(uint8_t& p1, uint8_t& p2, uint8_t& p3);

}  // namespace velmora

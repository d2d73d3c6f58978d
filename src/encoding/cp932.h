#pragma once
#include <cstdint>

namespace velmora {

// Code page 932 (Windows Shift-JIS) in both directions, from the table in cp932_table.cpp.
//
// A code page 932 character is written as one 16-bit value: a single byte as itself
// (0x00-0xFF), a double-byte character as lead * 256 + trail.

// The lead-byte test used on all internal text: 0x81-0x9F and 0xE0-0xFC.
constexpr bool IsSjisLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The UTF-16 code unit of a code page 932 character, or -1 when the code has none
// (a lone lead byte, an unassigned double-byte code).
int32_t Cp932ToUnicode(uint16_t code);

// The code page 932 character for a UTF-16 code unit, or -1 when code page 932 has none.
// Never a best-fit substitute; the JIS Unicode forms of nine characters (U+301C WAVE DASH,
// U+2212 MINUS SIGN, U+00A5 YEN SIGN ...) encode, one way only, to the codes of the same
// characters. Where several codes decode to the same character the one
// Windows produces is chosen: JIS X 0208, then NEC row 13, then the IBM extensions
// (0xFA40-0xFC4B); never the NEC-selected IBM extensions (0xED40-0xEEFC).
int32_t UnicodeToCp932(uint16_t unicode);

}  // namespace velmora

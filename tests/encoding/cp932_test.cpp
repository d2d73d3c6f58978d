#include "encoding/cp932.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace velmora {
namespace {

// Every code that can name a character: the single bytes, then lead x trail.
std::vector<uint16_t> AllCodes() {
  std::vector<uint16_t> codes;
  for (unsigned b = 0; b < 0x100; ++b) codes.push_back(static_cast<uint16_t>(b));
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!IsSjisLeadByte(static_cast<uint8_t>(lead))) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail != 0x7F) codes.push_back(static_cast<uint16_t>(lead << 8 | trail));
    }
  }
  return codes;
}

bool IsNecSelectedIbm(int32_t code) { return code >= 0xED40 && code <= 0xEEFC; }

// Codes that share their character with a lower code: NEC row 13 symbols also in JIS X 0208,
// and both copies of the IBM extensions.
bool MayBeDuplicate(int32_t code) {
  return (code >= 0x8790 && code <= 0x879C) || IsNecSelectedIbm(code) || (code >= 0xFA40 && code <= 0xFC4B);
}

TEST(Cp932, EveryDecodableCodeReencodesToItselfOrTheWindowsChoice) {
  std::set<int32_t> characters;
  int decodable = 0;
  for (uint16_t code : AllCodes()) {
    const int32_t u = Cp932ToUnicode(code);
    if (u < 0) continue;
    ++decodable;
    characters.insert(u);
    const int32_t back = UnicodeToCp932(static_cast<uint16_t>(u));
    ASSERT_GE(back, 0) << std::hex << code;
    EXPECT_EQ(Cp932ToUnicode(static_cast<uint16_t>(back)), u) << std::hex << code;
    EXPECT_FALSE(IsNecSelectedIbm(back)) << std::hex << code;
    if (back != code) {
      EXPECT_TRUE(MayBeDuplicate(code)) << std::hex << code << " -> " << back;
      // Windows prefers the lower code, except that 0xED40-0xEEFC always yields to 0xFAxx-0xFCxx.
      if (!IsNecSelectedIbm(code)) {
        EXPECT_LT(back, code) << std::hex << code;
      }
    }
  }
  // Single bytes 0x00-0xFF less the 60 lead bytes, the double-byte areas, the user-defined area.
  EXPECT_GT(decodable, 9700);
  EXPECT_GT(characters.size(), 9300u);

  // The encode side holds exactly the characters the decode side produces, each decoding back,
  // and besides them the nine JIS Unicode forms, which decode to the code page 932 forms.
  size_t encodable = 0;
  for (uint32_t u = 0; u <= 0xFFFF; ++u) {
    const int32_t code = UnicodeToCp932(static_cast<uint16_t>(u));
    if (code < 0) continue;
    ASSERT_LE(code, 0xFFFF);
    if (characters.count(static_cast<int32_t>(u)) == 0) {
      EXPECT_NE(Cp932ToUnicode(static_cast<uint16_t>(code)), -1) << std::hex << u;
      continue;
    }
    ++encodable;
    EXPECT_EQ(Cp932ToUnicode(static_cast<uint16_t>(code)), static_cast<int32_t>(u)) << std::hex << u;
  }
  EXPECT_EQ(encodable, characters.size());
}

TEST(Cp932, DecodesSelectedCodes) {
  const struct { uint16_t code; int32_t unicode; } cases[] = {
      {0x00, 0x0000},   {0x41, 0x0041},   {0x5C, 0x005C},   {0x7E, 0x007E},   {0x80, 0x0080},
      {0xA0, 0xF8F0},   {0xB1, 0xFF71},   {0xFD, 0xF8F1},   {0xFF, 0xF8F3},   {0x8140, 0x3000},
      {0x82A0, 0x3042}, {0x889F, 0x4E9C}, {0xEEF9, 0xFFE2}, {0xF040, 0xE000}, {0xF9FC, 0xE757},
      {0xFC4B, 0x9ED1},
      // No mapping: lone lead bytes, unassigned rows and cells, bad trail bytes, non-lead pairs.
      {0x81, -1}, {0x9F, -1}, {0xE0, -1}, {0xFC, -1}, {0x85A0, -1}, {0xEB40, -1}, {0xEFFC, -1},
      {0xFC4C, -1}, {0x817F, -1}, {0x813F, -1}, {0x81FD, -1}, {0x8100, -1}, {0x4141, -1},
      {0xA0A0, -1}, {0xFD40, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(Cp932ToUnicode(c.code), c.unicode) << std::hex << c.code;
}

TEST(Cp932, EncodesAsWindowsDoes) {
  const struct { uint16_t unicode; int32_t code; } cases[] = {
      {0x0000, 0x00},   {0x0041, 0x41},   {0x0080, 0x80},   {0xF8F0, 0xA0},   {0xFF71, 0xB1},
      // Duplicates: JIS X 0208 over NEC row 13 over IBM extensions, never 0xED40-0xEEFC.
      {0x2252, 0x81E0}, {0x2235, 0x81E6}, {0xFFE2, 0x81CA}, {0x2160, 0x8754}, {0x2170, 0xFA40},
      {0x2116, 0x8782}, {0x3231, 0x878A}, {0x7E8A, 0xFA5C}, {0xE000, 0xF040}, {0xE757, 0xF9FC},
      // The JIS forms of characters that code page 932 decodes elsewhere, one way only.
      {0x301C, 0x8160}, {0x2016, 0x8161}, {0x2212, 0x817C}, {0x00A2, 0x8191}, {0x00A3, 0x8192},
      {0x00AC, 0x81CA}, {0x2014, 0x815C}, {0x00A5, 0x5C},   {0x203E, 0x7E},
      // No code page 932 form, and no best-fit substitute either.
      {0xAC00, -1}, {0x3099, -1}, {0x309A, -1}, {0x00A6, -1}, {0xE758, -1},
      {0xFFFF, -1}, {0xD800, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(UnicodeToCp932(c.unicode), c.code) << std::hex << c.unicode;
  // They decode to the code page 932 forms, not back to themselves.
  EXPECT_EQ(Cp932ToUnicode(0x8160), 0xFF5E);
  EXPECT_EQ(Cp932ToUnicode(0x817C), 0xFF0D);
  EXPECT_EQ(Cp932ToUnicode(0x5C), 0x5C);
}

}  // namespace
}  // namespace velmora

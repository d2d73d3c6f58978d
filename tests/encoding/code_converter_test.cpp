#include "encoding/code_converter.h"

#include "encoding/cp932.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

namespace velmora {
namespace {

struct BytePair { uint8_t from1, from2, to1, to2; };

TEST(CodeConverter, JisAndEucArithmetic) {
  const BytePair jis_to_sjis[] = {{0x24, 0x22, 0x82, 0xA0}, {0x30, 0x21, 0x88, 0x9F}, {0x74, 0x26, 0xEA, 0xA4},
                                  {0x21, 0x5F, 0x81, 0x7E}, {0x21, 0x60, 0x81, 0x80}, {0x5F, 0x21, 0xE0, 0x40}};
  const BytePair sjis_to_jis[] = {{0x82, 0xA0, 0x24, 0x22}, {0x81, 0x40, 0x21, 0x21}, {0xE0, 0x40, 0x5F, 0x21},
                                  {0x81, 0x80, 0x21, 0x60}, {0x81, 0x9E, 0x21, 0x7E}, {0xEF, 0xFC, 0x7E, 0x7E}};
  const BytePair euc_to_sjis[] = {{0xA4, 0xA2, 0x82, 0xA0}, {0xA1, 0xA1, 0x81, 0x40}, {0xFE, 0xFE, 0xEF, 0xFC}};
  const BytePair sjis_to_euc[] = {{0x82, 0xA0, 0xA4, 0xA2}, {0x81, 0x40, 0xA1, 0xA1}, {0xEF, 0xFC, 0xFE, 0xFE}};
  const struct { void (*convert)(uint8_t&, uint8_t&); const BytePair* begin; const BytePair* end; } groups[] = {
      {JisToSjis, std::begin(jis_to_sjis), std::end(jis_to_sjis)},
      {SjisToJis, std::begin(sjis_to_jis), std::end(sjis_to_jis)},
      {EucToSjis, std::begin(euc_to_sjis), std::end(euc_to_sjis)},
      {SjisToEuc, std::begin(sjis_to_euc), std::end(sjis_to_euc)},
  };
  for (const auto& g : groups) {
    for (const BytePair* p = g.begin; p != g.end; ++p) {
      uint8_t a = p->from1, b = p->from2;
      g.convert(a, b);
      EXPECT_EQ(std::tuple(a, b), std::tuple(p->to1, p->to2)) << std::hex << int{p->from1} << ' ' << int{p->from2};
    }
  }
}

TEST(CodeConverter, JisAndEucMapOneToOneOntoShiftJisAndBack) {
  std::set<int> seen;
  for (unsigned row = 0x21; row <= 0x7E; ++row) {
    for (unsigned cell = 0x21; cell <= 0x7E; ++cell) {
      uint8_t s1 = static_cast<uint8_t>(row), s2 = static_cast<uint8_t>(cell);
      JisToSjis(s1, s2);
      EXPECT_TRUE(IsSjisLeadByte(s1)) << std::hex << row << ' ' << cell;
      EXPECT_TRUE(s2 >= 0x40 && s2 <= 0xFC && s2 != 0x7F) << std::hex << row << ' ' << cell;
      seen.insert(s1 << 8 | s2);

      uint8_t e1 = static_cast<uint8_t>(row + 0x80), e2 = static_cast<uint8_t>(cell + 0x80);
      EucToSjis(e1, e2);
      EXPECT_EQ(e1 << 8 | e2, s1 << 8 | s2);

      uint8_t j1 = s1, j2 = s2;
      SjisToJis(j1, j2);
      EXPECT_EQ(j1 << 8 | j2, static_cast<int>(row << 8 | cell));
      SjisToEuc(s1, s2);
      EXPECT_EQ(s1 << 8 | s2, static_cast<int>((row + 0x80) << 8 | (cell + 0x80)));
    }
  }
  EXPECT_EQ(seen.size(), 94u * 94u);
}

TEST(CodeConverter, Utf8ToSjis) {
  const struct { uint8_t b1, b2, b3; int result; uint8_t out1, out2; } cases[] = {
      {0xE3, 0x81, 0x82, 2, 0x82, 0xA0},  // U+3042 hiragana A
      {0xC2, 0xA7, 0x00, 2, 0x81, 0x98},  // U+00A7 section sign
      {0xEF, 0xBD, 0xB1, 1, 0xB1, 0xBD},  // U+FF71 half-width katakana A; b2 left alone
      {0xC1, 0x81, 0x00, 1, 0x41, 0x81},  // overlong 'A' accepted
      {0xE2, 0x85, 0xB0, 2, 0xFA, 0x40},  // U+2170 small roman one, IBM extension
      {0xEE, 0x80, 0x80, 2, 0xF0, 0x40},  // U+E000 user-defined
      {0xE3, 0x82, 0x99, 0, 0xE3, 0x82},  // U+3099 combining voiced mark: untouched
      {0xEA, 0xB0, 0x80, 0, 0xEA, 0xB0},  // U+AC00 Hangul: untouched
  };
  for (const auto& c : cases) {
    uint8_t b1 = c.b1, b2 = c.b2;
    const int result = Utf8ToSjis(b1, b2, c.b3);
    EXPECT_EQ(std::tuple(result, b1, b2), std::tuple(c.result, c.out1, c.out2)) << std::hex << int{c.b1};
  }
}

TEST(CodeConverter, SjisToUtf8) {
  const struct { uint8_t p1, p2; int result; uint8_t out1, out2, out3; } cases[] = {
      {0xB1, 0x00, 3, 0xEF, 0xBD, 0xB1},  // half-width katakana A
      {0x82, 0xA0, 3, 0xE3, 0x81, 0x82},  // hiragana A
      {0x83, 0x9F, 2, 0xCE, 0x91, 0x55},  // Greek capital alpha; p3 left alone
      {0x41, 0x00, 2, 0xC1, 0x81, 0x55},  // ASCII comes out in the two-byte form
      {0x41, 0x42, 2, 0xC1, 0x81, 0x55},  // non-lead byte with a second byte: p1 alone
      {0xA0, 0x00, 3, 0xEF, 0xA3, 0xB0},  // U+F8F0
      {0x82, 0x00, 0, 0x82, 0x00, 0x55},  // lone lead byte
      {0x00, 0x00, 0, 0x00, 0x00, 0x55},  // NUL
      {0x85, 0xA0, 0, 0x85, 0xA0, 0x55},  // unassigned
      {0x81, 0x7F, 0, 0x81, 0x7F, 0x55},  // bad trail byte
  };
  for (const auto& c : cases) {
    uint8_t p1 = c.p1, p2 = c.p2, p3 = 0x55;
    const int result = std::max(SjisToUtf8(p1, p2, p3), 0);
    EXPECT_EQ(std::tuple(result, p1, p2, p3), std::tuple(c.result, c.out1, c.out2, c.out3))
        << std::hex << int{c.p1} << ' ' << int{c.p2};
  }
}

// Through UTF-8 and back, every double-byte character comes home, or to the code Windows prefers.
TEST(CodeConverter, EveryDoubleByteCharacterSurvivesUtf8) {
  for (unsigned code = 0x8140; code <= 0xFCFC; ++code) {
    const int32_t u = Cp932ToUnicode(static_cast<uint16_t>(code));
    if (u <= 0) continue;
    uint8_t p1 = static_cast<uint8_t>(code >> 8), p2 = static_cast<uint8_t>(code), p3 = 0;
    const int length = SjisToUtf8(p1, p2, p3);
    ASSERT_EQ(length, u <= 0x7FF ? 2 : 3) << std::hex << code;
    ASSERT_EQ(Utf8ToSjis(p1, p2, p3), 2) << std::hex << code;
    EXPECT_EQ(p1 << 8 | p2, UnicodeToCp932(static_cast<uint16_t>(u))) << std::hex << code;
  }
}

}  // namespace
}  // namespace velmora

#include "encoding/text_transfer.h"
#include "support/recording_sinks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace velmora {
namespace {

using testing::RecordingSink;

using namespace std::string_literals;  // "..."s keeps embedded NULs

std::vector<RecordingSink::Sent> AsTypedText(const std::string& bytes) {
  std::vector<RecordingSink::Sent> out;
  for (const char c : bytes) out.push_back({'C', static_cast<uint8_t>(c)});
  return out;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (const char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X ", static_cast<uint8_t>(c));
    out += buf;
  }
  return out;
}

// Any encoding number other than SJIS and UTF8 must behave as EUC.
const HostEncoding kOtherEncoding = static_cast<HostEncoding>(7);

TEST(TextTransfer, SendTypedKana) {
  const struct { HostEncoding encoding; uint8_t kana; std::string bytes; } cases[] = {
      {HostEncoding::SJIS, 0xB1, "\xB1"},
      {HostEncoding::UTF8, 0xB1, "\xEF\xBD\xB1"},
      {HostEncoding::UTF8, 0xA1, "\xEF\xBD\xA1"},  // first of the range, half-width full stop
      {HostEncoding::UTF8, 0xDF, "\xEF\xBE\x9F"},  // last of the range, semi-voiced mark
      {HostEncoding::EUC, 0xB1, "\x8E\xB1"},
      {HostEncoding::EUC, 0xDF, "\x8E\xDF"},
      {kOtherEncoding, 0xB1, "\x8E\xB1"},
  };
  for (const auto& c : cases) {
    RecordingSink sink;
    SendTypedKana(sink, c.encoding, c.kana);
    EXPECT_EQ(sink.sent, AsTypedText(c.bytes)) << static_cast<int>(c.encoding) << ' ' << int{c.kana};
  }
}

TEST(TextTransfer, SendTypedDoubleByteTakesTrailFirst) {
  const struct { HostEncoding encoding; uint8_t trail, lead; std::string bytes; } cases[] = {
      {HostEncoding::SJIS, 0xA0, 0x82, "\x82\xA0"},
      {HostEncoding::UTF8, 0xA0, 0x82, "\xE3\x81\x82"},  // hiragana A
      {HostEncoding::UTF8, 0x9F, 0x83, "\xCE\x91"},      // Greek capital alpha: two bytes only
      {HostEncoding::UTF8, 0x40, 0xFA, "\xE2\x85\xB0"},  // IBM extension row
      {HostEncoding::UTF8, 0xA0, 0x85, "\x85\xA0"},      // unassigned code: sent as it came
      {HostEncoding::UTF8, 0x40, 0xEB, "\xEB\x40"},      // unassigned lead row
      {HostEncoding::EUC, 0xA0, 0x82, "\xA4\xA2"},
      {HostEncoding::EUC, 0x40, 0x81, "\xA1\xA1"},  // full-width space
      {kOtherEncoding, 0xA0, 0x82, "\xA4\xA2"},
  };
  for (const auto& c : cases) {
    RecordingSink sink;
    SendTypedDoubleByte(sink, c.encoding, c.trail, c.lead);
    EXPECT_EQ(sink.sent, AsTypedText(c.bytes))
        << static_cast<int>(c.encoding) << ' ' << std::hex << int{c.lead} << ' ' << int{c.trail};
  }
}

TEST(TextTransfer, ConvertPasteText) {
  const struct { HostEncoding encoding; std::string text; std::string expected; } cases[] = {
      // Shift-JIS: as it is, line ends included, up to a NUL.
      {HostEncoding::SJIS, "ab\r\nc", "ab\r\nc"},
      {HostEncoding::SJIS, "\xB1\x82\xA0\n\x85\xA0\x82", "\xB1\x82\xA0\n\x85\xA0\x82"},
      {HostEncoding::SJIS, "ab\0cd"s, "ab"},
      {HostEncoding::SJIS, "", ""},
      // UTF-8: CR LF becomes CR, a lone LF vanishes, characters convert.
      {HostEncoding::UTF8, "ab\r\nc", "ab\rc"},
      {HostEncoding::UTF8, "a\n\nb\r", "ab\r"},
      {HostEncoding::UTF8, "\xB1\xDF", "\xEF\xBD\xB1\xEF\xBE\x9F"},
      {HostEncoding::UTF8, "x\x82\xA0y", "x\xE3\x81\x82y"},
      {HostEncoding::UTF8, "\x83\x9F\x83\xA0", "\xCE\x91\xCE\x92"},
      {HostEncoding::UTF8, "\x82\x0A", "?"},  // a line feed taken as a trail is not skipped alone
      {HostEncoding::UTF8, "\x85\xA0z", "?z"},
      {HostEncoding::UTF8, "\x85\xA0\xEB\x40", "??"},
      {HostEncoding::UTF8, "ab\x82", "ab?"},  // trail cut off by the end of the text
      {HostEncoding::UTF8, "ab\x82\0\xA0"s, "ab?"},  // ... and by a NUL
      {HostEncoding::UTF8, "\x80\xA0\xFD\x7F\t\x1B", "\x80\xA0\xFD\x7F\t\x1B"},
      {HostEncoding::UTF8, "a\0\xB1"s, "a"},
      // EUC: likewise, half-width katakana behind SS2.
      {HostEncoding::EUC, "ab\r\nc", "ab\rc"},
      {HostEncoding::EUC, "\xB1\xA1", "\x8E\xB1\x8E\xA1"},
      {HostEncoding::EUC, "x\x82\xA0\x81\x40y", "x\xA4\xA2\xA1\xA1y"},
      {HostEncoding::EUC, "ab\x82", "ab?"},
      {HostEncoding::EUC, "\x80\xA0\xFD", "\x80\xA0\xFD"},
      {HostEncoding::EUC, "a\0\xB1"s, "a"},
      {kOtherEncoding, "\xB1\r\n\x82\xA0", "\x8E\xB1\r\xA4\xA2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(ConvertPasteText(c.text, c.encoding)), Hex(c.expected))
        << static_cast<int>(c.encoding) << " from " << Hex(c.text);
  }
}

TEST(TextTransfer, CopyTrimmed) {
  const struct { std::string source; std::size_t maxSize; std::string expected; } cases[] = {
      {"ab  ", 10, "ab"},
      {"    ", 10, ""},
      {" ", 10, ""},
      {"a b", 10, "a b"},
      {"  a", 10, "  a"},
      {"", 10, ""},
      {"abcdef", 4, "abc"},
      {"abcdef", 7, "abcdef"},
      {"ab  ", 2, "a"},
      {"abc", 1, ""},
      {"abc", 0, ""},
      {"a\x81\x40", 10, "a\x81\x40"},    // full-width space is not trimmed
      {"a\x81\x40  ", 10, "a\x81\x40"},  // ... but ASCII spaces after it are
      {"\x81 ", 10, "\x81 "},            // a space read as a trail byte stays
      {"a \x82", 10, "a \x82"},          // a lead byte at the end closes the blank run
      {"ab\0cd"s, 10, "ab"},
      {"a\0  "s, 10, "a"},
      {"ab   cd", 4, "ab"},      // a cut inside blanks leaves none behind
      {"ab  \0cd"s, 10, "ab"},   // ... also at a NUL
      {"\x81 \0"s, 10, "\x81 "},  // the trail byte of a cut text stays
  };
  for (const auto& c : cases) {
    const std::span<const uint8_t> source(reinterpret_cast<const uint8_t*>(c.source.data()), c.source.size());
    EXPECT_EQ(Hex(CopyTrimmed(source, c.maxSize)), Hex(c.expected)) << Hex(c.source) << " max " << c.maxSize;
  }
}

// Desktop text: characters without a code page 932 form become one '?' each.
TEST(TextTransfer, Utf16ToCp932) {
  const struct { std::u16string text; std::string expected; } cases[] = {
      {u"ab\r\n", "ab\r\n"},
      {u"\u3042\uFF71", "\x82\xA0\xB1"},          // あ and half-width ｱ
      {u"x\u20ACy", "x?y"},                          // the euro sign
      {u"\U0001F600!", "?!"},                         // a surrogate pair is one character
      {u"\xD800x", "?x"},                             // a lone high surrogate
      {u"x\xDC00", "x?"},                             // a lone low surrogate
      {u"\xD83D", "?"},                               // a high surrogate ends the text
      {u"\u00E9\u4E00", "?\x88\xEA"},               // é has no form; 一 has
      {u"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(Utf16ToCp932(c.text.data(), c.text.size())), Hex(c.expected)) << Hex(c.expected);
  }
}

TEST(TextTransfer, NormalizeSelection) {
  const struct { int32_t c1, r1, c2, r2; NormalizedSelection expected; } cases[] = {
      {5, 3, 2, 3, {2, 3, 5, 3}},
      {2, 3, 5, 3, {2, 3, 5, 3}},
      {4, 7, 4, 7, {4, 7, 4, 7}},
      {5, 4, 2, 3, {2, 3, 5, 4}},
      {5, 3, 2, 4, {5, 3, 2, 4}},  // across rows the columns keep their points
      {0, 9, 79, 0, {79, 0, 0, 9}},
  };
  for (const auto& c : cases) {
    const NormalizedSelection s = NormalizeSelection(c.c1, c.r1, c.c2, c.r2);
    EXPECT_EQ(std::vector({s.startCol, s.startRow, s.endCol, s.endRow}),
              std::vector({c.expected.startCol, c.expected.startRow, c.expected.endCol, c.expected.endRow}))
        << c.c1 << ',' << c.r1 << ' ' << c.c2 << ',' << c.r2;
  }
}

TEST(TextTransfer, ClassBoundaries) {
  const struct { uint16_t code; int32_t charClass; } cases[] = {
      {' ', 0},     {'/', 0},     {'0', 1},     {'9', 1},     {':', 0},     {'@', 0},     {'A', 1},
      {'Z', 1},     {'[', 0},     {'_', 1},     {'`', 0},     {'a', 1},     {'z', 1},     {'{', 0},
      {0xA1, 0},    {0xA5, 0},    {0xA6, 2},    {0xDF, 2},    {0xE0, 0},    {0x81, 0},
      {0x8150, 0},  {0x8151, 6},  {0x8152, 5},  {0x815A, 5},  {0x815B, 4},  {0x815C, 0},
      {0x824E, 0},  {0x824F, 6},  {0x829A, 6},  {0x829B, 0},  {0x829E, 0},  {0x829F, 3},
      {0x82F1, 3},  {0x82F2, 0},  {0x833F, 0},  {0x8340, 4},  {0x8396, 4},  {0x8397, 0},
      {0x889E, 0},  {0x889F, 5},  {0xEAA4, 5},  {0xEAA5, 0},  {0xED3F, 0},  {0xED40, 5},
      {0xEEEC, 5},  {0xEEED, 0},  {0xFA5B, 0},  {0xFA5C, 5},  {0xFC4B, 5},  {0xFC4C, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ClassifyChar(c.code), c.charClass) << std::hex << c.code;
}

TEST(TextTransfer, FindWordBounds) {
  const std::string kanaKanji = "\x82\xA0\x82\xA2\x88\x9F\x88\xA0";  // two hiragana, two kanji
  const struct { std::string text; int32_t column; WordBounds expected; } cases[] = {
      {"abc def", 5, {4, 7, 1}},
      {"abc def", 3, {3, 4, 0}},  // the single space
      {"abc def", 0, {0, 3, 1}},
      {"abc def", 2, {0, 3, 1}},
      {"abc def", 40, {4, 7, 1}},  // beyond the text: the last run
      {"abc def", -1, {0, 0, 0}},
      {"==>", 0, {0, 2, 0}},  // class 0 continues only on the same character
      {"==>", 2, {2, 3, 0}},
      {"+-", 1, {1, 2, 0}},
      {"a  b", 2, {1, 3, 0}},
      {"Ab_9x", 4, {0, 5, 1}},
      {kanaKanji, 2, {0, 4, 3}},
      {kanaKanji, 1, {0, 4, 3}},  // a column inside a double-byte character
      {kanaKanji, 4, {4, 8, 5}},
      {kanaKanji, 7, {4, 8, 5}},
      {"\x83\x41\x81\x5B\x83\x43", 0, {0, 6, 4}},  // katakana with the prolonged sound mark
      {"\x82\x60\x81\x51\x82\x4F", 2, {0, 6, 6}},  // full-width letter, low line, digit
      {"\x81\x52\x88\x9F", 0, {0, 4, 5}},          // repeat mark runs with kanji
      {"\x82\xF1\x83\x40", 2, {2, 4, 4}},          // last hiragana, first katakana
      {"\x81\x9A\x81\x9A\x81\x99", 2, {0, 4, 0}},  // a repeated double-byte class-0 mark
      {"\xA5\xA6\xDF", 0, {0, 1, 0}},  // half-width punctuation ends at the first kana
      {"\xA5\xA6\xDF", 1, {1, 3, 2}},
      {"ab\xB1", 2, {2, 3, 2}},
      {"ab\0cd"s, 4, {0, 2, 1}},
      {"", 0, {0, 0, 0}},
      {"ab\x82\0\xA0"s, 2, {2, 3, 0}},  // a lead byte before the NUL stands alone
      {"ab\x82\0\xA0"s, 0, {0, 2, 1}},
      {"ab\x82", 5, {2, 3, 0}},
  };
  for (const auto& c : cases) {
    const WordBounds w = FindWordBounds(c.text, c.column);
    EXPECT_EQ(std::vector({w.start, w.end, w.charClass}),
              std::vector({c.expected.start, c.expected.end, c.expected.charClass}))
        << Hex(c.text) << " at " << c.column;
  }
}

}  // namespace
}  // namespace velmora

// Drawing stretches of terminal lines: runs, fonts, colours and cell spacing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "render/line_renderer.h"

namespace velmora {
namespace {

class FixedSystemColors : public SystemColors {
 public:
  // window 105, window text 108, highlight 113, highlight text 114
  ColorRef SystemColor(int index) const override { return 100u + static_cast<ColorRef>(index); }
};

class RecordingPainter : public TextPainter {
 public:
  std::vector<std::string> calls;
  void SelectFontVariant(FontVariant v) override {
    static const char* const kNames[] = {"Terminal", "Bold", "Underline", "BoldUnderline"};
    calls.push_back(std::string("font ") + kNames[static_cast<int>(v)]);
  }
  void UseTextColor(ColorRef c) override { calls.push_back("fg " + std::to_string(c)); }
  void UseBackground(bool opaque, ColorRef c) override {
    calls.push_back(opaque ? "bg fill " + std::to_string(c) : std::string("bg clear"));
  }
  void UseCharacterExtra(int extra) override { calls.push_back("extra " + std::to_string(extra)); }
  void OutputText(int x, int y, const uint8_t* bytes, size_t count) override {
    calls.push_back("out " + std::to_string(x) + "," + std::to_string(y) + " " + Shown(bytes, count));
  }
  std::vector<std::string> Outputs() const {
    std::vector<std::string> outs;
    for (const std::string& c : calls)
      if (c.rfind("out ", 0) == 0) outs.push_back(c);
    return outs;
  }
  // Printable ASCII as it is, every other byte as <hh>.
  static std::string Shown(const uint8_t* bytes, size_t count) {
    std::string s;
    for (size_t i = 0; i < count; ++i) {
      if (bytes[i] >= 0x20 && bytes[i] < 0x7F) {
        s += static_cast<char>(bytes[i]);
      } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "<%02x>", bytes[i]);
        s += hex;
      }
    }
    return s;
  }
};

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.c_str()); }

FontMetrics Metrics(int doubleByteExtra) {
  FontMetrics m;
  m.cellWidth = 8;
  m.cellHeight = 16;
  m.doubleByteExtra = doubleByteExtra;
  m.boldExtraSingle = 1;
  m.boldExtraDouble = 2;
  return m;
}

using Calls = std::vector<std::string>;

TEST(LineRenderer, OneCellRunPerAttribute) {
  struct Case {
    bool selected;
    uint8_t attr;
    Calls expected;
  };
  const Case cases[] = {
      {false, 0x00, {"fg 108", "bg clear", "extra 0", "out 16,32 A"}},
      {false, 0x04, {"fg 108", "bg clear", "extra 0", "out 16,32 A"}},  // blink is not drawn
      {false, 0x08, {"fg 105", "bg fill 108", "extra 0", "out 16,32 A"}},
      {true, 0x00, {"fg 114", "bg fill 113", "extra 0", "out 16,32 A"}},
      {true, 0x04, {"fg 114", "bg fill 113", "extra 0", "out 16,32 A"}},
      {true, 0x08, {"fg 113", "bg fill 114", "extra 0", "out 16,32 A"}},
      {false, 0x01, {"font Bold", "fg 108", "bg clear", "extra -1", "out 16,32 A", "font Terminal"}},
      {false, 0x02, {"font Underline", "fg 108", "bg clear", "extra 0", "out 16,32 A", "font Terminal"}},
      {false, 0x03, {"font BoldUnderline", "fg 108", "bg clear", "extra -1", "out 16,32 A", "font Terminal"}},
      {false, 0x09, {"font Bold", "fg 105", "bg fill 108", "extra -1", "out 16,32 A", "font Terminal"}},
      {true, 0x0B, {"font BoldUnderline", "fg 113", "bg fill 114", "extra -1", "out 16,32 A", "font Terminal"}},
  };
  const FixedSystemColors system;
  const std::string text = "A";
  for (const Case& c : cases) {
    RecordingPainter painter;
    // Bold corrections differ, so a one-call run proves doubleByteExtra 0 and equal corrections.
    FontMetrics metrics = Metrics(0);
    metrics.boldExtraDouble = 1;
    DrawLineSegment(painter, 16, 32, Bytes(text), &c.attr, 1, c.selected, metrics, ColorScheme{}, system);
    EXPECT_EQ(painter.calls, c.expected) << "attr " << int(c.attr) << " selected " << c.selected;
  }
}

TEST(LineRenderer, PlainLineIsOneTransparentOutput) {
  const std::string text(80, ' ');
  const std::vector<uint8_t> attrs(80, 0);
  RecordingPainter painter;
  DrawLineSegment(painter, 0, 0, Bytes(text), attrs.data(), 80, false, Metrics(2), ColorScheme{},
                  FixedSystemColors{});
  EXPECT_EQ(painter.calls, (Calls{"fg 108", "bg clear", "extra 0", "out 0,0 " + text}));
}

TEST(LineRenderer, AlternatingBoldCellsStayOnTheGrid) {
  const std::string text(80, 'x');
  std::vector<uint8_t> attrs(80, 0);
  for (int i = 1; i < 80; i += 2) attrs[i] = 0x01;
  RecordingPainter painter;
  DrawLineSegment(painter, 0, 16, Bytes(text), attrs.data(), 80, false, Metrics(0), ColorScheme{},
                  FixedSystemColors{});
  Calls expected;
  for (int i = 0; i < 80; ++i) {
    const bool bold = i % 2 == 1;
    if (bold) expected.push_back("font Bold");
    expected.insert(expected.end(), {"fg 108", "bg clear", bold ? "extra -1" : "extra 0"});
    expected.push_back("out " + std::to_string(i * 8) + ",16 x");
    if (bold) expected.push_back("font Terminal");
  }
  EXPECT_EQ(painter.calls, expected);
}

TEST(LineRenderer, RunsSplitOnEveryAttributeChange) {
  struct Case {
    std::vector<uint8_t> attrs;
    Calls outputs;
  };
  const Case cases[] = {
      {{0, 4, 4, 0}, {"out 40,0 a", "out 48,0 bc", "out 64,0 d"}},
      {{0, 0, 1, 1, 1, 8}, {"out 40,0 ab", "out 56,0 cde", "out 80,0 f"}},
      {{2, 3, 3, 3, 3, 2}, {"out 40,0 a", "out 48,0 bcde", "out 80,0 f"}},
      {{5, 5, 5, 5, 5, 5}, {"out 40,0 abcdef"}},
  };
  const std::string text = "abcdef";
  for (const Case& c : cases) {
    RecordingPainter painter;
    DrawLineSegment(painter, 40, 0, Bytes(text), c.attrs.data(), static_cast<int>(c.attrs.size()), false,
                    Metrics(0), ColorScheme{}, FixedSystemColors{});
    EXPECT_EQ(painter.Outputs(), c.outputs);
  }
}

TEST(LineRenderer, EmptyStretchDrawsNothing) {
  const uint8_t attr = 0x09;
  for (int length : {0, -1}) {
    RecordingPainter painter;
    DrawLineSegment(painter, 0, 0, Bytes("a"), &attr, length, true, Metrics(2), ColorScheme{},
                    FixedSystemColors{});
    EXPECT_TRUE(painter.calls.empty()) << length;
  }
}

TEST(LineRenderer, StretchCutInsideDoubleByteCharacter) {
  // "abあ" with the selection edge after the lead byte of あ: the plain part draws あ whole.
  const std::string text = "ab\x82\xA0";
  const uint8_t attrs[] = {0, 0, 0, 0};
  RecordingPainter painter;
  DrawLineSegment(painter, 0, 0, Bytes(text), attrs, 3, false, Metrics(2), ColorScheme{}, FixedSystemColors{});
  EXPECT_EQ(painter.Outputs(), (Calls{"out 0,0 ab", "out 16,0 <82><a0>"}));
}

// Selection edges widened to whole characters: "aあbいc" is a, あ at 1-2, b, い at 4-5, c.
TEST(LineRenderer, WholeCharactersAtTheEdges) {
  const std::string text = "a\x82\xA0" "b\x82\xA2" "c";
  const int32_t width = static_cast<int32_t>(text.size());
  const struct { int32_t from, to; CellSpan expected; } cases[] = {
      {0, 7, {0, 7}},  {1, 3, {1, 3}},  {2, 3, {1, 3}},  // the start inside あ takes its lead
      {0, 2, {0, 3}},  {2, 5, {1, 6}},                    // the end inside a character takes its trail
      {5, 5, {4, 6}},                                     // both inside い
      {0, 9, {0, 9}},  {8, 9, {8, 9}},                    // beyond the line: left as they are
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WholeCharacters(Bytes(text), width, c.from, c.to), c.expected) << c.from << "-" << c.to;
  }
}

TEST(LineRenderer, TextRunSpacing) {
  struct Case {
    const char* name;
    std::string bytes;  // the run followed by the byte after it
    int count;
    int e1, e2, doubleByteExtra;
    Calls expected;
  };
  const Case cases[] = {
      {"kana widened", "ab\x82\xA0\x82\xA2", 6, 0, 0, 2,
       {"extra 0", "out 8,4 ab", "extra 2", "out 24,4 <82><a0><82><a2>"}},
      {"exact kana in one call", "ab\x82\xA0\x82\xA2", 6, 0, 0, 0, {"extra 0", "out 8,4 ab<82><a0><82><a2>"}},
      {"bold, same corrections", "ab", 2, 1, 1, 0, {"extra -1", "out 8,4 ab"}},
      {"bold kana gains more", "a\x82\xA0", 3, 1, 2, 0, {"extra -1", "out 8,4 a", "extra -2", "out 16,4 <82><a0>"}},
      {"bold with kana widened", "\x82\xA0z", 3, 1, 1, 2, {"extra 1", "out 8,4 <82><a0>", "extra -1", "out 24,4 z"}},
      {"trail byte in lead range, half-width kana", "\x88\x9F" "a\xB1", 4, 0, 0, 2,
       {"extra 2", "out 8,4 <88><9f>", "extra 0", "out 24,4 a<b1>"}},
      {"alternating kinds", "a\x82\xA0" "b\x82\xA2", 6, 0, 0, 1,
       {"extra 0", "out 8,4 a", "extra 1", "out 16,4 <82><a0>", "extra 0", "out 32,4 b", "extra 1",
        "out 40,4 <82><a2>"}},
      {"lead byte last, cut", "a\x82\xA0", 2, 0, 0, 2, {"extra 0", "out 8,4 a", "extra 2", "out 16,4 <82><a0>"}},
      {"lead byte last, one call", "a\x82\xA0", 2, 0, 0, 0, {"extra 0", "out 8,4 a<82>"}},
      {"lone lead byte before the line's end", std::string("\x82\0", 2), 1, 0, 0, 2,
       {"extra 2", "out 8,4 <82><00>"}},
      {"empty, one-call case", "a", 0, 0, 0, 0, {}},
      {"empty, cut case", "a", 0, 1, 2, 2, {}},
  };
  for (const Case& c : cases) {
    RecordingPainter painter;
    DrawTextRun(painter, 8, 4, Bytes(c.bytes), c.count, c.e1, c.e2, Metrics(c.doubleByteExtra));
    EXPECT_EQ(painter.calls, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace velmora

// Cell size, full-width spacing and bold corrections from measured widths.
#include <gtest/gtest.h>

#include <vector>

#include "render/font_metrics.h"

namespace velmora {
namespace {

TEST(FontMetrics, MeasuredCell) {
  struct Case {
    int ave, height;
    uint8_t charSet;
    int widthA, widthKana;
    int doubleByteExtra;
  };
  const Case cases[] = {
      {8, 16, 128, 8, 14, 2},  // narrow full-width glyphs are widened to two cells
      {8, 16, 128, 8, 16, 0},
      {7, 14, 128, 7, 16, -2},
      {8, 16, 0, 8, 14, 0},  // not a Shift-JIS font: no correction
      {8, 16, 1, 8, 14, 0},
  };
  for (const Case& c : cases) {
    const CellMetrics cell = MeasuredCell(c.ave, c.height, c.charSet, c.widthA, c.widthKana);
    EXPECT_EQ(cell.cellWidth, c.ave);
    EXPECT_EQ(cell.cellHeight, c.height);
    EXPECT_EQ(cell.doubleByteExtra, c.doubleByteExtra) << int(c.charSet) << " " << c.widthKana;
  }
}

TEST(FontMetrics, BoldExtrasTruncateTowardZero) {
  struct Case {
    int plainAb, boldAb;
    bool shiftJis;
    int plainAi, boldAi;
    int single, dbl;
  };
  const Case cases[] = {
      {16, 18, true, 32, 34, 1, 1},   // 2 pixels wider: one per character
      {16, 17, true, 32, 33, 0, 0},   // 1 pixel wider: truncated
      {16, 13, true, 32, 29, -1, -1}, // 3 pixels narrower: -1, not -2
      {16, 15, true, 32, 36, 0, 2},   // -1/2 is 0
      {16, 18, false, 32, 40, 1, 1},  // no Shift-JIS: the single-byte value for both
  };
  for (const Case& c : cases) {
    const BoldExtras e = ComputeBoldExtras(c.plainAb, c.boldAb, c.shiftJis, c.plainAi, c.boldAi);
    EXPECT_EQ(e.boldExtraSingle, c.single) << c.plainAb << "->" << c.boldAb;
    EXPECT_EQ(e.boldExtraDouble, c.dbl) << c.plainAi << "->" << c.boldAi;
  }
}

// A font whose half-width glyphs are `single` (bold `boldSingle`) pixels wide and whose
// full-width glyphs are `dbl` (bold `boldDouble`).
class FakeMeasurer : public FontMeasurer {
 public:
  FakeMeasurer(uint8_t charSet, int single, int boldSingle, int dbl, int boldDouble)
      : charSet_(charSet), single_(single), boldSingle_(boldSingle), double_(dbl), boldDouble_(boldDouble) {}
  int measuredFullWidth = 0;
  FontFaceInfo TerminalFace() override { return {single_, 16, charSet_}; }
  int TextWidth(FontVariant variant, const uint8_t* bytes, size_t count) override {
    const bool bold = variant == FontVariant::Bold || variant == FontVariant::BoldUnderline;
    int width = 0;
    for (size_t i = 0; i < count; ++i) {
      if (bytes[i] >= 0x81) {
        ++measuredFullWidth;
        width += bold ? boldDouble_ : double_;
        ++i;
      } else {
        width += bold ? boldSingle_ : single_;
      }
    }
    return width;
  }

 private:
  uint8_t charSet_;
  int single_, boldSingle_, double_, boldDouble_;
};

TEST(FontMetrics, MeasureFontRunsTheWholeSequence) {
  FakeMeasurer sjis(128, 8, 9, 15, 17);
  const FontMetrics m = MeasureFont(sjis);
  EXPECT_EQ(m.cellWidth, 8);
  EXPECT_EQ(m.cellHeight, 16);
  EXPECT_EQ(m.doubleByteExtra, 1);
  EXPECT_EQ(m.boldExtraSingle, 1);
  EXPECT_EQ(m.boldExtraDouble, 2);

  FakeMeasurer western(0, 7, 9, 15, 19);
  const FontMetrics w = MeasureFont(western);
  EXPECT_EQ(w.cellWidth, 7);
  EXPECT_EQ(w.doubleByteExtra, 0);
  EXPECT_EQ(w.boldExtraSingle, 2);
  EXPECT_EQ(w.boldExtraDouble, 2);
  EXPECT_EQ(western.measuredFullWidth, 0);  // no kana measured in a font that has none
}

}  // namespace
}  // namespace velmora

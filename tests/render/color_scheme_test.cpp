// The colour scheme, the colour dialog's logic and its sample.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/color_scheme.h"

namespace velmora {
namespace {

class FixedSystemColors : public SystemColors {
 public:
  ColorRef SystemColor(int index) const override { return 0x100000u + static_cast<ColorRef>(index); }
};

class RecordingSample : public SamplePainter {
 public:
  std::vector<std::string> calls;
  void FillBackground(ColorRef c) override { calls.push_back("fill " + std::to_string(c)); }
  void OutputText(int x, int y, std::string_view text, ColorRef fg, ColorRef bg) override {
    calls.push_back(std::to_string(x) + "," + std::to_string(y) + " " + std::string(text) + " " +
                    std::to_string(fg) + "/" + std::to_string(bg));
  }
};

TEST(ColorScheme, SchemeColorByIndex) {
  const FixedSystemColors system;
  ColorScheme scheme;
  EXPECT_EQ(SchemeColor(scheme, kColorWindow, system), 0x100005u);  // system colours by default
  scheme.colorDefault = 0;
  scheme.colorWindow = 1;
  scheme.colorWindowText = 2;
  scheme.colorHighlight = 3;
  scheme.colorHighlightText = 4;
  EXPECT_EQ(SchemeColor(scheme, kColorWindow, system), 1u);
  EXPECT_EQ(SchemeColor(scheme, kColorWindowText, system), 2u);
  EXPECT_EQ(SchemeColor(scheme, kColorHighlight, system), 3u);
  EXPECT_EQ(SchemeColor(scheme, kColorHighlightText, system), 4u);
  EXPECT_EQ(SchemeColor(scheme, 6, system), 0u);
}

TEST(ColorScheme, DialogWorksOnACopy) {
  const ColorScheme original;
  ColorDialogModel dialog(original);
  EXPECT_TRUE(dialog.DefaultChecked());
  EXPECT_FALSE(dialog.ColorButtonsEnabled());
  dialog.OnDefaultClicked(false);
  EXPECT_TRUE(dialog.ColorButtonsEnabled());
  dialog.OnColorPicked(kIdTextBackground, true, Rgb(0, 0, 255));
  dialog.OnColorPicked(kIdSelectedForeground, false, Rgb(9, 9, 9));  // chooser cancelled
  dialog.OnColorPicked(1, true, Rgb(9, 9, 9));                       // not a colour button
  EXPECT_EQ(dialog.working.colorWindow, Rgb(0, 0, 255));
  EXPECT_EQ(dialog.working.colorHighlightText, Rgb(255, 255, 255));
  // Checking the box again keeps the chosen colour for later, while the system colours show.
  dialog.OnDefaultClicked(true);
  EXPECT_EQ(dialog.working.colorDefault, 1);
  EXPECT_EQ(dialog.working.colorWindow, Rgb(0, 0, 255));
  EXPECT_EQ(original, ColorScheme{});  // nothing changes until the caller takes the copy
  ASSERT_NE(dialog.ColorOf(kIdTextForeground), nullptr);
  EXPECT_EQ(dialog.ColorOf(kIdTextForeground), &dialog.working.colorWindowText);
  EXPECT_EQ(dialog.ColorOf(kIdSelectedBackground), &dialog.working.colorHighlight);
}

TEST(ColorScheme, SampleDrawing) {
  const FixedSystemColors system;
  RecordingSample firstRun;
  DrawColorSample(firstRun, ColorScheme{}, system, 8, 16);
  EXPECT_EQ(firstRun.calls, (std::vector<std::string>{
                                "fill 1048581", "0,0 venus% ls 1048584/1048581", "0,16 mimi 1048584/1048581",
                                "0,32 venus% 1048584/1048581", "64,16 tama 1048590/1048589"}));
  ColorScheme own;
  own.colorDefault = 0;  // black text on white, "tama" white on black
  RecordingSample custom;
  DrawColorSample(custom, own, system, 7, 14);
  EXPECT_EQ(custom.calls.front(), "fill 16777215");
  EXPECT_EQ(custom.calls.back(), "56,14 tama 16777215/0");
}

}  // namespace
}  // namespace velmora

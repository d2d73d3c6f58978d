#pragma once
#include <array>
#include <cstdint>
#include <string_view>

namespace velmora {

// A colour as the window system keeps it: red in the lowest byte, then green, then blue.
using ColorRef = uint32_t;
constexpr ColorRef Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<ColorRef>(r) | (static_cast<ColorRef>(g) << 8) | (static_cast<ColorRef>(b) << 16);
}

// The system colour indexes the terminal draws with (the window system's COLOR_WINDOW and so on).
enum SystemColorIndex : int {
  kColorWindow = 5,
  kColorWindowText = 8,
  kColorHighlight = 13,
  kColorHighlightText = 14,
};

// The desktop's own colours for those indexes.
class SystemColors {
 public:
  virtual ~SystemColors() = default;
  virtual ColorRef SystemColor(int index) const = 0;
};

// The four colours of the terminal display, or the system's colours while colorDefault is set.
struct ColorScheme {
  int32_t colorDefault = 1;
  ColorRef colorWindow = Rgb(255, 255, 255);  // text background, and the whole window
  ColorRef colorWindowText = 0;               // text and the grid border
  ColorRef colorHighlight = 0;                // selection background
  ColorRef colorHighlightText = Rgb(255, 255, 255);

  friend bool operator==(const ColorScheme&, const ColorScheme&) = default;
};

// The colour for a system colour index: the system's while colorDefault is set, otherwise the
// scheme's field for the index, and black for any other index.
ColorRef SchemeColor(const ColorScheme& scheme, int index, const SystemColors& system);

// The 16 custom colours of the colour chooser: all black at start, kept for the run only.
using CustomColors = std::array<ColorRef, 16>;

// Control ids of the colour dialog.
enum ColorDialogId : int {
  kIdColorSample = 1013,
  kIdColorDefault = 1014,       // "標準色(&D)"
  kIdTextForeground = 1015,     // "前景(&F)..."
  kIdTextBackground = 1016,     // "背景(&B)..."
  kIdSelectedForeground = 1017, // "前景(&O)..."
  kIdSelectedBackground = 1018, // "背景(&A)..."
};

// The colour dialog's logic. It works on a copy of the scheme; the front-end shows the
// controls, runs the platform's colour chooser and asks the model what to do.
class ColorDialogModel {
 public:
  explicit ColorDialogModel(const ColorScheme& scheme) : working(scheme) {}

  ColorScheme working;

  bool DefaultChecked() const { return working.colorDefault != 0; }
  // The four colour buttons can be used exactly while the standard colours are off.
  bool ColorButtonsEnabled() const { return working.colorDefault == 0; }
  void OnDefaultClicked(bool checked) { working.colorDefault = checked ? 1 : 0; }
  // The working colour a colour button edits (the chooser starts there); null for other ids.
  ColorRef* ColorOf(int buttonId);
  // The chooser ended; a confirmed choice becomes the button's working colour.
  void OnColorPicked(int buttonId, bool confirmed, ColorRef color);
};

// Where the colour dialog's sample is drawn, in the control's coordinates.
class SamplePainter {
 public:
  virtual ~SamplePainter() = default;
  virtual void FillBackground(ColorRef color) = 0;
  // Text with its background painted.
  virtual void OutputText(int x, int y, std::string_view text, ColorRef foreground, ColorRef background) = 0;
};

// Three lines of shell output with one word selected, in the working colours; `charWidth` and
// `lineHeight` are those of the system's fixed-pitch font, which the sample uses.
void DrawColorSample(SamplePainter& painter, const ColorScheme& working, const SystemColors& system,
                     int charWidth, int lineHeight);

}  // namespace velmora

#pragma once
#include <cstddef>
#include <cstdint>

#include "render/text_painter.h"

namespace velmora {

// Character-set code of a Shift-JIS font.
constexpr uint8_t kShiftJisCharSet = 128;

// Cell size and full-width spacing of the terminal font.
struct CellMetrics {
  int cellWidth = 0;
  int cellHeight = 0;
  int doubleByteExtra = 0;
};

// The cell of a font with the given average character width, height and character set.
// `widthA` and `widthA2` are the widths of "a" and of "あ"; they count only for a Shift-JIS font,
// whose full-width glyphs then get 2 * widthA - widthA2 pixels of extra spacing.
CellMetrics MeasuredCell(int aveCharWidth, int height, uint8_t charSet, int widthA, int widthA2);

struct BoldExtras {
  int boldExtraSingle = 0;
  int boldExtraDouble = 0;
};

// How much wider a bold glyph is than a plain one, per character, from the widths of the
// two-character samples "ab" and "あい" in the plain and bold faces (halved, truncating toward
// zero). Without a Shift-JIS font the "あい" widths are not used and the double-byte value is the
// single-byte one.
BoldExtras ComputeBoldExtras(int plainAb, int boldAb, bool shiftJis, int plainAi, int boldAi);

// Basic text metrics of the terminal font.
struct FontFaceInfo {
  int aveCharWidth = 0;
  int height = 0;
  uint8_t charSet = 0;
};

// What a front-end measures in its drawing surface with the terminal font and its variants.
class FontMeasurer {
 public:
  virtual ~FontMeasurer() = default;
  virtual FontFaceInfo TerminalFace() = 0;
  // Width in pixels of code page 932 bytes drawn on one line in `variant`.
  virtual int TextWidth(FontVariant variant, const uint8_t* bytes, size_t count) = 0;
};

// Everything the line renderer needs about the terminal font: the cell, the full-width spacing
// and the bold corrections. Run after every change of the terminal font.
FontMetrics MeasureFont(FontMeasurer& measurer);

}  // namespace velmora

#pragma once
#include <cstddef>
#include <cstdint>

#include "render/color_scheme.h"

namespace velmora {

// The fonts a run of terminal text can be drawn with: the terminal font and its variants.
enum class FontVariant : uint8_t { Terminal, Bold, Underline, BoldUnderline };

// Where terminal text is drawn: the window's device context while it paints. Coordinates are
// pixels of the client area. The platform makes the fonts and places the glyphs.
class TextPainter {
 public:
  virtual ~TextPainter() = default;
  // Selects a font variant (Terminal puts the terminal font back).
  virtual void SelectFontVariant(FontVariant variant) = 0;
  virtual void UseTextColor(ColorRef color) = 0;
  // Opaque: each character cell's background is painted in `color`; otherwise the text is
  // drawn over what is there.
  virtual void UseBackground(bool opaque, ColorRef color) = 0;
  // Pixels added after every character the next outputs draw (a double-byte character counts
  // as one character); may be negative.
  virtual void UseCharacterExtra(int extra) = 0;
  // Code page 932 bytes drawn from (x, y), the top left corner of the first cell.
  virtual void OutputText(int x, int y, const uint8_t* bytes, size_t count) = 0;
};

// What the renderer needs to know about the terminal font.
struct FontMetrics {
  int cellWidth = 8;
  int cellHeight = 16;
  int doubleByteExtra = 0;  // spacing that makes a full-width glyph exactly two cells wide
  int boldExtraSingle = 0;  // how much wider a bold half-width glyph is
  int boldExtraDouble = 0;  // how much wider a bold full-width glyph is
};

}  // namespace velmora

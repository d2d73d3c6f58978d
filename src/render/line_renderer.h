#pragma once
#include <cstdint>

#include "render/color_scheme.h"
#include "render/text_painter.h"

namespace velmora {

// Draws the cells [0, length) of one stretch of a terminal line from pixel (x, y), the top left
// corner of its first cell: x is the stretch's first column times cellWidth, y its row times
// cellHeight. `text` and `attrs` point at the stretch's first cell in the line's bytes and
// attribute bytes. The stretch is cut into runs of equal attribute bytes; each run gets its font
// variant, its colours and its own text output. `selected` marks a stretch inside the selection.
//
// The caller keeps the stretch inside its line (0 <= first column, first column + length <= the
// line's width) and guarantees one readable byte after it: the next cell, or the NUL that ends
// the line's text. A double-byte character cut by the stretch's end is drawn whole with that byte.
// The painter holds the terminal font on entry and holds it again on return; the text colour,
// background and character extra of the last run stay set. A length of 0 or less draws nothing.
void DrawLineSegment(TextPainter& painter, int x, int y, const uint8_t* text, const uint8_t* attrs, int length,
                     bool selected, const FontMetrics& metrics, const ColorScheme& scheme,
                     const SystemColors& system);

// The cells [from, to) of a line of `width` cells, widened to whole characters: a double-byte
// character with either half inside is inside whole, so that a selection whose edge falls
// between a lead byte and its trail byte (the host rewrote the line under it) is drawn without
// splitting the character. Columns at or beyond the width are left as they are.
struct CellSpan {
  int32_t from = 0;
  int32_t to = 0;
  friend bool operator==(const CellSpan&, const CellSpan&) = default;
};
CellSpan WholeCharacters(const uint8_t* text, int32_t width, int32_t from, int32_t to);

// Outputs `count` code page 932 bytes of one attribute run from (x, y) so that every half-width
// character takes one cell and every full-width character two. `singleCorrection` and
// `doubleCorrection` are the bold corrections (metrics.boldExtraSingle / boldExtraDouble for a
// bold run, both 0 otherwise). When no spacing differs between the two kinds of character the run
// is one output of exactly its bytes; otherwise it is cut into stretches of single- and of
// double-byte characters, and a lead byte in the last position is output together with the byte
// after the run (which the caller keeps readable). A count of 0 or less outputs nothing.
void DrawTextRun(TextPainter& painter, int x, int y, const uint8_t* bytes, int count, int singleCorrection,
                 int doubleCorrection, const FontMetrics& metrics);

}  // namespace velmora

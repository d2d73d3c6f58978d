#include "render/line_renderer.h"

#include <cstddef>

#include "encoding/cp932.h"
#include "screen/screen_model.h"

namespace velmora {
namespace {

// The font variant a run's attribute asks for; Terminal when neither bold nor underline is set.
FontVariant VariantFor(uint8_t attr) {
  const bool bold = (attr & kAttrBold) != 0;
  const bool underline = (attr & kAttrUnderline) != 0;
  if (bold && underline) return FontVariant::BoldUnderline;
  if (underline) return FontVariant::Underline;
  if (bold) return FontVariant::Bold;
  return FontVariant::Terminal;
}

}  // namespace

void DrawLineSegment(TextPainter& painter, int x, int y, const uint8_t* text, const uint8_t* attrs, int length,
                     bool selected, const FontMetrics& metrics, const ColorScheme& scheme,
                     const SystemColors& system) {
  if (length <= 0) return;
  const ColorRef foreground =
      SchemeColor(scheme, selected ? kColorHighlightText : kColorWindowText, system);
  const ColorRef background = SchemeColor(scheme, selected ? kColorHighlight : kColorWindow, system);

  int start = 0;
  while (start < length) {
    const uint8_t attr = attrs[start];
    int end = start + 1;
    while (end < length && attrs[end] == attr) ++end;

    const FontVariant variant = VariantFor(attr);
    if (variant != FontVariant::Terminal) painter.SelectFontVariant(variant);
    const bool reverse = (attr & kAttrReverse) != 0;
    painter.UseTextColor(reverse ? background : foreground);
    // A plain stretch lets the window background show through; everything else paints its cells.
    painter.UseBackground(selected || reverse, reverse ? foreground : background);
    const bool bold = (attr & kAttrBold) != 0;
    DrawTextRun(painter, x + start * metrics.cellWidth, y, text + start, end - start,
                bold ? metrics.boldExtraSingle : 0, bold ? metrics.boldExtraDouble : 0, metrics);
    if (variant != FontVariant::Terminal) painter.SelectFontVariant(FontVariant::Terminal);
    start = end;
  }
}

CellSpan WholeCharacters(const uint8_t* text, int32_t width, int32_t from, int32_t to) {
  auto splits = [&](int32_t col) { return col > 0 && col < width && IsInsideDoubleByte(text, col); };
  if (splits(from)) --from;
  if (splits(to)) ++to;
  return CellSpan{from, to};
}

void DrawTextRun(TextPainter& painter, int x, int y, const uint8_t* bytes, int count, int singleCorrection,
                 int doubleCorrection, const FontMetrics& metrics) {
  if (count <= 0) return;
  if (metrics.doubleByteExtra == 0 && singleCorrection == doubleCorrection) {
    painter.UseCharacterExtra(-singleCorrection);
    painter.OutputText(x, y, bytes, static_cast<size_t>(count));
    return;
  }
  // Cut into stretches of one kind of character. A double-byte character is a lead byte and the
  // byte after it, so a stretch can end one byte past `count`.
  int pos = 0;
  while (pos < count) {
    const bool isDouble = IsSjisLeadByte(bytes[pos]);
    int end = pos;
    while (end < count && IsSjisLeadByte(bytes[end]) == isDouble) end += isDouble ? 2 : 1;
    painter.UseCharacterExtra(isDouble ? metrics.doubleByteExtra - doubleCorrection : -singleCorrection);
    painter.OutputText(x, y, bytes + pos, static_cast<size_t>(end - pos));
    x += (end - pos) * metrics.cellWidth;
    pos = end;
  }
}

}  // namespace velmora

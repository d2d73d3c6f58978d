#include "render/font_metrics.h"

namespace velmora {
namespace {

constexpr uint8_t kSampleA[] = {'a'};
constexpr uint8_t kSampleAb[] = {'a', 'b'};
constexpr uint8_t kSampleKanaA[] = {0x82, 0xA0};              // あ
constexpr uint8_t kSampleKanaAi[] = {0x82, 0xA0, 0x82, 0xA2};  // あい

template <size_t N>
int WidthOf(FontMeasurer& measurer, FontVariant variant, const uint8_t (&sample)[N]) {
  return measurer.TextWidth(variant, sample, N);
}

}  // namespace

CellMetrics MeasuredCell(int aveCharWidth, int height, uint8_t charSet, int widthA, int widthA2) {
  CellMetrics cell;
  cell.cellWidth = aveCharWidth;
  cell.cellHeight = height;
  cell.doubleByteExtra = charSet == kShiftJisCharSet ? 2 * widthA - widthA2 : 0;
  return cell;
}

BoldExtras ComputeBoldExtras(int plainAb, int boldAb, bool shiftJis, int plainAi, int boldAi) {
  BoldExtras extras;
  extras.boldExtraSingle = (boldAb - plainAb) / 2;  // integer division truncates toward zero
  extras.boldExtraDouble = shiftJis ? (boldAi - plainAi) / 2 : extras.boldExtraSingle;
  return extras;
}

FontMetrics MeasureFont(FontMeasurer& measurer) {
  const FontFaceInfo face = measurer.TerminalFace();
  const bool shiftJis = face.charSet == kShiftJisCharSet;
  int widthA = 0;
  int widthKanaA = 0;
  if (shiftJis) {
    widthA = WidthOf(measurer, FontVariant::Terminal, kSampleA);
    widthKanaA = WidthOf(measurer, FontVariant::Terminal, kSampleKanaA);
  }
  const CellMetrics cell = MeasuredCell(face.aveCharWidth, face.height, face.charSet, widthA, widthKanaA);

  const int plainAb = WidthOf(measurer, FontVariant::Terminal, kSampleAb);
  const int boldAb = WidthOf(measurer, FontVariant::Bold, kSampleAb);
  int plainAi = 0;
  int boldAi = 0;
  if (shiftJis) {
    plainAi = WidthOf(measurer, FontVariant::Terminal, kSampleKanaAi);
    boldAi = WidthOf(measurer, FontVariant::Bold, kSampleKanaAi);
  }
  const BoldExtras extras = ComputeBoldExtras(plainAb, boldAb, shiftJis, plainAi, boldAi);

  FontMetrics metrics;
  metrics.cellWidth = cell.cellWidth;
  metrics.cellHeight = cell.cellHeight;
  metrics.doubleByteExtra = cell.doubleByteExtra;
  metrics.boldExtraSingle = extras.boldExtraSingle;
  metrics.boldExtraDouble = extras.boldExtraDouble;
  return metrics;
}

}  // namespace velmora

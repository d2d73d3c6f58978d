#include "frontends/qt/qt_text.h"

#include <QFontMetrics>
#include <algorithm>
#include <cstdint>

#include "encoding/cp932.h"
#include "encoding/text_transfer.h"

namespace velmora {

QString Cp932ToQString(std::string_view bytes) {
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  for (size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    int32_t unicode = -1;
    size_t used = 1;
    if (IsSjisLeadByte(b) && i + 1 < bytes.size()) {
      unicode = Cp932ToUnicode(static_cast<uint16_t>((b << 8) | static_cast<uint8_t>(bytes[i + 1])));
      if (unicode >= 0) used = 2;
    } else {
      unicode = Cp932ToUnicode(b);
    }
    out.append(unicode >= 0 ? QChar(static_cast<char16_t>(unicode)) : QChar(0xFFFD));
    i += used;
  }
  return out;
}

std::string QStringToCp932(const QString& text) {
  return Utf16ToCp932(text.utf16(), static_cast<size_t>(text.size()));
}

QFont LogFontToQFont(const LogFont& d) {
  QFont font(Cp932ToQString(d.faceName()));
  if (d.weight() > 0) font.setWeight(d.weight() >= 700 ? QFont::Bold : QFont::Normal);
  font.setItalic(d.italic());
  font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
  font.setFixedPitch(true);
  // Heights beyond any screen's are taken as the largest the terminal draws, so that a damaged
  // settings file cannot ask for glyphs of millions of pixels.
  constexpr int kLargestPixels = 1000;
  const int64_t height = d.height();
  if (height < 0) {
    font.setPixelSize(static_cast<int>(std::min<int64_t>(-height, kLargestPixels)));
  } else if (height > 0) {
    // A cell height: the largest character height whose line (with its leading) fits in it,
    // found from the line height at the cell height and then stepped down to the fit.
    const int cell = static_cast<int>(std::min<int64_t>(height, kLargestPixels));
    font.setPixelSize(cell);
    const int line = std::max(QFontMetrics(font).height(), 1);
    int pixels = std::max(1, cell * cell / line + 1);
    font.setPixelSize(pixels);
    while (pixels > 1 && QFontMetrics(font).height() > cell) font.setPixelSize(--pixels);
  }
  return font;
}

LogFont QFontToLogFont(const QFont& font, uint8_t charSet) {
  LogFont d;
  const int pixels = font.pixelSize() > 0 ? font.pixelSize() : qRound(font.pointSizeF() * 96.0 / 72.0);
  d.setHeight(-pixels);
  d.setWeight(font.bold() ? 700 : 400);
  d.setItalic(font.italic());
  d.setCharSet(charSet);
  d.setPitchAndFamily(0x31);  // fixed pitch, modern family
  d.setFaceName(QStringToCp932(font.family()));
  return d;
}

}  // namespace velmora

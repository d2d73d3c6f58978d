#pragma once
// The strip renderer's parts that the rest of the Qt window needs: the terminal font with its
// variants, the cache of drawn cells, and the conversions between Qt's colours and the core's.
#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QRawFont>
#include <array>
#include <cstdint>

#include "frontends/qt/qt_window.h"

namespace velmora {

inline QColor ColorOf(ColorRef c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
inline ColorRef RefOf(const QColor& c) {
  return Rgb(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
}

// The terminal font and its variants, with what placing glyphs in cells needs to know.
struct QtMainWindow::Fonts {
  std::array<QFont, 4> font;  // indexed by FontVariant
  std::array<QRawFont, 4> raw;
  std::array<int, 4> ascent{};
  int cellWidth = 8;
  int cellHeight = 16;
  // Glyph indexes of the variants' own faces by character (0: the face has none; the
  // character is then drawn as text, which finds a fallback face).
  QHash<uint32_t, quint32> glyphs;

  quint32 Glyph(int variant, char32_t c) {
    const uint32_t key = (static_cast<uint32_t>(variant) << 24) | static_cast<uint32_t>(c);
    const auto it = glyphs.constFind(key);
    if (it != glyphs.cend()) return *it;
    quint32 glyph = 0;
    const QRawFont& f = raw[static_cast<size_t>(variant)];
    if (f.isValid() && f.supportsCharacter(c)) {
      const QList<quint32> found = f.glyphIndexesForString(QString::fromUcs4(&c, 1));
      if (found.size() == 1) glyph = found[0];
    }
    glyphs.insert(key, glyph);
    return glyph;
  }
};

// Each character cell as it looks in one font variant and pair of colours, drawn once by the
// Painter and then copied: drawing a character into the image costs a copy of its cells.
class QtMainWindow::CellImages {
 public:
  // The image of a character (1 or 2 code page 932 bytes) `cells` wide.
  const QImage& Get(Fonts& fonts, int variant, const uint8_t* bytes, size_t count, int cells, ColorRef fg, ColorRef bg);
  void Clear() { images_.clear(); }

 private:
  struct Key {
    uint32_t character;
    ColorRef fg;
    ColorRef bg;
    bool operator==(const Key& o) const { return character == o.character && fg == o.fg && bg == o.bg; }
  };
  friend size_t qHash(const Key& k, size_t seed) { return qHashMulti(seed, k.character, k.fg, k.bg); }
  QHash<Key, QImage> images_;
};

}  // namespace velmora

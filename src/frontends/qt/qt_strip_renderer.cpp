// The terminal's image in the Qt window: one strip per cell row, the painters that draw the
// screen into it (glyphs placed cell by cell, or cells copied from the cache of drawn cells),
// the damage it carries between frames, and the frame that draws and shows it.
#include "frontends/qt/qt_strip_renderer.h"

#include <QGlyphRun>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cstring>

#include "encoding/cp932.h"

namespace velmora {

// Draws terminal text into the backing image: every half-width character in one cell and every
// full-width character in two, whatever the glyphs' own advances, each glyph placed at its cell
// (so bold and fallback glyphs never move the grid). Only the characters inside the area being
// painted are drawn.
class QtMainWindow::Painter : public PaintPort {
 public:
  Painter(QPainter& p, Fonts& fonts, const QRect& clip) : p_(p), fonts_(fonts), clip_(clip) {
    p_.setClipRect(clip_);
  }
  ~Painter() override { p_.setClipping(false); }
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;
  void SelectFontVariant(FontVariant v) override { variant_ = static_cast<int>(v); }
  void UseTextColor(ColorRef c) override {
    if (p_.pen().color() != ColorOf(c)) p_.setPen(ColorOf(c));
  }
  void UseBackground(bool opaque, ColorRef c) override {
    opaque_ = opaque;
    background_ = ColorOf(c);
  }
  void UseCharacterExtra(int) override {}  // glyphs are placed cell by cell
  void OutputText(int x, int y, const uint8_t* bytes, size_t count) override {
    const int cw = fonts_.cellWidth, ch = fonts_.cellHeight;
    if (y >= clip_.bottom() + 1 || y + ch <= clip_.top()) return;
    const int baseline = y + fonts_.ascent[static_cast<size_t>(variant_)];
    glyphs_.clear();
    positions_.clear();
    int cx = x;
    for (size_t i = 0; i < count;) {
      const bool pair = IsSjisLeadByte(bytes[i]) && i + 1 < count;
      const int width = (pair ? 2 : 1) * cw;
      const uint16_t code = pair ? static_cast<uint16_t>((bytes[i] << 8) | bytes[i + 1]) : bytes[i];
      i += pair ? 2 : 1;
      if (cx >= clip_.right() + 1) break;
      if (cx + width > clip_.left()) {
        if (opaque_) p_.fillRect(QRect(cx, y, width, ch), background_);
        const int32_t unicode = Cp932ToUnicode(code);
        if (unicode > 0x20) {
          const quint32 glyph = fonts_.Glyph(variant_, static_cast<char32_t>(unicode));
          if (glyph != 0) {
            glyphs_.push_back(glyph);
            positions_.push_back(QPointF(cx, baseline));
          } else {
            // Not in the terminal face: drawn as text, kept to its cells.
            const char32_t c = static_cast<char32_t>(unicode);
            p_.setFont(fonts_.font[static_cast<size_t>(variant_)]);
            p_.setClipRect(QRect(cx, y, width, ch) & clip_);
            p_.drawText(cx, baseline, QString::fromUcs4(&c, 1));
            p_.setClipRect(clip_);
          }
        } else if (unicode < 0 && code >= 0x80) {
          // A byte sequence that is no character shows as the replacement mark.
          p_.setFont(fonts_.font[static_cast<size_t>(variant_)]);
          p_.drawText(cx, baseline, QString(QChar(0xFFFD)));
        }
      }
      cx += width;
    }
    if (!glyphs_.isEmpty()) {
      // A bold glyph may be wider than its cell; the run's last one stops at the run's end.
      const bool bold = variant_ == static_cast<int>(FontVariant::Bold) || variant_ == static_cast<int>(FontVariant::BoldUnderline);
      if (bold) p_.setClipRect(QRect(x, y, cx - x, ch) & clip_);
      QGlyphRun run;
      run.setRawFont(fonts_.raw[static_cast<size_t>(variant_)]);
      run.setGlyphIndexes(glyphs_);
      run.setPositions(positions_);
      p_.drawGlyphRun(QPointF(0, 0), run);
      if (bold) p_.setClipRect(clip_);
    }
    if (variant_ == static_cast<int>(FontVariant::Underline) || variant_ == static_cast<int>(FontVariant::BoldUnderline)) {
      // The underline spans the run's cells, from the face's own position and thickness.
      const QRawFont& f = fonts_.raw[static_cast<size_t>(variant_)];
      const int thickness = std::max(1, qRound(f.isValid() ? f.lineThickness() : 1.0));
      const int under = std::min(y + ch - thickness, baseline + std::max(1, qRound(f.isValid() ? f.underlinePosition() : 1.0)));
      const QRect line = QRect(x, under, cx - x, thickness) & clip_;
      if (!line.isEmpty()) p_.fillRect(line, p_.pen().color());
    }
  }
  // The border's two straight lines as one-pixel rectangles, drawn only where they meet the
  // area being painted.
  void DrawBorder(int x0, int y0, int x1, int y1, int x2, int y2, ColorRef color) override {
    const QColor c = ColorOf(color);
    for (const QRect& line : {QRect(QPoint(std::min(x0, x1), std::min(y0, y1)), QPoint(std::max(x0, x1), std::max(y0, y1))),
                              QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)))}) {
      const QRect visible = line & clip_;
      if (!visible.isEmpty()) p_.fillRect(visible, c);
    }
  }

 private:
  QPainter& p_;
  Fonts& fonts_;
  QRect clip_;
  int variant_ = 0;
  bool opaque_ = false;
  QColor background_;
  QList<quint32> glyphs_;
  QList<QPointF> positions_;
};

const QImage& QtMainWindow::CellImages::Get(Fonts& fonts, int variant, const uint8_t* bytes, size_t count, int cells, ColorRef fg, ColorRef bg) {
  const uint16_t code = count == 2 ? static_cast<uint16_t>((bytes[0] << 8) | bytes[1]) : bytes[0];
  const Key key{static_cast<uint32_t>(code) | (static_cast<uint32_t>(variant) << 16) |
                    (static_cast<uint32_t>(cells) << 20),
                fg, bg};
  const auto it = images_.constFind(key);
  if (it != images_.cend()) return *it;
  if (images_.size() > 50000) images_.clear();  // a bound for hosts that paint every colour
  QImage image(cells * fonts.cellWidth, fonts.cellHeight, QImage::Format_RGB32);
  image.fill(ColorOf(bg));
  QPainter p(&image);
  {
    Painter port(p, fonts, image.rect());
    port.SelectFontVariant(static_cast<FontVariant>(variant));
    port.UseTextColor(fg);
    port.UseBackground(false, bg);
    port.OutputText(0, 0, bytes, count);
  }
  p.end();
  return *images_.insert(key, image);
}

// Draws into a strip of the window's image by copying cell images, without a QPainter. Used
// while the image has one pixel per unit. Given the strip's record of its cells, a character
// whose cells already show it is not copied again (each frame paints the whole grid), and every
// cell of the grid the model draws is marked in `touched`.
class QtMainWindow::BlitPainter : public PaintPort {
 public:
  BlitPainter(QImage& strip, int stripTop, Fonts& fonts, CellImages& cells, const QRect& clip, ColorRef erase,
              std::vector<CellKey>* record = nullptr, uint8_t* touched = nullptr, int firstCell = 0)
      : bits_(strip.bits()), stride_(strip.bytesPerLine()), top_(stripTop), fonts_(fonts), cells_(cells), clip_(clip),
        erase_(erase), record_(record), touched_(touched), firstCell_(firstCell) {}
  void SelectFontVariant(FontVariant v) override { variant_ = static_cast<int>(v); }
  void UseTextColor(ColorRef c) override { fg_ = c; }
  void UseBackground(bool opaque, ColorRef c) override { bg_ = opaque ? c : erase_; }
  void UseCharacterExtra(int) override {}
  void OutputText(int x, int y, const uint8_t* bytes, size_t count) override {
    const int cw = fonts_.cellWidth, ch = fonts_.cellHeight;
    if (y > clip_.bottom() || y + ch <= clip_.top()) return;
    // Straight to the first character the clip meets: the cells before it are not walked.
    // The run starts on a character boundary; a byte that cannot be a lead byte ends a
    // character, so the boundary before the clip is found from the lead bytes just before it.
    size_t i = 0;
    if (clip_.left() > x) {
      size_t k = std::min<size_t>(count, static_cast<size_t>((clip_.left() - x) / cw));
      size_t start = k;
      while (start > 0 && IsSjisLeadByte(bytes[start - 1])) --start;
      if ((k - start) % 2 == 1) --k;
      i = k;
    }
    int cx = x + static_cast<int>(i) * cw;
    for (; i < count;) {
      const bool pair = IsSjisLeadByte(bytes[i]) && i + 1 < count;
      const size_t n = pair ? 2 : 1;
      const int cells = pair ? 2 : 1;
      if (cx > clip_.right()) break;
      if (cx + cells * cw > clip_.left()) Put(bytes + i, n, cells, cx, y);
      cx += cells * cw;
      i += n;
    }
  }
  void DrawBorder(int x0, int y0, int x1, int y1, int x2, int y2, ColorRef color) override {
    for (const QRect& line : {QRect(QPoint(std::min(x0, x1), std::min(y0, y1)), QPoint(std::max(x0, x1), std::max(y0, y1))),
                              QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)))}) {
      Fill(line & clip_, ColorOf(color).rgb());
    }
  }
  // The pixel columns of what the cell record let through, [left, right); empty when left >= right.
  int changedLeft() const { return changedLeft_; }
  int changedRight() const { return changedRight_; }

 private:
  // One character of `cells` cells at x: copied unless the record says its cells in the clip
  // show it already.
  void Put(const uint8_t* bytes, size_t n, int cells, int x, int y) {
    if (record_ == nullptr) {
      Copy(cells_.Get(fonts_, variant_, bytes, n, cells, fg_, bg_), QPoint(x, y));
      return;
    }
    const uint32_t code = n == 2 ? static_cast<uint32_t>((bytes[0] << 8) | bytes[1]) : bytes[0];
    const uint32_t character = code | (static_cast<uint32_t>(variant_) << 16) | (static_cast<uint32_t>(cells) << 20);
    const int cw = fonts_.cellWidth;
    const int firstIn = std::max(0, (clip_.left() - x) / cw);
    const int lastIn = std::min(cells - 1, (clip_.right() - x) / cw);
    bool shown = true;
    for (int h = firstIn; h <= lastIn; ++h) {
      const size_t cell = static_cast<size_t>(x / cw + h);
      touched_[cell - static_cast<size_t>(firstCell_)] = 1;
      shown = shown && (*record_)[cell] == CellKey{character | (static_cast<uint32_t>(h) << 23), fg_, bg_};
    }
    if (shown) return;
    Copy(cells_.Get(fonts_, variant_, bytes, n, cells, fg_, bg_), QPoint(x, y));
    changedLeft_ = std::min(changedLeft_, x + firstIn * cw);
    changedRight_ = std::max(changedRight_, x + (lastIn + 1) * cw);
    for (int h = firstIn; h <= lastIn; ++h) {
      (*record_)[static_cast<size_t>(x / cw + h)] = CellKey{character | (static_cast<uint32_t>(h) << 23), fg_, bg_};
    }
  }
  // Copies the part of `image` placed at `at` that lies in the clip.
  void Copy(const QImage& image, QPoint at) {
    const QRect area = QRect(at, image.size()) & clip_;
    if (area.isEmpty()) return;
    const auto width = static_cast<size_t>(area.width()) * sizeof(QRgb);
    const uchar* from = image.constBits();
    const qsizetype fromStride = image.bytesPerLine();
    for (int y = area.top(); y <= area.bottom(); ++y) {
      auto* to = reinterpret_cast<QRgb*>(bits_ + (y - top_) * stride_) + area.left();
      const auto* src = reinterpret_cast<const QRgb*>(from + (y - at.y()) * fromStride) + (area.left() - at.x());
      std::memcpy(to, src, width);
    }
  }
  void Fill(const QRect& area, QRgb color) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(bits_ + (y - top_) * stride_);
      std::fill(row + area.left(), row + area.right() + 1, color);
    }
  }

  uchar* bits_;
  qsizetype stride_;
  int top_;
  Fonts& fonts_;
  CellImages& cells_;
  QRect clip_;
  ColorRef erase_;
  std::vector<CellKey>* record_;
  uint8_t* touched_;
  int firstCell_;
  int variant_ = 0;
  ColorRef fg_ = 0;
  ColorRef bg_ = 0;
  int changedLeft_ = INT_MAX;
  int changedRight_ = INT_MIN;
};

namespace {

// Fills pixel columns [left, right) of a strip of one pixel per unit, its whole height.
void FillColumns(QImage& strip, int left, int right, QRgb color) {
  uchar* bits = strip.bits();
  const qsizetype stride = strip.bytesPerLine();
  for (int y = 0; y < strip.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(bits + y * stride);
    std::fill(row + left, row + right, color);
  }
}

}  // namespace

// --- damage and painting ---

// The window's image is kept as one strip per cell row, so that scrolling whole lines (what
// a host's output does all the time) moves strips instead of pixels.
void QtMainWindow::EnsureImage(bool checkScale) {
  const qreal dpr = checkScale || strips_.empty() ? view_->devicePixelRatioF() : stripDpr_;
  const int ch = std::max(fonts_->cellHeight, 1);
  const int width = std::max(view_->width(), 1);
  const int count = std::max(1, (view_->height() + ch - 1) / ch);
  if (!strips_.empty() && stripHeight_ == ch && stripWidth_ == width && stripDpr_ == dpr &&
      static_cast<int>(strips_.size()) == count) {
    return;
  }
  strips_.clear();
  ownedStrips_.clear();
  for (int i = 0; i < count; ++i) {
    auto strip = std::make_unique<Strip>();
    strip->image = QImage(QSize(width, ch) * dpr, QImage::Format_RGB32);
    strip->image.setDevicePixelRatio(dpr);
    strip->image.fill(background_);
    strips_.push_back(strip.get());
    ownedStrips_.push_back(std::move(strip));
  }
  stripHeight_ = ch;
  stripWidth_ = width;
  stripDpr_ = dpr;
  Damage(0, 0, view_->width(), view_->height());
}

// After the glyphs change (a new font), no cell shows what its record says.
void QtMainWindow::ForgetCells() {
  for (Strip* strip : strips_) strip->cells.clear();
}

void QtMainWindow::RedrawAll() {
  strips_.clear();  // made anew, blank, at the next drawing
  ownedStrips_.clear();
  damageFirst_ = 1;
  damageLast_ = 0;
  InvalidateAll();
}

QImage QtMainWindow::image() {
  EnsureImage(true);
  FlushDamage();
  const qreal dpr = stripDpr_;
  QImage whole(view_->size() * dpr, QImage::Format_RGB32);
  whole.setDevicePixelRatio(dpr);
  whole.fill(background_);
  QPainter p(&whole);
  for (size_t i = 0; i < strips_.size(); ++i) p.drawImage(QPoint(0, static_cast<int>(i) * stripHeight_), strips_[i]->image);
  return whole;
}

// What changed is drawn and shown once a frame, however many characters changed it.
void QtMainWindow::ShowArea(const QRect& area) {
  ShowArea(area.left(), area.top(), area.left() + area.width(), area.top() + area.height());
}

void QtMainWindow::OnFrame() {
  if (view_ == nullptr) {
    framePending_ = false;
    return;
  }
  ApplyScrollBar();
  FlushDamage();  // still inside this frame: what it draws asks for no other
  if (caretShownAt_ != caretRect_) {
    if (caretShownAt_.isValid()) ShowArea(caretShownAt_);
    UpdateCaretArea();
    caretShownAt_ = caretRect_;
  }
  framePending_ = false;
  if (shownLeft_ < shownRight_) view_->update(QRect(shownLeft_, shownTop_, shownRight_ - shownLeft_, shownBottom_ - shownTop_));
  shownLeft_ = shownRight_ = 0;
}

void QtMainWindow::Damage(int left, int top, int right, int bottom) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, view_->width());
  bottom = std::min(bottom, view_->height());
  if (left >= right || top >= bottom) return;
  const int ch = std::max(stripHeight_, 1);
  int first = lastDamaged_, last = lastDamaged_;
  // Most damage lies on the strip of the damage before (output keeps arriving on the bottom row).
  if (top < lastDamaged_ * ch || bottom > (lastDamaged_ + 1) * ch || lastDamaged_ >= static_cast<int>(strips_.size())) {
    first = top / ch;
    last = std::min(static_cast<int>(strips_.size()) - 1, (bottom - 1) / ch);
    if (first > last) return;
    lastDamaged_ = last;
  }
  DamageStrips(first, last, left, right);
}

void QtMainWindow::DamageStrips(int first, int last, int left, int right) {
  for (int i = first; i <= last; ++i) {
    Strip& strip = *strips_[static_cast<size_t>(i)];
    if (strip.damageLeft >= strip.damageRight) {
      strip.damageLeft = left;
      strip.damageRight = right;
    } else {
      strip.damageLeft = std::min(strip.damageLeft, left);
      strip.damageRight = std::max(strip.damageRight, right);
    }
  }
  if (damageFirst_ > damageLast_) {
    damageFirst_ = first;
    damageLast_ = last;
  } else {
    damageFirst_ = std::min(damageFirst_, first);
    damageLast_ = std::max(damageLast_, last);
  }
}

// Damage is noted per strip, as the pixel columns to draw again. The logic gives it joined,
// a line at a time rather than a character at a time, while the host's output is read.
void QtMainWindow::InvalidatePixels(const PixelRect& area) {
  const int left = std::max(area.left, 0), top = std::max(area.top, 0);
  const int right = std::min(area.right, view_->width()), bottom = std::min(area.bottom, view_->height());
  if (left >= right || top >= bottom) return;
  ShowArea(0, 0, 0, 0);  // the frame draws and shows it
  Damage(left, top, right, bottom);
}

void QtMainWindow::InvalidateAll() {
  Damage(0, 0, view_->width(), view_->height());
  ShowArea(view_->rect());
}

// The damage is drawn when the frame shows it (or the image is read): the cells a host
// rewrites many times within a frame, and the lines that scroll away before it, are drawn once
// or not at all.
void QtMainWindow::UpdateNow() {}

void QtMainWindow::FlushDamage() {
  EnsureImage(false);
  if (logic_ == nullptr) return;
  if (damageFirst_ > damageLast_) return;
  const int first = damageFirst_, last = std::min(damageLast_, static_cast<int>(strips_.size()) - 1);
  damageFirst_ = 1;
  damageLast_ = 0;
  for (int i = first; i <= last; ++i) {
    Strip& strip = *strips_[static_cast<size_t>(i)];
    const int left = strip.damageLeft, right = strip.damageRight;
    strip.damageLeft = strip.damageRight = 0;
    if (left < right) DrawStrip(i, left, right);
  }
}

void QtMainWindow::DrawStrip(int i, int left, int right) {
  Strip& strip = *strips_[static_cast<size_t>(i)];
  const int ch = stripHeight_, top = i * ch;
  const QRect part(left, top, right - left, ch);
  if (stripDpr_ != 1.0) {
    ShowArea(part);
    // Each strip keeps its painter open: most frames draw into the same few strips.
    QPainter& p = strip.painter;
    if (!p.isActive()) p.begin(&strip.image);
    p.setTransform(QTransform::fromTranslate(0, -top));
    p.fillRect(part, background_);  // the erase of the invalidated area
    Painter port(p, *fonts_, part);
    // The bottom given is the last pixel row, so that only this strip's cell row is drawn.
    logic_->Paint(port, PixelRect{left, top, right, top + ch - 1});
    return;
  }
  // One pixel per unit: cells are copied into the strip directly.
  if (strip.painter.isActive()) strip.painter.end();
  const ScreenModel& s = logic_->screen();
  const int cw = std::max(fonts_->cellWidth, 1);
  // What changed in the strip, for Qt to show.
  int changedLeft = right, changedRight = left;
  const QRgb erase = background_.rgb();
  const ColorRef eraseRef = RefOf(background_);
  const int gridRight = GridRight();
  int outsideLeft = left;
  if (i < s.rows() && left < gridRight) {
    // The grid's cells that meet the damage, drawn through the cell record: what the model
    // draws is copied where it is not shown already, the rest is erased where it is not erased.
    const int firstCell = left / cw;
    const int endCell = std::min(s.columns(), (std::min(right, gridRight) + cw - 1) / cw);
    if (strip.cells.size() < static_cast<size_t>(s.columns())) strip.cells.resize(static_cast<size_t>(s.columns()));
    touched_.assign(static_cast<size_t>(endCell - firstCell), 0);
    const QRect cells(firstCell * cw, top, (endCell - firstCell) * cw, ch);
    BlitPainter port(strip.image, top, *fonts_, *cellImages_, cells, eraseRef, &strip.cells, touched_.data(), firstCell);
    logic_->Paint(port, PixelRect{cells.left(), top, cells.left() + cells.width(), top + ch - 1});
    changedLeft = std::min(changedLeft, port.changedLeft());
    changedRight = std::max(changedRight, port.changedRight());
    const CellKey erased{kErasedCell, 0, eraseRef};
    for (int c = firstCell; c < endCell; ++c) {
      CellKey& key = strip.cells[static_cast<size_t>(c)];
      if (touched_[static_cast<size_t>(c - firstCell)] != 0 || key == erased) continue;
      FillColumns(strip.image, c * cw, (c + 1) * cw, erase);
      key = erased;
      changedLeft = std::min(changedLeft, c * cw);
      changedRight = std::max(changedRight, (c + 1) * cw);
    }
    outsideLeft = std::max(left, endCell * cw);
  }
  if (outsideLeft < right) {
    // Beyond the grid (the border and the margin): erased and drawn anew.
    FillColumns(strip.image, outsideLeft, right, erase);
    BlitPainter port(strip.image, top, *fonts_, *cellImages_, QRect(outsideLeft, top, right - outsideLeft, ch), eraseRef);
    logic_->Paint(port, PixelRect{outsideLeft, top, right, top + ch - 1});
    changedLeft = std::min(changedLeft, outsideLeft);
    changedRight = right;
  }
  ShowArea(changedLeft, top, changedRight, top + ch);
}

// Damage moves with the strips that carry it; an area scrolled any other way is drawn anew
// whole, so nothing needs drawing first. This is on the path of every line a host's output
// scrolls, so the strips are not made to fit here: the next drawing makes them fit and, if it
// has to, draws them all anew.
void QtMainWindow::ScrollPixels(const PixelRect& area, int dx, int dy) {
  const int left = std::max(area.left, 0), top = std::max(area.top, 0);
  const int right = std::min(area.right, view_->width()), bottom = std::min(area.bottom, view_->height());
  if (left >= right || top >= bottom) return;
  ShowArea(left, top, right, bottom);
  const int ch = stripHeight_;
  const int first = top / ch;
  const int end = std::min(static_cast<int>(strips_.size()), bottom / ch);
  if (dx == 0 && dy % ch == 0 && top % ch == 0 && bottom % ch == 0 && left == 0 && right >= GridRight() && end > first) {
    // Whole lines of the whole grid: the strips change places, with the records of their
    // cells. (What lies right of the grid is the same in every strip.)
    const int k = dy / ch;
    const auto from = strips_.begin() + first, to = strips_.begin() + end;
    if (damageFirst_ <= damageLast_) {
      // Damaged strips may move anywhere in the area.
      damageFirst_ = std::min(damageFirst_, first);
      damageLast_ = std::max(damageLast_, end - 1);
    }
    if (std::abs(k) >= end - first) {
      DamageStrips(first, end - 1, left, right);
    } else if (k < 0) {
      std::rotate(from, from - k, to);
      DamageStrips(end + k, end - 1, left, right);
    } else if (k > 0) {
      std::rotate(from, to - k, to);
      DamageStrips(first, first + k - 1, left, right);
    }
    return;
  }
  // Anything else is drawn anew from the model.
  Damage(left, top, right, bottom);
}

}  // namespace velmora

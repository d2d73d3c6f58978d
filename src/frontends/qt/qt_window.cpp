#include "frontends/qt/qt_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QGlyphRun>
#include <QRawFont>
#include <QHash>
#include <QScrollBar>
#include <QSessionManager>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cstring>

#include "app/ui_text.h"
#include "emulation/key_encoder.h"
#include "encoding/cp932.h"
#include "frontends/qt/qt_dialogs.h"
#include "frontends/qt/qt_text.h"
#include "render/font_metrics.h"

namespace velmora {
namespace {

QColor ColorOf(ColorRef c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
ColorRef RefOf(const QColor& c) { return Rgb(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue())); }

// Families tried, in order, for the terminal font when none is stored: fixed-pitch faces
// with Japanese glyphs as Debian packages them.
const char* const kJapaneseFixedFamilies[] = {
    "IPAGothic", "IPAゴシック", "Noto Sans Mono CJK JP", "VL Gothic", "TakaoGothic", "Migu 1M", "Sazanami Gothic",
};

bool HasJapanese(const QString& family) {
  return QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese);
}

// The key codes the terminal encodes itself, from Qt's keys.
uint32_t VirtualKeyOf(int key) {
  switch (key) {
    case Qt::Key_Left: return kVkLeft;
    case Qt::Key_Up: return kVkUp;
    case Qt::Key_Right: return kVkRight;
    case Qt::Key_Down: return kVkDown;
    case Qt::Key_F1: return kVkF1;
    case Qt::Key_F2: return kVkF2;
    case Qt::Key_F3: return kVkF3;
    case Qt::Key_F4: return kVkF4;
    default: return 0;
  }
}

// The command of an Alt+letter accelerator, or 0.
int AcceleratorCommand(const QKeyEvent* e) {
  if ((e->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier | Qt::MetaModifier)) !=
      Qt::AltModifier) {
    return 0;
  }
  for (const AcceleratorEntry& a : AcceleratorTable()) {
    if (e->key() == a.key) return a.command;
  }
  return 0;
}

// Text typed or committed by the input method, as code page 932 characters: a double-byte
// character takes the input-method path (which sends both halves in the host encoding), a
// single byte the typed-byte path, or the input-method path when it came from there.
void SendText(MainWindow& logic, const QString& text, bool fromInputMethod) {
  const std::string bytes = QStringToCp932(text);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    if (IsSjisLeadByte(b) && i + 1 < bytes.size()) {
      logic.OnImeChar(static_cast<uint16_t>((b << 8) | static_cast<uint8_t>(bytes[i + 1])));
      ++i;
    } else if (fromInputMethod) {
      logic.OnImeChar(b);
    } else {
      logic.OnChar(b);
    }
  }
}

}  // namespace

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

// Each character cell as it looks in one font variant and pair of colours, drawn once by the
// Painter above and then copied: drawing a character into the image costs a copy of its cells.
class QtMainWindow::CellImages {
 public:
  // The image of a character (1 or 2 code page 932 bytes) `cells` wide.
  const QImage& Get(Fonts& fonts, int variant, const uint8_t* bytes, size_t count, int cells, ColorRef fg, ColorRef bg) {
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

// ---------------------------------------------------------------------------------------------
// The terminal view

QtTerminalView::QtTerminalView(QtMainWindow& window) : QWidget(&window), window_(window) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_InputMethodEnabled);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::IBeamCursor);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

bool QtTerminalView::event(QEvent* e) {
  if (window_.logic_ == nullptr) {
    // Without the logic (the window is going away) input and focus changes mean nothing.
    switch (e->type()) {
      case QEvent::FocusIn:
      case QEvent::FocusOut:
      case QEvent::KeyPress:
      case QEvent::ShortcutOverride:
      case QEvent::InputMethod:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
        return true;
      default:
        return QWidget::event(e);
    }
  }
  // The Alt accelerators and the terminal's own keys come before any shortcut of the menus, and
  // Tab stays in the terminal instead of moving the focus.
  if (e->type() == QEvent::ShortcutOverride) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (AcceleratorCommand(k) != 0 || (k->modifiers() & Qt::AltModifier) == 0) {
      e->accept();
      return true;
    }
  }
  if (e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
      keyPressEvent(k);
      return true;
    }
  }
  return QWidget::event(e);
}

void QtTerminalView::paintEvent(QPaintEvent* e) {
  window_.EnsureImage(true);
  window_.FlushDamage();
  QPainter p(this);
  const QColor bg = window_.background_;
  const QRect exposed = e->region().boundingRect();
  p.setClipRegion(e->region());
  const int ch = window_.stripHeight_;
  int y = 0;
  for (const auto& strip : window_.strips_) {
    if (y + ch > exposed.top() && y <= exposed.bottom()) p.drawImage(QPoint(0, y), strip->image);
    y += ch;
  }
  if (y <= exposed.bottom()) p.fillRect(QRect(0, y, width(), exposed.bottom() + 1 - y), bg);
  if (exposed.right() >= window_.stripWidth_) p.fillRect(QRect(window_.stripWidth_, 0, exposed.right() + 1, height()), bg);
  if (!preedit_.isEmpty()) {
    // The text being composed, underlined at the composition position.
    const QFontMetrics fm(window_.compositionFont_);
    const QRect box(window_.composition_, QSize(fm.horizontalAdvance(preedit_) + 1, fm.height()));
    p.fillRect(box, bg);
    p.setFont(window_.compositionFont_);
    p.setPen(ColorOf(SchemeColor(window_.logic().colors(), kColorWindowText, window_)));
    p.drawText(box.left(), box.top() + fm.ascent(), preedit_);
    p.drawLine(box.left(), box.bottom(), box.right(), box.bottom());
  } else if (window_.caretShown() && window_.blinkOn_) {
    // A solid caret inverts what is under it.
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.fillRect(window_.caretRect_, Qt::white);
  }
}

void QtTerminalView::resizeEvent(QResizeEvent*) { window_.InvalidateAll(); }

void QtTerminalView::keyPressEvent(QKeyEvent* e) {
  MainWindow& logic = window_.logic();
  if (const int command = AcceleratorCommand(e); command != 0) {
    logic.OnCommand(command);
    return;
  }
  if (const uint32_t vk = VirtualKeyOf(e->key()); vk != 0) {
    if (logic.OnKeyDown(vk, 0)) return;
  }
  // Control with a letter or one of @[\]^_ gives the control byte, as a terminal keyboard does.
  const Qt::KeyboardModifiers mods = e->modifiers();
  if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier)) {
    const int key = e->key();
    if (key >= Qt::Key_At && key <= Qt::Key_Underscore) {
      logic.OnChar(static_cast<uint8_t>(key - Qt::Key_At));
      return;
    }
    if (key == Qt::Key_Space) {
      logic.OnChar(0);
      return;
    }
  }
  // Alt with a key that is no accelerator is the menus' business (a mnemonic or nothing), and
  // Delete is no character key: neither sends anything, though the desktop may give them text
  // (Delete's is DEL).
  if (((mods & Qt::AltModifier) && !(mods & Qt::ControlModifier)) || e->key() == Qt::Key_Delete) {
    QWidget::keyPressEvent(e);
    return;
  }
  QString text = e->text();
  if (text.isEmpty()) {
    switch (e->key()) {  // keys whose text some platforms leave out
      case Qt::Key_Return:
      case Qt::Key_Enter: text = QStringLiteral("\r"); break;
      case Qt::Key_Backspace: text = QStringLiteral("\b"); break;
      case Qt::Key_Tab: text = QStringLiteral("\t"); break;
      case Qt::Key_Escape: text = QStringLiteral("\x1b"); break;
      default: break;
    }
  }
  if (text.isEmpty()) {
    QWidget::keyPressEvent(e);
    return;
  }
  SendText(logic, text, false);
}

void QtTerminalView::inputMethodEvent(QInputMethodEvent* e) {
  MainWindow& logic = window_.logic();
  if (preedit_.isEmpty() && !e->preeditString().isEmpty()) logic.OnImeStartComposition();
  SendText(logic, e->commitString(), true);
  preedit_ = e->preeditString();
  update();
  e->accept();
}

QVariant QtTerminalView::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled: return true;
    case Qt::ImCursorRectangle:
    case Qt::ImAnchorRectangle: {
      // The cursor cell of the screen, kept inside the grid.
      const ScreenModel& s = window_.logic_->screen();
      const FontMetrics& m = window_.logic_->metrics();
      const int x = std::clamp(s.state.cursorCol * m.cellWidth, 0, s.columns * m.cellWidth);
      const int y = std::clamp(s.state.cursorRow * m.cellHeight, 0, s.rows * m.cellHeight);
      return QRect(x, y, m.cellWidth, m.cellHeight);
    }
    case Qt::ImFont: return LogFontToQFont(window_.logic_->settings().logFont);
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition: return 0;
    case Qt::ImSurroundingText:
    case Qt::ImCurrentSelection: return QString();
    case Qt::ImHints: return static_cast<int>(Qt::ImhNone);
    default: return QWidget::inputMethodQuery(query);
  }
}

void QtTerminalView::mousePressEvent(QMouseEvent* e) {
  window_.lastMouse_ = e->position().toPoint();
  if (e->button() == Qt::LeftButton) {
    window_.logic().OnLButtonDown(window_.lastMouse_.x(), window_.lastMouse_.y());
  } else if (e->button() == Qt::RightButton) {
    window_.logic().OnRButtonDown();
  }
}

void QtTerminalView::mouseMoveEvent(QMouseEvent* e) {
  window_.lastMouse_ = e->position().toPoint();
  if (e->buttons() & Qt::LeftButton) window_.logic().OnMouseMove(window_.lastMouse_.x(), window_.lastMouse_.y());
}

void QtTerminalView::mouseReleaseEvent(QMouseEvent* e) {
  window_.lastMouse_ = e->position().toPoint();
  if (e->button() == Qt::LeftButton) window_.logic().OnLButtonUp();
}

void QtTerminalView::mouseDoubleClickEvent(QMouseEvent* e) {
  window_.lastMouse_ = e->position().toPoint();
  // The second click of a right double click does nothing, as the first one did everything.
  if (e->button() == Qt::LeftButton) window_.logic().OnLButtonDblClk();
}

void QtTerminalView::wheelEvent(QWheelEvent* e) {
  unsigned flags = 0;
  if (e->modifiers() & Qt::ShiftModifier) flags |= 0x04u;
  if (e->modifiers() & Qt::ControlModifier) flags |= 0x08u;
  const int delta = e->angleDelta().y();
  if (delta != 0) window_.logic().OnMouseWheel(delta, flags);
  e->accept();
}

void QtTerminalView::focusInEvent(QFocusEvent*) {
  window_.focused_ = true;
  window_.logic().OnSetFocus();
  window_.blinkOn_ = true;
  window_.UpdateCaretArea();
}

void QtTerminalView::focusOutEvent(QFocusEvent*) {
  window_.focused_ = false;
  window_.logic().OnKillFocus();
  window_.UpdateCaretArea();
}

// ---------------------------------------------------------------------------------------------
// The main window

QtMainWindow::QtMainWindow() : fonts_(std::make_unique<Fonts>()), cellImages_(std::make_unique<CellImages>()) {
  ReadSystemColors();
  setWindowIcon(VelmoraIcon());
  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  view_ = new QtTerminalView(*this);
  scrollBar_ = new QScrollBar(Qt::Vertical, central);
  scrollBar_->setFocusPolicy(Qt::NoFocus);
  scrollBar_->setRange(0, 0);
  scrollBar_->setEnabled(false);
  scrollBar_->installEventFilter(this);
  layout->addWidget(view_, 1);
  layout->addWidget(scrollBar_, 0);
  central->setAutoFillBackground(true);
  setCentralWidget(central);
  BuildMenus();

  connect(scrollBar_, &QScrollBar::actionTriggered, this, &QtMainWindow::OnScrollAction);
  connect(scrollBar_, &QScrollBar::sliderReleased, this,
          [this] { logic_->OnVScroll(kSbThumbPosition, scrollBar_->sliderPosition()); });

  frameTimer_.setSingleShot(true);
  frameTimer_.setInterval(16);
  connect(&frameTimer_, &QTimer::timeout, this, &QtMainWindow::OnFrame);
  connect(&blinkTimer_, &QTimer::timeout, this, [this] {
    blinkOn_ = !blinkOn_;
    UpdateCaretArea();
  });
  selectionTimer_.setInterval(100);
  connect(&selectionTimer_, &QTimer::timeout, this, [this] {
    if (logic_ != nullptr) logic_->OnSelectionTimer();
  });
  connect(qApp, &QGuiApplication::commitDataRequest, this, &QtMainWindow::OnCommitData);
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
    if (logic_ != nullptr && !destroying_) logic_->OnEndSession(true);
  });
}

// The terminal view goes first, while this window is whole: events it receives on the way
// (the focus leaving) find no logic and do nothing. The logic goes last.
QtMainWindow::~QtMainWindow() {
  logic_ = nullptr;
  frameTimer_.stop();
  blinkTimer_.stop();
  selectionTimer_.stop();
  delete takeCentralWidget();
  view_ = nullptr;
  scrollBar_ = nullptr;
  ownedLogic_.reset();
}

MainWindow& QtMainWindow::MakeLogic(Socket& socket, RegistryStore& store, int processId) {
  ownedLogic_ = std::make_unique<MainWindow>(*this, socket, store, processId);
  logic_ = ownedLogic_.get();
  return *logic_;
}

bool QtMainWindow::Create() {
  SetWindowBackground(logic_->colors());
  return logic_->OnCreate();
}

void QtMainWindow::BuildMenus() {
  const auto popups = MainMenu();
  for (size_t position = 0; position < popups.size(); ++position) {
    QMenu* menu = menuBar()->addMenu(Utf8(popups[position].text));
    for (const MenuEntry& entry : popups[position].entries) {
      if (entry.kind == MenuEntryKind::kSeparator) {
        menu->addSeparator();
      } else if (entry.kind == MenuEntryKind::kSubmenu) {
        QMenu* sub = menu->addMenu(Utf8(entry.text));
        for (const MenuEntry& item : entry.submenu) {
          QAction* a = sub->addAction(Utf8(MenuItemCaption(item)));
          actions_[item.command] = a;
          connect(a, &QAction::triggered, this, [this, id = item.command] { logic_->OnCommand(id); });
        }
        connect(sub, &QMenu::aboutToShow, this, [this, sub] { OnPopupShown(sub, kEncodingSubmenuPopup, true); });
      } else {
        // The accelerator label follows a tab in the text; the keys themselves are the view's.
        QAction* a = menu->addAction(Utf8(MenuItemCaption(entry)));
        actions_[entry.command] = a;
        connect(a, &QAction::triggered, this, [this, id = entry.command] { logic_->OnCommand(id); });
      }
    }
    connect(menu, &QMenu::aboutToShow, this,
            [this, menu, p = static_cast<int>(position)] { OnPopupShown(menu, p, false); });
  }
}

QAction* QtMainWindow::action(int command) const {
  const auto it = actions_.find(command);
  return it == actions_.end() ? nullptr : it->second;
}

void QtMainWindow::OnPopupShown(QMenu*, int position, bool encodingSubmenu) {
  for (const MenuItemState& state : logic_->MenuStateForPopup(position, encodingSubmenu)) {
    QAction* a = action(state.id);
    if (a == nullptr) continue;
    a->setEnabled(state.enabled);
    a->setCheckable(state.checked);
    a->setChecked(state.checked);
  }
}

void QtMainWindow::OnScrollAction(int act) {
  switch (act) {
    case QAbstractSlider::SliderSingleStepAdd: logic_->OnVScroll(kSbLineDown, 0); break;
    case QAbstractSlider::SliderSingleStepSub: logic_->OnVScroll(kSbLineUp, 0); break;
    case QAbstractSlider::SliderPageStepAdd: logic_->OnVScroll(kSbPageDown, 0); break;
    case QAbstractSlider::SliderPageStepSub: logic_->OnVScroll(kSbPageUp, 0); break;
    case QAbstractSlider::SliderToMinimum: logic_->OnVScroll(kSbTop, 0); break;
    case QAbstractSlider::SliderToMaximum: logic_->OnVScroll(kSbBottom, 0); break;
    case QAbstractSlider::SliderMove: logic_->OnVScroll(kSbThumbTrack, scrollBar_->sliderPosition()); break;
    default: break;
  }
  // The slider takes the position the logic gave it, not the one it computed itself.
  ApplyScrollBar();
  const QSignalBlocker block(scrollBar_);
  if (act != QAbstractSlider::SliderMove) scrollBar_->setSliderPosition(bar_.position);
}

void QtMainWindow::OnCommitData(QSessionManager& manager) {
  if (!logic_->OnQueryEndSession()) manager.cancel();
}

void QtMainWindow::closeEvent(QCloseEvent* e) {
  if (destroying_ || logic_ == nullptr) {
    e->accept();
    return;
  }
  e->ignore();
  logic_->OnClose();
}

// A new desktop palette: the system colours are read again and the window is fitted and
// painted anew, as for any change of the system's settings.
void QtMainWindow::changeEvent(QEvent* e) {
  if (e->type() == QEvent::PaletteChange && logic_ != nullptr) {
    ReadSystemColors();
    SetWindowBackground(logic_->colors());
    logic_->OnSystemSettingsChange();
    InvalidateAll();
  }
  QMainWindow::changeEvent(e);
}

bool QtMainWindow::eventFilter(QObject* watched, QEvent* e) {
  // The wheel over the scroll bar scrolls as it does over the terminal.
  if (watched == scrollBar_ && e->type() == QEvent::Wheel) {
    auto* w = static_cast<QWheelEvent*>(e);
    unsigned flags = 0;
    if (w->modifiers() & Qt::ShiftModifier) flags |= 0x04u;
    if (w->modifiers() & Qt::ControlModifier) flags |= 0x08u;
    if (w->angleDelta().y() != 0) logic_->OnMouseWheel(w->angleDelta().y(), flags);
    return true;
  }
  return QMainWindow::eventFilter(watched, e);
}

// --- caret ---

// The view's focus as its focus events told it: asked after every character the host writes,
// where asking Qt would cost more than the character.
bool QtMainWindow::focusNow() const { return focused_; }
bool QtMainWindow::HasFocus() const { return focusNow(); }

void QtMainWindow::CreateSolidCaret(int width, int height) {
  UpdateCaretArea();
  caretRect_ = QRect(caretRect_.topLeft(), QSize(width, height));
  caretExists_ = true;
  caretVisible_ = 0;  // a new caret starts hidden
}

void QtMainWindow::DestroyCaret() {
  UpdateCaretArea();
  caretExists_ = false;
  caretVisible_ = 0;
  blinkTimer_.stop();
}

void QtMainWindow::ShowCaret() {
  if (!caretExists_) return;
  ++caretVisible_;
  blinkOn_ = true;
  // The desktop's flash time is a whole on-and-off period; none means a caret that stays on.
  if (const int flash = QApplication::cursorFlashTime(); flash > 0) {
    blinkTimer_.start(flash / 2);
  } else {
    blinkTimer_.stop();
  }
  UpdateCaretArea();
}

void QtMainWindow::HideCaret() {
  if (!caretExists_) return;
  --caretVisible_;
  if (caretVisible_ <= 0) blinkTimer_.stop();
  UpdateCaretArea();
}

// The caret follows every character the host writes; where it was and where it is are shown
// at the next frame.
void QtMainWindow::MoveCaret(int x, int y) {
  blinkOn_ = true;  // the caret shows at once where it arrives
  caretRect_.moveTo(x, y);
  ShowArea(0, 0, 0, 0);
}

// --- colours ---

// The desktop's colours, read when the window is made and whenever the palette changes.
void QtMainWindow::ReadSystemColors() {
  const QPalette pal = QApplication::palette();
  systemColors_ = {RefOf(pal.color(QPalette::Base)), RefOf(pal.color(QPalette::Text)),
                   RefOf(pal.color(QPalette::Highlight)), RefOf(pal.color(QPalette::HighlightedText))};
}

ColorRef QtMainWindow::SystemColor(int index) const {
  switch (index) {
    case kColorWindow: return systemColors_[0];
    case kColorWindowText: return systemColors_[1];
    case kColorHighlight: return systemColors_[2];
    case kColorHighlightText: return systemColors_[3];
    default: return 0;
  }
}

void QtMainWindow::SetWindowBackground(const ColorScheme& scheme) {
  background_ = ColorOf(SchemeColor(scheme, kColorWindow, *this));
  QWidget* central = centralWidget();
  QPalette pal = central->palette();
  pal.setColor(QPalette::Window, background_);
  central->setPalette(pal);
}

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
  for (int i = 0; i < count; ++i) {
    auto strip = std::make_unique<Strip>();
    strip->image = QImage(QSize(width, ch) * dpr, QImage::Format_RGB32);
    strip->image.setDevicePixelRatio(dpr);
    strip->image.fill(background_);
    strips_.push_back(std::move(strip));
  }
  stripHeight_ = ch;
  stripWidth_ = width;
  stripDpr_ = dpr;
  copyingCells_ = dpr == 1.0;
  Damage(0, 0, view_->width(), view_->height());
}

// After the glyphs change (a new font), no cell shows what its record says.
void QtMainWindow::ForgetCells() {
  for (const auto& strip : strips_) strip->cells.clear();
}

void QtMainWindow::RedrawAll() {
  strips_.clear();  // made anew, blank, at the next drawing
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
  // Most damage is a character's cells, on the row of the one before.
  if (top < lastDamaged_ * ch || bottom > (lastDamaged_ + 1) * ch || lastDamaged_ >= static_cast<int>(strips_.size())) {
    first = top / ch;
    last = std::min(static_cast<int>(strips_.size()) - 1, (bottom - 1) / ch);
    if (first > last) return;
    lastDamaged_ = last;
  }
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

// While cells are copied (one pixel per unit), damage inside the grid only says that the grid
// changed: the frame compares every cell with what it shows and copies the ones that differ.
// That costs a few dozen instructions a cell once a frame instead of work for every character
// the host writes. Damage beyond the grid, or with a painter, is kept where it is.
void QtMainWindow::InvalidatePixels(const PixelRect& area) {
  // The common case, a character's cells, kept short.
  if (copyingCells_ && logic_ != nullptr && area.left >= 0 && area.top >= 0 && area.left < area.right &&
      area.top < area.bottom && area.right <= GridRight() && area.bottom <= GridBottom()) {
    gridDirty_ = true;
    ShowArea(0, 0, 0, 0);  // the frame draws and shows it
    return;
  }
  InvalidateArea(area);
}

void QtMainWindow::InvalidateArea(const PixelRect& area) {
  int left = std::max(area.left, 0), top = std::max(area.top, 0);
  int right = std::min(area.right, view_->width()), bottom = std::min(area.bottom, view_->height());
  if (left >= right || top >= bottom) return;
  ShowArea(0, 0, 0, 0);
  if (copyingCells_ && logic_ != nullptr) {
    const int gridRight = GridRight(), gridBottom = GridBottom();
    if (left < gridRight && top < gridBottom) {
      gridDirty_ = true;
      if (right > gridRight) Damage(gridRight, top, right, bottom);
      if (bottom > gridBottom) Damage(left, gridBottom, right, bottom);
      return;
    }
  }
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
  if (gridDirty_) {
    gridDirty_ = false;
    Damage(0, 0, GridRight(), GridBottom());
  }
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
  if (i < s.rows && left < gridRight) {
    // The grid's cells that meet the damage, drawn through the cell record: what the model
    // draws is copied where it is not shown already, the rest is erased where it is not erased.
    const int firstCell = left / cw;
    const int endCell = std::min(s.columns, (std::min(right, gridRight) + cw - 1) / cw);
    if (strip.cells.size() < static_cast<size_t>(s.columns)) strip.cells.resize(static_cast<size_t>(s.columns));
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
// whole, so nothing needs drawing first.
void QtMainWindow::ScrollPixels(const PixelRect& area, int dx, int dy) {
  EnsureImage(false);
  const QRect a = ToRect(area) & view_->rect();
  if (a.isEmpty()) return;
  ShowArea(a);
  const int ch = stripHeight_;
  const int gridWidth = GridRight();
  const int top = a.top() / ch;
  const int bottom = std::min(static_cast<int>(strips_.size()), (a.bottom() + 1) / ch);
  if (dx == 0 && dy % ch == 0 && a.top() % ch == 0 && (a.bottom() + 1) % ch == 0 && a.left() == 0 &&
      a.width() >= gridWidth && bottom > top) {
    // Whole lines of the whole grid: the strips change places, with the records of their
    // cells. (What lies right of the grid is the same in every strip.)
    const int k = dy / ch;
    auto first = strips_.begin() + top, end = strips_.begin() + bottom;
    if (damageFirst_ <= damageLast_) {
      // Damaged strips may move anywhere in the area.
      damageFirst_ = std::min(damageFirst_, top);
      damageLast_ = std::max(damageLast_, bottom - 1);
    }
    if (std::abs(k) >= bottom - top) {
      Damage(a.left(), a.top(), a.left() + a.width(), a.top() + a.height());
    } else if (k < 0) {
      std::rotate(first, first - k, end);
      Damage(a.left(), (bottom + k) * ch, a.left() + a.width(), bottom * ch);
    } else if (k > 0) {
      std::rotate(first, end - k, end);
      Damage(a.left(), top * ch, a.left() + a.width(), (top + k) * ch);
    }
    return;
  }
  // Anything else is drawn anew from the model.
  Damage(a.left(), a.top(), a.left() + a.width(), a.top() + a.height());
}

void QtMainWindow::SetScrollBar(const ScrollBarInfo& bar, unsigned parts) {
  if (parts & kScrollRange) {
    bar_.minimum = bar.minimum;
    bar_.maximum = bar.maximum;
  }
  if (parts & kScrollPage) bar_.page = bar.page;
  if (parts & kScrollPosition) bar_.position = bar.position;
  barChanged_ = true;
  ShowArea(QRect());
}

// The scroll bar shows the record as it stands at the frame (or when asked for).
void QtMainWindow::ApplyScrollBar() {
  if (!barChanged_) return;
  barChanged_ = false;
  // Qt's maximum is the last position of the thumb's top; the window system's is the last line.
  const QSignalBlocker block(scrollBar_);
  const int last = std::max(bar_.minimum, bar_.maximum - std::max(bar_.page, 1) + 1);
  scrollBar_->setRange(bar_.minimum, last);
  scrollBar_->setPageStep(std::max(1, bar_.page));
  scrollBar_->setSingleStep(1);
  if (!scrollBar_->isSliderDown()) scrollBar_->setValue(bar_.position);
  scrollBar_->setEnabled(last > bar_.minimum);  // nothing to scroll: shown, but disabled
}

QScrollBar* QtMainWindow::scrollBar() {
  ApplyScrollBar();
  return scrollBar_;
}

// --- the window itself ---

void QtMainWindow::SetTitleText(const std::string& title) { setWindowTitle(Utf8(title)); }

FrameMetrics QtMainWindow::GetFrameMetrics() {
  FrameMetrics m;
  // Qt sizes the window without the window manager's frame and caption; only the scroll bar
  // and the menu bar lie between the grid and the window's size.
  m.cxVScroll = scrollBar_->sizeHint().width();
  m.cyMenu = menuBar()->sizeHint().height();
  return m;
}

void QtMainWindow::ResizeWindow(int outerWidth, int outerHeight, bool redraw) {
  resize(outerWidth, outerHeight);
  if (redraw) InvalidateAll();
}

void QtMainWindow::DestroyNativeWindow() {
  destroying_ = true;
  selectionTimer_.stop();
  blinkTimer_.stop();
  close();
  hide();
  if (logic_ != nullptr) logic_->OnDestroy();
}

void QtMainWindow::PostQuit(int exitCode) {
  exitCode_ = exitCode;
  QMetaObject::invokeMethod(qApp, [exitCode] { QCoreApplication::exit(exitCode); }, Qt::QueuedConnection);
}

void QtMainWindow::AlertSound() { QApplication::beep(); }

void QtMainWindow::PostCloseRequest() {
  QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

// --- fonts ---

FontMetrics QtMainWindow::CreateTerminalFont(const LogFont& description) {
  fontDescription_ = description;
  Fonts& f = *fonts_;
  const QFont plain = LogFontToQFont(description);
  f.font[0] = plain;
  f.font[1] = plain;
  f.font[1].setBold(true);
  f.font[2] = plain;
  f.font[2].setUnderline(true);
  f.font[3] = f.font[1];
  f.font[3].setUnderline(true);

  // The cell from the plain face, measured as the core measures every platform's font.
  class Measurer : public FontMeasurer {
   public:
    Measurer(const Fonts& fonts, uint8_t charSet) : fonts_(fonts), charSet_(charSet) {}
    FontFaceInfo TerminalFace() override {
      const QFontMetrics fm(fonts_.font[0]);
      return FontFaceInfo{fm.horizontalAdvance(QLatin1Char('0')), fm.height(), charSet_};
    }
    int TextWidth(FontVariant v, const uint8_t* bytes, size_t count) override {
      const QFontMetrics fm(fonts_.font[static_cast<size_t>(v)]);
      return fm.horizontalAdvance(Cp932ToQString(std::string_view(reinterpret_cast<const char*>(bytes), count)));
    }

   private:
    const Fonts& fonts_;
    uint8_t charSet_;
  };
  uint8_t charSet = description.charSet();
  if (charSet != kShiftJisCharSet && HasJapanese(QFontInfo(plain).family())) charSet = kShiftJisCharSet;
  Measurer measurer(f, charSet);
  FontMetrics metrics = MeasureFont(measurer);
  metrics.cellWidth = std::max(metrics.cellWidth, 1);
  metrics.cellHeight = std::max(metrics.cellHeight, 1);
  f.cellWidth = metrics.cellWidth;
  f.cellHeight = metrics.cellHeight;
  for (size_t v = 0; v < 4; ++v) {
    f.ascent[v] = QFontMetrics(f.font[v]).ascent();
    f.raw[v] = QRawFont::fromFont(f.font[v]);
  }
  f.glyphs.clear();
  cellImages_->Clear();
  ForgetCells();
  compositionFont_ = plain;
  InvalidateAll();
  return metrics;
}

LogFont QtMainWindow::SystemFixedFontDescription() {
  const QStringList families = QFontDatabase::families();
  for (const char* name : kJapaneseFixedFamilies) {
    const QString family = QString::fromUtf8(name);
    if (families.contains(family)) {
      QFont f(family);
      f.setPixelSize(16);
      return QFontToLogFont(f, kShiftJisCharSet);
    }
  }
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setPixelSize(16);
  return QFontToLogFont(f, HasJapanese(f.family()) ? kShiftJisCharSet : 0);
}

LogFont QtMainWindow::CurrentFontDescription() {
  const QFontInfo info(fonts_->font[0]);
  QFont real(info.family());
  real.setPixelSize(info.pixelSize());
  real.setBold(info.bold());
  real.setItalic(info.italic());
  return QFontToLogFont(real, HasJapanese(info.family()) ? kShiftJisCharSet : 0);
}

void QtMainWindow::PlaceComposition(int x, int y, const LogFont& font) {
  composition_ = QPoint(x, y);
  compositionFont_ = LogFontToQFont(font);
  if (QInputMethod* im = QGuiApplication::inputMethod()) im->update(Qt::ImCursorRectangle | Qt::ImFont);
}

// --- dialogs and messages ---

bool QtMainWindow::ChooseTerminalFont(LogFont& font) { return ChooseQtTerminalFont(this, font); }
bool QtMainWindow::RunTerminalSizeDialog(TerminalSizeDialogModel& model) { return RunQtTerminalSizeDialog(this, model); }
void QtMainWindow::RunAboutDialog() { RunQtAboutDialog(this); }
bool QtMainWindow::RunColorDialog(ColorDialogModel& model, CustomColors& customColors) {
  return RunQtColorDialog(this, model, customColors, *this);
}
bool QtMainWindow::RunConnectDialog(ConnectDialogModel& model, ConnectDialogState& state) {
  return RunQtConnectDialog(this, model, state);
}
bool QtMainWindow::AskYesNo(const std::string& text, MessageIcon icon) {
  return AskQtYesNo(this, Utf8(text), icon == MessageIcon::Question);
}
void QtMainWindow::ShowMessage(const std::string& text) { ShowQtMessage(this, Utf8(text)); }

// --- clipboard: Unicode with the desktop's line breaks outside, code page 932 with CR LF inside ---

bool QtMainWindow::ClipboardHasText() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data != nullptr && data->hasText();
}

std::optional<std::string> QtMainWindow::GetClipboardText() {
  if (!ClipboardHasText()) return std::nullopt;
  QString text = QGuiApplication::clipboard()->text();
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return QStringToCp932(text);
}

bool QtMainWindow::SetClipboardText(const std::string& text) {
  QString unicode = Cp932ToQString(text);
  unicode.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QGuiApplication::clipboard()->setText(unicode, QClipboard::Clipboard);
  return true;
}

// --- mouse ---

PixelRect QtMainWindow::ClientArea() { return PixelRect{0, 0, view_->width(), view_->height()}; }

void QtMainWindow::CursorPosition(int& x, int& y) {
  x = lastMouse_.x();
  y = lastMouse_.y();
}

int QtMainWindow::WheelScrollLines() { return QApplication::wheelScrollLines(); }

// ---------------------------------------------------------------------------------------------

bool QtStartupPlatform::StartNetworking() { return true; }

void QtStartupPlatform::ShowMainWindow() {
  window_.show();
  window_.activateWindow();
  window_.view()->setFocus();
}

int QtStartupPlatform::RunEventLoop() {
  if (window_.exitCode() >= 0) return window_.exitCode();  // the window ended before the loop
  return QApplication::exec();
}

QIcon VelmoraIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A dark screen with a green prompt and a white kana.
    QPainterPath frame;
    frame.addRoundedRect(QRectF(s * 0.04, s * 0.08, s * 0.92, s * 0.84), s * 0.1, s * 0.1);
    p.fillPath(frame, QColor(0x1d, 0x2b, 0x3a));
    p.setPen(QPen(QColor(0x5f, 0xd3, 0x8d), std::max(1.0, s * 0.07), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(s * 0.18, s * 0.3), QPointF(s * 0.34, s * 0.42), QPointF(s * 0.18, s * 0.54)}));
    p.drawLine(QPointF(s * 0.2, s * 0.74), QPointF(s * 0.4, s * 0.74));
    QFont f;
    f.setPixelSize(std::max(6, static_cast<int>(s * 0.46)));
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(s * 0.42, s * 0.2, s * 0.5, s * 0.6), Qt::AlignCenter, QString::fromUtf8("あ"));
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace velmora

#include "frontends/qt/qt_window.h"

#include <QAction>
#include <QActionGroup>
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
#include <QRawFont>
#include <QScreen>
#include <QScrollBar>
#include <QSessionManager>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>

#include "app/ui_text.h"
#include "app/window_rules.h"
#include "emulation/key_encoder.h"
#include "frontends/qt/qt_dialogs.h"
#include "frontends/qt/qt_icon.h"
#include "frontends/qt/qt_strip_renderer.h"
#include "frontends/qt/qt_text.h"

namespace velmora {
namespace {

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

// The clipboard keys of Linux terminals: Shift+Insert pastes, Ctrl+Shift+C copies and
// Ctrl+Shift+V pastes (Ctrl+C and Ctrl+V without Shift stay control bytes for the host).
int LinuxClipboardKeyCommand(const QKeyEvent* e) {
  const Qt::KeyboardModifiers mods =
      e->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier | Qt::MetaModifier);
  if (mods == Qt::ShiftModifier && e->key() == Qt::Key_Insert) return kCmdPaste;
  if (mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
    if (e->key() == Qt::Key_C) return kCmdCopy;
    if (e->key() == Qt::Key_V) return kCmdPaste;
  }
  return 0;
}

// The desktop's text with any line ends as code page 932 with CR LF.
std::string DesktopTextToCp932(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return QStringToCp932(text);
}

// The wheel, over the terminal or its scroll bar.
void SendWheel(MainWindow& logic, const QWheelEvent* e) {
  const int delta = e->angleDelta().y();
  const Qt::KeyboardModifiers mods = e->modifiers();
  if (delta != 0) {
    logic.OnMouseWheel(delta, WheelKeyFlags(mods.testFlag(Qt::ShiftModifier), mods.testFlag(Qt::ControlModifier)));
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
  if (const int command = LinuxClipboardKeyCommand(e); command != 0) {
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
  logic.OnTypedText(QStringToCp932(text), false);
}

void QtTerminalView::inputMethodEvent(QInputMethodEvent* e) {
  MainWindow& logic = window_.logic();
  if (preedit_.isEmpty() && !e->preeditString().isEmpty()) logic.OnImeStartComposition();
  logic.OnTypedText(QStringToCp932(e->commitString()), true);
  preedit_ = e->preeditString();
  update();
  e->accept();
}

QVariant QtTerminalView::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled: return true;
    case Qt::ImCursorRectangle:
    case Qt::ImAnchorRectangle: return window_.ToRect(window_.logic_->CompositionCell());
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
  } else if (e->button() == Qt::MiddleButton) {
    window_.PastePrimarySelection();
  }
}

void QtTerminalView::mouseMoveEvent(QMouseEvent* e) {
  window_.lastMouse_ = e->position().toPoint();
  if (e->buttons() & Qt::LeftButton) window_.logic().OnMouseMove(window_.lastMouse_.x(), window_.lastMouse_.y());
}

void QtTerminalView::mouseReleaseEvent(QMouseEvent* e) {
  window_.lastMouse_ = e->position().toPoint();
  if (e->button() == Qt::LeftButton) {
    window_.logic().OnLButtonUp();
    window_.SetPrimarySelection();
  }
}

void QtTerminalView::mouseDoubleClickEvent(QMouseEvent* e) {
  window_.lastMouse_ = e->position().toPoint();
  // The second click of a right double click does nothing, as the first one did everything.
  if (e->button() == Qt::LeftButton) window_.logic().OnLButtonDblClk();
}

void QtTerminalView::wheelEvent(QWheelEvent* e) {
  SendWheel(window_.logic(), e);
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
  // A screen's new scale changes the menu bar's height in the window's units: refit then too.
  auto followScale = [this](QScreen* screen) {
    connect(screen, &QScreen::logicalDotsPerInchChanged, this, &QtMainWindow::ScheduleRefit);
  };
  for (QScreen* screen : QGuiApplication::screens()) followScale(screen);
  connect(qApp, &QGuiApplication::screenAdded, this, followScale);
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
        // The encodings are one choice: radio marks, one of them checked.
        auto* choice = new QActionGroup(sub);
        choice->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
        for (const MenuEntry& item : entry.submenu) {
          QAction* a = sub->addAction(Utf8(MenuItemCaption(item)));
          a->setCheckable(true);
          choice->addAction(a);
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
    if (a->actionGroup() == nullptr) a->setCheckable(state.checked);  // the encodings stay radio items
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
// painted anew, as for any change of the system's settings. A new desktop font or style changes
// the menu bar's height (and a new screen scale may), so the window is fitted to the grid again.
void QtMainWindow::changeEvent(QEvent* e) {
  if (logic_ != nullptr) {
    switch (e->type()) {
      case QEvent::PaletteChange:
        ReadSystemColors();
        SetWindowBackground(logic_->colors());
        logic_->OnSystemSettingsChange();
        InvalidateAll();
        break;
      case QEvent::FontChange:
      case QEvent::ApplicationFontChange:
      case QEvent::StyleChange:
        ScheduleRefit();
        break;
      default: break;
    }
  }
  QMainWindow::changeEvent(e);
}

bool QtMainWindow::event(QEvent* e) {
  if (e->type() == QEvent::ScreenChangeInternal && logic_ != nullptr) ScheduleRefit();
  return QMainWindow::event(e);
}

void QtMainWindow::ScheduleRefit() {
  if (refitPending_) return;
  refitPending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        refitPending_ = false;
        if (logic_ == nullptr || destroying_) return;
        logic_->OnSystemSettingsChange();
        InvalidateAll();
      },
      Qt::QueuedConnection);
}

bool QtMainWindow::eventFilter(QObject* watched, QEvent* e) {
  // The wheel over the scroll bar scrolls as it does over the terminal.
  if (watched == scrollBar_ && e->type() == QEvent::Wheel) {
    SendWheel(*logic_, static_cast<QWheelEvent*>(e));
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
  const FontMetrics metrics = MeasureTerminalFont(measurer);
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

// A listed Japanese fixed face when one is installed, else the desktop's fixed font.
LogFont QtMainWindow::SystemFixedFontDescription() {
  std::vector<std::string> families;
  for (const QString& family : QFontDatabase::families()) families.push_back(family.toStdString());
  if (const std::string face = ChooseJapaneseFace({}, families); !face.empty()) {
    QFont f(QString::fromStdString(face));
    f.setPixelSize(16);
    return QFontToLogFont(f, kShiftJisCharSet);
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
  return DesktopTextToCp932(QGuiApplication::clipboard()->text());
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

// --- the primary selection ---

void QtMainWindow::SetPrimarySelection() {
  if (logic_ == nullptr) return;
  try {
    std::optional<std::string> text = logic_->SelectedText();
    if (!text) return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection()) {
      QString unicode = Cp932ToQString(*text);
      unicode.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
      clipboard->setText(unicode, QClipboard::Selection);
    } else {
      primarySelection_ = std::move(*text);
    }
  } catch (const std::bad_alloc&) {
    // A selection larger than the memory left: the primary selection stays as it was.
  }
}

void QtMainWindow::PastePrimarySelection() {
  if (logic_ == nullptr) return;
  logic_->PasteFrom([this]() -> std::optional<std::string> {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection()) {
      if (primarySelection_.empty()) return std::nullopt;
      return primarySelection_;
    }
    const QMimeData* data = clipboard->mimeData(QClipboard::Selection);
    if (data == nullptr || !data->hasText()) return std::nullopt;
    return DesktopTextToCp932(clipboard->text(QClipboard::Selection));
  });
}

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

}  // namespace velmora

#pragma once
#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <vector>

#include "app/main_window.h"
#include "app/startup.h"
#include "app/window_port.h"
#include "frontends/qt/qt_icon.h"
#include "frontends/qt/qt_socket.h"

class QAction;
class QMenu;
class QScrollBar;
class QSessionManager;

namespace velmora {

class QtMainWindow;

// The terminal's drawing surface: the client area of the main window without the scroll bar.
// It shows the window's backing image, draws the caret and the input method's preedit text on
// top, and turns Qt's input events into the main window logic's calls.
class QtTerminalView : public QWidget {
  Q_OBJECT
 public:
  explicit QtTerminalView(QtMainWindow& window);

  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  friend class QtMainWindow;
  QtMainWindow& window_;
  QString preedit_;  // the input method's text being composed, drawn at the cursor
};

// The main window on Qt: the menu bar, the terminal view and the vertical scroll bar, and
// everything the main window logic asks of its native window.
class QtMainWindow : public QMainWindow, public WindowPort {
  Q_OBJECT
 public:
  QtMainWindow();
  ~QtMainWindow() override;

  // Makes the window's logic, which the window owns: it takes the window as its port, so it is
  // made after the window and must go before the window's parts.
  MainWindow& MakeLogic(Socket& socket, RegistryStore& store, int processId);
  MainWindow& logic() { return *logic_; }
  QtTerminalView* view() { return view_; }
  QScrollBar* scrollBar();
  // The terminal image as it is drawn (pending damage painted first).
  QImage image();
  // Throws the image away, so that all of it is drawn anew from the screen.
  void RedrawAll();
  // Whether the caret is on screen right now (shown, in its visible blink phase, with focus).
  QRect caretRect() const { return caretRect_; }
  bool caretShown() const { return caretVisible_ > 0 && focusNow(); }
  bool caretBlinks() const { return blinkTimer_.isActive(); }
  // The menu action of a command.
  QAction* action(int command) const;

  // Creation: the logic makes its font and screen. False when the screen cannot be made.
  bool Create();
  // The exit code once the logic has asked to quit; -1 before.
  int exitCode() const { return exitCode_; }

  // --- CaretPort ---
  bool HasFocus() const override;
  void CreateSolidCaret(int width, int height) override;
  void DestroyCaret() override;
  void ShowCaret() override;
  void HideCaret() override;
  void MoveCaret(int x, int y) override;
  // --- SystemColors ---
  ColorRef SystemColor(int index) const override;
  // --- WindowPort ---
  void InvalidatePixels(const PixelRect& area) override;
  void InvalidateAll() override;
  void ScrollPixels(const PixelRect& area, int dx, int dy) override;
  void UpdateNow() override;
  bool DrawsAtFrames() const override { return true; }
  void SetScrollBar(const ScrollBarInfo& bar, unsigned parts) override;
  void SetTitleText(const std::string& title) override;
  FrameMetrics GetFrameMetrics() override;
  void ResizeWindow(int outerWidth, int outerHeight, bool redraw) override;
  void SetWindowBackground(const ColorScheme& scheme) override;
  void DestroyNativeWindow() override;
  void PostQuit(int exitCode) override;
  void AlertSound() override;
  void PostCloseRequest() override;
  FontMetrics CreateTerminalFont(const LogFont& description) override;
  LogFont SystemFixedFontDescription() override;
  LogFont CurrentFontDescription() override;
  void PlaceComposition(int x, int y, const LogFont& font) override;
  bool ChooseTerminalFont(LogFont& font) override;
  bool RunTerminalSizeDialog(TerminalSizeDialogModel& model) override;
  void RunAboutDialog() override;
  bool RunColorDialog(ColorDialogModel& model, CustomColors& customColors) override;
  bool RunConnectDialog(ConnectDialogModel& model, ConnectDialogState& state) override;
  bool AskYesNo(const std::string& text, MessageIcon icon) override;
  void ShowMessage(const std::string& text) override;
  bool ClipboardHasText() override;
  std::optional<std::string> GetClipboardText() override;
  bool SetClipboardText(const std::string& text) override;
  void CaptureMouse() override {}  // Qt keeps sending a pressed button's moves to the view
  void ReleaseMouse() override {}
  void StartSelectionTimer() override { selectionTimer_.start(); }
  void StopSelectionTimer() override { selectionTimer_.stop(); }
  PixelRect ClientArea() override;
  void CursorPosition(int& x, int& y) override;
  int WheelScrollLines() override;

 protected:
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void changeEvent(QEvent* e) override;
  bool event(QEvent* e) override;

 private:
  friend class QtTerminalView;
  // The mouse's selection as the primary selection (X11, Wayland), and the middle click's paste
  // of it through the paste command's path.
  void SetPrimarySelection();
  void PastePrimarySelection();
  // Fits the window to the grid again once the events of a desktop change (font, style, screen
  // scale) have reached every widget, so that the menu bar's new height is known.
  void ScheduleRefit();
  struct Fonts;
  class Painter;
  class CellImages;
  class BlitPainter;

  void BuildMenus();
  void OnPopupShown(QMenu* menu, int position, bool encodingSubmenu);
  void OnScrollAction(int action);
  void OnCommitData(QSessionManager& manager);
  // Paints every damaged part of the image and asks Qt to show it.
  void FlushDamage();
  // Makes the strips fit the view; `checkScale` also compares the screen's pixel ratio, which
  // is costly to ask for and so is left out where it is asked often (every scroll).
  void EnsureImage(bool checkScale);
  // Marks pixels [left, right) x [top, bottom) of the view as to be drawn anew from the model.
  void Damage(int left, int top, int right, int bottom);
  // Marks pixel columns [left, right) of strips first to last (existing ones) as to be drawn.
  void DamageStrips(int first, int last, int left, int right);
  // The grid's right and bottom edges in pixels (the logic must exist).
  int GridRight() const { return logic_->screen().columns() * logic_->metrics().cellWidth; }
  int GridBottom() const { return logic_->screen().rows() * logic_->metrics().cellHeight; }
  // Draws the damaged part of strip i: cells of the grid by copying, anything else anew.
  void DrawStrip(int i, int left, int right);
  void ShowArea(const QRect& area);
  // Asks for [left, right) x [top, bottom) to be shown at the next frame (only for a frame,
  // when empty). On the path of every character, so kept inline.
  void ShowArea(int left, int top, int right, int bottom) {
    if (left < right && top < bottom) {
      if (shownLeft_ >= shownRight_) {
        shownLeft_ = left, shownTop_ = top, shownRight_ = right, shownBottom_ = bottom;
      } else {
        shownLeft_ = std::min(shownLeft_, left);
        shownTop_ = std::min(shownTop_, top);
        shownRight_ = std::max(shownRight_, right);
        shownBottom_ = std::max(shownBottom_, bottom);
      }
    }
    if (!framePending_) {
      framePending_ = true;
      frameTimer_.start();
    }
  }
  void ReadSystemColors();
  void OnFrame();
  void ApplyScrollBar();
  void UpdateCaretArea() {
    if (caretRect_.width() > 0 && caretRect_.height() > 0) {
      ShowArea(caretRect_.x(), caretRect_.y(), caretRect_.x() + caretRect_.width(), caretRect_.y() + caretRect_.height());
    }
  }
  bool focusNow() const;
  QRect ToRect(const PixelRect& r) const { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

  std::unique_ptr<MainWindow> ownedLogic_;
  MainWindow* logic_ = nullptr;
  QtTerminalView* view_ = nullptr;
  QScrollBar* scrollBar_ = nullptr;
  std::map<int, QAction*> actions_;
  // What a cell of the image shows: the character (code, font variant, width in cells and which
  // half), its colours. Cells whose record already matches are not copied again.
  struct CellKey {
    uint32_t character = kUnknownCell;
    ColorRef fg = 0;
    ColorRef bg = 0;
    bool operator==(const CellKey& o) const { return character == o.character && fg == o.fg && bg == o.bg; }
  };
  static constexpr uint32_t kUnknownCell = 0xFFFFFFFFu;  // never matches: drawn by other means
  static constexpr uint32_t kErasedCell = 0xFFFFFFFEu;   // the erase colour, in bg
  // The window's image, one strip per cell row, each with the painter that draws into it (when
  // the image has more than one pixel per unit), the record of its cells and its damage: the
  // pixel columns [damageLeft, damageRight) over the strip's whole height.
  struct Strip {
    QImage image;
    QPainter painter;
    std::vector<CellKey> cells;
    int damageLeft = 0;
    int damageRight = 0;
    ~Strip() {
      if (painter.isActive()) painter.end();
    }
  };
  void ForgetCells();
  // The strips from the top of the view down; a scroll of whole lines reorders them.
  std::vector<Strip*> strips_;
  std::vector<std::unique_ptr<Strip>> ownedStrips_;
  int stripHeight_ = 1;
  int stripWidth_ = 1;
  qreal stripDpr_ = 1;
  // The strips with damage lie within [damageFirst_, damageLast_]; none when first > last.
  int damageFirst_ = 1;
  int damageLast_ = 0;
  int lastDamaged_ = 0;  // the strip the last damage ended in
  std::vector<uint8_t> touched_;  // cells of the strip being drawn that the model drew
  // What Qt is asked to show at the next frame: [left, right) x [top, bottom), empty when
  // left >= right.
  int shownLeft_ = 0, shownTop_ = 0, shownRight_ = 0, shownBottom_ = 0;
  bool framePending_ = false;
  QTimer frameTimer_;
  ScrollBarInfo bar_;
  bool barChanged_ = false;
  QColor background_ = Qt::white;
  std::unique_ptr<Fonts> fonts_;
  std::unique_ptr<CellImages> cellImages_;
  std::array<ColorRef, 4> systemColors_{};
  LogFont fontDescription_;
  // The caret: its rectangle, the show count (shown while positive) and the blink phase.
  QRect caretRect_;
  QRect caretShownAt_;   // where the last frame showed it
  bool focused_ = false;  // the view has the keyboard focus
  bool caretExists_ = false;
  int caretVisible_ = 0;
  bool blinkOn_ = true;
  QTimer blinkTimer_;
  QTimer selectionTimer_;
  QPoint lastMouse_;
  // What the mouse selected last, for a middle click where the platform keeps no primary
  // selection of its own (code page 932, CR LF line ends).
  std::string primarySelection_;
  bool refitPending_ = false;  // a refit to the grid after a desktop change is queued
  QPoint composition_;
  QFont compositionFont_;
  bool destroying_ = false;
  int exitCode_ = -1;
};

// Start-up on Qt: the socket library needs nothing, the window is the QtMainWindow, the event
// loop is the application's.
class QtStartupPlatform : public StartupPlatform {
 public:
  explicit QtStartupPlatform(QtMainWindow& window) : window_(window) {}
  bool StartNetworking() override;
  void StopNetworking() override {}
  bool CreateMainWindow() override { return window_.Create(); }
  void ShowMainWindow() override;
  int RunEventLoop() override;

 private:
  QtMainWindow& window_;
};

}  // namespace velmora

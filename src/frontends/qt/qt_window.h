#pragma once
#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QPoint>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <array>
#include <map>
#include <memory>
#include <vector>

#include "app/main_window.h"
#include "app/startup.h"
#include "app/window_port.h"
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
  // Whether the caret is on screen right now (shown, in its visible blink phase, with focus).
  QRect caretRect() const { return caretRect_; }
  bool caretShown() const { return caretVisible_ > 0 && focusNow(); }
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

 private:
  friend class QtTerminalView;
  struct Fonts;
  class Painter;
  class CellImages;
  class BlitPainter;

  void BuildMenus();
  void OnPopupShown(QMenu* menu, int position, bool encodingSubmenu);
  void OnScrollAction(int action);
  void OnCommitData(QSessionManager& manager);
  // Paints every damaged rectangle into the image and asks Qt to show it.
  void FlushDamage();
  void EnsureImage();
  void ShowArea(const QRect& area);
  void ReadSystemColors();
  void OnFrame();
  void ApplyScrollBar();
  void UpdateCaretArea();
  bool focusNow() const;
  QRect ToRect(const PixelRect& r) const { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

  std::unique_ptr<MainWindow> ownedLogic_;
  MainWindow* logic_ = nullptr;
  QtTerminalView* view_ = nullptr;
  QScrollBar* scrollBar_ = nullptr;
  std::map<int, QAction*> actions_;
  // The window's image, one strip per cell row, each with the painter that draws into it.
  struct Strip {
    QImage image;
    QPainter painter;
    ~Strip() {
      if (painter.isActive()) painter.end();
    }
  };
  std::vector<std::unique_ptr<Strip>> strips_;
  int stripHeight_ = 1;
  int stripWidth_ = 1;
  qreal stripDpr_ = 1;
  QRegion damage_;
  QRect shownArea_;
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
  bool caretExists_ = false;
  int caretVisible_ = 0;
  bool blinkOn_ = true;
  QTimer blinkTimer_;
  QTimer selectionTimer_;
  QPoint lastMouse_;
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

// The program's icon, drawn at the sizes the desktop asks for.
QIcon VelmoraIcon();

}  // namespace velmora

#pragma once
#include <climits>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/window_port.h"
#include "render/color_scheme.h"
#include "screen/caret.h"
#include "settings/registry_store.h"
#include "settings/settings_store.h"
#include "telnet/connection.h"
#include "telnet/debug_trace.h"
#include "telnet/socket.h"
#include "telnet/terminal_session.h"

namespace velmora {

// The scroll-bar requests of the window system (SB_LINEUP and so on), which OnVScroll takes.
enum ScrollRequest : int {
  kSbLineUp = 0,
  kSbLineDown = 1,
  kSbPageUp = 2,
  kSbPageDown = 3,
  kSbThumbPosition = 4,
  kSbThumbTrack = 5,
  kSbTop = 6,
  kSbBottom = 7,
};

// The state of one menu item when its popup opens.
struct MenuItemState {
  int id = 0;
  bool enabled = true;
  bool checked = false;
  friend bool operator==(const MenuItemState&, const MenuItemState&) = default;
};

// The main window's logic: everything the window does that is not a platform call. A front-end
// turns its native events into calls of the On... methods and carries out what the logic asks of
// its WindowPort. It owns the terminal (screen, pipeline, negotiation), the connection, the
// settings, the colour scheme and the trace, and is the screen's observer.
class MainWindow : public ScreenObserver, public SocketEventHandler {
 public:
  MainWindow(WindowPort& window, Socket& socket, RegistryStore& store, int processId);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // --- start-up, in this order ---
  // Loads the persisted settings and applies the command line (arguments joined with blanks).
  void LoadSettingsAndCommandLine(std::string_view commandLine);
  // The window was created: font, cell metrics, screen lines, title. False when the screen
  // lines cannot be made (the program then ends with exit code 1).
  bool OnCreate();
  // Sizes the outer window so that its client area holds the grid.
  void FitWindowToGrid(bool redraw);
  // After the window is shown: connects at once when a host was named on the command line.
  void ConnectAtStart();

  // --- window events ---
  void OnDestroy();
  void OnSetFocus();
  void OnKillFocus();
  void Paint(PaintPort& painter, const PixelRect& update);
  void OnClose();
  bool OnQueryEndSession();  // false refuses the shutdown or log-off
  void OnEndSession(bool ending);
  void OnSystemSettingsChange() { FitWindowToGrid(true); }
  bool OnKeyDown(uint32_t virtualKey, uint32_t keyData);  // true when handled
  void OnChar(uint8_t byte);
  void OnImeChar(uint16_t character);  // lead byte in the high byte, 0 for a single byte
  // Text typed or committed by the input method, as code page 932 bytes: a double-byte
  // character takes the input-method path (which sends both halves in the host encoding), a
  // single byte the typed-byte path, or the input-method path when it came from there.
  void OnTypedText(std::string_view cp932, bool fromInputMethod);
  // Where the input method composes: the cursor cell of the screen (whatever the view shows),
  // kept inside the grid.
  PixelRect CompositionCell() const;
  void OnImeStartComposition();
  void OnCommand(int id);
  // The enabling and checks of a popup as it opens: the Encoding submenu, or a menu-bar popup
  // by its position (0 Connection, 1 Edit, 2 View, 3 Help).
  std::vector<MenuItemState> MenuStateForPopup(int position, bool encodingSubmenu);
  // Scroll-bar requests (the window system's SB_ codes) and the thumb's track position.
  void OnVScroll(int request, int trackPosition);

  // --- mouse (client pixels; negative or beyond the client area while the mouse is captured) ---
  void OnLButtonDown(int x, int y);
  void OnMouseMove(int x, int y);  // only while a selection is being dragged
  void OnLButtonUp();
  void OnLButtonDblClk();
  void OnRButtonDown();
  void OnSelectionTimer();
  // Wheel rotation in the window system's units (120 a notch, negative towards the user) and
  // the key flags of the event (kWheelShift, kWheelControl). Parts of a notch add up until a
  // whole one is reached.
  void OnMouseWheel(int delta, unsigned keyFlags);
  static constexpr int32_t kWheelNotch = 120;

  // --- the connection's socket events ---
  void OnSocketEvent(SocketEvent event, int error) override;
  // Tells the user that a connection failed (what is wrong with a host text that cannot be
  // read, the system's text for the error, or a text of our own), offers to drop the host from
  // the history, and shows "not connected".
  void ReportConnectFailure(int error);

  // --- ScreenObserver: what the screen asks of the window ---
  // While a read is interpreted for a window that draws at its frames, the damage of cells is
  // noted (DrawsAtFrames) and repaint-now asks nothing: these are called for every character.
  void ShowLiveScreen() override;
  void InvalidateCells(const CellRect& area) override;
  void InvalidateAll() override {
    GiveNotedDamage();
    window_.InvalidateAll();
  }
  void RepaintNow() override {
    if (!notingDamage_) window_.UpdateNow();
  }
  void ScrollCells(const CellRect& area, int32_t dx, int32_t dy) override;
  void SetScrollBar(const ScrollBarInfo& bar, unsigned parts) override {
    GiveNotedDamage();
    window_.SetScrollBar(bar, parts);
  }
  void UpdateCaret() override {
    if (batchingCaret_) {
      caretPending_ = true;
      return;
    }
    PlaceCaret();
  }
  void AlertSound() override {
    GiveNotedDamage();
    window_.AlertSound();
  }

  // The selected text as copying puts it on the clipboard (code page 932, lines joined by CR
  // LF); none when nothing is selected. Throws std::bad_alloc when memory runs out.
  std::optional<std::string> SelectedText();
  // Pastes to the host, as the paste command does, the code page 932 text (CR LF line ends)
  // that `source` gives: a front-end's other sources of text, such as the primary selection.
  void PasteFrom(const std::function<std::optional<std::string>()>& source);

  // Sets the title to "status - Velmora".
  void SetTitleStatus(std::string_view statusUtf8);
  bool IsConnected() const { return connection_.IsConnected(); }

  TerminalSession& session() { return session_; }
  ScreenModel& screen() { return session_.screen(); }
  Connection& connection() { return connection_; }
  DebugTrace& trace() { return trace_; }
  Settings& settings() { return settings_; }
  ColorScheme& colors() { return colors_; }
  const LaunchOptions& launch() const { return launch_; }
  std::string& hostName() { return hostName_; }
  const FontMetrics& metrics() const { return metrics_; }
  CaretTracker& caret() { return caret_; }

 private:
  void EchoTyped(uint8_t byte);
  // Moves the caret to the cursor (or hides it), as the caret tracker decides. Out of line, so
  // that UpdateCaret's common case needs no stack frame.
  [[gnu::noinline]] void PlaceCaret();
  // Before the bytes of a read are interpreted: the caret waits for the end of the read, and
  // so does the damage of cells for a window that draws at its frames.
  void BeginReadBatch();
  // After them: gives the window the damage noted and places the caret if the bytes asked
  // for it.
  void EndReadBatch();
  // Gives the window the damage of cells noted so far, if any.
  void GiveNotedDamage() {
    if (noted_.top < noted_.bottom) GiveNotedArea();
  }
  void GiveNotedArea();
  // An area whose rows differ from the noted ones: noted in their place, or given at once when
  // nothing is being noted. Out of line, so that InvalidateCells's common case needs no stack
  // frame.
  [[gnu::noinline]] void NoteOrGiveCells(const CellRect& area);
  // Nothing noted: rows that no area has.
  static constexpr CellRect kNothingNoted{0, INT32_MIN, 0, INT32_MIN};
  void StartConnect();
  void ConnectCommand();
  void DisconnectCommand();
  void CopyCommand();
  void CopySelection();
  void PasteCommand();
  void SelectAllCommand();
  void HandleSocketEvent(SocketEvent event, int error);
  void HandleCommand(int id);
  void OnConnected(int error);
  void OnClosedByHost();
  // The selection point under client pixel (x, y): a cell boundary of the line shown there.
  void PointAt(int x, int y, int32_t& column, int32_t& line);
  void InvalidateSelectionSpan(const Selection& selection);
  void InvalidateSelectionChange(const Selection& before, const Selection& after);
  // The host name as UTF-8, for the title and questions.
  std::string HostNameText() const;
  void ChooseFontCommand();
  void TerminalSizeCommand();
  void ColorsCommand();
  PixelRect ToPixels(const CellRect& area) const;

  WindowPort& window_;
  RegistryStore& store_;
  Connection connection_;
  DebugTrace trace_;
  TerminalSession session_;
  Settings settings_;
  ColorScheme colors_;
  CustomColors customColors_{};
  LaunchOptions launch_;
  std::string hostName_;  // code page 932, at most 63 bytes
  FontMetrics metrics_;
  CaretTracker caret_;
  bool batchingCaret_ = false;  // a read's bytes are being interpreted
  bool caretPending_ = false;   // they asked for the caret to follow the cursor
  bool notingDamage_ = false;   // they are being interpreted for a window that draws at frames
  CellRect noted_ = kNothingNoted;  // the damage of cells noted, not yet given
  bool userDisconnect_ = false;  // the user asked to disconnect; consumed by the next close
  bool selecting_ = false;       // a selection drag is in progress
  bool wordSelect_ = false;      // the drag began with a double click
  int32_t wordStart_ = 0;        // the double-clicked word's columns
  int32_t wordEnd_ = 0;
  int32_t wheelRemainder_ = 0;   // the wheel's rotation short of a whole notch, signed
};

}  // namespace velmora

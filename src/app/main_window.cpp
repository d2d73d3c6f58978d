#include "app/main_window.h"

#include <algorithm>

#include "app/title.h"
#include "app/ui_text.h"
#include "emulation/key_encoder.h"
#include "encoding/text_transfer.h"
#include "render/line_renderer.h"
#include "settings/terminal_size_dialog.h"

namespace velmora {

namespace {

// The scroll-bar requests of the window system (SB_LINEUP and so on).
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

}  // namespace

MainWindow::MainWindow(WindowPort& window, Socket& socket, RegistryStore& store, int processId)
    : window_(window), store_(store), connection_(socket), trace_(TraceFileName(processId)),
      session_(*this, trace_, connection_) {}

void MainWindow::LoadSettingsAndCommandLine(std::string_view commandLine) {
  LoadSizeSettings(store_, settings_, colors_);
  LoadAutoClose(store_, settings_);
  ScreenModel& s = screen();
  s.columns = settings_.columns;
  s.rows = settings_.rows;
  s.backlogMax = settings_.backlogMax;
  ParseCommandLine(commandLine, launch_);
  hostName_ = launch_.hostName;
  session_.options.hostEncoding = launch_.hostEncoding;
  session_.options.terminalType = launch_.terminalType;
}

bool MainWindow::OnCreate() {
  if (!LoadFontSetting(store_, settings_)) settings_.logFont = window_.SystemFixedFontDescription();
  metrics_ = window_.CreateTerminalFont(settings_.logFont);
  if (!screen().CreateLineStore()) return false;
  SetTitleStatus(UiString(kStrNotConnected));
  return true;
}

void MainWindow::FitWindowToGrid(bool redraw) {
  const OuterSize size = WindowSizeForGrid(screen().columns, screen().rows, metrics_.cellWidth,
                                           metrics_.cellHeight, window_.GetFrameMetrics());
  window_.ResizeWindow(size.width, size.height, redraw);
}

void MainWindow::ConnectAtStart() {
  if (hostName_.empty()) return;
  SetTitleStatus(UiString(kStrConnecting));
  connection_.ConnectToHost(hostName_);
}

void MainWindow::OnDestroy() {
  if (connection_.IsConnected()) {
    connection_.socket().Close();
    connection_.DropQueue();
  }
  window_.PostQuit(0);
}

void MainWindow::OnSetFocus() { caret_.OnSetFocus(screen(), window_, metrics_.cellWidth, metrics_.cellHeight); }

void MainWindow::OnKillFocus() { caret_.OnKillFocus(window_); }

void MainWindow::UpdateCaret() { caret_.UpdateCaret(screen(), window_, metrics_.cellWidth, metrics_.cellHeight); }

void MainWindow::SetTitleStatus(std::string_view statusUtf8) { window_.SetTitleText(FormatTitle(statusUtf8)); }

// Rows of the view that meet the update area, each in at most three stretches split by the
// selection and cut to the line's own width; then the border along the grid's bottom and right.
void MainWindow::Paint(PaintPort& painter, const PixelRect& update) {
  ScreenModel& s = screen();
  const int cw = metrics_.cellWidth, ch = std::max(metrics_.cellHeight, 1);
  const int first = std::max(0, update.top / ch);
  const int last = std::min(s.rows - 1, update.bottom / ch);
  const Selection& sel = s.selection;
  const NormalizedSelection n = NormalizeSelection(sel.anchorCol, sel.anchorLine, sel.activeCol, sel.activeLine);
  painter.SelectFontVariant(FontVariant::Terminal);
  const TerminalLine* line = s.view.viewTop;
  for (int j = 0; j < s.rows && line != nullptr; ++j, line = line->next) {
    if (j < first || j > last) continue;
    const int64_t index = static_cast<int64_t>(s.view.viewIndex) + j;
    const int32_t width = line->width;
    auto cut = [width](int32_t c) { return std::clamp(c, 0, width); };
    auto draw = [&](int32_t from, int32_t to, bool selected) {
      from = cut(from);
      to = std::max(cut(to), from);
      DrawLineSegment(painter, from * cw, j * ch, line->text.get() + from, line->attrs.get() + from, to - from,
                      selected, metrics_, colors_, window_);
    };
    if (index == n.startRow && index == n.endRow) {
      draw(0, n.startCol, false);
      draw(n.startCol, n.endCol, true);
      draw(n.endCol, width, false);
    } else if (index == n.startRow && index < n.endRow) {
      draw(0, n.startCol, false);
      draw(n.startCol, width, true);
    } else if (index > n.startRow && index < n.endRow) {
      draw(0, width, true);
    } else if (index == n.endRow && index > n.startRow) {
      draw(0, n.endCol, true);
      draw(n.endCol, width, false);
    } else {
      draw(0, width, false);
    }
  }
  const int right = s.columns * cw, bottom = s.rows * metrics_.cellHeight;
  painter.DrawBorder(0, bottom, right, bottom, right, -1, SchemeColor(colors_, kColorWindowText, window_));
}

void MainWindow::OnClose() {
  if (connection_.IsConnected() && !window_.AskYesNo(std::string(UiString(kStrQuitQuestion)))) return;
  window_.DestroyNativeWindow();
}

bool MainWindow::OnQueryEndSession() {
  return !connection_.IsConnected() || window_.AskYesNo(std::string(UiString(kStrQuitQuestion)));
}

void MainWindow::OnEndSession(bool ending) {
  if (!ending || !connection_.IsConnected()) return;
  connection_.socket().Close();
  connection_.DropQueue();
}

bool MainWindow::OnKeyDown(uint32_t virtualKey, uint32_t keyData) {
  return EncodeKey(connection_, session_.options, virtualKey, keyData) != 0;
}

void MainWindow::OnChar(uint8_t byte) {
  if (!connection_.IsConnected()) return;
  if (session_.negotiator.localEcho) EchoTyped(byte);
  if (byte >= 0xA1 && byte <= 0xDF) {
    SendTypedKana(connection_, session_.options.hostEncoding, byte);
  } else {
    connection_.SendChar(byte);
  }
}

// A typed byte shown locally. Control bytes act on the cursor as the host's would, so the
// grid never holds a raw control byte: Enter and a line feed start a new line (the line feed
// goes out as CR LF), Backspace and Tab move; other controls are not shown.
void MainWindow::EchoTyped(uint8_t byte) {
  ScreenModel& s = screen();
  switch (byte) {
    case '\r': s.CarriageReturn(); return;
    case '\n': s.CarriageReturn(); s.LineFeed(); return;
    case '\b': s.Backspace(); return;
    case '\t': s.HorizontalTab(); return;
    default: break;
  }
  if (byte < 0x20 || byte == 0x7F) return;
  s.PutChar(byte);
}

void MainWindow::OnImeChar(uint16_t character) {
  if (!connection_.IsConnected()) return;
  const auto lead = static_cast<uint8_t>(character >> 8);
  const auto trail = static_cast<uint8_t>(character & 0xFF);
  if (lead == 0) {
    OnChar(trail);
    return;
  }
  if (session_.negotiator.localEcho) screen().PutDoubleChar(lead, trail);
  SendTypedDoubleByte(connection_, session_.options.hostEncoding, trail, lead);
}

// The composition window opens at the cursor cell of the screen (whatever the view shows),
// kept inside the grid.
void MainWindow::OnImeStartComposition() {
  const ScreenModel& s = screen();
  const int x = std::clamp(s.state.cursorCol * metrics_.cellWidth, 0, s.columns * metrics_.cellWidth);
  const int y = std::clamp(s.state.cursorRow * metrics_.cellHeight, 0, s.rows * metrics_.cellHeight);
  window_.PlaceComposition(x, y, settings_.logFont);
}

void MainWindow::OnCommand(int id) {
  switch (id) {
    case kCmdClearBacklog: screen().ClearBacklog(); break;
    case kCmdFont: ChooseFontCommand(); break;
    case kCmdDebugTrace: trace_.traceEnabled = !trace_.traceEnabled; break;
    case kCmdAbout: window_.RunAboutDialog(); break;
    case kCmdExit: OnClose(); break;
    case kCmdTerminalSize: TerminalSizeCommand(); break;
    case kCmdColors: ColorsCommand(); break;
    case kCmdEncodingEuc:
    case kCmdEncodingSjis:
    case kCmdEncodingUtf8:
      // Takes effect with the next byte received or sent; the connection is not renewed.
      session_.options.hostEncoding = static_cast<HostEncoding>(id - kCmdEncodingEuc);
      break;
    default: break;
  }
}

std::vector<MenuItemState> MainWindow::MenuStateForPopup(int position, bool encodingSubmenu) {
  if (encodingSubmenu) {
    const int current = static_cast<int>(session_.options.hostEncoding);
    std::vector<MenuItemState> items;
    for (int id = kCmdEncodingEuc; id <= kCmdEncodingUtf8; ++id) {
      items.push_back({id, true, id - kCmdEncodingEuc == current});
    }
    return items;
  }
  const bool connected = connection_.IsConnected();
  const Selection& sel = screen().selection;
  switch (position) {
    case 0:
      return {{kCmdConnect, !connected, false}, {kCmdDisconnect, connected, false}};
    case 1: {
      const bool selectionEmpty = sel.anchorCol == sel.activeCol && sel.anchorLine == sel.activeLine;
      return {{kCmdCopy, !selectionEmpty, false},
              {kCmdPaste, connected && window_.ClipboardHasText(), false},
              {kCmdSelectAll, true, false},
              {kCmdClearBacklog, true, false}};
    }
    case 3:
      return {{kCmdDebugTrace, true, trace_.traceEnabled}};
    default:
      return {};
  }
}

void MainWindow::OnVScroll(int request, int trackPosition) {
  ScreenModel& s = screen();
  const auto& bar = s.view.scrollBar;
  int64_t d = 0;
  switch (request) {
    case kSbLineUp: d = -1; break;
    case kSbLineDown: d = 1; break;
    case kSbPageUp: d = -bar.page; break;
    case kSbPageDown: d = bar.page; break;
    case kSbThumbPosition: s.view.thumbTracking = false; break;
    case kSbThumbTrack:
      s.view.thumbTracking = true;
      d = static_cast<int64_t>(trackPosition) - bar.position;
      break;
    case kSbTop: d = -static_cast<int64_t>(bar.position); break;
    case kSbBottom: d = s.ViewBottom(); break;  // the clamp makes it bottom - position
    default: break;
  }
  d = std::clamp<int64_t>(d, INT32_MIN, INT32_MAX);
  s.ScrollView(static_cast<int32_t>(d));  // clamps, scrolls the pixels, moves the bar and the caret
}

void MainWindow::ShowLiveScreen() { OnVScroll(kSbBottom, 0); }

PixelRect MainWindow::ToPixels(const CellRect& a) const {
  const int cw = metrics_.cellWidth, ch = metrics_.cellHeight;
  return PixelRect{a.left * cw, a.top * ch, a.right * cw, a.bottom * ch};
}

void MainWindow::InvalidateCells(const CellRect& area) { window_.InvalidatePixels(ToPixels(area)); }

void MainWindow::ScrollCells(const CellRect& area, int32_t dx, int32_t dy) {
  window_.ScrollPixels(ToPixels(area), dx * metrics_.cellWidth, dy * metrics_.cellHeight);
}

// A new font: new cell metrics, the window fitted to them, the caret made anew, everything
// repainted, the choice saved. Cancelling leaves the description as the font really is.
void MainWindow::ChooseFontCommand() {
  LogFont chosen = settings_.logFont;
  if (!window_.ChooseTerminalFont(chosen)) {
    settings_.logFont = window_.CurrentFontDescription();
    return;
  }
  settings_.logFont = chosen;
  metrics_ = window_.CreateTerminalFont(chosen);
  FitWindowToGrid(true);
  caret_.ForceRecreate();
  UpdateCaret();
  window_.InvalidateAll();
  SaveFontSetting(store_, settings_);
}

void MainWindow::TerminalSizeCommand() {
  ScreenModel& s = screen();
  TerminalSizeDialogModel model(s.columns, s.rows, s.backlogMax,
                                [&s](int32_t previousColumns) { return s.ResizeScreen(previousColumns); });
  if (!window_.RunTerminalSizeDialog(model)) return;
  FitWindowToGrid(true);
  auto& bar = s.view.scrollBar;
  bar.maximum = static_cast<int32_t>(s.store.lineCount) - 1;
  bar.page = s.rows;
  window_.SetScrollBar(bar, kScrollRange | kScrollPage);
  s.SetScrollRegion(0, s.rows - 1);
  window_.InvalidateAll();
  if (s.state.cursorCol >= s.columns) s.state.cursorCol = s.columns - 1;
  if (s.state.cursorRow >= s.rows) s.state.cursorRow = s.rows - 1;
  UpdateCaret();
  if (connection_.IsConnected()) session_.negotiator.SendWindowSize();
  settings_.columns = s.columns;
  settings_.rows = s.rows;
  settings_.backlogMax = s.backlogMax;
  SaveSizeSettings(store_, settings_);
}

void MainWindow::ColorsCommand() {
  ColorDialogModel model(colors_);
  if (!window_.RunColorDialog(model, customColors_)) return;
  colors_ = model.working;
  window_.SetWindowBackground(colors_);
  SaveColorScheme(store_, colors_);
  window_.InvalidateAll();
}

}  // namespace velmora

#include "app/main_window.h"

#include <algorithm>
#include <exception>
#include <new>

#include "app/title.h"
#include "app/ui_text.h"
#include "app/window_rules.h"
#include "emulation/key_encoder.h"
#include "encoding/cp932.h"
#include "encoding/text_transfer.h"
#include "render/line_renderer.h"
#include "screen/selection_region.h"
#include "settings/connect_dialog.h"
#include "settings/host_history.h"
#include "settings/terminal_size_dialog.h"

namespace velmora {

MainWindow::MainWindow(WindowPort& window, Socket& socket, RegistryStore& store, int processId)
    : window_(window), store_(store), connection_(socket), trace_(TraceFileName(processId)),
      session_(*this, trace_, connection_) {
  socket.SetEventHandler(this);
}

void MainWindow::LoadSettingsAndCommandLine(std::string_view commandLine) {
  LoadSizeSettings(store_, settings_, colors_);
  LoadAutoClose(store_, settings_);
  ScreenModel& s = screen();
  s.SetGridSize(settings_.columns, settings_.rows, settings_.backlogMax);
  ParseCommandLine(commandLine, launch_);
  hostName_ = launch_.hostName;
  session_.SetHostEncoding(launch_.hostEncoding);
  session_.SetTerminalType(launch_.terminalType);
}

bool MainWindow::OnCreate() {
  if (!LoadFontSetting(store_, settings_)) settings_.logFont = window_.SystemFixedFontDescription();
  metrics_ = window_.CreateTerminalFont(settings_.logFont);
  if (!screen().CreateLineStore()) return false;
  SetTitleStatus(UiString(kStrNotConnected));
  return true;
}

void MainWindow::FitWindowToGrid(bool redraw) {
  const OuterSize size = WindowSizeForGrid(screen().columns(), screen().rows(), metrics_.cellWidth,
                                           metrics_.cellHeight, window_.GetFrameMetrics());
  window_.ResizeWindow(size.width, size.height, redraw);
}

void MainWindow::ConnectAtStart() {
  if (!hostName_.empty()) StartConnect();
}

void MainWindow::StartConnect() {
  SetTitleStatus(UiString(kStrConnecting));
  if (const int error = connection_.ConnectToHost(hostName_); error != 0) ReportConnectFailure(error);
}

void MainWindow::ConnectCommand() {
  if (connection_.IsConnected()) return;
  HostEncoding encoding = session_.options().hostEncoding;
  std::string terminalType = session_.options().terminalType;
  ConnectDialogModel model(store_, hostName_, encoding, terminalType, settings_);
  ConnectDialogState state = model.Open();
  const bool ok = window_.RunConnectDialog(model, state);
  // The dialog's OK is what changes them; a cancelled dialog leaves them as they were.
  session_.SetHostEncoding(encoding);
  session_.SetTerminalType(std::move(terminalType));
  if (!ok) return;
  StartConnect();
}

// The sending side is shut; what the host still sends is shown until it closes.
void MainWindow::DisconnectCommand() {
  if (!connection_.IsConnected()) return;
  connection_.socket().ShutdownSend();
  userDisconnect_ = true;
}

std::string MainWindow::HostNameText() const { return ConvertPasteText(hostName_, HostEncoding::UTF8); }

void MainWindow::ReportConnectFailure(int error) {
  const HostTextError unreadable = HostTextErrorFromCode(error);
  std::string text = unreadable != HostTextError::kNone ? FormatHostTextError(unreadable, HostNameText())
                                                        : connection_.socket().ErrorText(error);
  if (text.empty()) text = std::string(UiString(kStrConnectFailed));
  window_.ShowMessage(text);
  const int slot = FindHost(store_, hostName_);
  if (slot >= 0 && window_.AskYesNo(FormatHostRemovalQuestion(HostNameText()), MessageIcon::Question)) {
    RemoveHost(store_, slot);
    hostName_.clear();  // the next connection dialog does not offer it
  }
  SetTitleStatus(UiString(kStrNotConnected));
}

// No exception leaves for the window system's event loop, which cannot handle one: when memory
// runs out in the middle of a read or a command, the rest of it is dropped and the user hears
// the alert, and the program goes on.
void MainWindow::OnSocketEvent(SocketEvent event, int error) {
  try {
    HandleSocketEvent(event, error);
  } catch (const std::exception&) {
    EndReadBatch();
    window_.AlertSound();
  }
}

void MainWindow::OnCommand(int id) {
  try {
    HandleCommand(id);
  } catch (const std::exception&) {
    window_.AlertSound();
  }
}

void MainWindow::HandleSocketEvent(SocketEvent event, int error) {
  switch (event) {
    case SocketEvent::Connected:
      OnConnected(error);
      break;
    case SocketEvent::Readable: {
      // One read of at most 512 bytes per event; more data brings another event.
      uint8_t buffer[512];
      const long n = connection_.socket().Receive(buffer, sizeof buffer);
      BeginReadBatch();
      if (n > 0) session_.pipeline().ReceiveBytes(buffer, static_cast<size_t>(n));
      EndReadBatch();
      break;
    }
    case SocketEvent::Writable:
      connection_.OnWritable();
      break;
    case SocketEvent::Closed:
      OnClosedByHost();
      break;
  }
}

void MainWindow::OnConnected(int error) {
  connection_.OnConnected(error);
  if (error != 0) {
    connection_.socket().Close();
    ReportConnectFailure(error);
    return;
  }
  SetTitleStatus(HostNameText());
  screen().ResetForConnection();
  AddHost(store_, HistoryEntry::Make(hostName_, session_.options().hostEncoding, session_.options().terminalType));
}

// Everything the host sent before closing is shown first; then the connection's state goes
// back to its start, and the program ends when the host logged the user out and the user
// asked for that.
void MainWindow::OnClosedByHost() {
  Socket& socket = connection_.socket();
  uint8_t byte;
  BeginReadBatch();
  while (socket.IsOpen() && socket.Receive(&byte, 1) == 1) session_.pipeline().ReceiveByte(byte);
  EndReadBatch();
  socket.Close();
  SetTitleStatus(UiString(kStrNotConnected));
  session_.OnConnectionClosed();
  connection_.DropQueue();
  if (userDisconnect_) {
    userDisconnect_ = false;
    return;
  }
  if (settings_.autoClose != 0) window_.PostCloseRequest();
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

// While the bytes of a read are interpreted, the caret is placed once, after the last of them
// (UpdateCaret only notes that it was asked for): every character written asks for it, and
// only where it ends up can ever be seen.
void MainWindow::PlaceCaret() { caret_.UpdateCaret(screen(), window_, metrics_.cellWidth, metrics_.cellHeight); }

void MainWindow::BeginReadBatch() {
  batchingCaret_ = true;
  notingDamage_ = window_.DrawsAtFrames();
}

void MainWindow::EndReadBatch() {
  notingDamage_ = false;
  GiveNotedDamage();
  batchingCaret_ = false;
  if (!caretPending_) return;
  caretPending_ = false;
  UpdateCaret();
}

void MainWindow::SetTitleStatus(std::string_view statusUtf8) { window_.SetTitleText(FormatTitle(statusUtf8)); }

namespace {

// The first column of the character that covers column `col` of a line.
int32_t CharacterStart(const uint8_t* text, int32_t col) { return IsInsideDoubleByte(text, col) ? col - 1 : col; }

}  // namespace

// Rows of the view that meet the update area, each in at most three stretches split by the
// selection and cut to the line's own width; then the border along the grid's bottom and right.
// Of each row only the characters that meet the area are drawn, with the characters just before
// and after it, whose glyphs may reach into it.
void MainWindow::Paint(PaintPort& painter, const PixelRect& update) {
  ScreenModel& s = screen();
  const int cw = metrics_.cellWidth, ch = std::max(metrics_.cellHeight, 1);
  const int first = std::max(0, update.top / ch);
  const int last = std::min(s.rows() - 1, update.bottom / ch);
  const int cellW = std::max(cw, 1);
  const int32_t leftCell = std::max(0, update.left / cellW);
  const int32_t rightCell = std::max(0, (update.right + cellW - 1) / cellW);
  const Selection& sel = s.selection();
  const NormalizedSelection n = NormalizeSelection(sel.anchorCol, sel.anchorLine, sel.activeCol, sel.activeLine);
  painter.SelectFontVariant(FontVariant::Terminal);
  // The live view's rows are found by index; a view into the backlog is walked from its top.
  int j = 0;
  const TerminalLine* line = s.view().viewTop;
  if (first < s.rows() && line == s.store().screenTop && line != nullptr) {
    j = first;
    line = s.ScreenLine(first);
  }
  for (; j <= last && line != nullptr; ++j, line = line->next) {
    if (j < first) continue;
    const int64_t index = static_cast<int64_t>(s.view().viewIndex) + j;
    const int32_t width = line->width;
    int32_t shownFrom = CharacterStart(line->text(), std::min(leftCell, width));
    if (shownFrom > 0) shownFrom = CharacterStart(line->text(), shownFrom - 1);
    // A double-byte character that starts in the area's last column is drawn whole, and so is
    // the character after the area, whose glyph may reach back into it.
    int32_t shownTo = std::min(width, rightCell);
    if (shownTo < width && CharacterStart(line->text(), shownTo) != shownTo) ++shownTo;
    if (shownTo < width) shownTo = std::min(width, shownTo + (IsSjisLeadByte(line->text()[shownTo]) ? 2 : 1));
    if (shownFrom >= shownTo) continue;
    auto cut = [shownFrom, shownTo](int32_t c) { return std::clamp(c, shownFrom, shownTo); };
    auto draw = [&](int32_t from, int32_t to, bool selected) {
      from = cut(from);
      to = std::max(cut(to), from);
      DrawLineSegment(painter, from * cw, j * ch, line->text() + from, line->attrs() + from, to - from,
                      selected, metrics_, colors_, window_);
    };
    // A selection edge inside a double-byte character selects the character whole; an empty
    // selection selects nothing, wherever it lies.
    const CellSpan edges = WholeCharacters(line->text(), width, n.startCol, n.endCol);
    const bool empty = n.startRow == n.endRow && n.startCol == n.endCol;
    if (empty) {
      draw(0, width, false);
    } else if (index == n.startRow && index == n.endRow) {
      draw(0, edges.from, false);
      draw(edges.from, edges.to, true);
      draw(edges.to, width, false);
    } else if (index == n.startRow && index < n.endRow) {
      draw(0, edges.from, false);
      draw(edges.from, width, true);
    } else if (index > n.startRow && index < n.endRow) {
      draw(0, width, true);
    } else if (index == n.endRow && index > n.startRow) {
      draw(0, edges.to, true);
      draw(edges.to, width, false);
    } else {
      draw(0, width, false);
    }
  }
  const int right = s.columns() * cw, bottom = s.rows() * metrics_.cellHeight;
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
  return EncodeKey(connection_, session_.options(), virtualKey, keyData) != 0;
}

void MainWindow::OnChar(uint8_t byte) {
  if (!connection_.IsConnected()) return;
  if (session_.negotiator().localEcho) EchoTyped(byte);
  if (byte >= 0xA1 && byte <= 0xDF) {
    SendTypedKana(connection_, session_.options().hostEncoding, byte);
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
  if (session_.negotiator().localEcho) screen().PutDoubleChar(lead, trail);
  SendTypedDoubleByte(connection_, session_.options().hostEncoding, trail, lead);
}

void MainWindow::OnTypedText(std::string_view cp932, bool fromInputMethod) {
  for (size_t i = 0; i < cp932.size(); ++i) {
    const auto b = static_cast<uint8_t>(cp932[i]);
    if (IsSjisLeadByte(b) && i + 1 < cp932.size()) {
      OnImeChar(static_cast<uint16_t>((b << 8) | static_cast<uint8_t>(cp932[i + 1])));
      ++i;
    } else if (fromInputMethod) {
      OnImeChar(b);
    } else {
      OnChar(b);
    }
  }
}

PixelRect MainWindow::CompositionCell() const {
  const ScreenModel& s = session_.screen();
  const int x = std::clamp(s.state().cursorCol * metrics_.cellWidth, 0, s.columns() * metrics_.cellWidth);
  const int y = std::clamp(s.state().cursorRow * metrics_.cellHeight, 0, s.rows() * metrics_.cellHeight);
  return PixelRect{x, y, x + metrics_.cellWidth, y + metrics_.cellHeight};
}

// The composition window opens at the composition cell.
void MainWindow::OnImeStartComposition() {
  const PixelRect cell = CompositionCell();
  window_.PlaceComposition(cell.left, cell.top, settings_.logFont);
}

void MainWindow::HandleCommand(int id) {
  switch (id) {
    case kCmdConnect: ConnectCommand(); break;
    case kCmdDisconnect: DisconnectCommand(); break;
    case kCmdCopy: CopyCommand(); break;
    case kCmdPaste: PasteCommand(); break;
    case kCmdSelectAll: SelectAllCommand(); break;
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
      session_.SetHostEncoding(static_cast<HostEncoding>(id - kCmdEncodingEuc));
      break;
    default: break;
  }
}

std::vector<MenuItemState> MainWindow::MenuStateForPopup(int position, bool encodingSubmenu) {
  if (encodingSubmenu) {
    const int current = static_cast<int>(session_.options().hostEncoding);
    std::vector<MenuItemState> items;
    for (int id = kCmdEncodingEuc; id <= kCmdEncodingUtf8; ++id) {
      items.push_back({id, true, id - kCmdEncodingEuc == current});
    }
    return items;
  }
  const bool connected = connection_.IsConnected();
  const Selection& sel = screen().selection();
  switch (position) {
    case 0:
      return {{kCmdConnect, !connected, false}, {kCmdDisconnect, connected, false}};
    case 1: {
      const bool selectionEmpty = sel.IsEmpty();
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
  const auto& bar = s.view().scrollBar;
  int64_t d = 0;
  switch (request) {
    case kSbLineUp: d = -1; break;
    case kSbLineDown: d = 1; break;
    case kSbPageUp: d = -bar.page; break;
    case kSbPageDown: d = bar.page; break;
    case kSbThumbPosition: s.SetThumbTracking(false); break;
    case kSbThumbTrack:
      s.SetThumbTracking(true);
      d = static_cast<int64_t>(trackPosition) - bar.position;
      break;
    case kSbTop: d = -static_cast<int64_t>(bar.position); break;
    case kSbBottom: d = s.ViewBottom(); break;  // the clamp makes it bottom - position
    default: break;
  }
  d = std::clamp<int64_t>(d, INT32_MIN, INT32_MAX);
  s.ScrollView(static_cast<int32_t>(d));  // clamps, scrolls the pixels, moves the bar and the caret
}

// Every character the host writes asks for this; the view is nearly always at the bottom already.
void MainWindow::ShowLiveScreen() {
  const ScreenModel& s = screen();
  if (s.view().scrollBar.position == s.ViewBottom()) return;
  GiveNotedDamage();
  OnVScroll(kSbBottom, 0);
}

void MainWindow::PointAt(int x, int y, int32_t& column, int32_t& line) {
  const ScreenModel& s = screen();
  int32_t col = std::clamp(x / std::max(metrics_.cellWidth, 1), 0, s.columns());
  const int32_t row = std::clamp(y / std::max(metrics_.cellHeight, 1), 0, s.rows() - 1);
  const TerminalLine* shown = s.view().viewTop;
  for (int32_t i = 0; i < row && shown->next != nullptr; ++i) shown = shown->next;
  col = std::min(col, shown->width);
  if (IsInsideDoubleByte(shown->text(), col)) --col;  // the start of that character
  column = col;
  line = s.view().viewIndex + row;
}

namespace {

SelectionSpan Normalized(const Selection& s) {
  const NormalizedSelection n = NormalizeSelection(s.anchorCol, s.anchorLine, s.activeCol, s.activeLine);
  return SelectionSpan{n.startCol, n.startRow, n.endCol, n.endRow};
}

}  // namespace

void MainWindow::InvalidateSelectionSpan(const Selection& selection) {
  const ScreenModel& s = screen();
  for (const CellRect& r : InvalidateSelection(Normalized(selection), s.view().viewIndex, s.rows(), s.columns())) {
    window_.InvalidatePixels(ToPixels(r));
  }
}

void MainWindow::InvalidateSelectionChange(const Selection& before, const Selection& after) {
  const ScreenModel& s = screen();
  for (const CellRect& r : velmora::InvalidateSelectionChange(Normalized(before), Normalized(after),
                                                              s.view().viewIndex, s.rows(), s.columns())) {
    window_.InvalidatePixels(ToPixels(r));
  }
}

void MainWindow::OnLButtonDown(int x, int y) {
  const Selection before = screen().selection();
  int32_t col = 0, line = 0;
  PointAt(x, y, col, line);
  screen().SetSelection(Selection{col, line, col, line});
  window_.CaptureMouse();
  window_.StartSelectionTimer();
  selecting_ = true;
  InvalidateSelectionSpan(before);
}

void MainWindow::OnMouseMove(int x, int y) {
  if (!selecting_) return;
  const Selection before = screen().selection();
  Selection sel = before;
  PointAt(x, y, sel.activeCol, sel.activeLine);
  if (wordSelect_) {
    // The double-clicked word stays selected whichever way the drag goes.
    if (sel.anchorLine < sel.activeLine) {
      sel.anchorCol = wordStart_;
    } else if (sel.anchorLine > sel.activeLine) {
      sel.anchorCol = wordEnd_;
    } else if (sel.activeCol < wordStart_) {
      sel.anchorCol = wordEnd_;
    } else {
      sel.anchorCol = wordStart_;
      if (sel.activeCol <= wordEnd_) sel.activeCol = wordEnd_;
    }
  }
  screen().SetSelection(sel);
  InvalidateSelectionChange(before, sel);
}

void MainWindow::OnLButtonUp() {
  if (selecting_) {
    window_.ReleaseMouse();
    window_.StopSelectionTimer();
    selecting_ = false;
  }
  wordSelect_ = false;
}

void MainWindow::OnLButtonDblClk() {
  ScreenModel& s = screen();
  Selection sel = s.selection();
  // The clicked line is on the window, so it is found from the view's top.
  const TerminalLine* line =
      s.LineAt(std::clamp<int64_t>(sel.anchorLine, s.view().viewIndex, static_cast<int64_t>(s.store().lineCount) - 1));
  if (line == nullptr) return;
  const WordBounds word =
      FindWordBounds(std::string_view(reinterpret_cast<const char*>(line->text()), static_cast<size_t>(line->width)),
                     sel.anchorCol);
  wordStart_ = word.start;
  wordEnd_ = word.end;
  sel.anchorCol = word.start;
  sel.activeCol = word.end;
  s.SetSelection(sel);
  InvalidateSelectionSpan(sel);
  wordSelect_ = true;
  window_.CaptureMouse();
  window_.StartSelectionTimer();
  selecting_ = true;
}

// Copy, clear the selection, paste: with a connection the selected text goes to the host.
void MainWindow::OnRButtonDown() {
  OnCommand(kCmdCopy);
  const Selection before = screen().selection();
  screen().SetSelection(Selection{});
  InvalidateSelectionSpan(before);
  OnCommand(kCmdPaste);
}

// While dragging past the window's edge the view scrolls: one line down or two lines up a tick.
void MainWindow::OnSelectionTimer() {
  const PixelRect client = window_.ClientArea();
  int x = 0, y = 0;
  window_.CursorPosition(x, y);
  const auto& bar = screen().view().scrollBar;
  if (y > client.bottom && bar.position < bar.maximum - bar.page + 1) {
    OnVScroll(kSbLineDown, 0);
    OnMouseMove(x, y);
  } else if (y < 0 && bar.position > 0) {
    OnVScroll(kSbLineUp, 0);
    OnVScroll(kSbLineUp, 0);
    OnMouseMove(x, y);
  }
}

// A touchpad or a high-resolution wheel reports fractions of a notch: they are gathered until a
// whole notch (120) is reached, each whole notch scrolls, and the rest waits for the next event.
// Turning the other way drops what was gathered.
void MainWindow::OnMouseWheel(int delta, unsigned keyFlags) {
  if ((keyFlags & (kWheelShift | kWheelControl)) != 0) return;
  const auto& bar = screen().view().scrollBar;
  if (bar.maximum < bar.page) {  // no backlog: nothing to scroll
    wheelRemainder_ = 0;
    return;
  }
  if ((delta < 0) != (wheelRemainder_ < 0)) wheelRemainder_ = 0;
  const int64_t gathered = wheelRemainder_ + static_cast<int64_t>(delta);
  const int64_t notches = gathered / kWheelNotch;
  wheelRemainder_ = static_cast<int32_t>(gathered % kWheelNotch);
  if (notches == 0) return;
  const int lines = window_.WheelScrollLines();
  if (lines < 0) {
    OnVScroll(delta < 0 ? kSbPageDown : kSbPageUp, 0);
    return;
  }
  // Beyond the whole backlog more lines change nothing.
  const int64_t count = std::min<int64_t>(std::abs(notches) * lines, static_cast<int64_t>(bar.maximum) + 1);
  for (int64_t i = 0; i < count; ++i) OnVScroll(delta < 0 ? kSbLineDown : kSbLineUp, 0);
}

// The selection as text: each line's part without trailing blanks, lines joined by CR LF. A
// selection too large for the memory left (all of a long backlog) leaves the clipboard as it
// was.
void MainWindow::CopyCommand() {
  try {
    CopySelection();
  } catch (const std::bad_alloc&) {
  }
}

void MainWindow::CopySelection() {
  if (std::optional<std::string> text = SelectedText()) window_.SetClipboardText(*text);
}

std::optional<std::string> MainWindow::SelectedText() {
  const ScreenModel& s = screen();
  if (s.selection().IsEmpty()) return std::nullopt;
  std::string text = s.SelectedText();
  return text;
}

// The clipboard's text in the host encoding, behind anything still waiting to be sent. A paste
// that the memory left cannot hold (the clipboard's copy, its conversion, or its room in the
// outgoing queue) is abandoned whole: nothing of it is sent and the user hears the alert.
void MainWindow::PasteCommand() {
  PasteFrom([this] { return window_.GetClipboardText(); });
}

void MainWindow::PasteFrom(const std::function<std::optional<std::string>()>& source) {
  if (!connection_.IsConnected()) return;
  bool kept = false;
  try {
    std::optional<std::string> text = source();
    if (!text) return;
    const std::string_view upToNul(text->data(), std::min(text->size(), text->find('\0')));
    const std::string converted = ConvertPasteText(upToNul, session_.options().hostEncoding);
    text.reset();
    kept = connection_.SendData(converted);
  } catch (const std::bad_alloc&) {
  }
  if (!kept) window_.AlertSound();
}

void MainWindow::SelectAllCommand() {
  ScreenModel& s = screen();
  s.SetSelection(Selection{0, 0, s.columns(), static_cast<int32_t>(s.store().lineCount) - 1});
  window_.InvalidateAll();
}

PixelRect MainWindow::ToPixels(const CellRect& a) const {
  const int cw = metrics_.cellWidth, ch = metrics_.cellHeight;
  return PixelRect{a.left * cw, a.top * ch, a.right * cw, a.bottom * ch};
}

// For a window that draws at its frames, the areas a read damages are joined while they lie on
// the same rows (a line of text is one area, not one per character) and given when the rows
// change, before any other request to the window, and at the end of the read. Only noted rows
// can match, so outside a read every area goes to the window at once.
void MainWindow::InvalidateCells(const CellRect& area) {
  if (area.top == noted_.top && area.bottom == noted_.bottom) {
    noted_.left = std::min(noted_.left, area.left);
    noted_.right = std::max(noted_.right, area.right);
    return;
  }
  NoteOrGiveCells(area);
}

void MainWindow::NoteOrGiveCells(const CellRect& area) {
  if (!notingDamage_) {
    window_.InvalidatePixels(ToPixels(area));
    return;
  }
  GiveNotedDamage();
  noted_ = area;
}

void MainWindow::GiveNotedArea() {
  const CellRect area = noted_;
  noted_ = kNothingNoted;
  window_.InvalidatePixels(ToPixels(area));
}

// A selection belongs to line positions, and the lines of a scroll region move through them
// while the pixels move with the text: the rows where the selection shows, and the rows its
// pixels were moved to, are painted again.
void MainWindow::ScrollCells(const CellRect& area, int32_t dx, int32_t dy) {
  GiveNotedDamage();
  window_.ScrollPixels(ToPixels(area), dx * metrics_.cellWidth, dy * metrics_.cellHeight);
  const ScreenModel& s = screen();
  if (s.selection().IsEmpty()) return;
  const SelectionSpan n = Normalized(s.selection());
  const int64_t first = static_cast<int64_t>(n.startLine) - s.view().viewIndex;
  const int64_t last = static_cast<int64_t>(n.endLine) - s.view().viewIndex;
  for (const int64_t shift : {int64_t{0}, static_cast<int64_t>(dy)}) {
    const int64_t top = std::max<int64_t>(first + shift, area.top);
    const int64_t bottom = std::min<int64_t>(last + shift + 1, area.bottom);
    if (top < bottom) {
      InvalidateCells(CellRect{area.left, static_cast<int32_t>(top), area.right, static_cast<int32_t>(bottom)});
    }
  }
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
  int32_t columns = s.columns(), rows = s.rows();
  uint32_t backlogMax = s.backlogMax();
  TerminalSizeDialogModel model(columns, rows, backlogMax, [&](int32_t) { return s.Resize(columns, rows); });
  if (!window_.RunTerminalSizeDialog(model)) return;
  s.SetBacklogMax(backlogMax);
  FitWindowToGrid(true);
  window_.SetScrollBar(s.view().scrollBar, kScrollRange | kScrollPage);
  window_.InvalidateAll();
  UpdateCaret();
  if (connection_.IsConnected()) session_.negotiator().SendWindowSize();
  settings_.columns = s.columns();
  settings_.rows = s.rows();
  settings_.backlogMax = s.backlogMax();
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

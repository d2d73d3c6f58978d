#include "frontends/win32/win32_window.h"

#include <imm.h>
#include <windowsx.h>

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "app/ui_text.h"
#include "app/window_rules.h"
#include "frontends/win32/win32_dialogs.h"
#include "frontends/win32/win32_text.h"

namespace velmora {
namespace {

// The Shift-JIS faces the system has, and which of them are fixed-pitch (UTF-8 names).
struct JapaneseFaces {
  std::vector<std::string> all;
  std::vector<std::string> fixed;
};

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) {
  auto* faces = reinterpret_cast<JapaneseFaces*>(param);
  const std::wstring_view face(font->lfFaceName);
  if (face.empty() || face[0] == L'@') return 1;  // vertical-writing faces
  const std::string name = WideToUtf8(face);
  faces->all.push_back(name);
  if ((font->lfPitchAndFamily & 0x03) == FIXED_PITCH) faces->fixed.push_back(name);
  return 1;
}

// The face to show Japanese with, chosen from the Shift-JIS faces the system has; empty when
// none fits.
std::wstring FindJapaneseFixedFace(HWND window) {
  JapaneseFaces faces;
  HDC dc = GetDC(window);
  LOGFONTW query{};
  query.lfCharSet = SHIFTJIS_CHARSET;
  EnumFontFamiliesExW(dc, &query, CollectFace, reinterpret_cast<LPARAM>(&faces), 0);
  ReleaseDC(window, dc);
  return Utf8ToWide(ChooseJapaneseFace(faces.fixed, faces.all));
}

// Whether the font as the system realises it has a glyph for "あ" (the face a Japanese
// description names may come out as one without Japanese glyphs).
bool HasJapaneseGlyphs(HWND window, HGDIOBJ font) {
  HDC dc = GetDC(window);
  HGDIOBJ previous = SelectObject(dc, font);
  WORD glyph = 0xFFFF;
  const wchar_t kana[] = L"\x3042";
  const bool found = GetGlyphIndicesW(dc, kana, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) == 1 && glyph != 0xFFFF;
  SelectObject(dc, previous);
  ReleaseDC(window, dc);
  return found;
}

RECT ToRect(const PixelRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

static_assert(kWheelShift == MK_SHIFT && kWheelControl == MK_CONTROL);

}  // namespace

// --- start-up ---

std::string CommandLineArguments(const wchar_t* commandLine) {
  if (commandLine == nullptr) return {};
  const wchar_t* p = commandLine;
  // The program's name: up to the closing quotation mark, or up to the first blank.
  if (*p == L'"') {
    ++p;
    while (*p != L'\0' && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p != L'\0' && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return WideToCp932(p);
}

// --- drawing ---

// Terminal text into the window's device context while it paints: the fonts are the window's,
// the colours and spacing GDI's own state, the text code page 932 turned into UTF-16 (one
// character per double-byte character, so the character extra still counts per character).
class Win32MainWindow::GdiPainter : public PaintPort {
 public:
  GdiPainter(HDC dc, const std::array<HFONT, 4>& fonts) : dc_(dc), fonts_(fonts) {
    previousFont_ = static_cast<HFONT>(SelectObject(dc_, fonts_[0]));
  }
  ~GdiPainter() override {
    if (previousFont_ != nullptr) SelectObject(dc_, previousFont_);
  }
  GdiPainter(const GdiPainter&) = delete;
  GdiPainter& operator=(const GdiPainter&) = delete;

  void SelectFontVariant(FontVariant variant) override {
    HFONT font = fonts_[static_cast<size_t>(variant)];
    SelectObject(dc_, font != nullptr ? font : fonts_[0]);  // a variant that failed draws plain
  }
  void UseTextColor(ColorRef color) override { SetTextColor(dc_, color); }
  void UseBackground(bool opaque, ColorRef color) override {
    SetBkMode(dc_, opaque ? OPAQUE : TRANSPARENT);
    SetBkColor(dc_, color);
  }
  void UseCharacterExtra(int extra) override { SetTextCharacterExtra(dc_, extra); }
  void OutputText(int x, int y, const uint8_t* bytes, size_t count) override {
    const std::wstring text = Cp932ToWide(std::string_view(reinterpret_cast<const char*>(bytes), count));
    TextOutW(dc_, x, y, text.data(), static_cast<int>(text.size()));
  }
  void DrawBorder(int x0, int y0, int x1, int y1, int x2, int y2, ColorRef color) override {
    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ previous = SelectObject(dc_, pen);
    MoveToEx(dc_, x0, y0, nullptr);
    LineTo(dc_, x1, y1);
    LineTo(dc_, x2, y2);
    SelectObject(dc_, previous);
    DeleteObject(pen);
  }

 private:
  HDC dc_;
  const std::array<HFONT, 4>& fonts_;
  HFONT previousFont_ = nullptr;
};

// Measures the terminal font and its variants in the window's device context.
class Win32MainWindow::GdiMeasurer : public FontMeasurer {
 public:
  GdiMeasurer(HWND window, const std::array<HFONT, 4>& fonts) : window_(window), fonts_(fonts) {
    dc_ = GetDC(window_);
    previousFont_ = static_cast<HFONT>(SelectObject(dc_, fonts_[0]));
  }
  ~GdiMeasurer() override {
    SelectObject(dc_, previousFont_);
    ReleaseDC(window_, dc_);
  }
  GdiMeasurer(const GdiMeasurer&) = delete;
  GdiMeasurer& operator=(const GdiMeasurer&) = delete;

  FontFaceInfo TerminalFace() override {
    SelectObject(dc_, fonts_[0]);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc_, &tm);
    return FontFaceInfo{tm.tmAveCharWidth, tm.tmHeight, tm.tmCharSet};
  }
  int TextWidth(FontVariant variant, const uint8_t* bytes, size_t count) override {
    HFONT font = fonts_[static_cast<size_t>(variant)];
    SelectObject(dc_, font != nullptr ? font : fonts_[0]);
    const std::wstring text = Cp932ToWide(std::string_view(reinterpret_cast<const char*>(bytes), count));
    SIZE size{};
    GetTextExtentPoint32W(dc_, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(dc_, fonts_[0]);
    return size.cx;
  }

 private:
  HWND window_;
  const std::array<HFONT, 4>& fonts_;
  HDC dc_ = nullptr;
  HFONT previousFont_ = nullptr;
};

// --- the window ---

Win32MainWindow::Win32MainWindow(HINSTANCE instance) : instance_(instance) {}

// Messages that still arrive while the window goes find no logic; the logic goes before the
// fonts and the brush it drew with.
Win32MainWindow::~Win32MainWindow() {
  MainWindow* logic = logic_;
  logic_ = nullptr;
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  if (socket_ != nullptr && logic != nullptr) socket_->SetEventHandler(nullptr);
  ownedLogic_.reset();
  DeleteFonts();
  ReleaseWindowBrush();
}

MainWindow& Win32MainWindow::MakeLogic(Win32Socket& socket, RegistryStore& store, int processId) {
  socket_ = &socket;
  ownedLogic_ = std::make_unique<MainWindow>(*this, socket, store, processId);
  logic_ = ownedLogic_.get();
  return *logic_;
}

HBRUSH Win32MainWindow::MakeBackgroundBrush(const ColorScheme& scheme) {
  if (scheme.colorDefault != 0) return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  if (windowBrush_ == nullptr) windowBrush_ = CreateSolidBrush(scheme.colorWindow);
  return windowBrush_;
}

void Win32MainWindow::ReleaseWindowBrush() {
  if (windowBrush_ == nullptr) return;
  if (hwnd_ != nullptr) {
    SetClassLongPtrW(hwnd_, GCLP_HBRBACKGROUND, static_cast<LONG_PTR>(COLOR_WINDOW + 1));
  }
  DeleteObject(windowBrush_);
  windowBrush_ = nullptr;
}

void Win32MainWindow::DeleteFonts() {
  for (HFONT& font : fonts_) {
    if (font != nullptr) DeleteObject(font);
    font = nullptr;
  }
}

// The class is registered anew for every window made, so that it carries the background of
// the scheme loaded for that window. (It cannot be while a window of the class exists; the
// background is then set on the class through the new window.)
bool Win32MainWindow::RegisterWindowClass() {
  UnregisterClassW(kClassName, instance_);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance_;
  wc.hIcon = static_cast<HICON>(
      LoadImageW(instance_, MAKEINTRESOURCEW(kResIcon), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kResIcon), IMAGE_ICON, 16, 16, LR_SHARED));
  wc.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
  wc.hbrBackground = MakeBackgroundBrush(logic_->colors());
  wc.lpszMenuName = MAKEINTRESOURCEW(kResMainMenu);
  wc.lpszClassName = kClassName;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool Win32MainWindow::Create() {
  if (logic_ == nullptr || !RegisterWindowClass()) return false;
  const std::wstring title = Utf8ToWide(kProgramName);
  HWND created = CreateWindowExW(WS_EX_CLIENTEDGE, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VSCROLL,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                 instance_, this);
  if (created == nullptr) return false;
  SetClassLongPtrW(hwnd_, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(MakeBackgroundBrush(logic_->colors())));
  return true;
}

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<Win32MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
    if (self->socket_ != nullptr) self->socket_->SetWindow(hwnd);
  }
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  if (self->logic_ == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT Win32MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindow& logic = *logic_;
  switch (message) {
    case WM_CREATE:
      return logic.OnCreate() ? 0 : -1;
    case WM_DESTROY:
      logic.OnDestroy();
      DeleteObject(fonts_[0]);  // the variants stay until the window object goes
      fonts_[0] = nullptr;
      ReleaseWindowBrush();
      return 0;
    case WM_SETFOCUS:
      logic.OnSetFocus();
      return 0;
    case WM_KILLFOCUS:
      logic.OnKillFocus();
      return 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_CLOSE:
      logic.OnClose();
      return 0;
    case WM_QUERYENDSESSION:
      return logic.OnQueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
      logic.OnEndSession(wParam != 0);
      return 0;
    case WM_SETTINGCHANGE:  // also WM_WININICHANGE
    case WM_SYSCOLORCHANGE:
      logic.OnSystemSettingsChange();
      return 0;
    case WM_KEYDOWN:
      if (logic.OnKeyDown(static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam))) return 0;
      break;
    case WM_SYSKEYDOWN:
      // Alt with an arrow sends the arrow's sequence, as Shift and Ctrl with one do; every other
      // Alt key (the menus' mnemonics, Alt+F4) is the system's.
      if (wParam == VK_LEFT || wParam == VK_UP || wParam == VK_RIGHT || wParam == VK_DOWN) {
        if (logic.OnKeyDown(static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam))) return 0;
      }
      break;
    case WM_CHAR:
      OnTypedCharacter(static_cast<wchar_t>(wParam), false);
      return 0;
    case WM_IME_CHAR:
      OnTypedCharacter(static_cast<wchar_t>(wParam), true);
      return 0;
    case WM_IME_STARTCOMPOSITION:
      logic.OnImeStartComposition();
      break;
    case WM_COMMAND:
      logic.OnCommand(LOWORD(wParam));
      return 0;
    case WM_TIMER:
      logic.OnSelectionTimer();
      return 0;
    case WM_VSCROLL:
      if (lParam == 0) OnScrollMessage(LOWORD(wParam));  // the window's own bar
      return 0;
    case WM_INITMENUPOPUP:
      if (HIWORD(lParam) != 0) break;  // the system menu
      OnInitMenuPopup(reinterpret_cast<HMENU>(wParam), LOWORD(lParam));
      return 0;
    case WM_MOUSEMOVE:
      logic.OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      break;
    case WM_LBUTTONDOWN:
      logic.OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONUP:
      logic.OnLButtonUp();
      return 0;
    case WM_LBUTTONDBLCLK:
      logic.OnLButtonDblClk();
      return 0;
    case WM_RBUTTONDOWN:
      logic.OnRButtonDown();
      return 0;
    case WM_MOUSEWHEEL:  // the key state's MK_SHIFT and MK_CONTROL are the logic's flags
      logic.OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam), GET_KEYSTATE_WPARAM(wParam));
      return 0;
    case kWmSocket:
      if (socket_ != nullptr) socket_->OnSocketMessage(wParam, lParam);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Win32MainWindow::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  {
    GdiPainter painter(dc, fonts_);
    logic_->Paint(painter, PixelRect{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom});
  }
  EndPaint(hwnd_, &ps);
}

// The window is a Unicode window: a character comes as UTF-16 and goes to the logic as code
// page 932, where a character code page 932 lacks is a '?'. A character beyond the 16-bit range
// comes as two messages, its high and low surrogates, and is one '?'.
void Win32MainWindow::OnTypedCharacter(wchar_t c, bool fromInputMethod) {
  std::wstring text;
  if (pendingSurrogate_ != 0) text.push_back(std::exchange(pendingSurrogate_, wchar_t{0}));
  if (c >= 0xD800 && c <= 0xDBFF) {
    if (!text.empty()) logic_->OnTypedText(WideToCp932(text), fromInputMethod);  // a lone first half
    pendingSurrogate_ = c;
    return;
  }
  text.push_back(c);
  logic_->OnTypedText(WideToCp932(text), fromInputMethod);
}

// The Encoding submenu is known by its handle: its position in the Connection popup equals the
// Help popup's position in the menu bar.
void Win32MainWindow::OnInitMenuPopup(HMENU popup, int position) {
  HMENU connection = GetSubMenu(GetMenu(hwnd_), kPopupConnection);
  const bool encodingSubmenu = connection != nullptr && popup == GetSubMenu(connection, kEncodingSubmenuEntry);
  for (const MenuItemState& item : logic_->MenuStateForPopup(position, encodingSubmenu)) {
    EnableMenuItem(popup, static_cast<UINT>(item.id), MF_BYCOMMAND | (item.enabled ? MF_ENABLED : MF_GRAYED));
    if (encodingSubmenu) {
      if (item.checked) CheckMenuRadioItem(popup, kCmdEncodingEuc, kCmdEncodingUtf8, static_cast<UINT>(item.id), MF_BYCOMMAND);
    } else {
      CheckMenuItem(popup, static_cast<UINT>(item.id), MF_BYCOMMAND | (item.checked ? MF_CHECKED : MF_UNCHECKED));
    }
  }
}

void Win32MainWindow::OnScrollMessage(int request) {
  int track = 0;
  if (request == SB_THUMBTRACK) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_TRACKPOS;
    GetScrollInfo(hwnd_, SB_VERT, &si);
    track = si.nTrackPos;
  }
  logic_->OnVScroll(request, track);
}

// --- CaretPort ---

bool Win32MainWindow::HasFocus() const { return hwnd_ != nullptr && GetFocus() == hwnd_; }
void Win32MainWindow::CreateSolidCaret(int width, int height) { CreateCaret(hwnd_, nullptr, width, height); }
void Win32MainWindow::DestroyCaret() { ::DestroyCaret(); }
void Win32MainWindow::ShowCaret() { ::ShowCaret(hwnd_); }
void Win32MainWindow::HideCaret() { ::HideCaret(hwnd_); }
void Win32MainWindow::MoveCaret(int x, int y) { SetCaretPos(x, y); }

ColorRef Win32MainWindow::SystemColor(int index) const { return GetSysColor(index); }

// --- damage and scrolling ---

void Win32MainWindow::InvalidatePixels(const PixelRect& area) {
  const RECT r = ToRect(area);
  InvalidateRect(hwnd_, &r, TRUE);
}

void Win32MainWindow::InvalidateAll() { InvalidateRect(hwnd_, nullptr, TRUE); }

void Win32MainWindow::ScrollPixels(const PixelRect& area, int dx, int dy) {
  const RECT r = ToRect(area);
  ScrollWindowEx(hwnd_, dx, dy, &r, &r, nullptr, nullptr, SW_INVALIDATE | SW_ERASE);
}

void Win32MainWindow::UpdateNow() { UpdateWindow(hwnd_); }

void Win32MainWindow::SetScrollBar(const ScrollBarInfo& bar, unsigned parts) {
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_DISABLENOSCROLL;
  if (parts & kScrollRange) si.fMask |= SIF_RANGE;
  if (parts & kScrollPage) si.fMask |= SIF_PAGE;
  if (parts & kScrollPosition) si.fMask |= SIF_POS;
  si.nMin = bar.minimum;
  si.nMax = bar.maximum;
  si.nPage = static_cast<UINT>(std::max(bar.page, 0));
  si.nPos = bar.position;
  SetScrollInfo(hwnd_, SB_VERT, &si, TRUE);
}

// --- the window itself ---

void Win32MainWindow::SetTitleText(const std::string& title) { SetWindowTextW(hwnd_, Utf8ToWide(title).c_str()); }

FrameMetrics Win32MainWindow::GetFrameMetrics() {
  FrameMetrics m;
  m.cxVScroll = GetSystemMetrics(SM_CXVSCROLL);
  m.cxEdge = GetSystemMetrics(SM_CXEDGE);
  m.cxFrame = GetSystemMetrics(SM_CXFRAME);
  m.cyCaption = GetSystemMetrics(SM_CYCAPTION);
  m.cyMenu = GetSystemMetrics(SM_CYMENU);
  m.cyEdge = GetSystemMetrics(SM_CYEDGE);
  m.cyFrame = GetSystemMetrics(SM_CYFRAME);
  return m;
}

void Win32MainWindow::ResizeWindow(int outerWidth, int outerHeight, bool redraw) {
  SetWindowPos(hwnd_, nullptr, 0, 0, outerWidth, outerHeight,
               SWP_NOMOVE | SWP_NOZORDER | (redraw ? 0u : static_cast<UINT>(SWP_NOREDRAW)));
}

void Win32MainWindow::SetWindowBackground(const ColorScheme& scheme) {
  HBRUSH old = windowBrush_;
  windowBrush_ = nullptr;
  HBRUSH brush = MakeBackgroundBrush(scheme);
  if (hwnd_ != nullptr) SetClassLongPtrW(hwnd_, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(brush));
  if (old != nullptr) DeleteObject(old);
}

void Win32MainWindow::DestroyNativeWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);  // WM_DESTROY calls the logic's OnDestroy
}

void Win32MainWindow::PostQuit(int exitCode) {
  exitCode_ = exitCode;
  PostQuitMessage(exitCode);
}

void Win32MainWindow::AlertSound() { MessageBeep(MB_OK); }

void Win32MainWindow::PostCloseRequest() { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

// --- fonts ---

// The terminal font from the description, and its variants made from the font object as it
// really came out: underlined, bold and underlined, bold.
FontMetrics Win32MainWindow::CreateTerminalFont(const LogFont& description) {
  DeleteFonts();
  LOGFONTW lf = ToWin32LogFont(description);
  fonts_[0] = CreateFontIndirectW(&lf);
  if (fonts_[0] == nullptr) {
    lf = ToWin32LogFont(SystemFixedFontDescription());
    fonts_[0] = CreateFontIndirectW(&lf);
  }
  LOGFONTW real{};
  if (GetObjectW(fonts_[0], sizeof real, &real) == 0) real = lf;
  real.lfUnderline = TRUE;
  fonts_[static_cast<size_t>(FontVariant::Underline)] = CreateFontIndirectW(&real);
  real.lfWeight = FW_BOLD;
  fonts_[static_cast<size_t>(FontVariant::BoldUnderline)] = CreateFontIndirectW(&real);
  real.lfUnderline = FALSE;
  fonts_[static_cast<size_t>(FontVariant::Bold)] = CreateFontIndirectW(&real);

  GdiMeasurer measurer(hwnd_, fonts_);
  return MeasureTerminalFont(measurer);
}

// The stock fixed-pitch font; where it is no Shift-JIS font with Japanese glyphs (a Western
// system, Wine without a Japanese locale) a Japanese fixed face of the same height, when one is
// installed, so that Japanese text shows.
LogFont Win32MainWindow::SystemFixedFontDescription() {
  HGDIOBJ stock = GetStockObject(SYSTEM_FIXED_FONT);
  LOGFONTW lf{};
  GetObjectW(stock, sizeof lf, &lf);
  if (lf.lfCharSet != SHIFTJIS_CHARSET || !HasJapaneseGlyphs(hwnd_, stock)) {
    const std::wstring face = FindJapaneseFixedFace(hwnd_);
    if (!face.empty()) {
      lf.lfCharSet = SHIFTJIS_CHARSET;
      lf.lfWidth = 0;
      lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
      if (lf.lfHeight == 0) lf.lfHeight = 16;
      const size_t n = std::min<size_t>(face.size(), LF_FACESIZE - 1);
      std::copy_n(face.data(), n, lf.lfFaceName);
      lf.lfFaceName[n] = L'\0';
    }
  }
  return FromWin32LogFont(lf);
}

LogFont Win32MainWindow::CurrentFontDescription() {
  LOGFONTW lf{};
  if (fonts_[0] == nullptr || GetObjectW(fonts_[0], sizeof lf, &lf) == 0) return logic_->settings().logFont;
  return FromWin32LogFont(lf);
}

void Win32MainWindow::PlaceComposition(int x, int y, const LogFont& font) {
  HIMC context = ImmGetContext(hwnd_);
  if (context == nullptr) return;
  COMPOSITIONFORM form{};
  form.dwStyle = CFS_POINT;
  form.ptCurrentPos = POINT{x, y};
  ImmSetCompositionWindow(context, &form);
  LOGFONTW lf = ToWin32LogFont(font);
  ImmSetCompositionFontW(context, &lf);
  ImmReleaseContext(hwnd_, context);
}

// --- dialogs and messages ---

bool Win32MainWindow::ChooseTerminalFont(LogFont& font) { return ChooseWin32TerminalFont(hwnd_, font); }
bool Win32MainWindow::RunTerminalSizeDialog(TerminalSizeDialogModel& model) {
  return RunWin32TerminalSizeDialog(hwnd_, model);
}
void Win32MainWindow::RunAboutDialog() { RunWin32AboutDialog(hwnd_); }
bool Win32MainWindow::RunColorDialog(ColorDialogModel& model, CustomColors& customColors) {
  return RunWin32ColorDialog(hwnd_, model, customColors, *this);
}
bool Win32MainWindow::RunConnectDialog(ConnectDialogModel& model, ConnectDialogState& state) {
  return RunWin32ConnectDialog(hwnd_, model, state);
}
bool Win32MainWindow::AskYesNo(const std::string& text, MessageIcon icon) {
  return AskWin32YesNo(hwnd_, text, icon == MessageIcon::Question);
}
void Win32MainWindow::ShowMessage(const std::string& text) { ShowWin32Message(hwnd_, text); }

// --- clipboard: UTF-16 outside, code page 932 inside ---

bool Win32MainWindow::ClipboardHasText() {
  return IsClipboardFormatAvailable(CF_UNICODETEXT) || IsClipboardFormatAvailable(CF_TEXT);
}

std::optional<std::string> Win32MainWindow::GetClipboardText() {
  if (!OpenClipboard(hwnd_)) return std::nullopt;
  std::optional<std::string> text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      // Up to the NUL, and never beyond the block.
      const size_t capacity = GlobalSize(data) / sizeof(wchar_t);
      const std::wstring_view all(chars, capacity);
      text = WideToCp932(all.substr(0, std::min(all.find(L'\0'), capacity)));
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

bool Win32MainWindow::SetClipboardText(const std::string& text) {
  const std::wstring wide = Cp932ToWide(text);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (wide.size() + 1) * sizeof(wchar_t));
  if (block == nullptr) return false;
  if (auto* chars = static_cast<wchar_t*>(GlobalLock(block))) {
    std::copy(wide.begin(), wide.end(), chars);
    GlobalUnlock(block);
  }
  if (!OpenClipboard(hwnd_)) {
    GlobalFree(block);
    return false;
  }
  EmptyClipboard();
  const bool taken = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
  CloseClipboard();
  if (!taken) GlobalFree(block);  // the block passes to the system only when it was taken
  return taken;
}

// --- mouse ---

void Win32MainWindow::CaptureMouse() { SetCapture(hwnd_); }
void Win32MainWindow::ReleaseMouse() { ReleaseCapture(); }
void Win32MainWindow::StartSelectionTimer() { SetTimer(hwnd_, kSelectionTimer, 100, nullptr); }
void Win32MainWindow::StopSelectionTimer() { KillTimer(hwnd_, kSelectionTimer); }

PixelRect Win32MainWindow::ClientArea() {
  RECT r{};
  GetClientRect(hwnd_, &r);
  return PixelRect{r.left, r.top, r.right, r.bottom};
}

void Win32MainWindow::CursorPosition(int& x, int& y) {
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(hwnd_, &p);
  x = p.x;
  y = p.y;
}

int Win32MainWindow::WheelScrollLines() {
  UINT lines = 3;
  if (!SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0)) return 3;
  return lines == WHEEL_PAGESCROLL ? -1 : static_cast<int>(lines);
}

// ---------------------------------------------------------------------------------------------

bool Win32StartupPlatform::StartNetworking() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 0), &data) == 0;
}

void Win32StartupPlatform::StopNetworking() { WSACleanup(); }

void Win32StartupPlatform::ShowMainWindow() {
  ShowWindow(window_.hwnd(), showCommand_);
  UpdateWindow(window_.hwnd());
  accelerators_ = LoadAcceleratorsW(window_.instance(), MAKEINTRESOURCEW(kResAccelerators));
}

int Win32StartupPlatform::RunEventLoop() { return RunWin32MessageLoop(window_.hwnd(), accelerators_); }

int RunWin32MessageLoop(HWND window, HACCEL accelerators) {
  MSG msg;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) return 1;
    if (accelerators != nullptr && window != nullptr && IsWindow(window) &&
        TranslateAcceleratorW(window, accelerators, &msg)) {
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace velmora

// The Win32 window against a host played on 127.0.0.1: the window and its menus, negotiation and
// text through WSAAsyncSelect, typed keys and input-method characters, the mouse, the clipboard
// and the wheel, the failure questions, closing by the host, and what the dialogs leave in the
// registry.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include <commdlg.h>
#include <dlgs.h>
#include <imm.h>

#include "app/ui_text.h"
#include "frontends/win32/win32_dialogs.h"
#include "frontends/win32/win32_registry.h"
#include "frontends/win32/win32_socket.h"
#include "frontends/win32/win32_text.h"
#include "frontends/win32/win32_window.h"
#include "frontends/win32/window_test_support.h"
#include "settings/host_history.h"
#include "settings/terminal_size_dialog.h"

namespace velmora::testing {
namespace {

const std::wstring kIdleTitle = L"\x672A\x63A5\x7D9A - Velmora";  // 未接続 - Velmora
const std::wstring kSettings = L"SOFTWARE\\ostrin\\Velmora";
const std::wstring kHistory = L"SOFTWARE\\ostrin\\Velmora\\most recently used";

// The program as WinMain builds it, on a registry root of its own, with the socket pointed at
// the test's host.
struct Program {
  explicit Program(uint16_t port)
      : store(root.key()), socket(port), window(GetModuleHandleW(nullptr)),
        logic(window.MakeLogic(socket, store, static_cast<int>(GetCurrentProcessId()))),
        platform(window, SW_SHOWNORMAL) {}
  ~Program() {
    // A quit message the closed window posted must not end the next test's loop.
    MSG m;
    while (PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  // Start-up up to the message loop, as RunVelmora does it.
  void Start(const std::string& commandLine) {
    logic.LoadSettingsAndCommandLine(commandLine);
    ASSERT_TRUE(window.Create());
    logic.FitWindowToGrid(false);
    platform.ShowMainWindow();
    SetForegroundWindow(window.hwnd());
    SetFocus(window.hwnd());
    // The accelerator table is in hand once the window is shown, before any connection.
    pump.window = window.hwnd();
    pump.accelerators = platform.accelerators();
    ASSERT_NE(pump.accelerators, nullptr);
    logic.ConnectAtStart();
  }
  bool Until(const std::function<bool()>& done, int seconds = 30) { return pump.Until(done, seconds); }
  std::wstring Title() const { return WindowText(window.hwnd()); }
  // Screen row r without its trailing blanks.
  std::string Row(int r) {
    const TerminalLine* l = logic.screen().ScreenLine(r);
    std::string s(reinterpret_cast<const char*>(l->text()), static_cast<size_t>(l->width));
    return s.erase(s.find_last_not_of(' ') + 1);
  }
  int cw() const { return logic.metrics().cellWidth; }
  int ch() const { return logic.metrics().cellHeight; }
  HWND hwnd() const { return window.hwnd(); }
  LPARAM Cell(int column, int row, int dx = 1, int dy = 2) const {
    return MAKELPARAM(column * cw() + dx, row * ch() + dy);
  }

  TestRegistryRoot root;
  Win32RegistryStore store;
  Win32Socket socket;
  Win32MainWindow window;
  MainWindow& logic;
  Win32StartupPlatform platform;
  MessagePump pump;
};

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(winsock.ok);
    program = std::make_unique<Program>(host.port);
  }
  void TearDown() override { program.reset(); }

  // Starts with the host named on the command line and waits until the title shows it.
  void Connect(const std::string& options) {
    program->Start("/H 127.0.0.1 " + options);
    ASSERT_TRUE(host.Accept(30, [&] { program->pump.Once(); }));
    ASSERT_TRUE(program->Until([&] { return program->Title() == L"127.0.0.1 - Velmora"; }));
  }
  // The host says `text`; waits until screen row `row` reads `want`.
  void Show(const std::string& text, int row, const std::string& want) {
    ASSERT_TRUE(host.Send(text));
    ASSERT_TRUE(program->Until([&] { return program->Row(row) == want; })) << program->Row(row);
  }
  // Sends "line 0" to "line <count - 1>", one per line, and waits until the last shows.
  void ShowNumberedLines(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += "line " + std::to_string(i) + "\r\n";
    Show(lines, 22, "line " + std::to_string(count - 1));
  }
  // What the terminal sent, once `count` bytes are there.
  std::string Sent(size_t count) { return host.Read(count, 30, [&] { program->pump.Once(); }); }

  WinsockSession winsock;
  LoopbackHost host;
  std::unique_ptr<Program> program;
};

TEST_F(Win32WindowTest, WindowOpensNotConnectedWithItsMenu) {
  program->Start("");
  HWND w = program->hwnd();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(program->Title(), kIdleTitle);
  EXPECT_EQ(ClassNameOf(w), L"Velmora");
  EXPECT_TRUE(GetClassLongPtrW(w, GCL_STYLE) & CS_DBLCLKS);
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(w, GCLP_HCURSOR)), LoadCursorW(nullptr, IDC_IBEAM));
  EXPECT_NE(GetClassLongPtrW(w, GCLP_HICON), 0);
  EXPECT_TRUE(GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  const LONG_PTR style = GetWindowLongPtrW(w, GWL_STYLE);
  EXPECT_EQ(style & (WS_OVERLAPPEDWINDOW | WS_VSCROLL), WS_OVERLAPPEDWINDOW | WS_VSCROLL);
  EXPECT_FALSE(style & WS_HSCROLL);

  // The client area holds the grid.
  RECT client{};
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, 80 * program->cw());
  EXPECT_EQ(client.bottom, 24 * program->ch());

  // The menu bar as the core lists it, item texts with their accelerator labels.
  HMENU bar = GetMenu(w);
  ASSERT_NE(bar, nullptr);
  const auto popups = MainMenu();
  ASSERT_EQ(GetMenuItemCount(bar), static_cast<int>(popups.size()));
  auto text = [](HMENU menu, UINT position) {
    wchar_t buffer[128] = {};
    GetMenuStringW(menu, position, buffer, 128, MF_BYPOSITION);
    return std::wstring(buffer);
  };
  for (size_t p = 0; p < popups.size(); ++p) {
    EXPECT_EQ(text(bar, static_cast<UINT>(p)), Utf8ToWide(popups[p].text));
    HMENU popup = GetSubMenu(bar, static_cast<int>(p));
    ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(popups[p].entries.size()));
    for (size_t i = 0; i < popups[p].entries.size(); ++i) {
      const MenuEntry& entry = popups[p].entries[i];
      if (entry.kind == MenuEntryKind::kSeparator) {
        EXPECT_TRUE(GetMenuState(popup, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR);
      } else if (entry.kind == MenuEntryKind::kSubmenu) {
        EXPECT_EQ(text(popup, static_cast<UINT>(i)), Utf8ToWide(entry.text));
        HMENU sub = GetSubMenu(popup, static_cast<int>(i));
        ASSERT_EQ(GetMenuItemCount(sub), static_cast<int>(entry.submenu.size()));
        for (size_t k = 0; k < entry.submenu.size(); ++k) {
          EXPECT_EQ(static_cast<int>(GetMenuItemID(sub, static_cast<int>(k))), entry.submenu[k].command);
          EXPECT_EQ(text(sub, static_cast<UINT>(k)), Utf8ToWide(MenuItemCaption(entry.submenu[k])));
        }
      } else {
        EXPECT_EQ(static_cast<int>(GetMenuItemID(popup, static_cast<int>(i))), entry.command);
        EXPECT_EQ(text(popup, static_cast<UINT>(i)), Utf8ToWide(MenuItemCaption(entry)));
      }
    }
  }

  // No font stored: the system's fixed font, or a Japanese fixed face where that has no
  // Japanese glyphs, so that Japanese text shows.
  const LogFont& font = program->logic.settings().logFont;
  EXPECT_EQ(font.charSet(), SHIFTJIS_CHARSET);
  EXPECT_FALSE(program->root.Value(kSettings, L"logfont").has_value());  // kept only when chosen
  {
    LOGFONTW lf = ToWin32LogFont(font);
    HFONT made = CreateFontIndirectW(&lf);
    HDC dc = GetDC(w);
    HGDIOBJ previous = SelectObject(dc, made);
    WORD glyphs[2] = {};
    GetGlyphIndicesW(dc, L"\x3042\x6f22", 2, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    EXPECT_NE(glyphs[0], 0xFFFF);
    EXPECT_NE(glyphs[1], 0xFFFF);
    SelectObject(dc, previous);
    ReleaseDC(w, dc);
    DeleteObject(made);
  }
  EXPECT_EQ(program->logic.metrics().doubleByteExtra, 0);  // full-width glyphs two cells wide

  // The scroll bar: nothing to scroll yet, shown disabled.
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  ASSERT_TRUE(GetScrollInfo(w, SB_VERT, &si));
  EXPECT_EQ(si.nMin, 0);
  EXPECT_EQ(si.nMax, 23);
  EXPECT_EQ(si.nPage, 24u);
  EXPECT_EQ(si.nPos, 0);
}

TEST(Win32Startup, CommandLineWithoutTheProgramName) {
  struct Case {
    const wchar_t* line;
    std::string arguments;
  };
  const Case cases[] = {
      {L"velmora.exe /H host /C utf8", "/H host /C utf8"},
      {L"\"C:\\Program Files\\Velmora\\velmora.exe\" /Tvt52", "/Tvt52"},
      {L"\"velmora.exe\"/Hhost", "/Hhost"},  // the quoted name ends where its quotes do
      {L"velmora.exe \t  /H \x30DB\x30B9\x30C8", "/H \x83\x7a\x83\x58\x83\x67"},  // to code page 932
      {L"velmora.exe", ""},
      {L"\"velmora.exe", ""},
      {L"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CommandLineArguments(c.line), c.arguments) << WideToCp932(c.line);
  EXPECT_EQ(CommandLineArguments(nullptr), "");
}

// --- the session ---

// A key pressed and released in the window, as the keyboard posts it.
void Key(HWND w, UINT vk) {
  const LPARAM data = 1 | static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) << 16);
  PostMessageW(w, WM_KEYDOWN, vk, data);
  PostMessageW(w, WM_KEYUP, vk, data | static_cast<LPARAM>(0xC0000000u));
}

// Alt with a key: a system key while the thread's keyboard state has Alt down, as the
// accelerator table reads it.
void AltKey(MessagePump& pump, HWND w, UINT vk) {
  BYTE state[256];
  GetKeyboardState(state);
  const BYTE before = state[VK_MENU];
  state[VK_MENU] |= 0x80;
  SetKeyboardState(state);
  const LPARAM data = 1 | static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) << 16) | (1 << 29);
  PostMessageW(w, WM_SYSKEYDOWN, vk, data);
  PostMessageW(w, WM_SYSKEYUP, vk, data | static_cast<LPARAM>(0xC0000000u));
  pump.Settle(20);
  state[VK_MENU] = before;
  SetKeyboardState(state);
}

std::optional<std::wstring> ClipboardText() {
  if (!OpenClipboard(nullptr)) return std::nullopt;
  std::optional<std::wstring> text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

void SetClipboardText(const std::wstring& text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  std::copy(text.c_str(), text.c_str() + text.size() + 1, static_cast<wchar_t*>(GlobalLock(block)));
  GlobalUnlock(block);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  SetClipboardData(CF_UNICODETEXT, block);
  CloseClipboard();
}

TEST_F(Win32WindowTest, NegotiationTextAndTypedKeys) {
  Connect("/C sjis /T vt100");
  HWND w = program->hwnd();
  // The host asks for the terminal type and the window size and offers to echo.
  ASSERT_TRUE(host.Send("\xff\xfd\x18" "\xff\xfd\x1f" "\xff\xfb\x01"));
  const std::string agreed = std::string("\xff\xfb\x18") + "\xff\xfb\x1f" +
                             std::string("\xff\xfa\x1f\x00\x50\x00\x18\xff\xf0", 9) + "\xff\xfd\x01";
  EXPECT_EQ(Sent(agreed.size()), agreed);
  ASSERT_TRUE(host.Send(std::string("\xff\xfa\x18\x01\xff\xf0", 6)));
  const std::string type = std::string("\xff\xfa\x18\x00", 4) + "vt100" + "\xff\xf0";
  EXPECT_EQ(Sent(type.size()), type);

  // Japanese from the host lands in the cells; the caret follows the cursor.
  Show("\x93\xfa\x96\x7b\x8c\xea ok\r\n", 0, "\x93\xfa\x96\x7b\x8c\xea ok");
  POINT caret{};
  GetCaretPos(&caret);
  EXPECT_EQ(caret.x, 0);
  EXPECT_EQ(caret.y, program->ch());

  // What the keyboard and the input method send; each case ends with a "." to delimit it.
  auto post = [w](UINT message, WPARAM character) { PostMessageW(w, message, character, 1); };
  struct Case {
    const char* what;
    std::function<void()> type;
    std::string sent;
  };
  const Case cases[] = {
      {"up arrow", [&] { Key(w, VK_UP); }, "\x1bOA"},
      {"F1", [&] { Key(w, VK_F1); }, "\x1bOP"},
      {"letter keys through key translation", [&] { Key(w, 'L'); Key(w, 'S'); }, "ls"},
      {"a key without a sequence or character", [&] { Key(w, VK_SHIFT); }, ""},
      {"enter", [&] { post(WM_CHAR, L'\r'); }, "\r"},
      {"control C", [&] { post(WM_CHAR, 0x03); }, "\x03"},
      {"hiragana typed", [&] { post(WM_CHAR, 0x3042); }, "\x82\xa0"},
      {"half-width katakana", [&] { post(WM_CHAR, 0xFF71); }, "\xb1"},
      {"kanji from the input method", [&] { post(WM_IME_CHAR, 0x65E5); }, "\x93\xfa"},
      {"a letter from the input method", [&] { post(WM_IME_CHAR, L'x'); }, "x"},
      {"not in code page 932", [&] { post(WM_CHAR, 0x20AC); }, "?"},
      {"a surrogate pair", [&] { post(WM_CHAR, 0xD83D); post(WM_CHAR, 0xDE00); }, "?"},
      {"a lone first half", [&] { post(WM_CHAR, 0xD83D); post(WM_CHAR, L'x'); }, "?x"},
      {"Alt with an arrow", [&] { AltKey(program->pump, w, VK_LEFT); }, "\x1bOD"},
  };
  for (const Case& c : cases) {
    c.type();
    program->pump.Settle(20);  // the characters that key translation posts come first
    post(WM_CHAR, L'.');
    EXPECT_EQ(Sent(c.sent.size() + 1), c.sent + ".") << c.what;
  }

  // The encoding menu changes what the same character becomes.
  struct Encoded {
    int command;
    std::string sent;
  };
  for (const Encoded& e : {Encoded{kCmdEncodingEuc, "\xa4\xa2\xc6\xfc"}, Encoded{kCmdEncodingUtf8, "\xe3\x81\x82\xe6\x97\xa5"},
                           Encoded{kCmdEncodingSjis, "\x82\xa0\x93\xfa"}}) {
    PostMessageW(w, WM_COMMAND, e.command, 0);
    post(WM_CHAR, 0x3042);
    post(WM_IME_CHAR, 0x65E5);
    EXPECT_EQ(Sent(e.sent.size()), e.sent);
  }

  // The composition window opens at the cursor cell.
  Show("\x1b[5;11H", 0, "\x93\xfa\x96\x7b\x8c\xea ok");
  ASSERT_TRUE(program->Until([&] { return program->logic.screen().state().cursorRow == 4; }));
  GetCaretPos(&caret);
  EXPECT_EQ(caret.x, 10 * program->cw());
  EXPECT_EQ(caret.y, 4 * program->ch());
  SendMessageW(w, WM_IME_STARTCOMPOSITION, 0, 0);
  if (HIMC context = ImmGetContext(w)) {
    COMPOSITIONFORM form{};
    ASSERT_TRUE(ImmGetCompositionWindow(context, &form));
    EXPECT_EQ(form.dwStyle, static_cast<DWORD>(CFS_POINT));
    EXPECT_EQ(form.ptCurrentPos.x, 10 * program->cw());
    EXPECT_EQ(form.ptCurrentPos.y, 4 * program->ch());
    ImmReleaseContext(w, context);
  }
}

TEST_F(Win32WindowTest, TextIsDrawnInItsCells) {
  Connect("/C sjis");
  const int cw = program->cw(), ch = program->ch();
  HWND w = program->hwnd();
  // Row 0 plain, row 1 bold, row 2 two full-width characters and a bar, row 3 reverse.
  Show("MMMMWWWW\r\n\x1b[1mMMMMWWWW\x1b[m\r\n\x82\xa0\x8a\xbf|\r\n\x1b[7mrev\x1b[m\r\n", 3, "rev");
  UpdateWindow(w);
  const COLORREF back = GetSysColor(COLOR_WINDOW), text = GetSysColor(COLOR_WINDOWTEXT);
  ClientImage image = CaptureClient(w);
  ASSERT_EQ(image.width, 80 * cw);
  const RECT plain = image.Ink(0, 0, 20 * cw, ch, back);
  const RECT bold = image.Ink(0, ch, 20 * cw, 2 * ch, back);
  ASSERT_LT(plain.left, plain.right);
  EXPECT_LE(plain.right, 8 * cw);
  EXPECT_LE(bold.right, 8 * cw);  // bold keeps the grid
  EXPECT_GT(bold.right, 7 * cw);  // and still reaches the last cell
  const RECT first = image.Ink(0, 2 * ch, 2 * cw, 3 * ch, back);
  const RECT second = image.Ink(2 * cw, 2 * ch, 4 * cw, 3 * ch, back);
  const RECT bar = image.Ink(4 * cw, 2 * ch, 8 * cw, 3 * ch, back);
  EXPECT_GT(first.right - first.left, cw);  // a glyph wider than one cell
  EXPECT_LT(second.left, second.right);
  EXPECT_GE(bar.left, 4 * cw);
  EXPECT_LE(bar.right, 5 * cw);
  // Reverse: the cells are painted in the text colour, the cell after them is not.
  EXPECT_EQ(image.at(3 * cw - 1, 4 * ch - 1), text);
  EXPECT_EQ(image.at(3 * cw + 1, 3 * ch + 1), back);

  // A drag over row 2 selects its cells; they show the selection colours, and copy puts them
  // on the clipboard as Unicode.
  PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, program->Cell(0, 2));
  PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, program->Cell(5, 2));
  PostMessageW(w, WM_LBUTTONUP, 0, program->Cell(5, 2));
  program->pump.Settle();
  EXPECT_EQ(GetCapture(), nullptr);
  UpdateWindow(w);
  image = CaptureClient(w);
  EXPECT_EQ(image.at(5 * cw - 1, 3 * ch - 1), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(image.at(5 * cw + 1, 2 * ch + 1), back);
  SendMessageW(w, WM_COMMAND, kCmdCopy, 0);
  EXPECT_EQ(ClipboardText(), std::optional<std::wstring>(L"\x3042\x6f22|"));

  // A window made larger by hand keeps its grid; the border runs along the grid's bottom and
  // right edges, the class background beyond it.
  RECT outer{};
  GetWindowRect(w, &outer);
  SetWindowPos(w, nullptr, 0, 0, outer.right - outer.left + 3 * cw, outer.bottom - outer.top + 2 * ch,
               SWP_NOMOVE | SWP_NOZORDER);
  UpdateWindow(w);
  image = CaptureClient(w);
  ASSERT_GT(image.height, 24 * ch + 2);
  ASSERT_GT(image.width, 80 * cw + 2);
  EXPECT_EQ(program->logic.screen().columns(), 80);
  EXPECT_EQ(image.at(10, 24 * ch), text);
  EXPECT_EQ(image.at(80 * cw, 10), text);
  EXPECT_EQ(image.at(80 * cw, 0), text);
  EXPECT_EQ(image.at(80 * cw + 2, 24 * ch + 2), back);
}

// The host rewrites a selected line so that the selection's edges fall inside double-byte
// characters: those characters are drawn whole and highlighted, exactly as a selection of them.
TEST_F(Win32WindowTest, SelectionEdgeInsideADoubleByteCharacterDrawsItWhole) {
  Connect("/C sjis");
  const int cw = program->cw(), ch = program->ch();
  HWND w = program->hwnd();
  Show("abcdefgh", 0, "abcdefgh");
  auto drag = [&](int from, int to) {
    PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, program->Cell(from, 0));
    PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, program->Cell(to, 0));
    PostMessageW(w, WM_LBUTTONUP, 0, program->Cell(to, 0));
    program->pump.Settle();
    UpdateWindow(w);
  };
  drag(1, 3);  // "bc"
  Show("\r\x82\xa0\x82\xa2\x82\xa4", 0, "\x82\xa0\x82\xa2\x82\xa4gh");  // あいう over it
  UpdateWindow(w);
  const ClientImage edges = CaptureClient(w);
  drag(0, 4);  // あい, selected on their boundaries
  const ClientImage whole = CaptureClient(w);
  int differing = 0;
  for (int y = 0; y < ch; ++y) {
    for (int x = 0; x < 10 * cw; ++x) differing += edges.at(x, y) != whole.at(x, y) ? 1 : 0;
  }
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(edges.at(0, ch - 1), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(edges.at(4 * cw - 1, ch - 1), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_NE(edges.at(4 * cw + 1, ch - 1), GetSysColor(COLOR_HIGHLIGHT));
}

TEST_F(Win32WindowTest, OwnColoursPaintTextBorderAndBackground) {
  const COLORREF navy = RGB(0, 0, 128), yellow = RGB(255, 255, 0);
  program->root.SetDword(kSettings, L"color default", 0);
  program->root.SetDword(kSettings, L"color window", navy);
  program->root.SetDword(kSettings, L"color window text", yellow);
  Connect("/C sjis");
  Show("abc", 0, "abc");
  HWND w = program->hwnd();
  const int cw = program->cw(), ch = program->ch();
  RECT outer{};
  GetWindowRect(w, &outer);
  SetWindowPos(w, nullptr, 0, 0, outer.right - outer.left + 2 * cw, outer.bottom - outer.top + 2 * ch,
               SWP_NOMOVE | SWP_NOZORDER);
  UpdateWindow(w);
  const ClientImage image = CaptureClient(w);
  EXPECT_EQ(image.at(40 * cw, 10 * ch), navy);           // an empty cell
  EXPECT_EQ(image.at(80 * cw + 3, 24 * ch + 3), navy);   // beyond the grid
  EXPECT_EQ(image.at(5, 24 * ch), yellow);               // the border
  const RECT ink = image.Ink(0, 0, 3 * cw, ch, navy);
  ASSERT_LT(ink.left, ink.right);
  EXPECT_EQ(image.Ink(0, 0, 3 * cw, ch, yellow).right - image.Ink(0, 0, 3 * cw, ch, yellow).left, 3 * cw);
}

TEST_F(Win32WindowTest, MenusFollowTheConnection) {
  program->Start("");
  HWND w = program->hwnd();
  HMENU bar = GetMenu(w);
  HMENU connection = GetSubMenu(bar, kPopupConnection), edit = GetSubMenu(bar, kPopupEdit),
        help = GetSubMenu(bar, kPopupHelp);
  HMENU encoding = GetSubMenu(connection, kEncodingSubmenuEntry);
  auto open = [w](HMENU popup, int position) { SendMessageW(w, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(position, 0)); };
  auto grayed = [](HMENU menu, int id) { return (GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED) != 0; };
  auto checked = [](HMENU menu, int id) { return (GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) & MF_CHECKED) != 0; };
  SetClipboardText(L"on the clipboard");

  struct Expect {
    HMENU menu;
    int id;
    bool grayed;
  };
  auto check = [&](const char* when, std::initializer_list<Expect> items) {
    open(connection, kPopupConnection);
    open(edit, kPopupEdit);
    for (const Expect& e : items) EXPECT_EQ(grayed(e.menu, e.id), e.grayed) << when << ": " << e.id;
  };
  check("not connected", {{connection, kCmdConnect, false}, {connection, kCmdDisconnect, true},
                          {edit, kCmdCopy, true}, {edit, kCmdPaste, true}, {edit, kCmdSelectAll, false},
                          {edit, kCmdClearBacklog, false}});

  // The Encoding submenu is told from Help (both at position 3) by its handle.
  open(encoding, kEncodingSubmenuEntry);
  EXPECT_TRUE(checked(encoding, kCmdEncodingEuc));
  EXPECT_FALSE(checked(encoding, kCmdEncodingUtf8));
  EXPECT_FALSE(checked(help, kCmdDebugTrace));
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE;
  GetMenuItemInfoW(encoding, kCmdEncodingEuc, FALSE, &info);
  EXPECT_TRUE(info.fType & MFT_RADIOCHECK);
  SendMessageW(w, WM_COMMAND, kCmdEncodingUtf8, 0);
  open(encoding, kEncodingSubmenuEntry);
  EXPECT_TRUE(checked(encoding, kCmdEncodingUtf8));
  EXPECT_FALSE(checked(encoding, kCmdEncodingEuc));
  open(help, kPopupHelp);
  EXPECT_FALSE(checked(help, kCmdDebugTrace));
  SendMessageW(w, WM_COMMAND, kCmdDebugTrace, 0);
  open(help, kPopupHelp);
  EXPECT_TRUE(checked(help, kCmdDebugTrace));
  SendMessageW(w, WM_COMMAND, kCmdDebugTrace, 0);

  // Connecting through the connection dialog.
  {
    ModalAnswerer answerer;
    answerer.Then([](HWND dialog) {
      SetDlgItemTextW(dialog, kIdConnectHost, L"127.0.0.1");
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    });
    PostMessageW(w, WM_COMMAND, kCmdConnect, 0);
    ASSERT_TRUE(host.Accept(30, [&] { program->pump.Once(); }));
    ASSERT_TRUE(program->Until([&] { return program->Title() == L"127.0.0.1 - Velmora"; }));
    EXPECT_TRUE(answerer.allAnswered());
  }
  check("connected", {{connection, kCmdConnect, true}, {connection, kCmdDisconnect, false},
                      {edit, kCmdCopy, true}, {edit, kCmdPaste, false}});
  SendMessageW(w, WM_COMMAND, kCmdSelectAll, 0);
  check("all selected", {{edit, kCmdCopy, false}});

  // The host closes: connecting is offered again.
  host.CloseConnection();
  ASSERT_TRUE(program->Until([&] { return program->Title() == kIdleTitle; }));
  check("closed by the host", {{connection, kCmdConnect, false}, {connection, kCmdDisconnect, true},
                               {edit, kCmdPaste, true}});
}

TEST_F(Win32WindowTest, WheelAndScrollBarMoveTheView) {
  Connect("/C sjis");
  HWND w = program->hwnd();
  ShowNumberedLines(60);
  const ViewState& view = program->logic.screen().view();
  ASSERT_EQ(view.viewIndex, 37);
  auto bar = [w] {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(w, SB_VERT, &si);
    return si;
  };
  EXPECT_EQ(bar().nMax, 60);
  EXPECT_EQ(bar().nPage, 24u);
  EXPECT_EQ(bar().nPos, 37);

  UINT perNotch = 3;
  SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &perNotch, 0);
  ASSERT_NE(perNotch, static_cast<UINT>(WHEEL_PAGESCROLL));
  POINT centre{10, 10};
  ClientToScreen(w, &centre);
  const LPARAM at = MAKELPARAM(centre.x, centre.y);
  struct Case {
    const char* what;
    UINT message;
    WPARAM wParam;
    int index;
  };
  const int up = 37 - static_cast<int>(perNotch);
  const Case cases[] = {
      {"a notch away from the user", WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), up},
      {"with Control held", WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WHEEL_DELTA), up},
      {"with Shift held", WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, -WHEEL_DELTA), up},
      {"less than a notch", WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA - 1), up},
      {"the rest of the notch", WM_MOUSEWHEEL, MAKEWPARAM(0, 1), up - static_cast<int>(perNotch)},
      {"a touchpad's half notch back", WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA / 2)), up - static_cast<int>(perNotch)},
      {"to the top", WM_VSCROLL, SB_TOP, 0},
      {"a line up at the top", WM_VSCROLL, SB_LINEUP, 0},
      {"a line down", WM_VSCROLL, SB_LINEDOWN, 1},
      {"a page down", WM_VSCROLL, SB_PAGEDOWN, 25},
      {"a notch towards the user", WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 25 + static_cast<int>(perNotch)},
      {"half a notch up drops the half down left over", WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), 25 + static_cast<int>(perNotch)},
      {"another half notch up makes a whole one", WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), 25},
      {"to the bottom", WM_VSCROLL, SB_BOTTOM, 37},
      {"a page down at the bottom", WM_VSCROLL, SB_PAGEDOWN, 37},
  };
  for (const Case& c : cases) {
    PostMessageW(w, c.message, c.wParam, c.message == WM_MOUSEWHEEL ? at : 0);
    program->pump.Settle(20);
    EXPECT_EQ(view.viewIndex, c.index) << c.what;
    EXPECT_EQ(bar().nPos, c.index) << c.what;
  }
  // Scrolled back, the screen's rows stay as they are, the caret's row leaves the window, and
  // new output brings the live screen back.
  SendMessageW(w, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(program->Row(0), "line 37");
  Show("more\r\n", 22, "more");
  EXPECT_EQ(view.viewIndex, 38);
  EXPECT_EQ(bar().nPos, 38);
}

// The system caret as the window system keeps it: which window owns it and where, in client
// coordinates.
struct CaretSeen {
  HWND owner = nullptr;
  RECT place{};
};
CaretSeen SystemCaret() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetCurrentThreadId(), &info);
  return {info.hwndCaret, info.rcCaret};
}

// The caret exists only while the window has the focus, and covers the cell under the cursor:
// two cells over a double-byte character, one over anything else.
TEST_F(Win32WindowTest, CaretFollowsTheFocusAndTheCellUnderTheCursor) {
  Connect("/C sjis");
  HWND w = program->hwnd();
  Show("ab\x82\xa0", 0, "ab\x82\xa0");  // a, b, then あ in columns 2 and 3
  struct Step {
    const char* what;
    std::function<void()> act;
    bool owned;  // the window has a caret
    int column;
    int cells;
  };
  const Step steps[] = {
      {"after the text", [] {}, true, 4, 1},
      {"back onto the double-byte character", [&] { host.Send("\b\b"); }, true, 2, 2},
      {"back onto b", [&] { host.Send("\b"); }, true, 1, 1},
      {"the focus leaves", [] { SetFocus(nullptr); }, false, 0, 0},
      {"the cursor moves without the focus", [&] { host.Send("\x1b[1;3H"); }, false, 0, 0},
      {"the focus comes back", [w] { SetFocus(w); }, true, 2, 2},
      {"to the start of the line", [&] { host.Send("\r"); }, true, 0, 1},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    const RECT want{step.column * program->cw(), 0, (step.column + step.cells) * program->cw(), program->ch()};
    auto matches = [&] {
      const CaretSeen caret = SystemCaret();
      if (!step.owned) return caret.owner == nullptr;
      return caret.owner == w && EqualRect(&caret.place, &want);
    };
    EXPECT_TRUE(program->Until(matches, 10));
    const CaretSeen caret = SystemCaret();
    EXPECT_EQ(caret.owner, step.owned ? w : nullptr);
    if (step.owned) {
      EXPECT_EQ(caret.place.left, want.left);
      EXPECT_EQ(caret.place.right, want.right);
      EXPECT_EQ(caret.place.bottom, want.bottom);
    }
  }
}

// Dragging the thumb holds the view in the backlog while output arrives; letting it go gives
// the view back to the output. Scrolled back, the caret's row is out of the window and the
// caret is hidden.
TEST_F(Win32WindowTest, ThumbTrackingHoldsTheViewWhileOutputArrives) {
  Connect("/C sjis");
  HWND w = program->hwnd();
  ShowNumberedLines(60);
  const ViewState& view = program->logic.screen().view();
  ASSERT_EQ(view.viewIndex, 37);
  EXPECT_FALSE(program->logic.caret().caretHidden);

  SendMessageW(w, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(view.viewIndex, 0);
  EXPECT_TRUE(program->logic.caret().caretHidden);
  EXPECT_EQ(SystemCaret().owner, w);  // hidden, not destroyed
  // The thumb taken at the top (the bar reports where it is) and held there.
  SendMessageW(w, WM_VSCROLL, SB_THUMBTRACK, 0);
  EXPECT_EQ(view.viewIndex, 0);
  Show("held 1\r\nheld 2\r\n", 22, "held 2");
  program->pump.Settle();
  EXPECT_EQ(view.viewIndex, 0);
  EXPECT_TRUE(program->logic.caret().caretHidden);
  // Released: the next output brings the live screen and the caret back.
  SendMessageW(w, WM_VSCROLL, SB_THUMBPOSITION, 0);
  EXPECT_EQ(view.viewIndex, 0);
  Show("free\r\n", 22, "free");
  EXPECT_EQ(view.viewIndex, 40);
  EXPECT_FALSE(program->logic.caret().caretHidden);
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_POS;
  GetScrollInfo(w, SB_VERT, &si);
  EXPECT_EQ(si.nPos, 40);
}

// A shutdown or log-off that goes ahead closes the connection; one that was called off does not.
TEST_F(Win32WindowTest, EndOfTheSessionClosesTheConnection) {
  Connect("/C sjis");
  HWND w = program->hwnd();
  EXPECT_EQ(SendMessageW(w, WM_ENDSESSION, FALSE, 0), 0);
  program->pump.Settle();
  EXPECT_TRUE(program->logic.IsConnected());
  host.ReadAvailable();
  EXPECT_FALSE(host.sawEnd);

  EXPECT_EQ(SendMessageW(w, WM_ENDSESSION, TRUE, 0), 0);
  EXPECT_FALSE(program->logic.IsConnected());
  host.Read(1);
  EXPECT_TRUE(host.sawEnd);
}

TEST_F(Win32WindowTest, AltKeysSelectCopyAndPaste) {
  Connect("/C sjis");
  HWND w = program->hwnd();
  Show("hello \x93\xfa\x96\x7b\r\n", 0, "hello \x93\xfa\x96\x7b");
  AltKey(program->pump, w, 'A');  // select all
  ASSERT_TRUE(program->Until([&] { return program->logic.screen().selection().activeCol == 80; }));
  AltKey(program->pump, w, 'C');  // copy
  ASSERT_TRUE(program->Until([&] { return ClipboardText().value_or(L"").substr(0, 10) == L"hello \x65e5\x672c\r\n"; }));
  EXPECT_EQ(ClipboardText()->size(), 8u + 23u * 2u);  // 24 lines, one with text, 23 line breaks

  SetClipboardText(L"ab\r\n\x3042");
  AltKey(program->pump, w, 'V');  // paste, in the host encoding
  EXPECT_EQ(Sent(6), "ab\r\n\x82\xa0");

  // The right button copies the selection, clears it and pastes it.
  PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, program->Cell(0, 0));
  PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, program->Cell(5, 0));
  PostMessageW(w, WM_LBUTTONUP, 0, program->Cell(5, 0));
  PostMessageW(w, WM_RBUTTONDOWN, MK_RBUTTON, program->Cell(1, 1));
  EXPECT_EQ(Sent(5), "hello");
  const Selection& sel = program->logic.screen().selection();
  EXPECT_EQ(sel.anchorCol, sel.activeCol);

  // A double click selects the word under the pointer.
  PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, program->Cell(7, 0));
  PostMessageW(w, WM_LBUTTONUP, 0, program->Cell(7, 0));
  PostMessageW(w, WM_LBUTTONDBLCLK, MK_LBUTTON, program->Cell(7, 0));
  PostMessageW(w, WM_LBUTTONUP, 0, program->Cell(7, 0));
  program->pump.Settle();
  SendMessageW(w, WM_COMMAND, kCmdCopy, 0);
  EXPECT_EQ(ClipboardText(), std::optional<std::wstring>(L"\x65e5\x672c"));
}

TEST_F(Win32WindowTest, ClosingWhileConnectedAsksFirst) {
  Connect("/C sjis");
  HWND w = program->hwnd();
  ModalAnswerer answerer;
  answerer.ThenPress(IDNO);
  answerer.ThenPress(IDNO);
  answerer.ThenPress(IDYES);
  PostMessageW(w, WM_CLOSE, 0, 0);
  ASSERT_TRUE(program->Until([&] { return answerer.answered() == 1; }));
  program->pump.Settle();
  EXPECT_TRUE(IsWindow(w));
  EXPECT_TRUE(program->logic.IsConnected());
  // A shutdown or log-off is refused the same way.
  EXPECT_EQ(SendMessageW(w, WM_QUERYENDSESSION, 0, 0), FALSE);
  EXPECT_EQ(answerer.answered(), 2u);

  PostMessageW(w, WM_COMMAND, kCmdExit, 0);
  ASSERT_TRUE(program->Until([&] { return program->pump.quit.has_value(); }));
  EXPECT_EQ(*program->pump.quit, 0);
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(program->logic.IsConnected());
  ASSERT_EQ(answerer.texts.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(answerer.captions[i], L"Velmora");
    EXPECT_EQ(answerer.texts[i], Utf8ToWide(UiString(kStrQuitQuestion)));
  }
  host.Read(1);
  EXPECT_TRUE(host.sawEnd);
}

// A failed connection is reported with the system's text, and a host in the history may be
// dropped from it.
TEST_F(Win32WindowTest, FailedConnectionOffersToForgetTheHost) {
  struct Case {
    const char* host;
    bool inHistory;
    int answer;  // to the removal question
    bool forgotten;
  };
  const Case cases[] = {
      {"127.0.0.1", true, IDYES, true},
      {"127.0.0.1", true, IDNO, false},
      {"127.0.0.1", false, 0, false},
      {"no-such-host.invalid", false, 0, false},
      {"127.0.0.1:0", false, 0, false},
      {"[::1", false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.host) + (c.inHistory ? " in the history" : ""));
    program = std::make_unique<Program>(RefusingPort());
    if (c.inHistory) {
      ASSERT_TRUE(AddHost(program->store, HistoryEntry::Make("other", HostEncoding::EUC, "vt100")));
      ASSERT_TRUE(AddHost(program->store, HistoryEntry::Make(c.host, HostEncoding::SJIS, "vt52")));
    }
    ModalAnswerer answerer;
    answerer.ThenPress(IDOK);
    if (c.inHistory) answerer.ThenPress(c.answer);
    program->Start(std::string("/H ") + c.host);
    ASSERT_TRUE(program->Until([&] { return answerer.allAnswered() && program->Title() == kIdleTitle; }));
    program->pump.Settle();
    EXPECT_EQ(answerer.answered(), c.inHistory ? 2u : 1u);
    EXPECT_FALSE(program->logic.IsConnected());
    ASSERT_FALSE(answerer.texts.empty());
    EXPECT_EQ(answerer.captions[0], L"Velmora");
    EXPECT_FALSE(answerer.texts[0].empty());
    if (std::string(c.host) == "127.0.0.1") {
      EXPECT_EQ(answerer.texts[0], Utf8ToWide(program->socket.ErrorText(WSAECONNREFUSED).empty()
                                                  ? std::string(UiString(kStrConnectFailed))
                                                  : program->socket.ErrorText(WSAECONNREFUSED)));
    }
    if (const HostTextError unreadable = ParseHostText(c.host).error; unreadable != HostTextError::kNone) {
      EXPECT_EQ(answerer.texts[0], Utf8ToWide(FormatHostTextError(unreadable, c.host)));
    }
    if (c.inHistory) {
      ASSERT_EQ(answerer.texts.size(), 2u);
      EXPECT_EQ(answerer.texts[1], L"\x30DB\x30B9\x30C8\"127.0.0.1\"\x3092\x63A5\x7D9A\x5C65\x6B74\x304B\x3089\x524A\x9664\x3057\x307E\x3059\x304B?");
      EXPECT_EQ(FindHost(program->store, c.host), c.forgotten ? -1 : 0);
      EXPECT_EQ(FindHost(program->store, "other"), c.forgotten ? 0 : 1);
      EXPECT_EQ(program->logic.hostName(), c.forgotten ? "" : c.host);
    }
  }
}

// The port in the host text, over IPv4 and IPv6: the program reaches the host there (not on
// the port the tests would give it), and the title and the history keep the text as typed.
TEST_F(Win32WindowTest, HostTextWithPortReachesThatPortOverIPv4AndIPv6) {
  for (const std::string address : {"127.0.0.1", "::1"}) {
    SCOPED_TRACE(address);
    LoopbackHost peer({address});
    if (!peer.ok()) {
      std::printf("[  SKIPPED ] no %s loopback to listen on under this system\n", address.c_str());
      continue;
    }
    const std::string text = (address == "::1" ? "[::1]" : address) + ":" + std::to_string(peer.port);
    program = std::make_unique<Program>(RefusingPort());
    program->Start("/H " + text);
    ASSERT_TRUE(peer.Accept(30, [&] { program->pump.Once(); }));
    ASSERT_TRUE(program->Until([&] { return program->Title() == Utf8ToWide(text) + L" - Velmora"; }));
    ASSERT_TRUE(peer.Send("over " + address + "\r\n"));
    ASSERT_TRUE(program->Until([&] { return program->Row(0) == "over " + address; }));
    EXPECT_EQ(FindHost(program->store, text), 0);
    EXPECT_EQ(FindHost(program->store, address), -1);
  }
}

// A name with an IPv4 and an IPv6 address: the IPv4 one is tried first and refuses, and the
// connection is made on to the IPv6 one.
TEST_F(Win32WindowTest, ARefusedIPv4AddressGoesOnToIPv6) {
  addrinfo hints{};
  hints.ai_family = AF_INET6;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const bool hasIPv6 = getaddrinfo("localhost", nullptr, &hints, &found) == 0;
  if (found != nullptr) freeaddrinfo(found);
  LoopbackHost peer({"::1"});
  if (!hasIPv6 || !peer.ok()) GTEST_SKIP() << "\"localhost\" has no IPv6 loopback address here";
  const std::string text = "localhost:" + std::to_string(peer.port);
  program = std::make_unique<Program>(RefusingPort());
  program->Start("/H " + text);
  ASSERT_TRUE(peer.Accept(30, [&] { program->pump.Once(); }));
  ASSERT_TRUE(program->Until([&] { return program->Title() == Utf8ToWide(text) + L" - Velmora"; }));
}

// --- the program's whole run ---

// The program as WinMain runs it, with its own message loop; the host is played from a thread,
// which also plays the user by posting keys and commands to the window. The host's logout ends
// the program only with auto close and without the user's own disconnect.
TEST(Win32Program, HostLogoutEndsTheProgramWithAutoClose) {
  struct Case {
    bool autoClose;
    bool userDisconnects;
    bool endsByItself;
  };
  for (const Case c : {Case{true, false, true}, Case{true, true, false}, Case{false, false, false}}) {
    SCOPED_TRACE(std::string("auto close ") + (c.autoClose ? "on" : "off") + (c.userDisconnects ? ", disconnect" : ""));
    WinsockSession winsock;
    LoopbackHost host;
    Program program(host.port);
    program.root.SetDword(kSettings, L"auto close", c.autoClose ? 1 : 0);
    const DWORD mainThread = GetCurrentThreadId();
    struct Seen {
      std::string negotiation;
      std::string typed;
      bool stayedOpen = false;
      std::string failure;
    } seen;
    std::thread script([&] {
      auto fail = [&](const char* why) {
        seen.failure = why;
        PostThreadMessageW(mainThread, WM_QUIT, 99, 0);
      };
      if (!host.Accept()) return fail("no connection");
      HWND w = nullptr;
      auto titled = [&](const std::wstring& title) {
        for (int i = 0; i < 3000; ++i, Sleep(10)) {
          if (w == nullptr) w = FindWindowW(L"Velmora", nullptr);
          if (w != nullptr && WindowText(w) == title) return true;
        }
        return false;
      };
      if (!titled(L"127.0.0.1 - Velmora")) return fail("not connected");
      host.Send("\xff\xfd\x18");
      seen.negotiation = host.Read(3);
      host.Send(std::string("\xff\xfa\x18\x01\xff\xf0", 6));
      seen.negotiation += host.Read(11);
      host.Send("\xe3\x81\x93\xe3\x82\x93\xe3\x81\xab\xe3\x81\xa1\xe3\x81\xaf\r\n");  // こんにちは in UTF-8
      PostMessageW(w, WM_CHAR, L'x', 1);
      Key(w, VK_UP);
      PostMessageW(w, WM_CHAR, 0x3042, 1);
      seen.typed = host.Read(7);
      if (c.userDisconnects) {
        PostMessageW(w, WM_COMMAND, kCmdDisconnect, 0);
        host.Read(1);
        if (!host.sawEnd) return fail("the terminal kept its sending side");
      }
      host.CloseConnection();
      if (!c.endsByItself) {
        if (!titled(kIdleTitle)) return fail("the close was not noticed");
        Sleep(300);
        seen.stayedOpen = IsWindow(w) != FALSE;
        PostMessageW(w, WM_CLOSE, 0, 0);  // not connected: no question
      }
    });
    const int exitCode = RunVelmora(program.platform, program.logic, "/H 127.0.0.1 /C utf8");
    script.join();
    EXPECT_EQ(seen.failure, "");
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(program.window.exitCode(), 0);
    EXPECT_EQ(program.hwnd(), nullptr);  // destroyed
    EXPECT_EQ(seen.negotiation, std::string("\xff\xfb\x18\xff\xfa\x18\x00vt100\xff\xf0", 14));
    EXPECT_EQ(seen.typed, "x\x1bOA\xe3\x81\x82");
    EXPECT_EQ(seen.stayedOpen, !c.endsByItself);
    EXPECT_EQ(program.Row(0), "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd");
  }
}

// --- what the dialogs leave in the registry ---

// A history slot as the program's bytes: host, encoding digit and terminal type, each ended by a
// NUL, and one more NUL ending the entry.
std::string Slot(const std::string& host, char encodingDigit, const std::string& terminalType) {
  return host + '\0' + encodingDigit + '\0' + terminalType + '\0' + '\0';
}

// The history key holds "host 0" to "host 9" and nothing else, each an REG_EXPAND_SZ with exactly
// the bytes of its slot (an empty slot two NULs): as the "A" calls read them, and as UTF-16.
void ExpectHistorySlots(const TestRegistryRoot& root, const std::vector<std::string>& filled) {
  std::vector<std::wstring> names = root.ValueNames(kHistory);
  std::sort(names.begin(), names.end());
  std::vector<std::wstring> wantNames;
  for (int k = 0; k < 10; ++k) wantNames.push_back(L"host " + std::to_wstring(k));
  EXPECT_EQ(names, wantNames);
  for (size_t k = 0; k < 10; ++k) {
    SCOPED_TRACE("slot " + std::to_string(k));
    const std::string want = k < filled.size() ? filled[k] : std::string(2, '\0');
    const auto ansi = root.AnsiValue(kHistory, wantNames[k]);
    ASSERT_TRUE(ansi.has_value());
    EXPECT_EQ(ansi->first, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(ansi->second, want);
    const auto wide = root.Value(kHistory, wantNames[k]);
    ASSERT_TRUE(wide.has_value());
    const std::wstring text = Cp932ToWide(want);
    EXPECT_EQ(wide->second, std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(text.data()),
                                                 reinterpret_cast<const uint8_t*>(text.data() + text.size())));
  }
}

TEST_F(Win32WindowTest, HistoryKeepsTheTenLatestHosts) {
  std::vector<std::string> addresses;
  for (int i = 1; i <= 11; ++i) addresses.push_back("127.0.0." + std::to_string(i));
  LoopbackHost hosts(addresses);
  program = std::make_unique<Program>(hosts.port);
  program->Start("");
  HWND w = program->hwnd();
  for (size_t i = 0; i < addresses.size(); ++i) {
    const std::wstring address = Cp932ToWide(addresses[i]);
    const bool last = i + 1 == addresses.size();
    ModalAnswerer answerer;
    answerer.Then([&](HWND dialog) {
      SetDlgItemTextW(dialog, kIdConnectHost, address.c_str());
      if (last) {
        SendDlgItemMessageW(dialog, kIdConnectUtf8, BM_CLICK, 0, 0);
        SendDlgItemMessageW(dialog, kIdConnectVt52, BM_CLICK, 0, 0);
      }
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    });
    PostMessageW(w, WM_COMMAND, kCmdConnect, 0);
    ASSERT_TRUE(hosts.Accept(30, [&] { program->pump.Once(); }));
    ASSERT_TRUE(program->Until([&] { return program->Title() == address + L" - Velmora"; }));
    hosts.CloseConnection();
    ASSERT_TRUE(program->Until([&] { return program->Title() == kIdleTitle; }));
  }
  std::vector<std::string> names;
  ASSERT_TRUE(FillHostCombo(program->store, names));
  ASSERT_EQ(names.size(), 10u);
  EXPECT_EQ(names.front(), "127.0.0.11");
  EXPECT_EQ(names.back(), "127.0.0.2");
  int32_t encoding = -1;
  std::string terminalType;
  EXPECT_EQ(FindHost(program->store, "127.0.0.11", &encoding, &terminalType), 0);
  EXPECT_EQ(encoding, 2);
  EXPECT_EQ(terminalType, "vt52");
  EXPECT_EQ(FindHost(program->store, "127.0.0.10", &encoding, &terminalType), 1);
  EXPECT_EQ(encoding, 0);
  EXPECT_EQ(terminalType, "vt100");
  EXPECT_EQ(FindHost(program->store, "127.0.0.1"), -1);
  // Slot by slot: the latest host first with the last connection's choices, the first host gone.
  std::vector<std::string> slots{Slot("127.0.0.11", '2', "vt52")};
  for (int i = 10; i >= 2; --i) slots.push_back(Slot("127.0.0." + std::to_string(i), '0', "vt100"));
  ExpectHistorySlots(program->root, slots);
}

TEST_F(Win32WindowTest, DialogsLeaveTheirChoicesInTheRegistry) {
  TestRegistryRoot& root = program->root;
  // Four colours of the user's own, stored as numbers: the colour dialog's save must write each
  // back under its own name, as four binary bytes.
  const COLORREF window = RGB(0x10, 0x20, 0x30), windowText = RGB(0x40, 0x50, 0x60);
  const COLORREF highlight = RGB(0x70, 0x80, 0x90), highlightText = RGB(0xA0, 0xB0, 0xC0);
  root.SetDword(kSettings, L"color window", window);
  root.SetDword(kSettings, L"color window text", windowText);
  root.SetDword(kSettings, L"color highlight", highlight);
  root.SetDword(kSettings, L"color highlight text", highlightText);
  program->Start("");
  HWND w = program->hwnd();
  auto fits = [&] {
    RECT client{};
    GetClientRect(w, &client);
    const ScreenModel& s = program->logic.screen();
    return client.right == s.columns() * program->cw() && client.bottom == s.rows() * program->ch();
  };
  auto press = [](HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  };

  // Terminal size.
  {
    ModalAnswerer answerer;
    answerer.Then([&](HWND dialog) {
      SetDlgItemTextW(dialog, kIdSizeColumns, L"100");
      SetDlgItemTextW(dialog, kIdSizeRows, L"30");
      SetDlgItemTextW(dialog, kIdSizeBacklog, L"5000");
      press(dialog, IDOK);
    });
    PostMessageW(w, WM_COMMAND, kCmdTerminalSize, 0);
    ASSERT_TRUE(program->Until([&] { return answerer.allAnswered() && program->logic.screen().columns() == 100; }));
  }
  EXPECT_EQ(root.Dword(kSettings, L"columns"), std::optional<DWORD>(100));
  EXPECT_EQ(root.Dword(kSettings, L"rows"), std::optional<DWORD>(30));
  EXPECT_EQ(root.Dword(kSettings, L"back log max"), std::optional<DWORD>(5000));
  EXPECT_TRUE(program->Until(fits));

  // Colours: the standard colours switched off.
  {
    ModalAnswerer answerer;
    answerer.Then([&](HWND dialog) {
      SendDlgItemMessageW(dialog, kIdColorDefault, BM_CLICK, 0, 0);
      press(dialog, IDOK);
    });
    PostMessageW(w, WM_COMMAND, kCmdColors, 0);
    ASSERT_TRUE(program->Until([&] { return answerer.allAnswered() && program->logic.colors().colorDefault == 0; }));
  }
  EXPECT_EQ(root.Dword(kSettings, L"color default"), std::optional<DWORD>(0));
  EXPECT_EQ(root.Value(kSettings, L"color window")->first, static_cast<DWORD>(REG_BINARY));
  EXPECT_NE(GetClassLongPtrW(w, GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_WINDOW + 1));

  // Font: another size from the chooser's list.
  const int oldHeight = program->ch();
  EXPECT_FALSE(root.Value(kSettings, L"logfont").has_value());
  {
    ModalAnswerer answerer;
    answerer.Then([&](HWND dialog) {
      // 16 points: larger than the system font, small enough for the grid to fit the screen.
      HWND sizes = GetDlgItem(dialog, cmb3);
      const LRESULT index = SendMessageW(sizes, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"16"));
      ASSERT_NE(index, CB_ERR);
      SendMessageW(sizes, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(cmb3, CBN_SELCHANGE), reinterpret_cast<LPARAM>(sizes));
      press(dialog, IDOK);
    });
    PostMessageW(w, WM_COMMAND, kCmdFont, 0);
    ASSERT_TRUE(program->Until([&] { return answerer.allAnswered() && root.Value(kSettings, L"logfont").has_value(); }));
  }
  const auto stored = root.Value(kSettings, L"logfont");
  EXPECT_EQ(stored->first, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(stored->second.size(), LogFont::kSize);
  EXPECT_TRUE(std::equal(stored->second.begin(), stored->second.end(), program->logic.settings().logFont.bytes.begin()));
  EXPECT_GT(program->ch(), oldHeight);
  EXPECT_TRUE(program->Until(fits));

  // Connection: the host, UTF-8, vt52 and auto close; the host's logout then ends the program.
  {
    ModalAnswerer answerer;
    answerer.Then([&](HWND dialog) {
      SetDlgItemTextW(dialog, kIdConnectHost, L"127.0.0.1");
      SendDlgItemMessageW(dialog, kIdConnectUtf8, BM_CLICK, 0, 0);
      SendDlgItemMessageW(dialog, kIdConnectVt52, BM_CLICK, 0, 0);
      SendDlgItemMessageW(dialog, kIdConnectAutoClose, BM_CLICK, 0, 0);
      press(dialog, IDOK);
    });
    PostMessageW(w, WM_COMMAND, kCmdConnect, 0);
    ASSERT_TRUE(host.Accept(30, [&] { program->pump.Once(); }));
    ASSERT_TRUE(program->Until([&] { return program->Title() == L"127.0.0.1 - Velmora"; }));
  }
  EXPECT_EQ(root.Dword(kSettings, L"auto close"), std::optional<DWORD>(1));
  int32_t encoding = -1;
  std::string terminalType;
  EXPECT_EQ(FindHost(program->store, "127.0.0.1", &encoding, &terminalType), 0);
  EXPECT_EQ(encoding, 2);
  EXPECT_EQ(terminalType, "vt52");

  // The settings key holds exactly the ten values, each with its type and bytes.
  auto le = [](DWORD v) {
    return std::vector<uint8_t>{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                                static_cast<uint8_t>(v >> 24)};
  };
  const LogFont& font = program->logic.settings().logFont;
  struct Stored {
    std::wstring name;
    DWORD type;
    std::vector<uint8_t> bytes;
  };
  const Stored values[] = {
      {L"logfont", REG_BINARY, std::vector<uint8_t>(font.bytes.begin(), font.bytes.end())},
      {L"columns", REG_DWORD, le(100)},
      {L"rows", REG_DWORD, le(30)},
      {L"back log max", REG_DWORD, le(5000)},
      {L"auto close", REG_DWORD, le(1)},
      {L"color default", REG_DWORD, le(0)},
      {L"color window", REG_BINARY, le(window)},
      {L"color window text", REG_BINARY, le(windowText)},
      {L"color highlight", REG_BINARY, le(highlight)},
      {L"color highlight text", REG_BINARY, le(highlightText)},
  };
  std::vector<std::wstring> names = root.ValueNames(kSettings), wantNames;
  for (const Stored& v : values) wantNames.push_back(v.name);
  std::sort(names.begin(), names.end());
  std::sort(wantNames.begin(), wantNames.end());
  EXPECT_EQ(names, wantNames);
  EXPECT_EQ(values[0].bytes.size(), 60u);
  for (const Stored& v : values) {
    const auto stored = root.Value(kSettings, v.name);
    ASSERT_TRUE(stored.has_value()) << WideToCp932(v.name);
    EXPECT_EQ(stored->first, v.type) << WideToCp932(v.name);
    EXPECT_EQ(stored->second, v.bytes) << WideToCp932(v.name);
  }
  // The host's slot with the dialog's choices; the other nine empty.
  ExpectHistorySlots(root, {Slot("127.0.0.1", '2', "vt52")});

  host.CloseConnection();
  ASSERT_TRUE(program->Until([&] { return program->pump.quit.has_value(); }));
  EXPECT_EQ(*program->pump.quit, 0);
  EXPECT_FALSE(IsWindow(w));
}

// The window as the README shows it: run under a virtual desktop with VELMORA_SCREENSHOT naming
// a .bmp file, the whole window (frame, menu and terminal) is saved there.
TEST_F(Win32WindowTest, Screenshot) {
  const char* out = std::getenv("VELMORA_SCREENSHOT");
  if (out == nullptr || *out == '\0') GTEST_SKIP() << "VELMORA_SCREENSHOT is not set";
  Connect("/C sjis");
  const std::string sjis =
      "Debian GNU/Linux 12\r\n\r\n"
      "\x1b[1m\x82\xe6\x82\xa4\x82\xb1\x82\xbb\x81\x41Velmora \x82\xd6\x81\x49\x1b[m\r\n"
      "$ ls\r\n"
      "\x8c\x8e\x8e\x9f\x95\xf1\x8d\x90.txt  \x8e\xca\x90\x5e/  \x96\xbc\x95\xeb.csv  notes.md\r\n"
      "$ cat \x82\xa8\x92\x6d\x82\xe7\x82\xb9.txt\r\n"
      "\x96\x7b\x93\xfa\x82\xcd\x90\xb0\x93\x56\x82\xc8\x82\xe8\x81\x42 \x1b[4m\x96\xbe\x93\xfa\x82\xe0\x90\xb0\x82\xea\x1b[m "
      "\x1b[7m \xba\xdd\xc6\xc1\xca \x1b[m\r\n"
      "$ ";
  Show(sjis, 7, "$");
  HWND w = program->hwnd();
  // A word picked with a double click shows the selection colours.
  PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, program->Cell(2, 4));
  PostMessageW(w, WM_LBUTTONUP, 0, program->Cell(2, 4));
  PostMessageW(w, WM_LBUTTONDBLCLK, MK_LBUTTON, program->Cell(2, 4));
  PostMessageW(w, WM_LBUTTONUP, 0, program->Cell(2, 4));
  program->pump.Settle();
  SendMessageW(w, WM_COMMAND, kCmdCopy, 0);
  EXPECT_EQ(ClipboardText(), std::optional<std::wstring>(L"\x6708\x6B21\x5831\x544A"));  // 月次報告
  SetWindowPos(w, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
  SetForegroundWindow(w);
  program->pump.Settle(500);
  RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
  program->pump.Settle(500);

  RECT r{};
  GetWindowRect(w, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, previous);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<uint8_t> bits(stride * static_cast<DWORD>(height));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), bits.data(), reinterpret_cast<BITMAPINFO*>(&header),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(bits.size());
  FILE* f = std::fopen(out, "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(&file, sizeof file, 1, f);
  std::fwrite(&header, sizeof header, 1, f);
  std::fwrite(bits.data(), 1, bits.size(), f);
  std::fclose(f);
}

}  // namespace
}  // namespace velmora::testing

// The main window's logic driven through a headless window: start-up, painting, typing, menus,
// the font, size, colour and encoding commands, and closing, with a real loopback peer where a
// connection is needed.
#include <gtest/gtest.h>

#include "app/startup.h"
#include "app/ui_text.h"
#include "app/window_rules.h"
#include "headless.h"

namespace velmora::testing {
namespace {

const std::string kKey = "SOFTWARE\\ostrin\\Velmora";

TEST(MainWindow, WholeSession) {
  LoopbackHost peer;
  Headless h(peer.port);
  h.store.Put(kKey, "columns", kRegDword, Le32(80));
  h.logic.LoadSettingsAndCommandLine("/H 127.0.0.1 /C utf8 /T vt100");
  ASSERT_TRUE(h.logic.OnCreate());
  EXPECT_EQ(h.window.title, "未接続 - Velmora");
  EXPECT_EQ(h.window.current.faceName(), "System Fixed");  // no stored font
  h.logic.FitWindowToGrid(false);
  EXPECT_EQ(h.window.Only("resize").back(), "resize 669x439");  // 640+17+12 by 384+23+20+12
  h.logic.ConnectAtStart();
  EXPECT_EQ(h.window.title, "接続中... - Velmora");
  peer.Accept();
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == "127.0.0.1 - Velmora"; }));

  // The host greets in UTF-8 and asks for the window size.
  peer.Send("\xff\xfd\x1f" "\xe3\x81\x93\xe3\x82\x93\xe3\x81\xab\xe3\x81\xa1\xe3\x81\xaf\r\nabc");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(1) == "abc"; }));
  EXPECT_EQ(peer.Read(12), std::string("\xff\xfb\x1f\xff\xfa\x1f\x00\x50\x00\x18\xff\xf0", 12));
  EXPECT_EQ(h.Row(0), "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd");  // こんにちは in Shift-JIS
  RecordingPainter painter;
  h.logic.Paint(painter, PixelRect{0, 0, 800, 32});
  EXPECT_EQ(painter.Texts()[0], "0,0 \x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd" + std::string(70, ' '));
  EXPECT_EQ(painter.Texts()[1], "0,16 abc" + std::string(77, ' '));
  EXPECT_EQ(painter.Texts().size(), 3u);  // only the rows the update area meets (its bottom edge too)
  EXPECT_EQ(painter.calls.back(), "border 0,384 640,384 640,-1 1048584");

  // Typing: echoed locally (the host has not taken the echo) and sent.
  h.logic.OnChar('x');
  h.logic.OnChar('\n');
  h.logic.OnChar(0x01);  // Ctrl+A: sent, not shown
  h.logic.OnChar('y');
  EXPECT_EQ(peer.Read(5), "x\r\n\x01y");
  EXPECT_EQ(h.Row(1), "abcx");
  EXPECT_EQ(h.Row(2), "y");

  // A new font: new cells, the window fitted to them, the caret made anew, the font saved.
  LogFont gothic;
  gothic.setFaceName("IPAGothic");
  gothic.setCharSet(128);
  h.window.fontChoice = gothic;
  h.window.nextMetrics = FontMetrics{10, 20, 0, 0, 0};
  h.window.calls.clear();
  h.logic.OnCommand(kCmdFont);
  EXPECT_EQ(h.window.Only("resize"), std::vector<std::string>{"resize 829x535 redraw"});
  EXPECT_EQ(h.window.Only("caret create"), std::vector<std::string>{"caret create 10x20"});
  EXPECT_EQ(h.store.Get(kKey, "logfont")->bytes, std::string(gothic.bytes.begin(), gothic.bytes.end()));

  // A new terminal size: the host hears of it and the settings keep it.
  h.window.sizeTexts = std::array<std::string, 3>{"100", "30", "500"};
  h.logic.OnCommand(kCmdTerminalSize);
  EXPECT_EQ(h.logic.screen().columns(), 100);
  EXPECT_EQ(h.logic.screen().rows(), 30);
  EXPECT_EQ(h.logic.screen().state().regionBottom, 29);
  EXPECT_EQ(peer.Read(9), std::string("\xff\xfa\x1f\x00\x64\x00\x1e\xff\xf0", 9));
  EXPECT_EQ(h.store.Get(kKey, "columns")->bytes, Le32(100));
  EXPECT_EQ(h.store.Get(kKey, "back log max")->bytes, Le32(500));
  EXPECT_EQ(h.Row(0), "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd");  // the text survives the resize

  // Closing while connected asks first; No keeps everything.
  h.window.answerYes = false;
  h.logic.OnCommand(kCmdExit);
  EXPECT_FALSE(h.window.destroyed);
  EXPECT_EQ(h.window.questions.back(), "接続を切断してVelmoraを終了しますか?");
  h.window.answerYes = true;
  h.logic.OnClose();
  EXPECT_TRUE(h.window.destroyed);
  EXPECT_EQ(h.window.exitCode, 0);
  EXPECT_FALSE(h.logic.IsConnected());
  EXPECT_EQ(peer.Read(1), "");  // the host sees the connection end
}

// Of each row only the characters that meet the update area are drawn, with the characters just
// before and after it (a glyph may reach into the next cell) and a double-byte character the
// area's last column starts drawn whole, each stretch still split by the selection.
TEST(MainWindow, PaintDrawsTheCharactersThatMeetTheArea) {
  Headless h;
  h.logic.LoadSettingsAndCommandLine("");
  ASSERT_TRUE(h.logic.OnCreate());
  ScreenModel& s = h.logic.screen();
  // Row 0: "ab", あ in columns 2-3, い in 4-5, "cd".
  for (const char c : std::string("ab")) s.PutChar(static_cast<uint8_t>(c));
  s.PutDoubleChar(0x82, 0xa0);
  s.PutDoubleChar(0x82, 0xa2);
  for (const char c : std::string("cd")) s.PutChar(static_cast<uint8_t>(c));
  const int cw = h.logic.metrics().cellWidth;
  ASSERT_EQ(cw, 8);
  const auto line = static_cast<int32_t>(s.view().viewIndex);
  struct Case {
    const char* name;
    int left, right;  // pixels
    int32_t from, to;  // the selected columns
    std::vector<std::string> texts;
  };
  const std::string tail(72, ' ');
  const Case cases[] = {
      {"the first cell", 0, 8, 0, 0, {"0,0 ab"}},
      {"the trail half of a double-byte character", 24, 32, 0, 0, {"8,0 b\x82\xa0\x82\xa2"}},
      {"the lead half: the character drawn whole", 32, 40, 0, 0, {"16,0 \x82\xa0\x82\xa2" "c"}},
      {"after the double-byte characters", 56, 64, 0, 0, {"48,0 cd "}},
      {"an area off the cell edges", 27, 41, 0, 0, {"8,0 b\x82\xa0\x82\xa2" "c"}},
      {"split by the selection", 40, 48, 4, 7, {"16,0 \x82\xa0", "32,0 \x82\xa2" "c"}},
      {"the whole row", 0, 80 * 8, 0, 0, {"0,0 ab\x82\xa0\x82\xa2" "cd" + tail}},
      // Selection edges inside double-byte characters (the host rewrote the line under them):
      // a character with either half selected is drawn whole, inside the selection.
      {"both edges inside", 0, 80 * 8, 3, 5, {"0,0 ab", "16,0 \x82\xa0\x82\xa2", "48,0 cd" + tail}},
      {"the start inside", 0, 80 * 8, 5, 7, {"0,0 ab\x82\xa0", "32,0 \x82\xa2" "c", "56,0 d" + tail}},
      {"the end inside", 0, 80 * 8, 1, 3, {"0,0 a", "8,0 b\x82\xa0", "32,0 \x82\xa2" "cd" + tail}},
      {"an empty selection inside one", 24, 32, 3, 3, {"8,0 b\x82\xa0\x82\xa2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MutableSelection(s) = Selection{c.from, line, c.to, line};
    RecordingPainter painter;
    h.logic.Paint(painter, PixelRect{c.left, 0, c.right, 15});
    EXPECT_EQ(painter.Texts(), c.texts);
  }
}

// A scroll moves the selection's pixels with the text, but the selection stays on its lines:
// where it shows and where its pixels went, within the scrolled area, are painted again.
TEST(MainWindow, ScrollRepaintsTheSelectionRows) {
  Headless h;
  h.logic.LoadSettingsAndCommandLine("");
  ASSERT_TRUE(h.logic.OnCreate());
  ScreenModel& s = h.logic.screen();
  const auto top = static_cast<int32_t>(s.view().viewIndex);
  struct Case {
    const char* name;
    Selection selection;
    CellRect area;
    int32_t dy;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"nothing selected", Selection{5, top + 2, 5, top + 2}, CellRect{0, 3, 80, 9}, -1, {"scroll 48-144 0,-16"}},
      {"rows 2 to 4, region 3 to 8 up", Selection{3, top + 2, 7, top + 4}, CellRect{0, 3, 80, 9}, -1,
       {"scroll 48-144 0,-16", "inval 0,48-640,80", "inval 0,48-640,64"}},
      {"rows 2 to 4, region 3 to 8 down", Selection{3, top + 2, 7, top + 4}, CellRect{0, 3, 80, 9}, 1,
       {"scroll 48-144 0,16", "inval 0,48-640,80", "inval 0,48-640,96"}},
      {"a selection outside the region", Selection{0, top + 12, 4, top + 13}, CellRect{0, 3, 80, 9}, -1,
       {"scroll 48-144 0,-16"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MutableSelection(s) = c.selection;
    h.window.calls.clear();
    h.logic.ScrollCells(c.area, 0, c.dy);
    EXPECT_EQ(h.window.calls, c.calls);
  }
}

// The caret follows the cursor once per read of the host's output, however many characters the
// read wrote.
TEST(MainWindow, CaretIsPlacedOncePerRead) {
  LoopbackHost peer;
  Headless h(peer.port);
  h.logic.LoadSettingsAndCommandLine("/H 127.0.0.1 /C sjis");
  ASSERT_TRUE(h.logic.OnCreate());
  h.window.focus = true;
  h.logic.OnSetFocus();
  h.logic.ConnectAtStart();
  peer.Accept();
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == "127.0.0.1 - Velmora"; }));
  h.window.calls.clear();
  peer.Send("hello\r\nworld \x82\xa0");  // one send on the loopback: one read
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(1) == "world \x82\xa0"; }));
  EXPECT_EQ(h.window.Only("caret move"), std::vector<std::string>{"caret move 64,16"});
}

TEST(MainWindow, NotConnected) {
  Headless h;
  h.logic.LoadSettingsAndCommandLine("");
  ASSERT_TRUE(h.logic.OnCreate());
  h.logic.ConnectAtStart();
  EXPECT_EQ(h.window.title, "未接続 - Velmora");
  h.logic.OnChar('a');
  h.logic.OnImeChar(0x82A0);
  EXPECT_EQ(h.Row(0), "");  // typing while not connected echoes nothing
  EXPECT_EQ(h.logic.connection().queuedBytes(), 0u);
  EXPECT_TRUE(h.logic.OnKeyDown(0x26, 0));   // an arrow key counts as handled, its bytes are lost
  EXPECT_FALSE(h.logic.OnKeyDown(0x24, 0));  // Home is not

  // Closing asks nothing when not connected.
  h.logic.OnClose();
  EXPECT_TRUE(h.window.questions.empty());
  EXPECT_TRUE(h.window.destroyed);
  EXPECT_TRUE(h.logic.OnQueryEndSession());
}

TEST(MainWindow, MenuStates) {
  LoopbackHost peer;
  Headless h(peer.port);
  h.logic.LoadSettingsAndCommandLine("/Csjis");
  ASSERT_TRUE(h.logic.OnCreate());
  h.window.clipboardText = true;
  using S = MenuItemState;
  EXPECT_EQ(h.logic.MenuStateForPopup(0, false), (std::vector<S>{{kCmdConnect, true, false}, {kCmdDisconnect, false, false}}));
  EXPECT_EQ(h.logic.MenuStateForPopup(1, false),
            (std::vector<S>{{kCmdCopy, false, false}, {kCmdPaste, false, false}, {kCmdSelectAll, true, false},
                            {kCmdClearBacklog, true, false}}));
  EXPECT_EQ(h.logic.MenuStateForPopup(3, true),  // the submenu, tested before the Help position
            (std::vector<S>{{kCmdEncodingEuc, true, false}, {kCmdEncodingSjis, true, true}, {kCmdEncodingUtf8, true, false}}));
  EXPECT_EQ(h.logic.MenuStateForPopup(3, false), (std::vector<S>{{kCmdDebugTrace, true, false}}));
  h.logic.OnCommand(kCmdDebugTrace);
  h.logic.OnCommand(kCmdEncodingUtf8);
  EXPECT_EQ(h.logic.MenuStateForPopup(3, false), (std::vector<S>{{kCmdDebugTrace, true, true}}));
  EXPECT_EQ(h.logic.MenuStateForPopup(3, true)[2], (S{kCmdEncodingUtf8, true, true}));
  EXPECT_TRUE(h.logic.MenuStateForPopup(2, false).empty());

  MutableSelection(h.logic.screen()) = Selection{0, 0, 3, 0};
  ASSERT_EQ(h.logic.connection().ConnectToHost("127.0.0.1"), 0);
  EXPECT_EQ(h.logic.MenuStateForPopup(0, false), (std::vector<S>{{kCmdConnect, false, false}, {kCmdDisconnect, true, false}}));
  EXPECT_EQ(h.logic.MenuStateForPopup(1, false)[0], (S{kCmdCopy, true, false}));
  EXPECT_EQ(h.logic.MenuStateForPopup(1, false)[1], (S{kCmdPaste, true, false}));
  h.window.clipboardText = false;
  EXPECT_EQ(h.logic.MenuStateForPopup(1, false)[1], (S{kCmdPaste, false, false}));
  h.window.answerYes = false;
  EXPECT_FALSE(h.logic.OnQueryEndSession());
}

TEST(MainWindow, FontAndSizeDialogsCancelledOrClamped) {
  Headless h;
  h.logic.LoadSettingsAndCommandLine("");
  ASSERT_TRUE(h.logic.OnCreate());
  const LogFont before = h.logic.settings().logFont;
  h.logic.OnCommand(kCmdFont);  // cancelled: the description is the font's again
  EXPECT_EQ(h.logic.settings().logFont.faceName(), before.faceName());
  EXPECT_EQ(h.store.Get(kKey, "logfont"), nullptr);

  MutableState(h.logic.screen()).cursorCol = 79;
  MutableState(h.logic.screen()).cursorRow = 23;
  h.window.sizeTexts = std::array<std::string, 3>{"200", "5", ""};  // clamped to 163 x 12
  h.window.calls.clear();
  h.logic.OnCommand(kCmdTerminalSize);
  EXPECT_EQ(h.logic.screen().columns(), 163);
  EXPECT_EQ(h.logic.screen().rows(), 12);
  EXPECT_EQ(h.logic.screen().state().cursorRow, 11);
  EXPECT_EQ(h.logic.screen().state().cursorCol, 79);
  EXPECT_EQ(h.window.Only("bar"), std::vector<std::string>{"bar max=11 page=12 pos=0 parts=3"});
  EXPECT_EQ(h.store.Get(kKey, "rows")->bytes, Le32(12));

  h.window.sizeTexts.reset();  // cancelled: nothing follows
  h.window.calls.clear();
  h.logic.OnCommand(kCmdTerminalSize);
  EXPECT_EQ(h.window.calls, std::vector<std::string>{"size dialog"});
}

TEST(MainWindow, ColoursCompositionAndScrolling) {
  Headless h;
  h.logic.LoadSettingsAndCommandLine("");
  ASSERT_TRUE(h.logic.OnCreate());
  h.window.colorDialog = [](ColorDialogModel& m) {
    m.OnDefaultClicked(false);
    m.OnColorPicked(kIdTextBackground, true, Rgb(0, 0, 255));
    return true;
  };
  h.logic.OnCommand(kCmdColors);
  EXPECT_EQ(h.logic.colors().colorWindow, Rgb(0, 0, 255));
  EXPECT_EQ(h.window.Only("background"), std::vector<std::string>{"background 16711680"});
  EXPECT_EQ(h.store.Get(kKey, "color window")->bytes, Le32(Rgb(0, 0, 255)));

  MutableState(h.logic.screen()).cursorCol = 79;
  MutableState(h.logic.screen()).cursorRow = 23;
  h.logic.OnImeStartComposition();
  EXPECT_EQ(h.window.Only("composition").back(), "composition 632,368");

  // Output into the backlog, a look back with the scroll bar, the next output snaps back.
  for (int i = 0; i < 30; ++i) {
    h.logic.screen().PutChar('a' + i % 26);
    h.logic.screen().CarriageReturn();
    h.logic.screen().LineFeed();
  }
  const int32_t bottom = h.logic.screen().view().viewIndex;
  h.logic.OnVScroll(0, 0);  // a line up
  h.logic.OnVScroll(2, 0);  // a page up
  EXPECT_EQ(h.logic.screen().view().viewIndex, bottom - 25);
  h.logic.OnVScroll(6, 0);  // top
  EXPECT_EQ(h.logic.screen().view().viewIndex, 0);
  h.logic.OnVScroll(5, 3);  // dragging the thumb holds the view
  h.logic.screen().PutChar('z');
  EXPECT_EQ(h.logic.screen().view().viewIndex, 3);
  h.logic.OnVScroll(4, 0);  // released
  h.logic.screen().PutChar('z');
  EXPECT_EQ(h.logic.screen().view().viewIndex, bottom);
}

// --- what every front-end's window does alike ---

// Text from the keyboard or the input method, as code page 932 bytes, reaches an EUC host
// character by character and is echoed as typed.
TEST(MainWindow, TypedTextIsRoutedByCharacter) {
  LoopbackHost peer;
  Headless h(peer.port);
  h.logic.LoadSettingsAndCommandLine("/H 127.0.0.1 /C euc");
  ASSERT_TRUE(h.logic.OnCreate());
  h.logic.ConnectAtStart();
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(h.PumpUntil([&] { return h.logic.IsConnected(); }));
  struct Case {
    std::string text;
    bool fromInputMethod;
    std::string sent;
  };
  const Case cases[] = {
      {"a", false, "a"},
      {"\x82\xa0", false, "\xa4\xa2"},                      // あ, though typed
      {"a\x82\xa0" "b\x88\x9f", true, "a\xa4\xa2" "b\xb0\xa1"},  // aあb亜 committed at once
      {"\xb1", false, "\x8e\xb1"},                          // half-width ｱ
      {"\xb1", true, "\x8e\xb1"},
      {"\x81\x40x", true, "\xa1\xa1x"},                     // the full-width blank
      {"", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    MutableState(h.logic.screen()).cursorCol = 0;
    MutableState(h.logic.screen()).cursorRow = 0;
    h.logic.screen().EraseBelow();
    h.logic.OnTypedText(c.text, c.fromInputMethod);
    ASSERT_TRUE(h.PumpUntil([&] { return h.logic.connection().queuedBytes() == 0; }));
    EXPECT_EQ(peer.Read(c.sent.size()), c.sent);
    EXPECT_EQ(h.Row(0), c.text);
  }
}

TEST(MainWindow, CompositionCellStaysInsideTheGrid) {
  Headless h;
  h.logic.LoadSettingsAndCommandLine("");
  ASSERT_TRUE(h.logic.OnCreate());  // 80 x 24 cells of 8 x 16
  struct Case {
    int32_t col, row;
    PixelRect cell;
  };
  const Case cases[] = {
      {0, 0, {0, 0, 8, 16}},
      {79, 23, {632, 368, 640, 384}},
      {80, 23, {640, 368, 648, 384}},  // after the last column, with a wrap pending
      {500, 90, {640, 384, 648, 400}},
      {-3, -1, {0, 0, 8, 16}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.col) + "," + std::to_string(c.row));
    MutableState(h.logic.screen()).cursorCol = c.col;
    MutableState(h.logic.screen()).cursorRow = c.row;
    EXPECT_EQ(h.logic.CompositionCell(), c.cell);
  }
}

TEST(WindowRules, WheelKeyFlagsAreTheWindowSystems) {  // MK_SHIFT and MK_CONTROL
  const unsigned flags[] = {WheelKeyFlags(false, false), WheelKeyFlags(true, false), WheelKeyFlags(false, true),
                            WheelKeyFlags(true, true)};
  EXPECT_EQ(std::vector<unsigned>(std::begin(flags), std::end(flags)), (std::vector<unsigned>{0, 0x04, 0x08, 0x0C}));
}

TEST(WindowRules, JapaneseFaceChoice) {
  using Faces = std::vector<std::string>;
  struct Case {
    const char* name;
    Faces fixed, all;
    std::string chosen;
  };
  const Case cases[] = {
      {"the best listed fixed face", {"Courier", "VL Gothic", "IPAゴシック"}, {}, "IPAゴシック"},
      {"Windows' own first", {"IPAGothic", "ＭＳ ゴシック"}, {"MS Gothic"}, "ＭＳ ゴシック"},
      {"any fixed face before a listed proportional one", {"Osaka-Mono"}, {"IPAGothic"}, "Osaka-Mono"},
      {"a listed face among all", {}, {"Sans", "Sazanami Gothic", "Migu 1M"}, "Migu 1M"},
      {"names match exactly", {}, {"ipagothic", "IPAGothic Bold"}, ""},
      {"nothing installed", {}, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ChooseJapaneseFace(c.fixed, c.all), c.chosen);
  }
  // Every listed face is found by its own name.
  for (const char* face : JapaneseFixedFaces()) EXPECT_EQ(ChooseJapaneseFace({}, {face}), face);
}

// A face that measures as nothing still gives cells of a pixel; a real one is kept as measured.
TEST(WindowRules, MeasuredCellIsAtLeastOnePixel) {
  struct Measurer : FontMeasurer {
    int width = 0, height = 0;
    FontFaceInfo TerminalFace() override { return {width, height, 0}; }
    int TextWidth(FontVariant, const uint8_t*, size_t count) override { return width * static_cast<int>(count); }
  } m;
  const int cases[][4] = {{0, 0, 1, 1}, {0, 16, 1, 16}, {7, 0, 7, 1}, {-2, -5, 1, 1}, {9, 18, 9, 18}};
  for (const auto& c : cases) {
    m.width = c[0], m.height = c[1];
    const FontMetrics metrics = MeasureTerminalFont(m);
    EXPECT_EQ(std::pair(metrics.cellWidth, metrics.cellHeight), std::pair(c[2], c[3])) << c[0] << "x" << c[1];
  }
}

}  // namespace
}  // namespace velmora::testing

namespace velmora::testing {
namespace {

class FakePlatform : public StartupPlatform {
 public:
  explicit FakePlatform(Headless& h) : h_(h) {}
  bool networking = true;
  bool windowMade = true;
  std::vector<std::string> steps;
  bool StartNetworking() override {
    steps.push_back("start");
    return networking;
  }
  void StopNetworking() override { steps.push_back("stop"); }
  bool CreateMainWindow() override {
    steps.push_back("create");
    return windowMade && h_.logic.OnCreate();
  }
  void ShowMainWindow() override { steps.push_back("show " + h_.window.title); }
  int RunEventLoop() override {
    steps.push_back("loop " + h_.window.title);
    h_.logic.OnCommand(kCmdExit);
    return h_.window.exitCode;
  }

 private:
  Headless& h_;
};

TEST(Startup, SequenceAndExitCodes) {
  {
    Headless h;
    FakePlatform p(h);
    EXPECT_EQ(RunVelmora(p, h.logic, "/Hno-such-host.invalid"), 0);
    EXPECT_EQ(p.steps, (std::vector<std::string>{"start", "create", "show 未接続 - Velmora",
                                                  "loop 未接続 - Velmora", "stop"}));
    EXPECT_EQ(h.window.messages.size(), 1u);  // the failed lookup was reported
    EXPECT_EQ(h.window.Only("resize").front(), "resize 669x439");
  }
  {
    Headless h;
    FakePlatform p(h);
    p.networking = false;
    EXPECT_EQ(RunVelmora(p, h.logic, ""), 1);
    EXPECT_EQ(p.steps, std::vector<std::string>{"start"});
  }
  {
    Headless h;
    FakePlatform p(h);
    p.windowMade = false;
    EXPECT_EQ(RunVelmora(p, h.logic, ""), 1);
    EXPECT_EQ(p.steps, (std::vector<std::string>{"start", "create", "stop"}));
  }
  const char* argv[] = {"velmora", "/h", "example", "/c", "utf8"};
  EXPECT_EQ(JoinArguments(5, argv), "/h example /c utf8");
  EXPECT_EQ(JoinArguments(1, argv), "");
}

}  // namespace
}  // namespace velmora::testing

// Selection, clipboard and the backlog view in the main window's logic: mouse positions to
// cells, dragging and the cells it invalidates, word selection, auto-scroll past the window's
// edges, copy and the right button's copy-and-paste, the wheel and the scroll bar, and how
// output moves the view while a selection keeps its lines. Cells are 8 x 16 pixels, the grid
// 80 x 24.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>

#include "app/ui_text.h"
#include "encoding/cp932.h"
#include "headless.h"

namespace velmora::testing {
namespace {

// SB_ENDSCROLL: the window system's request after a scroll-bar drag; it moves nothing.
constexpr int kSbEndScroll = 8;

using Sel = std::array<int32_t, 4>;  // anchor column, anchor line, active column, active line

// Client pixels inside cell (column, row).
int X(int column) { return column * 8 + 3; }
int Y(int row) { return row * 16 + 5; }

void Start(Headless& h, std::string_view commandLine = "") {
  h.logic.LoadSettingsAndCommandLine(commandLine);
  ASSERT_TRUE(h.logic.OnCreate());
  h.logic.screen().ResetForConnection();  // the whole screen scrolls, as once connected
}

// Text written as the host's output would be: '\n' starts a new line, a Shift-JIS lead byte
// takes the next byte with it.
void Write(Headless& h, std::string_view text) {
  ScreenModel& s = h.logic.screen();
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<uint8_t>(text[i]);
    if (b == '\n') {
      s.CarriageReturn();
      s.LineFeed();
    } else if (IsSjisLeadByte(b) && i + 1 < text.size()) {
      s.PutDoubleChar(b, static_cast<uint8_t>(text[++i]));
    } else {
      s.PutChar(b);
    }
  }
}

// Lines "line 0" to "line n-1", each ended; from a fresh screen, line i holds "line i".
void Fill(Headless& h, int n) {
  for (int i = 0; i < n; ++i) Write(h, "line " + std::to_string(i) + "\n");
}

Sel Selected(Headless& h) {
  const Selection& s = h.logic.screen().selection();
  return {s.anchorCol, s.anchorLine, s.activeCol, s.activeLine};
}

void Select(Headless& h, const Sel& s) { MutableSelection(h.logic.screen()) = Selection{s[0], s[1], s[2], s[3]}; }

int32_t ViewIndex(Headless& h) { return h.logic.screen().view().viewIndex; }

// The text shown in window row r, without trailing blanks.
std::string Shown(Headless& h, int r) {
  const TerminalLine* l = h.logic.screen().view().viewTop;
  for (int i = 0; i < r; ++i) l = l->next;
  std::string s(reinterpret_cast<const char*>(l->text()), static_cast<size_t>(l->width));
  return s.erase(s.find_last_not_of(' ') + 1);
}

using CellSet = std::set<std::pair<int, int>>;  // (column, window row)

// The cells that the window was asked to invalidate.
CellSet InvalidatedCells(const Headless& h) {
  CellSet cells;
  for (const std::string& call : h.window.Only("inval ")) {
    int l = 0, t = 0, r = 0, b = 0;
    if (std::sscanf(call.c_str(), "inval %d,%d-%d,%d", &l, &t, &r, &b) != 4 || l % 8 || r % 8 || t % 16 || b % 16) {
      ADD_FAILURE() << "not whole cells: " << call;
      continue;
    }
    for (int y = t / 16; y < b / 16; ++y) {
      for (int x = l / 8; x < r / 8; ++x) cells.insert({x, y});
    }
  }
  return cells;
}

// The cells of rectangles {left, top, right, bottom}, in columns and window rows.
CellSet Cells(std::initializer_list<std::array<int, 4>> rects) {
  CellSet cells;
  for (const auto& r : rects) {
    for (int y = r[1]; y < r[3]; ++y) {
      for (int x = r[0]; x < r[2]; ++x) cells.insert({x, y});
    }
  }
  return cells;
}

TEST(SelectionView, MousePositionsMapToCellBoundaries) {
  Headless h;
  Start(h);
  Write(h, "abc\nx\x82\xa0\x82\xa2y");  // row 1: x, あ in cells 1-2, い in 3-4, y
  struct Case {
    int x, y;
    int32_t column, line;
  };
  const Case cases[] = {
      {0, 0, 0, 0},         {7, 15, 0, 0},       {8, 16, 1, 1},           // truncated to the cell
      {-1, -1, 0, 0},       {-9, -17, 0, 0},     {-3000, 100, 0, 6},      // left of or above the window
      {639, 383, 79, 23},   {640, 0, 80, 0},     {660, 430, 80, 23},      // the boundary after the last cell
      {30000, 30000, 80, 23},                                            // far beyond the client area
      {X(1), Y(1), 1, 1},   {X(2), Y(1), 1, 1},  {X(3), Y(1), 3, 1},      // the trail half of a
      {X(4), Y(1), 3, 1},   {X(5), Y(1), 5, 1},                           // double-width character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    h.logic.OnLButtonDown(c.x, c.y);
    h.logic.OnLButtonUp();
    EXPECT_EQ(Selected(h), (Sel{c.column, c.line, c.column, c.line}));
  }

  // Lines kept in the backlog keep their width of 80 when the grid grows to 100 columns.
  Write(h, "\n");
  Fill(h, 30);  // lines 2-31; the screen starts at line 9
  h.window.sizeTexts = std::array<std::string, 3>{"100", "24", "1000"};
  h.logic.OnCommand(kCmdTerminalSize);
  ASSERT_EQ(h.logic.screen().columns(), 100);
  h.logic.OnVScroll(kSbTop, 0);
  const Case backlog[] = {
      {X(95), Y(1), 80, 1}, {5000, Y(0), 80, 0}, {X(4), Y(1), 3, 1}, {X(95), Y(9), 95, 9}, {5000, Y(23), 100, 23},
  };
  for (const Case& c : backlog) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    h.logic.OnLButtonDown(c.x, c.y);
    h.logic.OnMouseMove(c.x, c.y);
    h.logic.OnLButtonUp();
    EXPECT_EQ(Selected(h), (Sel{c.column, c.line, c.column, c.line}));
  }
  // A view scrolled part way: rows count from the line at its top.
  h.logic.OnVScroll(kSbThumbTrack, 5);
  h.logic.OnVScroll(kSbThumbPosition, 0);
  h.logic.OnLButtonDown(X(95), Y(3));
  h.logic.OnMouseMove(X(95), Y(4));
  EXPECT_EQ(Selected(h), (Sel{80, 8, 95, 9}));
}

TEST(SelectionView, DragSelectsAndInvalidatesOnlyChangedCells) {
  Headless h;
  Start(h);
  Fill(h, 30);  // the screen starts at line 7
  h.logic.OnVScroll(kSbThumbTrack, 2);
  h.logic.OnVScroll(kSbThumbPosition, 0);
  ASSERT_EQ(ViewIndex(h), 2);

  h.window.calls.clear();
  h.logic.OnLButtonDown(X(2), Y(1));  // the old, empty selection on line 0 is out of view
  EXPECT_EQ(h.window.calls, (std::vector<std::string>{"capture", "timer start"}));
  EXPECT_TRUE(h.window.captured);
  EXPECT_TRUE(h.window.timerRunning);
  EXPECT_EQ(Selected(h), (Sel{2, 3, 2, 3}));

  struct Step {
    int column, row;
    Sel selection;
    CellSet invalidated;
  };
  const Step steps[] = {
      {5, 1, {2, 3, 5, 3}, Cells({{2, 1, 6, 2}})},                  // grows right; and the cell after it
      {3, 2, {2, 3, 3, 4}, Cells({{5, 1, 80, 2}, {0, 2, 4, 3}})},   // onto the next line
      {1, 1, {2, 3, 1, 3}, Cells({{1, 1, 80, 2}, {0, 2, 3, 3}})},   // back, left of the anchor
      {1, 1, {2, 3, 1, 3}, {}},                                     // no change, nothing redrawn
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.column) + "," + std::to_string(s.row));
    h.window.calls.clear();
    h.logic.OnMouseMove(X(s.column), Y(s.row));
    EXPECT_EQ(Selected(h), s.selection);
    EXPECT_EQ(InvalidatedCells(h), s.invalidated);
  }

  h.window.calls.clear();
  h.logic.OnLButtonUp();
  EXPECT_EQ(h.window.calls, (std::vector<std::string>{"release", "timer stop"}));
  h.logic.OnMouseMove(X(10), Y(10));  // not dragging: ignored
  EXPECT_EQ(Selected(h), (Sel{2, 3, 1, 3}));
  EXPECT_EQ(h.window.calls.size(), 2u);

  // A new click removes the old highlight: its cells and the one after it.
  h.logic.OnLButtonDown(X(0), Y(5));
  EXPECT_EQ(h.window.Only("inval"), std::vector<std::string>{"inval 8,16-24,32"});
  EXPECT_EQ(Selected(h), (Sel{0, 7, 0, 7}));
}

TEST(SelectionView, DoubleClickSelectsAWordThatADragKeeps) {
  Headless h;
  Start(h);
  // Row 1: "say" in columns 0-2, "hello_42" 4-11, "to" 13-14, あいう 16-21, "!!!" 22-24.
  Write(h, "\nsay hello_42 to \x82\xa0\x82\xa2\x82\xa4!!!");
  auto doubleClick = [&](int x, int y) {
    h.logic.OnLButtonDown(x, y);
    h.logic.OnLButtonUp();
    h.logic.OnLButtonDblClk();
  };
  struct Case {
    int column;
    int32_t start, end;
  };
  const Case cases[] = {
      {6, 4, 12}, {4, 4, 12}, {11, 4, 12},  // letters, digits and '_'
      {12, 12, 13},                         // the single blank between words
      {19, 16, 22},                         // the trail half of い: the hiragana run
      {23, 22, 25},                         // a run of the same mark
      {60, 25, 80},                         // the blanks after the text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    doubleClick(X(c.column), Y(1));
    EXPECT_EQ(Selected(h), (Sel{c.start, 1, c.end, 1}));
    EXPECT_TRUE(h.window.captured);
    EXPECT_TRUE(h.window.timerRunning);
    h.logic.OnLButtonUp();
  }

  // Dragging from the double-clicked "hello_42" keeps the whole word selected.
  doubleClick(X(6), Y(1));
  struct Move {
    int column, row;
    Sel selection;
  };
  const Move moves[] = {
      {1, 1, {12, 1, 1, 1}},  {7, 1, {4, 1, 12, 1}}, {12, 1, {4, 1, 12, 1}}, {15, 1, {4, 1, 15, 1}},
      {2, 0, {12, 1, 2, 0}},  {2, 2, {4, 1, 2, 2}},  {0, 1, {12, 1, 0, 1}},
  };
  for (const Move& m : moves) {
    SCOPED_TRACE(std::to_string(m.column) + "," + std::to_string(m.row));
    h.logic.OnMouseMove(X(m.column), Y(m.row));
    EXPECT_EQ(Selected(h), m.selection);
  }
  h.logic.OnLButtonUp();
  h.logic.OnLButtonDown(X(6), Y(1));  // an ordinary drag afterwards
  h.logic.OnMouseMove(X(1), Y(1));
  EXPECT_EQ(Selected(h), (Sel{6, 1, 1, 1}));
  h.logic.OnLButtonUp();

  // The word is found on the line shown where the click was, with the view scrolled back.
  Write(h, "\n");
  Fill(h, 40);
  for (int32_t top : {0, 1}) {
    SCOPED_TRACE(top);
    h.logic.OnVScroll(kSbThumbTrack, top);
    h.logic.OnVScroll(kSbThumbPosition, 0);
    h.window.calls.clear();
    doubleClick(X(6), Y(1 - top));
    h.logic.OnLButtonUp();
    EXPECT_EQ(Selected(h), (Sel{4, 1, 12, 1}));
    EXPECT_EQ(h.window.Only("inval").back(), "inval 32," + std::to_string((1 - top) * 16) + "-104," +
                                                 std::to_string((2 - top) * 16));
  }
}

TEST(SelectionView, DraggingPastTheEdgesScrollsUntilAnEnd) {
  Headless h;
  Start(h);
  Fill(h, 30);  // the screen starts at line 7
  h.logic.OnLButtonDown(X(3), Y(5));
  h.window.cursorX = X(6);
  struct Tick {
    int y;
    int32_t view, activeLine;
  };
  const Tick ticks[] = {
      {-10, 5, 5}, {-10, 3, 3}, {-10, 1, 1}, {-10, 0, 0},  // two lines a tick upwards
      {-10, 0, 0},                                         // at the oldest line: nothing
      {420, 0, 0}, {439, 0, 0},                            // below the grid but inside the client area
      {440, 1, 24}, {440, 2, 25}, {5000, 3, 26}, {440, 4, 27}, {440, 5, 28}, {440, 6, 29}, {440, 7, 30},
      {440, 7, 30},                                        // at the live screen: nothing
      {-1, 5, 5},
  };
  for (const Tick& t : ticks) {
    SCOPED_TRACE(std::to_string(t.y) + " to " + std::to_string(t.view));
    const int32_t before = ViewIndex(h);
    h.window.cursorY = t.y;
    h.window.calls.clear();
    h.logic.OnSelectionTimer();
    EXPECT_EQ(ViewIndex(h), t.view);
    EXPECT_EQ(h.logic.screen().view().scrollBar.position, t.view);
    EXPECT_EQ(Selected(h), (Sel{3, 12, 6, t.activeLine}));
    EXPECT_EQ(h.window.Only("scroll ").size(), static_cast<size_t>(std::abs(t.view - before)));
    if (t.view == before) {
      EXPECT_TRUE(h.window.calls.empty());
    }
  }
  h.logic.OnLButtonUp();
  EXPECT_FALSE(h.window.timerRunning);
  EXPECT_FALSE(h.window.captured);
}

TEST(SelectionView, CopyTrimsEachLineAndJoinsWithCrLf) {
  Headless h;
  Start(h);
  Write(h, "first line\n  middle  part   \nlast\n\n\x82\xa0\x82\xa2 x");
  struct Case {
    Sel selection;
    const char* text;  // nullptr: the clipboard is left alone
  };
  const Case cases[] = {
      {{0, 0, 5, 0}, "first"},
      {{5, 0, 0, 0}, "first"},                         // dragged leftwards
      {{6, 0, 20, 0}, "line"},                         // trailing blanks dropped
      {{20, 0, 30, 0}, ""},                            // only blanks
      {{0, 0, 200, 0}, "first line"},                  // a column beyond the line's width
      {{6, 0, 2, 2}, "line\r\n  middle  part\r\nla"},  // three lines, no final line break
      {{2, 2, 6, 0}, "line\r\n  middle  part\r\nla"},  // dragged upwards
      {{0, 0, 0, 2}, "first line\r\n  middle  part\r\n"},  // ends at column 0 of the next line
      {{0, 0, 4, 2}, "first line\r\n  middle  part\r\nlast"},
      {{0, 0, 80, 2}, "first line\r\n  middle  part\r\nlast"},
      {{2, 2, 80, 4}, "st\r\n\r\n\x82\xa0\x82\xa2 x"},  // a blank line in between
      {{0, 3, 0, 4}, "\r\n"},
      {{120, 0, 3, 1}, "\r\n  m"},
      {{3, 1, 3, 1}, nullptr},  // empty
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text != nullptr ? c.text : "(empty)");
    h.window.clipboard = "kept";
    h.window.calls.clear();
    Select(h, c.selection);
    h.logic.OnCommand(kCmdCopy);
    EXPECT_EQ(*h.window.clipboard, c.text != nullptr ? c.text : "kept");
    EXPECT_EQ(h.window.Only("clipboard set").size(), c.text != nullptr ? 1u : 0u);
    EXPECT_EQ(Selected(h), c.selection);  // copying keeps the selection
  }
}

TEST(SelectionView, RightButtonCopiesClearsThenPastesWhenConnected) {
  {
    Headless h;
    Start(h);
    Write(h, "hello there");
    Select(h, {0, 0, 5, 0});
    h.window.clipboard = "old";
    h.window.calls.clear();
    h.logic.OnRButtonDown();
    EXPECT_EQ(*h.window.clipboard, "hello");
    EXPECT_EQ(Selected(h), (Sel{0, 0, 0, 0}));
    EXPECT_EQ(h.window.calls, (std::vector<std::string>{"clipboard set", "inval 0,0-48,16"}));
    EXPECT_EQ(h.logic.connection().queuedBytes(), 0u);
  }
  LoopbackHost peer;
  Headless h(peer.port);
  Start(h, "/H 127.0.0.1 /C sjis");
  h.logic.ConnectAtStart();
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == "127.0.0.1 - Velmora"; }));
  peer.Send("hello there   \r\nsecond line\r\n");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(1) == "second line"; }));

  // The selection goes to the clipboard before the paste reads it, and on to the host.
  Select(h, {6, 1, 6, 0});
  h.window.clipboard = "old";
  h.window.calls.clear();
  h.logic.OnRButtonDown();
  EXPECT_EQ(*h.window.clipboard, "there\r\nsecond");
  EXPECT_EQ(Selected(h), (Sel{0, 0, 0, 0}));
  EXPECT_EQ(h.window.Only("clipboard set").size(), 1u);
  EXPECT_EQ(InvalidatedCells(h), Cells({{6, 0, 80, 1}, {0, 1, 7, 2}}));
  EXPECT_EQ(peer.Read(13), "there\r\nsecond");

  // Without a selection the clipboard is pasted as it is.
  h.window.clipboard = "from elsewhere";
  h.window.calls.clear();
  h.logic.OnRButtonDown();
  EXPECT_TRUE(h.window.Only("clipboard set").empty());
  EXPECT_EQ(peer.Read(14), "from elsewhere");
  EXPECT_EQ(h.Row(2), "");  // pasted text is not shown
}

TEST(SelectionView, WheelScrollsWholeNotchesGatheredFromItsParts) {
  Headless h;
  Start(h);
  for (int lines : {3, -1}) {  // no backlog: nothing to scroll
    h.window.wheelLines = lines;
    h.logic.OnMouseWheel(120, 0);
    h.logic.OnMouseWheel(-120, 0);
  }
  EXPECT_TRUE(h.window.Only("scroll").empty());
  EXPECT_EQ(ViewIndex(h), 0);

  Fill(h, 80);  // the screen starts at line 57
  ASSERT_EQ(ViewIndex(h), 57);
  struct Step {
    int lines, delta;
    unsigned flags;
    int32_t view;
  };
  const Step steps[] = {
      {3, 120, 0x04, 57}, {3, 120, 0x08, 57}, {3, 120, 0x0C, 57},  // Shift or Control held
      {3, 120, 0x01, 54},                                         // the button flag does not matter
      {3, 240, 0, 48},    {3, 119, 0, 48},    {3, -119, 0, 48},    // less than a notch
      {3, 180, 0, 45},    {3, 60, 0, 42},                          // the half notch is carried
      {3, 40, 0, 42},     {3, -40, 0, 42},                         // turning back drops the rest
      {3, -80, 0, 45},                                             // ... and gathers anew
      {1, 360, 0, 42},    {0, 120, 0, 42},
      {-1, 120, 0, 18},   {-1, -360, 0, 42},                       // a page at a time, whatever the size
      {-1, 60, 0, 42},    {-1, 60, 0, 18},                         // ... once a whole notch is reached
      {5, 2400, 0, 0},    {5, 120, 0, 0},     {3, -12000, 0, 57},  // stops at either end
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.lines) + " " + std::to_string(s.delta) + " " + std::to_string(s.flags));
    h.window.wheelLines = s.lines;
    h.logic.OnMouseWheel(s.delta, s.flags);
    EXPECT_EQ(ViewIndex(h), s.view);
    EXPECT_EQ(Shown(h, 0), "line " + std::to_string(s.view));
  }
}

TEST(SelectionView, ScrollBarRequestsMoveTheViewWithinTheBacklog) {
  Headless h;
  Start(h);
  Fill(h, 80);  // bar maximum 80, page 24, bottom 57
  struct Step {
    int request, track;
    int32_t view;
    bool tracking;
  };
  const Step steps[] = {
      {kSbLineDown, 0, 57, false},   {kSbBottom, 0, 57, false},      // at the bottom already
      {kSbLineUp, 0, 56, false},     {kSbPageUp, 0, 32, false},      {kSbPageUp, 0, 8, false},
      {kSbPageUp, 0, 0, false},      {kSbLineUp, 0, 0, false},       {kSbTop, 0, 0, false},
      {kSbPageDown, 0, 24, false},   {kSbLineDown, 0, 25, false},    {kSbTop, 0, 0, false},
      {kSbBottom, 0, 57, false},     {kSbPageDown, 0, 57, false},
      {kSbThumbTrack, 10, 10, true}, {kSbThumbTrack, 200, 57, true}, {kSbThumbTrack, -5, 0, true},
      {kSbThumbTrack, 30, 30, true}, {kSbEndScroll, 0, 30, true},    {kSbThumbPosition, 0, 30, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.request) + " to " + std::to_string(s.view));
    const int32_t before = ViewIndex(h);
    h.window.calls.clear();
    h.logic.OnVScroll(s.request, s.track);
    EXPECT_EQ(ViewIndex(h), s.view);
    EXPECT_EQ(h.logic.screen().view().thumbTracking, s.tracking);
    EXPECT_EQ(Shown(h, 0), "line " + std::to_string(s.view));
    if (s.view == before) {
      EXPECT_TRUE(h.window.calls.empty());
      continue;
    }
    EXPECT_EQ(h.window.Only("scroll"),
              std::vector<std::string>{"scroll 0-384 0," + std::to_string((before - s.view) * 16)});
    EXPECT_EQ(h.window.Only("bar"),
              std::vector<std::string>{"bar max=80 page=24 pos=" + std::to_string(s.view) + " parts=4"});
    EXPECT_EQ(h.window.calls.back(), "update");
  }
  // Output from here on: the view was released at 30 and snaps back to the live screen.
  Write(h, "x");
  EXPECT_EQ(ViewIndex(h), 57);
}

// Every scroll of the view places the caret anew: it hides while the cursor's row is out of
// the view and shows at the cursor when the row comes back; without the focus it is left alone.
TEST(SelectionView, ScrollingHidesAndShowsTheCaret) {
  Headless h;
  Start(h);
  Fill(h, 80);  // the live view starts at line 57
  h.logic.screen().MoveCursor(3, 5);
  ASSERT_EQ(h.window.Only("caret").back(), "caret move 24,80");
  struct Step {
    bool focus;
    int request, track;
    int32_t view;
    std::vector<std::string> caret;
  };
  const std::string atCursor = "caret move 24,80";
  const Step steps[] = {
      {true, kSbLineUp, 0, 56, {"caret move 24,96"}},  // the cursor's row moves down one row
      {true, kSbPageUp, 0, 32, {"caret hide"}},         // and out of the view
      {true, kSbLineDown, 0, 33, {}},                   // still out: already hidden
      {true, kSbTop, 0, 0, {}},
      {true, kSbBottom, 0, 57, {"caret show", atCursor}},
      {true, kSbLineDown, 0, 57, {}},                   // at the bottom: nothing moves
      {true, kSbThumbTrack, 39, 39, {"caret move 24,368"}},  // the last row of the view
      {true, kSbLineUp, 0, 38, {"caret hide"}},
      {true, kSbThumbTrack, 57, 57, {"caret show", atCursor}},
      {true, kSbThumbPosition, 0, 57, {}},
      {false, kSbPageUp, 0, 33, {}},  // without the focus there is no caret to place
      {false, kSbBottom, 0, 57, {}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.request) + " to " + std::to_string(s.view));
    h.window.focus = s.focus;
    h.window.calls.clear();
    h.logic.OnVScroll(s.request, s.track);
    EXPECT_EQ(ViewIndex(h), s.view);
    EXPECT_EQ(h.window.Only("caret"), s.caret);
    if (!h.window.calls.empty()) {
      EXPECT_EQ(h.window.calls.back(), "update");  // placed before the repaint
    }
  }
}

TEST(SelectionView, HostOutputMovesTheViewWhileTheSelectionKeepsItsLines) {
  LoopbackHost peer;
  Headless h(peer.port);
  Start(h, "/H 127.0.0.1 /C sjis");
  h.logic.ConnectAtStart();
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == "127.0.0.1 - Velmora"; }));
  std::string lines;
  for (int i = 0; i < 30; ++i) lines += "line " + std::to_string(i) + "\r\n";
  peer.Send(lines);
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(22) == "line 29"; }));
  ASSERT_EQ(ViewIndex(h), 7);

  // Scrolled back with the wheel: the next output returns to the live screen.
  h.logic.OnMouseWheel(120, 0);
  EXPECT_EQ(ViewIndex(h), 4);
  peer.Send("a");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(23) == "a"; }));
  EXPECT_EQ(ViewIndex(h), 7);

  // The thumb held: output does not move the view, though lines pass into the backlog.
  h.logic.OnVScroll(kSbThumbTrack, 2);
  peer.Send("\r\nmore 1\r\nmore 2\r\n");
  ASSERT_TRUE(h.PumpUntil([&] { return h.logic.screen().view().scrollBar.maximum == 33; }));
  EXPECT_EQ(ViewIndex(h), 2);
  EXPECT_EQ(Shown(h, 0), "line 2");
  h.logic.OnVScroll(kSbThumbPosition, 2);  // released: the next output snaps back
  EXPECT_EQ(ViewIndex(h), 2);
  peer.Send("x");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(23) == "x"; }));
  EXPECT_EQ(ViewIndex(h), 10);

  // A drag over "more 1" and "more 2" while the host goes on writing.
  h.logic.OnLButtonDown(X(0), Y(21));
  h.logic.OnMouseMove(X(6), Y(22));
  ASSERT_EQ(Selected(h), (Sel{0, 31, 6, 32}));
  peer.Send("\r\nnew 1\r\nnew 2\r\n");
  ASSERT_TRUE(h.PumpUntil([&] { return h.logic.screen().view().scrollBar.maximum == 36; }));
  EXPECT_EQ(ViewIndex(h), 13);
  EXPECT_EQ(Selected(h), (Sel{0, 31, 6, 32}));
  h.logic.OnCommand(kCmdCopy);
  EXPECT_EQ(*h.window.clipboard, "more 1\r\nmore 2");
  h.window.cursorX = X(4);
  h.window.cursorY = -3;
  h.logic.OnSelectionTimer();  // past the top: two lines up
  EXPECT_EQ(ViewIndex(h), 11);
  EXPECT_EQ(Selected(h), (Sel{0, 31, 4, 11}));
  peer.Send("z");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(23) == "z"; }));
  EXPECT_EQ(ViewIndex(h), 13);  // output during the drag snaps back too
  EXPECT_EQ(Selected(h), (Sel{0, 31, 4, 11}));
  h.logic.OnMouseMove(X(5), Y(23));
  EXPECT_EQ(Selected(h), (Sel{0, 31, 5, 36}));
  h.logic.OnLButtonUp();

  // Select all: the oldest line to the last, full width.
  h.window.calls.clear();
  h.logic.OnCommand(kCmdSelectAll);
  EXPECT_EQ(Selected(h), (Sel{0, 0, 80, 36}));
  EXPECT_EQ(h.window.calls, std::vector<std::string>{"inval all"});
  h.logic.OnCommand(kCmdCopy);
  std::string all;
  for (int i = 0; i < 30; ++i) all += "line " + std::to_string(i) + "\r\n";
  EXPECT_EQ(*h.window.clipboard, all + "a\r\nmore 1\r\nmore 2\r\nx\r\nnew 1\r\nnew 2\r\nz");

  // Clear backlog, from a view scrolled back: the screen stays, the range and selection go.
  h.logic.OnVScroll(kSbTop, 0);
  std::vector<std::string> screen;
  for (int r = 0; r < 24; ++r) screen.push_back(h.Row(r));
  h.window.calls.clear();
  h.logic.OnCommand(kCmdClearBacklog);
  EXPECT_EQ(ViewIndex(h), 0);
  EXPECT_EQ(h.logic.screen().store().lineCount, 24u);
  EXPECT_EQ(Selected(h), (Sel{0, 0, 0, 0}));
  EXPECT_EQ(h.window.Only("inval"), std::vector<std::string>{"inval all"});
  EXPECT_EQ(h.window.Only("bar"), std::vector<std::string>{"bar max=23 page=24 pos=0 parts=5"});
  for (int r = 0; r < 24; ++r) EXPECT_EQ(h.Row(r), screen[static_cast<size_t>(r)]);
  EXPECT_EQ(Shown(h, 0), screen[0]);
  h.window.calls.clear();
  h.logic.OnMouseWheel(120, 0);
  h.logic.OnVScroll(kSbLineUp, 0);
  h.logic.OnVScroll(kSbPageDown, 0);
  EXPECT_TRUE(h.window.calls.empty());
  peer.Send("\r\nafter");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(23) == "after"; }));
  EXPECT_EQ(ViewIndex(h), 1);
  EXPECT_EQ(Shown(h, 23), "after");
}

}  // namespace
}  // namespace velmora::testing

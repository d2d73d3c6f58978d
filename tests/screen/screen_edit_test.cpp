// The editing operations of the escape-sequence interpreters: what each leaves on a labelled
// screen, where the cursor ends, and the cells reported to the window.
#include <gtest/gtest.h>

#include <functional>

#include "screen_test_support.h"

namespace velmora::testing {
namespace {

// A 10x6 screen whose rows read "A0cdefghij" with the row digit in column 1.
void Fill(TestScreen& t) {
  for (int32_t r = 0; r < t.model.rows(); ++r) {
    MutableState(t.model).cursorRow = r;
    MutableState(t.model).cursorCol = 0;
    std::string row = "ABCDEFGHIJ";
    row[1] = static_cast<char>('0' + r);
    t.Type(row);
  }
  MutableState(t.model).pendingWrap = false;
  t.observer.calls.clear();
}

struct EditCase {
  const char* name;
  int32_t col, row;
  std::function<void(ScreenModel&)> op;
  std::vector<std::string> screen;  // rows, trailing spaces removed
  int32_t expectCol, expectRow;
  std::vector<std::string> reported;  // inval/scroll/all calls in order
  bool caret;
};

TEST(ScreenEdit, OperationsOnALabelledScreen) {
  const std::vector<std::string> full = {"A0CDEFGHIJ", "A1CDEFGHIJ", "A2CDEFGHIJ",
                                         "A3CDEFGHIJ", "A4CDEFGHIJ", "A5CDEFGHIJ"};
  const EditCase cases[] = {
      {"delete 3 chars at column 2", 2, 1, [](ScreenModel& m) { m.DeleteChars(3); },
       {"A0CDEFGHIJ", "A1FGHIJ", "A2CDEFGHIJ", "A3CDEFGHIJ", "A4CDEFGHIJ", "A5CDEFGHIJ"}, 2, 1,
       {"scroll 2,1-10,2 -3,0"}, false},
      {"delete more chars than remain", 7, 0, [](ScreenModel& m) { m.DeleteChars(500); },
       {"A0CDEFG", "A1CDEFGHIJ", "A2CDEFGHIJ", "A3CDEFGHIJ", "A4CDEFGHIJ", "A5CDEFGHIJ"}, 7, 0,
       {"scroll 7,0-10,1 -3,0"}, false},
      {"insert 2 lines ignores the region", 3, 2, [](ScreenModel& m) { m.InsertLines(2); },
       {"A0CDEFGHIJ", "A1CDEFGHIJ", "", "", "A2CDEFGHIJ", "A3CDEFGHIJ"}, 3, 2,
       {"scroll 0,2-10,6 0,1", "scroll 0,2-10,6 0,1"}, false},
      {"delete 2 lines", 0, 1, [](ScreenModel& m) { m.DeleteLines(2); },
       {"A0CDEFGHIJ", "A3CDEFGHIJ", "A4CDEFGHIJ", "A5CDEFGHIJ", "", ""}, 0, 1,
       {"scroll 0,1-10,6 0,-1", "scroll 0,1-10,6 0,-1"}, false},
      {"insert on the last row blanks it", 0, 5, [](ScreenModel& m) { m.InsertLines(1); },
       {"A0CDEFGHIJ", "A1CDEFGHIJ", "A2CDEFGHIJ", "A3CDEFGHIJ", "A4CDEFGHIJ", ""}, 0, 5,
       {"scroll 0,5-10,6 0,1"}, false},
      {"delete lines count 0", 0, 1, [](ScreenModel& m) { m.DeleteLines(0); }, full, 0, 1, {}, false},
      {"erase above", 3, 2, [](ScreenModel& m) { m.EraseAbove(); },
       {"", "", "   DEFGHIJ", "A3CDEFGHIJ", "A4CDEFGHIJ", "A5CDEFGHIJ"}, 3, 2,
       {"inval 0,0-10,2", "inval 0,2-3,3"}, false},
      {"erase above at the origin", 0, 0, [](ScreenModel& m) { m.EraseAbove(); }, full, 0, 0, {}, false},
      {"erase below", 3, 2, [](ScreenModel& m) { m.EraseBelow(); },
       {"A0CDEFGHIJ", "A1CDEFGHIJ", "A2C", "", "", ""}, 3, 2,
       {"inval 3,2-10,3", "inval 0,3-10,6"}, true},
      {"erase line left", 3, 4, [](ScreenModel& m) { m.EraseLineLeft(); },
       {"A0CDEFGHIJ", "A1CDEFGHIJ", "A2CDEFGHIJ", "A3CDEFGHIJ", "   DEFGHIJ", "A5CDEFGHIJ"}, 3, 4,
       {"inval 0,4-3,5"}, false},
      {"erase line right", 3, 4, [](ScreenModel& m) { m.EraseLineRight(); },
       {"A0CDEFGHIJ", "A1CDEFGHIJ", "A2CDEFGHIJ", "A3CDEFGHIJ", "A4C", "A5CDEFGHIJ"}, 3, 4,
       {"inval 3,4-10,5"}, true},
      {"clear screen", 5, 5, [](ScreenModel& m) { m.ClearScreen(); }, {"", "", "", "", "", ""}, 0, 0,
       {"all"}, true},
      {"moves are clamped", 5, 5, [](ScreenModel& m) { m.MoveCursor(-1, 255); }, full, 0, 5, {}, true},
      {"up from the top row stays", 4, 0, [](ScreenModel& m) { m.CursorUp(); }, full, 4, 0, {}, true},
      {"right from the last column stays", 9, 3, [](ScreenModel& m) { m.CursorRight(); }, full, 9, 3, {},
       true},
      {"restore outside a smaller grid", 0, 0,
       [](ScreenModel& m) { MutableState(m).savedCol = 150; MutableState(m).savedRow = 90; m.RestoreCursor(); }, full, 9, 5,
       {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestScreen t(10, 6);
    Fill(t);
    MutableState(t.model).cursorCol = c.col;
    MutableState(t.model).cursorRow = c.row;
    c.op(t.model);
    std::vector<std::string> rows;
    for (int32_t r = 0; r < 6; ++r) rows.push_back(t.Row(r));
    EXPECT_EQ(rows, c.screen);
    EXPECT_EQ(t.model.state().cursorCol, c.expectCol);
    EXPECT_EQ(t.model.state().cursorRow, c.expectRow);
    std::vector<std::string> reported;
    for (const auto& call : t.observer.calls) {
      if (call.rfind("inval", 0) == 0 || call.rfind("scroll", 0) == 0 || call == "all") reported.push_back(call);
    }
    EXPECT_EQ(reported, c.reported);
    EXPECT_EQ(!t.observer.Only("caret").empty(), c.caret);
    EXPECT_EQ(t.model.state().regionTop, 0);
    EXPECT_EQ(t.model.state().regionBottom, 5);
    ExpectConsistent(t.model);
  }
}

TEST(ScreenEdit, ErasingAcrossADoubleByteCharacter) {
  TestScreen t(10, 3);
  MutableState(t.model).cursorCol = 2;
  t.model.PutDoubleChar(0x82, 0xA0);
  MutableState(t.model).cursorCol = 3;  // on the trail half
  t.model.EraseLineRight();     // the whole character goes
  EXPECT_EQ(t.Row(0), "");
  EXPECT_EQ(t.observer.Only("inval").back(), "inval 2,0-10,1");

  TestScreen u(10, 3);
  MutableState(u.model).cursorCol = 2;
  u.model.PutDoubleChar(0x82, 0xA0);
  MutableState(u.model).cursorCol = 3;
  u.model.EraseBelow();  // no split test: the lead half stays
  EXPECT_EQ(u.Row(0), "  \x82");
}

TEST(ScreenEdit, ScrollRegionRequests) {
  struct Case {
    int32_t top, bottom;
    bool taken;
    int32_t expectTop, expectBottom;
  } cases[] = {
      {2, 4, true, 2, 4},   {0, 5, true, 0, 5},   {3, 99, true, 3, 5}, {4, 4, true, 4, 4},
      {5, 2, false, 0, 5},  {-1, 3, false, 0, 5}, {7, 99, false, 0, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.top) + ".." + std::to_string(c.bottom));
    TestScreen t(10, 6);
    MutableState(t.model).cursorCol = 4;
    MutableState(t.model).cursorRow = 3;
    EXPECT_EQ(t.model.SetScrollRegion(c.top, c.bottom), c.taken);
    EXPECT_EQ(t.model.state().regionTop, c.expectTop);
    EXPECT_EQ(t.model.state().regionBottom, c.expectBottom);
    EXPECT_EQ(t.model.state().cursorCol, 4);  // the cursor does not move
    EXPECT_EQ(t.model.state().cursorRow, 3);
  }
}

TEST(ScreenEdit, SavedCursorAttributesAndWrap) {
  TestScreen t(10, 6);
  MutableState(t.model).cursorCol = 4;
  MutableState(t.model).cursorRow = 2;
  t.model.SaveCursor();
  t.model.AddAttribute(kAttrBold);
  t.model.AddAttribute(kAttrReverse);
  EXPECT_EQ(t.model.state().currentAttr, 0x09);
  t.Type("xyz");
  t.model.RestoreCursor();
  EXPECT_EQ(t.model.state().cursorCol, 4);
  EXPECT_EQ(t.model.state().cursorRow, 2);
  EXPECT_EQ(t.model.state().currentAttr, 0x09);
  t.model.ResetAttributes();
  EXPECT_EQ(t.model.state().currentAttr, 0);
  // A move cancels the pending wrap: onto another row's last column the next character is
  // written there.
  t.model.MoveCursor(0, 0);
  t.Type(std::string(10, 'a'));
  ASSERT_TRUE(t.model.state().pendingWrap);
  t.model.MoveCursor(9, 3);
  EXPECT_FALSE(t.model.state().pendingWrap);
  t.Type("b");
  EXPECT_EQ(t.Row(3), std::string(9, ' ') + "b");
  EXPECT_EQ(t.Row(4), "");
  t.model.MoveCursor(0, 4);
  t.Type(std::string(9, 'c'));
  t.model.MoveCursor(2, 1);
  t.Type("d");
  EXPECT_EQ(t.Row(1), "  d");
  EXPECT_FALSE(t.model.state().pendingWrap);
}

}  // namespace
}  // namespace velmora::testing

// Writing characters, the deferred wrap, the cursor-moving controls and the cells each write
// reports to the window.
#include <gtest/gtest.h>

#include <random>

#include "encoding/cp932.h"
#include "screen_test_support.h"

namespace velmora::testing {
namespace {

TEST(ScreenWrite, EightyFirstCharacterWrapsOnlyWhenWritten) {
  TestScreen t(80, 24);
  auto& s = t.model.state();
  t.Type(std::string(79, 'a') + "Z");
  EXPECT_EQ(s.cursorCol, 79);
  EXPECT_EQ(s.cursorRow, 0);
  EXPECT_TRUE(s.pendingWrap);
  t.Type("b");
  EXPECT_EQ(t.Row(0), std::string(79, 'a') + "Z");
  EXPECT_EQ(t.Row(1), "b");
  EXPECT_EQ(s.cursorCol, 1);
  EXPECT_FALSE(s.pendingWrap);
}

// The VT100's rule, which terminfo's vt100 entry relies on: a backspace from the pending wrap
// moves one column left, and a carriage return cancels the wrap.
TEST(ScreenWrite, BackspaceAndCarriageReturnCancelThePendingWrap) {
  TestScreen t(80, 24);
  auto& s = MutableState(t.model);
  t.Type(std::string(80, 'a'));
  t.model.Backspace();
  EXPECT_EQ(s.cursorCol, 78);
  EXPECT_FALSE(s.pendingWrap);
  t.Type("Z");
  EXPECT_EQ(t.Row(0), std::string(78, 'a') + "Za");
  EXPECT_FALSE(s.pendingWrap);
  EXPECT_EQ(s.cursorRow, 0);
  t.Type("b");
  EXPECT_TRUE(s.pendingWrap);
  t.model.CarriageReturn();
  EXPECT_EQ(s.cursorCol, 0);
  EXPECT_FALSE(s.pendingWrap);
  s.cursorCol = 79;  // a stale flag would wrap here; there is none
  t.Type("y");
  EXPECT_EQ(t.Row(1), "");
}

TEST(ScreenWrite, DoubleByteCharacterIsNeverSplitAcrossRows) {
  TestScreen t(10, 4);
  auto& s = t.model.state();
  t.Type(std::string(9, '.'));
  t.model.PutDoubleChar(0x82, 0xA0);  // cursor on the last column
  EXPECT_EQ(t.Row(0), std::string(9, '.'));
  EXPECT_EQ(t.Row(1), "\x82\xA0");
  EXPECT_EQ(s.cursorCol, 2);

  TestScreen u(10, 4);
  u.Type(std::string(8, '.'));
  u.model.PutDoubleChar(0x82, 0xA0);  // fills the last two cells
  EXPECT_EQ(u.Row(0), "........\x82\xA0");
  EXPECT_EQ(u.model.state().cursorCol, 9);
  EXPECT_TRUE(u.model.state().pendingWrap);
  u.Type("x");
  EXPECT_EQ(u.Row(1), "x");
  EXPECT_EQ(u.Row(0), "........\x82\xA0");
}

TEST(ScreenWrite, OverwritingHalfADoubleByteCharacter) {
  TestScreen t(10, 4);
  auto& s = MutableState(t.model);
  t.model.PutDoubleChar(0x82, 0xA0);
  s.cursorCol = 1;  // on the trail half: the lead half becomes a space
  MutableState(t.model).currentAttr = kAttrBold;
  t.Type("x");
  EXPECT_EQ(t.Row(0), " x");
  EXPECT_EQ(t.model.ScreenLine(0)->attrs()[0], 0);
  EXPECT_EQ(t.model.ScreenLine(0)->attrs()[1], kAttrBold);

  TestScreen u(10, 4);
  u.model.PutDoubleChar(0x82, 0xA0);
  MutableState(u.model).cursorCol = 0;  // on the lead half: the old trail byte stays
  u.Type("x");
  EXPECT_EQ(u.Row(0), "x\xA0");
}

TEST(ScreenWrite, CellsReportedForEachWrite) {
  struct Case {
    const char* name;
    void (*setup)(TestScreen&);
    void (*write)(TestScreen&);
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"single byte", [](TestScreen& t) { MutableState(t.model).cursorCol = 5; MutableState(t.model).cursorRow = 2; },
       [](TestScreen& t) { t.model.PutChar('a'); },
       {"live", "inval 5,2-7,3", "paint", "caret"}},
      {"single byte on a trail half",
       [](TestScreen& t) { MutableState(t.model).cursorCol = 4; t.model.PutDoubleChar(0x82, 0xA0); MutableState(t.model).cursorCol = 5; },
       [](TestScreen& t) { t.model.PutChar('a'); },
       {"live", "inval 4,0-7,1", "paint", "caret"}},
      {"double byte", [](TestScreen& t) { MutableState(t.model).cursorCol = 3; },
       [](TestScreen& t) { t.model.PutDoubleChar(0x88, 0x9F); },
       {"live", "inval 3,0-6,1", "paint", "caret"}},
      {"sound mark", [](TestScreen& t) { t.model.PutDoubleChar(0x83, 0x4A); },
       [](TestScreen& t) { t.model.ApplyVoicedMark(false); },
       {"live", "inval 0,0-2,1", "paint"}},
      {"last column wraps first", [](TestScreen& t) { t.Type(std::string(10, 'a')); },
       [](TestScreen& t) { t.model.PutChar('b'); },
       {"live", "caret", "caret", "inval 0,1-2,2", "paint", "caret"}},
      {"thumb held: view not moved", [](TestScreen& t) { MutableView(t.model).thumbTracking = true; },
       [](TestScreen& t) { t.model.PutChar('a'); },
       {"inval 0,0-2,1", "paint", "caret"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestScreen t(10, 4);
    c.setup(t);
    t.observer.calls.clear();
    c.write(t);
    EXPECT_EQ(t.observer.calls, c.calls);
  }
}

TEST(ScreenWrite, WritesBelowAScrolledBackViewAreNotInvalidated) {
  TestScreen t(10, 4);
  for (int i = 0; i < 6; ++i) t.Line("l" + std::to_string(i));
  MutableView(t.model).thumbTracking = true;
  t.model.ScrollView(-3);  // window rows show backlog lines 0-2 and screen row 0
  t.observer.calls.clear();
  MutableState(t.model).cursorRow = 0;
  MutableState(t.model).cursorCol = 0;
  t.model.PutChar('a');
  EXPECT_EQ(t.observer.Only("inval"), std::vector<std::string>{"inval 0,3-2,4"});
  t.observer.calls.clear();
  MutableState(t.model).cursorRow = 1;
  t.model.PutChar('b');
  EXPECT_TRUE(t.observer.Only("inval").empty());
  ExpectConsistent(t.model);
}

TEST(ScreenWrite, SoundMarks) {
  struct Case {
    uint8_t lead, trail;
    bool semiVoiced;
    uint8_t expectTrail;
  } cases[] = {
      {0x83, 0x45, false, 0x94},  // katakana U becomes VU
      {0x83, 0x4A, false, 0x4B},  // KA -> GA
      {0x83, 0x6E, true, 0x70},   // HA -> PA
      {0x82, 0xA9, false, 0xAA},  // hiragana KA -> GA
      {0x81, 0xFF, true, 0x01},   // no kana test; wraps modulo 256
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expectTrail);
    TestScreen t(10, 4);
    t.Type("x");
    t.model.PutDoubleChar(c.lead, c.trail);
    t.model.ApplyVoicedMark(c.semiVoiced);
    EXPECT_EQ(t.model.ScreenLine(0)->text()[1], c.lead);
    EXPECT_EQ(t.model.ScreenLine(0)->text()[2], c.expectTrail);
    EXPECT_EQ(t.model.state().cursorCol, 3);
  }
}

TEST(ScreenWrite, SoundMarkPlacement) {
  TestScreen t(10, 4);
  t.model.PutDoubleChar(0x83, 0x4A);
  MutableState(t.model).cursorCol = 1;  // cursor in column 0 or 1: nothing happens
  t.model.ApplyVoicedMark(false);
  EXPECT_EQ(t.model.ScreenLine(0)->text()[1], 0x4A);
  // After a character filling the last two cells the cursor sits on its trail half.
  MutableState(t.model).cursorCol = 8;
  t.model.PutDoubleChar(0x83, 0x4A);
  ASSERT_TRUE(t.model.state().pendingWrap);
  t.model.ApplyVoicedMark(false);
  EXPECT_EQ(t.model.ScreenLine(0)->text()[9], 0x4B);
  EXPECT_EQ(t.model.state().cursorCol, 9);
  EXPECT_TRUE(t.model.state().pendingWrap);
}

TEST(ScreenControls, BackspaceAndTab) {
  struct Case {
    const char* op;
    int32_t col, row;
    bool pending;
    int32_t expectCol, expectRow;
    bool expectPending;
  } cases[] = {
      {"bs", 5, 3, false, 4, 3, false},
      {"bs", 0, 0, false, 0, 0, false},   // top left: nothing moves
      {"bs", 0, 3, false, 79, 2, false},  // to the end of the row above
      {"bs", 79, 3, true, 78, 3, false},  // from a pending wrap: one column left
      {"bs", 0, 3, true, 79, 2, false},
      {"ht", 0, 1, false, 8, 1, false},
      {"ht", 7, 1, false, 8, 1, false},
      {"ht", 8, 1, false, 16, 1, false},
      {"ht", 75, 1, false, 79, 1, false},
      {"ht", 79, 1, true, 79, 1, true},
      {"cr", 42, 2, true, 0, 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " from " + std::to_string(c.col) + "," + std::to_string(c.row));
    TestScreen t(80, 24);
    auto& s = MutableState(t.model);
    s.cursorCol = c.col;
    s.cursorRow = c.row;
    s.pendingWrap = c.pending;
    const std::string op = c.op;
    if (op == "bs") t.model.Backspace();
    if (op == "ht") t.model.HorizontalTab();
    if (op == "cr") t.model.CarriageReturn();
    EXPECT_EQ(s.cursorCol, c.expectCol);
    EXPECT_EQ(s.cursorRow, c.expectRow);
    EXPECT_EQ(s.pendingWrap, c.expectPending);
    EXPECT_EQ(t.observer.calls, std::vector<std::string>{"caret"});
  }
}

bool InsideByScan(const uint8_t* text, int32_t column) {
  int32_t i = 0;
  while (i < column) i += IsSjisLeadByte(text[i]) ? 2 : 1;
  return i > column;
}

TEST(ScreenWrite, InsideDoubleByte) {
  const uint8_t example[] = {0x82, 0xA0, 0x61, 0};
  EXPECT_FALSE(IsInsideDoubleByte(example, 0));
  EXPECT_TRUE(IsInsideDoubleByte(example, 1));
  EXPECT_FALSE(IsInsideDoubleByte(example, 2));
  // Trail bytes may look like lead bytes; the answer must equal a scan from column 0.
  std::mt19937 rng(932);
  const uint8_t alphabet[] = {0x20, 0x41, 0x81, 0x82, 0x9F, 0xA0, 0xB1, 0xE0, 0xFC, 0x40, 0x7E};
  for (int n = 0; n < 2000; ++n) {
    uint8_t text[41];
    for (int i = 0; i < 40; ++i) text[i] = alphabet[rng() % sizeof alphabet];
    text[40] = 0;
    for (int32_t col = 0; col < 40; ++col) {
      ASSERT_EQ(IsInsideDoubleByte(text, col), InsideByScan(text, col)) << "column " << col;
    }
  }
}

TEST(ScreenWrite, CursorOutsideTheGridIsPulledInBeforeWriting) {
  TestScreen t(10, 4);
  MutableState(t.model).cursorCol = 57;
  MutableState(t.model).cursorRow = -3;
  t.model.PutDoubleChar(0x82, 0xA0);
  MutableState(t.model).cursorCol = -1;
  MutableState(t.model).cursorRow = 99;
  t.model.PutChar('z');
  t.model.ApplyVoicedMark(true);
  EXPECT_EQ(t.Row(1), "\x82\xA0");
  EXPECT_EQ(t.Row(3), "z");
  ExpectConsistent(t.model);
}

}  // namespace
}  // namespace velmora::testing

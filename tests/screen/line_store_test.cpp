// Line feed, the backlog and its limits, the view onto it, the selection's line numbers, and
// rebuilding or clearing the store.
#include <gtest/gtest.h>

#include "screen_test_support.h"

namespace velmora::testing {
namespace {

// A 6-column screen whose rows read r0..r(n-1).
void Label(TestScreen& t) {
  for (int32_t r = 0; r < t.model.rows(); ++r) {
    MutableState(t.model).cursorRow = r;
    MutableState(t.model).cursorCol = 0;
    t.Type("r" + std::to_string(r));
  }
  t.observer.calls.clear();
}

std::vector<std::string> Rows(const TestScreen& t) {
  std::vector<std::string> out;
  for (int32_t r = 0; r < t.model.rows(); ++r) out.push_back(t.Row(r));
  return out;
}

TEST(LineFeed, ScrollRegions) {
  struct Case {
    const char* name;
    int32_t top, bottom, cursorRow;
    std::vector<std::string> rows;  // screen after one line feed
    int32_t cursorAfter;
    size_t backlog;
    const char* scroll;  // window scroll reported, or "" for none
  } cases[] = {
      {"inside the screen", 0, 7, 3, {"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7"}, 4, 0, ""},
      {"last row, whole screen", 0, 7, 7, {"r1", "r2", "r3", "r4", "r5", "r6", "r7", ""}, 7, 1,
       "scroll 0,0-6,8 0,-1"},
      {"bottom of a middle region", 2, 4, 4, {"r0", "r1", "r3", "r4", "", "r5", "r6", "r7"}, 4, 0,
       "scroll 0,2-6,5 0,-1"},
      {"last row below a middle region", 2, 4, 7, {"r0", "r1", "r3", "r4", "", "r5", "r6", "r7"}, 7, 0,
       "scroll 0,2-6,5 0,-1"},
      {"last row below a region from the top", 0, 4, 7, {"r1", "r2", "r3", "r4", "r5", "r6", "r7", ""}, 7, 1,
       "scroll 0,0-6,8 0,-1"},
      {"last row of a region to the bottom", 2, 7, 7, {"r0", "r1", "r3", "r4", "r5", "r6", "r7", ""}, 7, 0,
       "scroll 0,2-6,8 0,-1"},
      {"bottom of a region from the top", 0, 4, 4, {"r1", "r2", "r3", "r4", "", "r5", "r6", "r7"}, 4, 0,
       "scroll 0,0-6,5 0,-1"},
      {"one-row region is blanked", 7, 7, 7, {"r0", "r1", "r2", "r3", "r4", "r5", "r6", ""}, 7, 0,
       "scroll 0,7-6,8 0,-1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestScreen t(6, 8);
    Label(t);
    MutableState(t.model).regionTop = c.top;
    MutableState(t.model).regionBottom = c.bottom;
    MutableState(t.model).cursorRow = c.cursorRow;
    t.model.LineFeed();
    EXPECT_EQ(Rows(t), c.rows);
    EXPECT_EQ(t.model.state().cursorRow, c.cursorAfter);
    EXPECT_EQ(t.model.store().lineCount - t.model.rows(), c.backlog);
    const auto scrolls = t.observer.Only("scroll");
    EXPECT_EQ(scrolls, std::string(c.scroll).empty() ? std::vector<std::string>{}
                                                     : std::vector<std::string>{c.scroll});
    EXPECT_EQ(t.observer.calls.back(), "caret");
    ExpectConsistent(t.model);
  }
}

TEST(LineFeed, RegionScrollDownDiscardsTheBottomLine) {
  TestScreen t(6, 8);
  for (int i = 0; i < 3; ++i) t.Line("b" + std::to_string(i));  // no backlog yet: rows 0-2 used
  Label(t);
  for (int i = 0; i < 8; ++i) t.model.LineFeed();  // push r0..r7 into the backlog
  Label(t);
  const auto backlogBefore = t.AllLines();
  MutableState(t.model).regionTop = 0;
  MutableState(t.model).regionBottom = 7;
  t.model.ScrollRegionDown();
  EXPECT_EQ(Rows(t), (std::vector<std::string>{"", "r0", "r1", "r2", "r3", "r4", "r5", "r6"}));
  // The backlog is untouched by scrolling the screen content.
  auto all = t.AllLines();
  EXPECT_EQ(std::vector<std::string>(all.begin(), all.end() - 8),
            std::vector<std::string>(backlogBefore.begin(), backlogBefore.end() - 8));
  EXPECT_EQ(t.observer.calls, (std::vector<std::string>{"live", "scroll 0,0-6,8 0,1"}));
  ExpectConsistent(t.model);

  MutableState(t.model).regionTop = 3;
  MutableState(t.model).regionBottom = 5;
  t.model.ScrollRegionDown();
  EXPECT_EQ(Rows(t), (std::vector<std::string>{"", "r0", "r1", "", "r2", "r3", "r5", "r6"}));
  MutableState(t.model).regionTop = 0;
  MutableState(t.model).regionBottom = 2;
  t.model.ScrollRegionUp();  // the line leaving the top is not kept in the backlog
  EXPECT_EQ(Rows(t), (std::vector<std::string>{"r0", "r1", "", "", "r2", "r3", "r5", "r6"}));
  EXPECT_EQ(t.model.store().lineCount, all.size());
  ExpectConsistent(t.model);
}

TEST(LineFeed, InvalidRegionChangesNothing) {
  TestScreen t(6, 8);
  Label(t);
  MutableState(t.model).regionTop = 5;
  MutableState(t.model).regionBottom = 3;
  t.model.ScrollRegionUp();
  t.model.ScrollRegionDown();
  MutableState(t.model).regionTop = 0;
  MutableState(t.model).regionBottom = 8;
  t.model.ScrollRegionUp();
  EXPECT_EQ(t.Row(0), "r0");
  EXPECT_EQ(t.Row(7), "r7");
  ExpectConsistent(t.model);
}

TEST(Backlog, GrowsToItsLimitThenRecyclesTheOldestLine) {
  for (uint32_t backlogMax : {0u, 1u, 3u}) {
    SCOPED_TRACE(backlogMax);
    TestScreen t(6, 4, backlogMax);
    for (int i = 0; i < 10; ++i) {
      t.Line("n" + std::to_string(i));
      ExpectConsistent(t.model);
    }
    EXPECT_EQ(t.model.store().lineCount, 4 + backlogMax);
    // The newest lines survive in order; the last row is blank after the final feed.
    const auto all = t.AllLines();
    ASSERT_EQ(all.size(), 4 + backlogMax);
    for (size_t i = 0; i + 1 < all.size(); ++i) {
      EXPECT_EQ(all[i], "n" + std::to_string(10 - (all.size() - 1) + i));
    }
    EXPECT_EQ(all.back(), "");
  }
}

TEST(Backlog, LineLimitMakesTheStoreRecycleInsteadOfStopping) {
  TestScreen t(6, 4, 2147483647u, /*lineLimit=*/6);
  for (int i = 0; i < 9; ++i) t.Line("n" + std::to_string(i));
  EXPECT_EQ(t.model.store().lineCount, 6u);
  EXPECT_EQ(t.AllLines()[0], "n4");
  ExpectConsistent(t.model);
}

// The byte budget stops the backlog's growth as memory running out would: from then on the
// oldest line is reused. Rebuilding the screen is not held to it; lines of an old width leave
// first, and the store grows again only within the budget.
TEST(Backlog, ByteBudgetMakesTheStoreRecycleInsteadOfGrowing) {
  for (const uint32_t room : {0u, 1u, 5u}) {  // backlog lines the budget has room for
    SCOPED_TRACE(room);
    TestScreen t(6, 4);
    LineStore& store = MutableStore(t.model);
    const uint64_t budget = store.bytesInUse() + (room + 1) * LineStore::LineBytes(6) - 1;
    store.SetByteBudget(budget);
    for (int i = 0; i < 12; ++i) t.Line("n" + std::to_string(i));
    EXPECT_EQ(store.lineCount, 4 + room);
    EXPECT_EQ(t.AllLines().front(), "n" + std::to_string(12 - 3 - room));
    ExpectConsistent(t.model);

    ASSERT_TRUE(t.model.Resize(40, t.model.rows()));
    MutableView(t.model).scrollBar.maximum = static_cast<int32_t>(store.lineCount) - 1;
    for (int i = 0; i < 12; ++i) t.Line("w" + std::to_string(i));
    const uint64_t screen = 4 * LineStore::LineBytes(40);
    EXPECT_LE(store.bytesInUse(), std::max(budget, screen));
    EXPECT_EQ(store.lineCount, 4 + (budget - std::min(budget, screen)) / LineStore::LineBytes(40));
    for (const TerminalLine* l = store.firstLine; l != nullptr; l = l->next) EXPECT_EQ(l->width, 40);
    ExpectConsistent(t.model);
    t.model.ClearBacklog();
    EXPECT_EQ(store.bytesInUse(), screen);
  }
  // The budget a machine gets: a quarter of its memory, from 64 MiB up to 2 GiB.
  const uint64_t mib = uint64_t{1} << 20;
  EXPECT_EQ(LineStore::ByteBudgetFor(0), LineStore::kDefaultByteBudget);
  EXPECT_EQ(LineStore::ByteBudgetFor(100 * mib), 64 * mib);
  EXPECT_EQ(LineStore::ByteBudgetFor(4096 * mib), 1024 * mib);
  EXPECT_EQ(LineStore::ByteBudgetFor(65536 * mib), 2048 * mib);
  // What a line takes from the allocator: record, text with its NUL and attributes in one block
  // of 16-byte granules with a size word; 80 columns stay within 200 bytes.
  for (const auto& [width, bytes] : {std::pair{0, 32}, {1, 32}, {2, 48}, {80, 192}, {132, 304}}) {
    EXPECT_EQ(LineStore::LineBytes(width), static_cast<uint64_t>(bytes)) << width;
  }
}

TEST(Backlog, ViewFollowsTheLiveScreenAndReportsTheScroll) {
  TestScreen t(6, 4);
  MutableState(t.model).cursorRow = 3;
  t.model.LineFeed();
  EXPECT_EQ(t.observer.calls,
            (std::vector<std::string>{"live", "bar max=4 pos=1", "scroll 0,0-6,4 0,-1", "caret"}));
  EXPECT_EQ(t.model.view().viewTop, t.model.store().screenTop);
  ExpectConsistent(t.model);
}

TEST(Backlog, HeldThumbKeepsTheViewOnItsLines) {
  TestScreen t(6, 4);
  for (int i = 0; i < 6; ++i) t.Line("n" + std::to_string(i));
  t.model.ScrollView(-2);
  MutableView(t.model).thumbTracking = true;
  const TerminalLine* shown = t.model.view().viewTop;
  const int32_t index = t.model.view().viewIndex;
  t.observer.calls.clear();
  t.Line("more");
  EXPECT_EQ(t.model.view().viewTop, shown);
  EXPECT_EQ(t.model.view().viewIndex, index);
  EXPECT_TRUE(t.observer.Only("live").empty());
  EXPECT_TRUE(t.observer.Only("scroll").empty());
  EXPECT_EQ(t.observer.Only("bar"), std::vector<std::string>{"bar max=7 pos=1"});
  ExpectConsistent(t.model);
  // Releasing the thumb: the next output brings the view back to the live screen.
  MutableView(t.model).thumbTracking = false;
  t.Type("x");
  EXPECT_EQ(t.model.view().viewTop, t.model.store().screenTop);
  ExpectConsistent(t.model);
}

TEST(Backlog, RecyclingUnderAViewHeldOnOlderLines) {
  // The view shows lines that are not the oldest: they stay on the window, their index drops.
  TestScreen t(6, 4, 4);
  for (int i = 0; i < 8; ++i) t.Line("n" + std::to_string(i));
  ASSERT_EQ(t.model.store().lineCount, 8u);
  t.model.ScrollView(-2);
  MutableView(t.model).thumbTracking = true;
  const TerminalLine* shown = t.model.view().viewTop;
  t.observer.calls.clear();
  t.Line("x");
  EXPECT_EQ(t.model.view().viewTop, shown);
  EXPECT_EQ(t.model.view().viewIndex, 1);
  EXPECT_TRUE(t.observer.Only("scroll").empty());
  ExpectConsistent(t.model);

  // The view on the oldest line moves down with it and stays at index 0.
  t.model.ScrollView(-1);
  ASSERT_EQ(t.model.view().viewIndex, 0);
  const TerminalLine* second = t.model.store().firstLine->next;
  t.observer.calls.clear();
  t.Line("y");
  EXPECT_EQ(t.model.view().viewTop, second);
  EXPECT_EQ(t.model.view().viewIndex, 0);
  EXPECT_EQ(t.observer.Only("scroll"), std::vector<std::string>{"scroll 0,0-6,4 0,-1"});
  ExpectConsistent(t.model);
}

TEST(Backlog, LinesOfAnOldWidthAreReleasedNotRecycled) {
  TestScreen t(8, 4, 3);
  for (int i = 0; i < 6; ++i) t.Line("old" + std::to_string(i));
  ASSERT_EQ(t.model.store().lineCount, 7u);  // 3 backlog lines 8 cells wide
  ASSERT_TRUE(t.model.Resize(10, t.model.rows()));
  MutableView(t.model).scrollBar.maximum = static_cast<int32_t>(t.model.store().lineCount) - 1;
  ExpectConsistent(t.model);
  t.observer.calls.clear();
  MutableState(t.model).cursorRow = 3;
  t.model.LineFeed();  // at the limit: the three narrow lines go, then one line is recycled
  EXPECT_EQ(t.model.store().lineCount, 4u);
  EXPECT_EQ(t.observer.Only("bar"),
            (std::vector<std::string>{"bar max=5 pos=2", "bar max=4 pos=1", "bar max=3 pos=0"}));
  for (const TerminalLine* l = t.model.store().firstLine; l != nullptr; l = l->next) EXPECT_EQ(l->width, 10);
  ExpectConsistent(t.model);
  // From now on the store keeps its size and grows again up to the limit.
  for (int i = 0; i < 5; ++i) t.Line("new" + std::to_string(i));
  EXPECT_EQ(t.model.store().lineCount, 7u);
  ExpectConsistent(t.model);
}

TEST(Backlog, SelectionFollowsItsLinesWhenTheOldestLeaves) {
  struct Case {
    Selection before, after;
  } cases[] = {
      {{3, 2, 5, 4}, {3, 1, 5, 3}},
      {{3, 0, 5, 4}, {0, 0, 5, 3}},  // a point on the leaving line moves to its start
      {{3, 2, 5, 0}, {3, 1, 0, 0}},
      {{3, 0, 5, 0}, {0, 0, 0, 0}},  // wholly on the leaving line: cleared
      {{3, 1, 5, 1}, {3, 0, 5, 0}},
  };
  for (const auto& c : cases) {
    TestScreen t(6, 4, 2);
    for (int i = 0; i < 5; ++i) t.Line("n");
    ASSERT_EQ(t.model.store().lineCount, 6u);
    MutableSelection(t.model) = c.before;
    t.model.LineFeed();
    const Selection& s = t.model.selection();
    EXPECT_EQ(std::vector<int32_t>({s.anchorCol, s.anchorLine, s.activeCol, s.activeLine}),
              std::vector<int32_t>({c.after.anchorCol, c.after.anchorLine, c.after.activeCol, c.after.activeLine}));
  }
}

TEST(Resize, KeepsWhatFitsAndLeavesTheBacklog) {
  struct Case {
    int32_t columns, rows;
    std::vector<std::string> screen;
  } cases[] = {
      {8, 3, {"r0", "r1", "r2"}},                          // fewer rows: bottom rows dropped
      {8, 7, {"r0", "r1", "r2", "r3", "r4", "", ""}},      // more rows: blanks added
      {3, 5, {"r0", "r1", "r2", "r3", "r4"}},
      {2, 5, {"r0", "r1", "r2", "r3", "r4"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.columns) + "x" + std::to_string(c.rows));
    TestScreen t(8, 5);
    t.Type("back");
    MutableState(t.model).cursorRow = 4;
    t.model.LineFeed();
    Label(t);
    MutableState(t.model).cursorRow = 4;
    MutableState(t.model).cursorCol = 6;
    t.model.PutDoubleChar(0x82, 0xA0);  // cut in half when narrowed to 7 columns
    ASSERT_TRUE(t.model.Resize(c.columns, c.rows));
    auto rows = Rows(t);
    if (c.rows > 4 && c.columns >= 8) rows[4] = rows[4].substr(0, 2);
    EXPECT_EQ(rows, c.screen);
    EXPECT_EQ(t.model.store().firstLine->width, 8);
    EXPECT_EQ(TestScreen::Trim(t.model.store().firstLine), "back");
    EXPECT_EQ(t.model.store().lineCount, static_cast<uint32_t>(1 + c.rows));
    MutableView(t.model).scrollBar.maximum = static_cast<int32_t>(t.model.store().lineCount) - 1;
    ExpectConsistent(t.model);
  }
  TestScreen narrow(8, 2);
  MutableState(narrow.model).cursorCol = 5;
  narrow.model.PutDoubleChar(0x82, 0xA0);
  ASSERT_TRUE(narrow.model.Resize(6, narrow.model.rows()));
  EXPECT_EQ(narrow.model.ScreenLine(0)->text()[5], 0x82);  // a lone lead byte may remain
}

TEST(Resize, FailureLeavesTheStoreUnchanged) {
  TestScreen t(8, 4, 2147483647u, /*lineLimit=*/6);
  Label(t);
  const TerminalLine* top = t.model.store().screenTop;
  EXPECT_FALSE(t.model.Resize(10, t.model.rows()));
  EXPECT_EQ(t.model.store().screenTop, top);
  EXPECT_EQ(t.model.store().lineCount, 4u);
  EXPECT_EQ(t.model.columns(), 8);
  EXPECT_EQ(Rows(t), (std::vector<std::string>{"r0", "r1", "r2", "r3"}));
  ExpectConsistent(t.model);
}

TEST(Resize, ViewOnTheLiveScreenMovesToTheNewLines) {
  TestScreen t(8, 4);
  ASSERT_TRUE(t.model.Resize(12, t.model.rows()));
  EXPECT_EQ(t.model.view().viewTop, t.model.store().screenTop);
  EXPECT_EQ(t.model.store().firstLine, t.model.store().screenTop);
  ExpectConsistent(t.model);
}

TEST(ClearBacklog, ReleasesEveryLineAboveTheScreen) {
  TestScreen t(6, 4);
  for (int i = 0; i < 9; ++i) t.Line("n" + std::to_string(i));
  t.model.ScrollView(-3);
  MutableSelection(t.model) = Selection{1, 2, 3, 4};
  t.observer.calls.clear();
  t.model.ClearBacklog();
  EXPECT_EQ(t.model.store().lineCount, 4u);
  EXPECT_EQ(t.model.view().viewTop, t.model.store().screenTop);
  EXPECT_EQ(t.model.selection().activeLine, 0);
  EXPECT_EQ(t.model.selection().anchorCol, 0);
  EXPECT_EQ(t.observer.calls, (std::vector<std::string>{"all", "bar max=3 pos=0", "caret"}));
  ExpectConsistent(t.model);
  EXPECT_EQ(t.Row(0), "n6");
}

TEST(ScreenGrid, GridSizeAndViewScrolling) {
  TestScreen t(6, 4);
  t.model.SetGridSize(65536 + 80, 70000 + 4, t.model.backlogMax());  // only the reported size is read here
  EXPECT_EQ(t.model.GridSize(), (std::pair<uint16_t, uint16_t>{4468, 80}));
  t.model.SetGridSize(6, 4, t.model.backlogMax());
  for (int i = 0; i < 5; ++i) t.Line("n");
  t.observer.calls.clear();
  t.model.ScrollView(-100);  // clamped to the oldest line
  EXPECT_EQ(t.model.view().viewIndex, 0);
  t.model.ScrollView(-1);  // nothing more to scroll
  EXPECT_EQ(t.observer.calls,
            (std::vector<std::string>{"scroll 0,0-6,4 0,2", "bar pos=0", "caret", "paint"}));
  t.model.ScrollView(100);
  EXPECT_EQ(t.model.view().viewTop, t.model.store().screenTop);
  ExpectConsistent(t.model);
}

TEST(ScreenGrid, CreateFailsWhenLinesCannotBeMade) {
  NullScreenObserver observer;
  ScreenModel model(observer, /*lineLimit=*/10);
  model.SetGridSize(model.columns(), 24, model.backlogMax());
  EXPECT_FALSE(model.CreateLineStore());
  EXPECT_EQ(model.store().lineCount, 0u);
  EXPECT_EQ(model.store().firstLine, nullptr);
}

}  // namespace
}  // namespace velmora::testing

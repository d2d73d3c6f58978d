// The terminal size dialog's logic: the fields it opens with, clamping, the backlog limit and a
// failed rebuild of the screen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/terminal_size_dialog.h"

namespace velmora::testing {
namespace {

// The values the dialog edits, and a rebuild that records what it saw.
struct Grid {
  int32_t columns = 80;
  int32_t rows = 24;
  uint32_t backlogMax = 2147483647u;
  bool resizeSucceeds = true;
  struct Call {
    int32_t previousColumns, columns, rows;
    uint32_t backlogMax;
  };
  std::vector<Call> calls;

  TerminalSizeDialogModel Model() {
    return TerminalSizeDialogModel(columns, rows, backlogMax, [this](int32_t previousColumns) {
      calls.push_back({previousColumns, columns, rows, backlogMax});
      return resizeSucceeds;
    });
  }
};

TEST(TerminalSizeDialog, OpensWithTheCurrentValues) {
  Grid grid;
  grid.columns = 132;
  grid.rows = 50;
  grid.backlogMax = 0;
  const auto fields = grid.Model().Init();
  const struct {
    int editId, upDownId;
    const char* text;
    int limit;
    int32_t lowest, highest;
  } expected[] = {
      {kIdSizeColumns, kIdSizeColumnsUpDown, "132", 3, 40, 163},
      {kIdSizeRows, kIdSizeRowsUpDown, "50", 3, 12, 107},
      {kIdSizeBacklog, kIdSizeBacklogUpDown, "0", 10, 0, 2147483647},
  };
  for (size_t i = 0; i < fields.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(fields[i].editId, expected[i].editId);
    EXPECT_EQ(fields[i].upDownId, expected[i].upDownId);
    EXPECT_EQ(fields[i].text, expected[i].text);
    EXPECT_EQ(fields[i].textLimit, expected[i].limit);
    EXPECT_EQ(fields[i].lowest, expected[i].lowest);
    EXPECT_EQ(fields[i].highest, expected[i].highest);
  }
  grid.backlogMax = 2147483647u;
  EXPECT_EQ(grid.Model().Init()[2].text, "2147483647");
  EXPECT_TRUE(grid.calls.empty());
}

TEST(TerminalSizeDialog, ColumnsAndRowsAreClamped) {
  const struct {
    const char* name;
    const char* columns;
    const char* rows;
    int32_t wantColumns, wantRows;
  } cases[] = {
      {"above both ranges", "200", "5", 163, 12},
      {"the highest values", "163", "107", 163, 107},
      {"just below the highest", "162", "106", 162, 106},
      {"the lowest values", "40", "12", 40, 12},
      {"just below the lowest", "39", "11", 40, 12},
      {"empty fields read as 0", "", "", 40, 12},
      {"zero", "0", "0", 40, 12},
      {"rows above the range", "100", "999", 100, 107},
      {"leading zeros", "0100", "030", 100, 30},
      {"leading blanks are skipped", " 100", "  30", 100, 30},
      {"text after the digits is ignored", "100x", "30 5", 100, 30},
      {"no leading digits reads as 0", "x100", "-30", 40, 12},
      {"too large for 32 bits reads as 0", "4294967296", "99999999999", 40, 12},
      {"largest 32-bit number", "4294967295", "2147483648", 163, 107},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Grid grid;
    EXPECT_TRUE(grid.Model().OnOk(c.columns, c.rows, "1000"));
    EXPECT_EQ(grid.columns, c.wantColumns);
    EXPECT_EQ(grid.rows, c.wantRows);
    EXPECT_EQ(grid.backlogMax, 1000u);
  }
}

TEST(TerminalSizeDialog, BacklogLimit) {
  const struct {
    const char* text;
    uint32_t want;
  } cases[] = {
      {"0", 0},
      {"", 0},
      {"1000", 1000},
      {"2147483646", 2147483646u},
      {"2147483647", 2147483647u},
      {"2147483648", 2147483647u},
      {"3000000000", 2147483647u},
      {"4294967295", 2147483647u},
      {"4294967296", 0},
      {"9999999999", 0},
      {"00000000000000000042", 42},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Grid grid;
    grid.backlogMax = 12345;
    EXPECT_TRUE(grid.Model().OnOk("80", "24", c.text));
    EXPECT_EQ(grid.backlogMax, c.want);
  }
}

TEST(TerminalSizeDialog, MaximumThenOk) {
  Grid grid;
  grid.backlogMax = 500;
  auto model = grid.Model();
  const std::string text = model.OnMaximum();
  EXPECT_EQ(text, "2147483647");
  EXPECT_EQ(grid.backlogMax, 500u);  // pressing the button changes only the field
  EXPECT_TRUE(model.OnOk("80", "24", text));
  EXPECT_EQ(grid.backlogMax, 2147483647u);
}

TEST(TerminalSizeDialog, RebuildGetsTheOldColumnsAndTheNewSize) {
  Grid grid;
  grid.backlogMax = 500;
  EXPECT_TRUE(grid.Model().OnOk("100", "30", "7"));
  ASSERT_EQ(grid.calls.size(), 1u);
  EXPECT_EQ(grid.calls[0].previousColumns, 80);
  EXPECT_EQ(grid.calls[0].columns, 100);
  EXPECT_EQ(grid.calls[0].rows, 30);
  EXPECT_EQ(grid.calls[0].backlogMax, 500u);  // the backlog limit is taken after the rebuild
  EXPECT_EQ(grid.backlogMax, 7u);
}

TEST(TerminalSizeDialog, FailedRebuildPutsTheSizeBack) {
  const struct {
    const char* name;
    const char* columns;
    const char* rows;
  } cases[] = {
      {"both changed", "100", "30"},
      {"only rows changed", "80", "50"},
      {"clamped values", "999", "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Grid grid;
    grid.backlogMax = 500;
    grid.resizeSucceeds = false;
    EXPECT_FALSE(grid.Model().OnOk(c.columns, c.rows, "7"));
    EXPECT_EQ(grid.calls.size(), 1u);
    EXPECT_EQ(grid.columns, 80);
    EXPECT_EQ(grid.rows, 24);
    EXPECT_EQ(grid.backlogMax, 500u);
  }
}

TEST(TerminalSizeDialog, NoRebuildFunctionCountsAsFailure) {
  int32_t columns = 80, rows = 24;
  uint32_t backlog = 9;
  TerminalSizeDialogModel model(columns, rows, backlog, nullptr);
  EXPECT_FALSE(model.OnOk("100", "30", "7"));
  EXPECT_EQ(columns, 80);
  EXPECT_EQ(rows, 24);
  EXPECT_EQ(backlog, 9u);
}

}  // namespace
}  // namespace velmora::testing

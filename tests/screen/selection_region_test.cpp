// Invalidated cells of a selection and of its changes, checked cell by cell against a model
// that walks the grid in reading order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "screen/selection_region.h"

namespace velmora {
namespace {

constexpr int32_t kCols = 8;

// Cell (line, col) of the span in reading order, less the start cell (a) or plus the end cell (b).
bool InModel(const SelectionSpan& s, int a, int b, int64_t line, int32_t col) {
  const auto before = [](int64_t l1, int32_t c1, int64_t l2, int32_t c2) { return l1 < l2 || (l1 == l2 && c1 < c2); };
  if (a != 0 && line == s.startLine && col == s.startCol) return false;
  if (b != 0 && line == s.endLine && col == s.endCol) return true;
  return !before(line, col, s.startLine, s.startCol) && before(line, col, s.endLine, s.endCol);
}

// The window as rows of '.' (not covered), '#' (covered once) or a digit (covered more often).
std::vector<std::string> Paint(const std::vector<CellRect>& rects, int32_t rows) {
  std::vector<std::string> out(static_cast<size_t>(rows), std::string(kCols, '.'));
  for (const CellRect& r : rects) {
    EXPECT_TRUE(r.left >= 0 && r.left < r.right && r.right <= kCols && r.top >= 0 && r.top < r.bottom && r.bottom <= rows);
    for (int32_t y = r.top; y < r.bottom && y < rows; ++y) {
      for (int32_t x = r.left; x < r.right && x < kCols; ++x) out[y][x] = out[y][x] == '.' ? '#' : out[y][x] + 1;
    }
  }
  return out;
}

template <typename CellTest>
std::vector<std::string> Model(int32_t viewIndex, int32_t rows, CellTest in) {
  std::vector<std::string> out;
  for (int32_t w = 0; w < rows; ++w) {
    out.emplace_back();
    for (int32_t c = 0; c < kCols; ++c) out.back() += in(static_cast<int64_t>(w) + viewIndex, c) ? '#' : '.';
  }
  return out;
}

// Each case is seen through a window showing lines 0-7 and one showing only lines 3-5.
struct View {
  int32_t viewIndex, rows;
};
constexpr View kViews[] = {{0, 8}, {3, 3}};

TEST(SelectionRegion, RegionsWithTheFlags) {
  const struct {
    SelectionSpan span;
    int a, b;
  } cases[] = {{{2, 3, 5, 3}, 0, 0}, {{2, 3, 5, 3}, 1, 0}, {{2, 3, 5, 3}, 0, 1}, {{4, 3, 4, 3}, 0, 1},
               {{4, 3, 4, 3}, 1, 0}, {{5, 1, 3, 2}, 0, 1}, {{5, 1, 3, 6}, 1, 0}, {{8, 1, 0, 3}, 1, 0},
               {{0, 0, 8, 7}, 0, 1}, {{2, 0, 8, 3}, 0, 1}};
  for (const auto& c : cases) {
    for (const View& v : kViews) {
      EXPECT_EQ(Paint(RegionToWindow(SelectionRegion(c.span, c.a, c.b, kCols), v.viewIndex, v.rows, kCols), v.rows),
                Model(v.viewIndex, v.rows, [&](int64_t l, int32_t col) { return InModel(c.span, c.a, c.b, l, col); }))
          << c.span.startCol << "," << c.span.startLine << "-" << c.span.endCol << "," << c.span.endLine << " flags "
          << c.a << c.b << " view " << v.viewIndex;
    }
  }
  // The whole selection: its cells and the one after its end, clipped to the window.
  EXPECT_EQ(InvalidateSelection({1, 0, 4, 2}, 2, 8, kCols), (std::vector<CellRect>{{0, 0, 5, 1}}));
  EXPECT_TRUE(InvalidateSelection({1, 10, 4, 12}, 0, 8, kCols).empty());
  EXPECT_TRUE(InvalidateSelection({1, 0, 4, 2}, 3, 8, kCols).empty());
}

TEST(SelectionRegion, ChangeInvalidatesTheXorWithTheBoundaryCell) {
  const struct {
    const char* what;
    SelectionSpan before, after;
    BoundaryFlags flags;  // old start shift, old end extension, new start shift, new end extension
  } cases[] = {
      {"end extended right on its line", {2, 1, 4, 1}, {2, 1, 6, 1}, {0, 0, 0, 1}},
      {"end moved left on its line", {2, 1, 6, 1}, {2, 1, 4, 1}, {0, 1, 0, 0}},
      {"end pulled to the right edge", {2, 1, 6, 1}, {2, 1, 8, 1}, {0, 0, 0, 1}},
      {"grown by lines", {2, 1, 4, 1}, {2, 1, 3, 3}, {0, 0, 0, 1}},
      {"shrunk by lines", {2, 1, 3, 3}, {2, 1, 5, 2}, {0, 1, 0, 0}},
      {"shrunk to its start line", {2, 1, 3, 4}, {2, 1, 6, 1}, {0, 1, 0, 0}},
      {"start at the right edge, end moved", {8, 1, 2, 3}, {8, 1, 4, 3}, {0, 0, 0, 1}},
      {"unchanged", {2, 1, 3, 3}, {2, 1, 3, 3}, {0, 0, 0, 0}},
      {"collapsed span opens leftwards", {3, 2, 3, 2}, {1, 2, 3, 2}, {0, 0, 0, 1}},
      {"span collapses onto its end", {1, 2, 3, 2}, {3, 2, 3, 2}, {0, 1, 0, 0}},
      {"collapsed spans at other columns", {3, 2, 3, 2}, {5, 2, 5, 2}, {0, 0, 1, 0}},
      {"start moved left, same end", {4, 2, 6, 2}, {1, 2, 6, 2}, {1, 0, 0, 0}},
      {"start moved right over lines", {1, 2, 5, 4}, {4, 2, 5, 4}, {0, 0, 1, 0}},
      {"start crosses the end leftwards", {5, 2, 7, 2}, {2, 2, 5, 2}, {1, 0, 0, 0}},
      {"old start line is the new one + 1", {3, 3, 5, 4}, {6, 2, 2, 4}, {0, 1, 0, 0}},
      {"new start line is the old one + 1", {6, 2, 2, 4}, {3, 3, 5, 4}, {0, 0, 0, 1}},
      {"start line + 1, same end column", {3, 3, 5, 4}, {6, 2, 5, 4}, {0, 0, 0, 0}},
      {"start line + 1, other end line", {3, 3, 5, 4}, {6, 2, 2, 5}, {0, 0, 0, 0}},
      {"start lines two apart", {3, 4, 5, 5}, {6, 2, 2, 5}, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const BoundaryFlags f = SelectionChangeFlags(c.before, c.after), e = c.flags;
    EXPECT_EQ(f, e) << c.what << ": got " << f.oldStartShift << f.oldEndExtension << f.newStartShift << f.newEndExtension;
    for (const View& v : kViews) {
      EXPECT_EQ(Paint(InvalidateSelectionChange(c.before, c.after, v.viewIndex, v.rows, kCols), v.rows),
                Model(v.viewIndex, v.rows, [&](int64_t l, int32_t col) {
                  // The boundary cell the flags pick, and every cell whose highlight changes.
                  return InModel(c.before, e.oldStartShift, e.oldEndExtension, l, col) !=
                             InModel(c.after, e.newStartShift, e.newEndExtension, l, col) ||
                         InModel(c.before, 0, 0, l, col) != InModel(c.after, 0, 0, l, col);
                })) << c.what << " view " << v.viewIndex;
    }
  }
}

TEST(SelectionRegion, XorMergesEqualBandsOnlyWhenAdjacent) {
  EXPECT_EQ(XorRegions(SelectionRegion({0, 0, 0, 0}, 0, 0, 80), SelectionRegion({0, 5, 80, 9}, 0, 0, 80)),
            (LineRegion{{0, 5, 80, 10}}));
  const LineRegion apart{{0, 0, 3, 1}, {0, 2, 3, 3}};
  EXPECT_EQ(XorRegions(apart, {}), apart);
  EXPECT_TRUE(XorRegions(apart, apart).empty());
}

TEST(SelectionRegion, CrossingTheAnchorRepaintsTheAnchorCell) {
  // 5..7 becomes 2..5 on one line: cell 5 loses its highlight and must be repainted too.
  EXPECT_EQ(InvalidateSelectionChange({5, 0, 7, 0}, {2, 0, 5, 0}, 0, 24, 80),
            (std::vector<CellRect>{{2, 0, 7, 1}}));
  EXPECT_EQ(UnionRegions({{0, 0, 3, 1}}, {{2, 0, 5, 2}}), (LineRegion{{0, 0, 5, 1}, {2, 1, 5, 2}}));
}

TEST(SelectionRegion, HugeSpansWorkOnBandsOfLines) {
  const SelectionSpan huge{3, 0, 5, 2000000000};
  EXPECT_EQ(InvalidateSelection(huge, 1000000000, 24, 80), (std::vector<CellRect>{{0, 0, 80, 24}}));
  EXPECT_EQ(InvalidateSelection(huge, 2000000000 - 23, 24, 80), (std::vector<CellRect>{{0, 0, 80, 23}, {0, 23, 6, 24}}));
  EXPECT_EQ(InvalidateSelectionChange(huge, {3, 0, 9, 2000000000}, 2000000000 - 10, 24, 80),
            (std::vector<CellRect>{{5, 10, 10, 11}}));
  EXPECT_EQ(XorRegions(SelectionRegion({3, 0, 5, 1000}, 0, 0, 80), SelectionRegion(huge, 0, 1, 80)),
            (LineRegion{{5, 1000, 80, 1001}, {0, 1001, 80, 2000000000}, {0, 2000000000, 6, 2000000001}}));
  // The last possible line index: the line after it is still representable.
  EXPECT_EQ(InvalidateSelection({0, 0, 4, 2147483647}, 2147483647 - 5, 6, 80),
            (std::vector<CellRect>{{0, 0, 80, 5}, {0, 5, 5, 6}}));
}

}  // namespace
}  // namespace velmora

#pragma once
#include <cstdint>
#include <vector>

#include "screen/screen_observer.h"

namespace velmora {

// A selection in normalised form: the start is not after the end, both are cell boundaries
// with line indices counted from the oldest line, and the end column is exclusive (the
// highlighted cells of the last line are those before endCol).
struct SelectionSpan {
  int32_t startCol = 0;
  int32_t startLine = 0;
  int32_t endCol = 0;
  int32_t endLine = 0;
  friend bool operator==(const SelectionSpan&, const SelectionSpan&) = default;
};

// Columns [left, right) of lines [top, bottom), rows being line indices. The rows are 64-bit
// so that the line after index 2147483647 can be named.
struct LineRect {
  int32_t left = 0;
  int64_t top = 0;
  int32_t right = 0;
  int64_t bottom = 0;
  bool IsEmpty() const { return left >= right || top >= bottom; }
  friend bool operator==(const LineRect&, const LineRect&) = default;
};

// A set of cells: the union of its rectangles. Never holds an empty rectangle.
using LineRegion = std::vector<LineRect>;

// The cells of `span`, with the first cell left out when shiftStart is 1 and the cell after
// the end added when extendEnd is 1 (each flag 0 or 1). At most three rectangles.
LineRegion SelectionRegion(const SelectionSpan& span, int shiftStart, int extendEnd, int32_t columns);

// The cells in exactly one of the two regions, as disjoint rectangles. Works on bands of rows
// between rectangle edges, so its cost does not depend on how many lines a region spans.
LineRegion XorRegions(const LineRegion& a, const LineRegion& b);
// The cells in either region.
LineRegion UnionRegions(const LineRegion& a, const LineRegion& b);

// The region in window rows (line index - viewIndex), clipped to rows [0, rows) and columns
// [0, columns); rectangles left empty by the clipping are dropped.
std::vector<CellRect> RegionToWindow(const LineRegion& region, int32_t viewIndex, int32_t rows, int32_t columns);

// The extra boundary cell of a selection change: at most one flag is set. The start shifts move
// the start of the old or new region one cell on; the end extensions add one cell after the end
// of the old or new region.
struct BoundaryFlags {
  int oldStartShift = 0;
  int oldEndExtension = 0;
  int newStartShift = 0;
  int newEndExtension = 0;
  friend bool operator==(const BoundaryFlags&, const BoundaryFlags&) = default;
};
BoundaryFlags SelectionChangeFlags(const SelectionSpan& oldSpan, const SelectionSpan& newSpan);

// The window cells to invalidate for a whole selection: its cells and the one after its end.
std::vector<CellRect> InvalidateSelection(const SelectionSpan& span, int32_t viewIndex, int32_t rows,
                                          int32_t columns);

// The window cells to invalidate when the selection changes from oldSpan to newSpan: the cells
// whose highlight changes, adjusted by the boundary cell of SelectionChangeFlags.
std::vector<CellRect> InvalidateSelectionChange(const SelectionSpan& oldSpan, const SelectionSpan& newSpan,
                                                int32_t viewIndex, int32_t rows, int32_t columns);

}  // namespace velmora

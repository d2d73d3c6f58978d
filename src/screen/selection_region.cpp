#include "screen/selection_region.h"

#include <algorithm>
#include <utility>

namespace velmora {

namespace {

void AddIfNotEmpty(LineRegion& region, const LineRect& r) {
  if (!r.IsEmpty()) region.push_back(r);
}

// A sorted list of disjoint, non-touching column intervals [first, second).
using Intervals = std::vector<std::pair<int32_t, int32_t>>;

bool Covers(const LineRegion& region, int64_t line, int32_t col) {
  for (const LineRect& r : region) {
    if (r.top <= line && line < r.bottom && r.left <= col && col < r.right) return true;
  }
  return false;
}

// How two regions combine: a cell is kept when the rule holds for its membership in each.
enum class Combine { Xor, Union };

bool Keep(Combine rule, bool inA, bool inB) { return rule == Combine::Xor ? inA != inB : inA || inB; }

// The columns of one band [top, bottom) kept by the rule. Every rectangle either covers the
// whole band or none of it, so testing its top line is enough.
Intervals BandCombine(const LineRegion& a, const LineRegion& b, int64_t top, int64_t bottom, Combine rule) {
  std::vector<int32_t> xs;
  for (const LineRegion* region : {&a, &b}) {
    for (const LineRect& r : *region) {
      if (r.top <= top && bottom <= r.bottom) {
        xs.push_back(r.left);
        xs.push_back(r.right);
      }
    }
  }
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  Intervals out;
  for (size_t i = 0; i + 1 < xs.size(); ++i) {
    if (!Keep(rule, Covers(a, top, xs[i]), Covers(b, top, xs[i]))) continue;
    if (!out.empty() && out.back().second == xs[i]) {
      out.back().second = xs[i + 1];
    } else {
      out.emplace_back(xs[i], xs[i + 1]);
    }
  }
  return out;
}

}  // namespace

LineRegion SelectionRegion(const SelectionSpan& span, int shiftStart, int extendEnd, int32_t columns) {
  const int64_t first = span.startLine;
  const int64_t last = span.endLine;
  const int32_t left = span.startCol + shiftStart;
  const int32_t right = span.endCol + extendEnd;
  LineRegion region;
  if (first == last) {
    AddIfNotEmpty(region, LineRect{left, first, right, first + 1});
  } else {
    AddIfNotEmpty(region, LineRect{left, first, columns, first + 1});
    AddIfNotEmpty(region, LineRect{0, first + 1, columns, last});
    AddIfNotEmpty(region, LineRect{0, last, right, last + 1});
  }
  return region;
}

namespace {

LineRegion CombineRegions(const LineRegion& a, const LineRegion& b, Combine rule) {
  std::vector<int64_t> edges;
  for (const LineRegion* region : {&a, &b}) {
    for (const LineRect& r : *region) {
      if (r.IsEmpty()) continue;
      edges.push_back(r.top);
      edges.push_back(r.bottom);
    }
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

  LineRegion out;
  Intervals previous;       // the intervals of the band just above, empty after a gap
  size_t previousFrom = 0;  // where that band's rectangles start in `out`
  for (size_t i = 0; i + 1 < edges.size(); ++i) {
    const int64_t top = edges[i];
    const int64_t bottom = edges[i + 1];
    Intervals band = BandCombine(a, b, top, bottom, rule);
    if (band.empty()) {
      previous.clear();
      continue;
    }
    if (band == previous) {
      // Same columns as the band above: lengthen its rectangles instead of adding new ones.
      for (size_t k = previousFrom; k < out.size(); ++k) out[k].bottom = bottom;
    } else {
      previousFrom = out.size();
      for (const auto& [left, right] : band) out.push_back(LineRect{left, top, right, bottom});
      previous = std::move(band);
    }
  }
  return out;
}

}  // namespace

LineRegion XorRegions(const LineRegion& a, const LineRegion& b) { return CombineRegions(a, b, Combine::Xor); }

LineRegion UnionRegions(const LineRegion& a, const LineRegion& b) { return CombineRegions(a, b, Combine::Union); }

std::vector<CellRect> RegionToWindow(const LineRegion& region, int32_t viewIndex, int32_t rows, int32_t columns) {
  std::vector<CellRect> out;
  for (const LineRect& r : region) {
    const int64_t top = std::max<int64_t>(r.top - viewIndex, 0);
    const int64_t bottom = std::min<int64_t>(r.bottom - viewIndex, rows);
    const int32_t left = std::max(r.left, 0);
    const int32_t right = std::min(r.right, columns);
    if (top >= bottom || left >= right) continue;
    out.push_back(CellRect{left, static_cast<int32_t>(top), right, static_cast<int32_t>(bottom)});
  }
  return out;
}

BoundaryFlags SelectionChangeFlags(const SelectionSpan& o, const SelectionSpan& n) {
  BoundaryFlags f;
  const bool sameStartLine = o.startLine == n.startLine;
  const bool sameEndLine = o.endLine == n.endLine;
  if (sameStartLine && o.startCol == n.startCol) {
    // Only the end moved.
    if (sameEndLine && n.endCol > o.endCol) {
      f.newEndExtension = 1;
    } else if (sameEndLine && o.endCol > n.endCol) {
      f.oldEndExtension = 1;
    } else if (n.endLine > o.endLine) {
      f.newEndExtension = 1;
    } else if (o.endLine > n.endLine) {
      f.oldEndExtension = 1;
    }
  } else if (sameStartLine) {
    // The start moved along its line.
    if (sameEndLine) {
      const bool oldCollapsed = o.startCol == o.endCol;
      const bool newCollapsed = n.startCol == n.endCol;
      if (oldCollapsed && !newCollapsed) {
        f.newEndExtension = 1;
      } else if (newCollapsed && !oldCollapsed) {
        f.oldEndExtension = 1;
      } else if (o.startCol > n.startCol) {
        f.oldStartShift = 1;
      } else {
        f.newStartShift = 1;
      }
    }
  } else if (sameEndLine && o.endCol != n.endCol) {
    if (static_cast<int64_t>(o.startLine) == static_cast<int64_t>(n.startLine) + 1) {
      f.oldEndExtension = 1;
    } else if (static_cast<int64_t>(n.startLine) == static_cast<int64_t>(o.startLine) + 1) {
      f.newEndExtension = 1;
    }
  }
  return f;
}

std::vector<CellRect> InvalidateSelection(const SelectionSpan& span, int32_t viewIndex, int32_t rows,
                                          int32_t columns) {
  return RegionToWindow(SelectionRegion(span, 0, 1, columns), viewIndex, rows, columns);
}

std::vector<CellRect> InvalidateSelectionChange(const SelectionSpan& oldSpan, const SelectionSpan& newSpan,
                                                int32_t viewIndex, int32_t rows, int32_t columns) {
  const BoundaryFlags f = SelectionChangeFlags(oldSpan, newSpan);
  const LineRegion withBoundary = XorRegions(SelectionRegion(oldSpan, f.oldStartShift, f.oldEndExtension, columns),
                                             SelectionRegion(newSpan, f.newStartShift, f.newEndExtension, columns));
  // The boundary flags can shift a region past a cell whose highlight does change (the moving
  // end crossing the anchor on one line): every such cell is repainted as well.
  const LineRegion highlightChanged =
      XorRegions(SelectionRegion(oldSpan, 0, 0, columns), SelectionRegion(newSpan, 0, 0, columns));
  return RegionToWindow(UnionRegions(withBoundary, highlightChanged), viewIndex, rows, columns);
}

}  // namespace velmora

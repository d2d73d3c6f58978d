// Line feed, the backlog, and scrolling of the region.
#include <algorithm>
#include <cstdint>

#include "screen/screen_model.h"

namespace velmora {

void ScreenModel::LineFeed() {
  ClampCursor();
  auto& s = state;
  if (s.regionBottom < rows - 1 && s.cursorRow == s.regionBottom) {
    ScrollRegionUp();
  } else {
    ++s.cursorRow;
  }
  if (s.cursorRow >= rows) {
    if (s.regionTop > 0) {
      ScrollRegionUp();
    } else {
      FullScreenScroll();
    }
    s.cursorRow = rows - 1;
  }
  observer_.UpdateCaret();
}

// The top screen line passes into the backlog: a new line is added at the bottom while the
// store may grow (below the backlog limit, and a line can be made within the store's byte
// budget and the memory there is), otherwise the oldest line is reused. The view keeps showing the same lines
// unless it showed the live screen (it then follows) or the line that leaves the store.
void ScreenModel::FullScreenScroll() {
  int32_t k = 0;  // rows the window content moves up
  if (!view.thumbTracking) RequestLiveScreen();
  auto& bar = view.scrollBar;
  const uint64_t limit = static_cast<uint64_t>(backlogMax) + static_cast<uint64_t>(rows);
  TerminalLine* fresh = nullptr;
  if (store.lineCount < limit) fresh = store.AllocLine(store.lastLine, nullptr, columns);
  if (fresh != nullptr) {
    store.lastLine->next = fresh;
    store.lastLine = fresh;
    if (view.viewTop == store.screenTop) {
      view.viewTop = view.viewTop->next;
      ++view.viewIndex;
      ++bar.position;
      k = 1;
    }
    store.screenTop = store.screenTop->next;
    ++bar.maximum;
    UpdateScrollBar(kScrollRange | kScrollPosition);
  } else {
    // Backlog lines of an older width are released rather than reused.
    while (store.firstLine->width != columns && store.firstLine != store.screenTop) {
      TerminalLine* old = store.firstLine;
      if (view.viewTop == old) {
        view.viewTop = old->next;
        ++k;
      } else {
        --view.viewIndex;
        --bar.position;
      }
      store.firstLine = old->next;
      store.firstLine->prev = nullptr;
      store.FreeLine(old);
      --bar.maximum;
      UpdateScrollBar(kScrollRange | kScrollPosition);
      AdjustSelectionForDroppedLine();
    }
    // On a screen of one row the reused line is the next screen top; when it is the store's
    // only line it stays where it is.
    TerminalLine* old = store.firstLine;
    if (view.viewTop == store.screenTop || view.viewTop == old) {
      view.viewTop = view.viewTop->next != nullptr ? view.viewTop->next : old;
      ++k;
    } else {
      --view.viewIndex;
      --bar.position;
      UpdateScrollBar(kScrollPosition);
    }
    store.screenTop = store.screenTop->next != nullptr ? store.screenTop->next : old;
    if (old != store.lastLine) {
      store.firstLine = old->next;
      store.firstLine->prev = nullptr;
      old->prev = store.lastLine;
      old->next = nullptr;
      store.lastLine->next = old;
      store.lastLine = old;
    }
    old->Blank();
    AdjustSelectionForDroppedLine();
  }
  // The screen rows move up by one; the bottom row is the new last line.
  if (rowIndexValid_ && static_cast<int32_t>(rowIndex_.size()) == rows && rows > 0) {
    std::rotate(rowIndex_.begin(), rowIndex_.begin() + 1, rowIndex_.end());
    rowIndex_.back() = store.lastLine;
  } else {
    ForgetRows();
  }
  if (k > 0) observer_.ScrollCells(CellRect{0, 0, columns, rows}, 0, -k);
}

void ScreenModel::AdjustSelectionForDroppedLine() {
  auto& sel = selection;
  if (sel.anchorLine <= 0 && sel.activeLine <= 0) {
    sel = Selection{};
    return;
  }
  if (sel.anchorLine > 0) --sel.anchorLine; else sel.anchorCol = 0;
  if (sel.activeLine > 0) --sel.activeLine; else sel.activeCol = 0;
}

// The region's rows of the row index move by one: up (the top line goes to the bottom) or
// down (the bottom line comes to the top), as the list was just relinked.
void ScreenModel::RotateRows(int32_t top, int32_t bottom, bool up) {
  if (!rowIndexValid_ || static_cast<int32_t>(rowIndex_.size()) != rows) {
    ForgetRows();
    return;
  }
  const auto first = rowIndex_.begin() + top, last = rowIndex_.begin() + bottom + 1;
  if (up) {
    std::rotate(first, first + 1, last);
  } else {
    std::rotate(first, last - 1, last);
  }
}

static bool RegionValid(const ScreenState& s, int32_t rows) {
  return 0 <= s.regionTop && s.regionTop <= s.regionBottom && s.regionBottom <= rows - 1;
}

void ScreenModel::ScrollRegionUp() {
  RequestLiveScreen();
  const auto& s = state;
  if (!RegionValid(s, rows)) return;
  TerminalLine* t = ScreenLine(s.regionTop);
  TerminalLine* b = ScreenLine(s.regionBottom);
  if (t != b) {
    if (s.regionTop == 0) {
      // The line leaving the top of the screen is reused, not kept in the backlog.
      if (store.firstLine == store.screenTop) store.firstLine = store.firstLine->next;
      if (view.viewTop == store.screenTop) view.viewTop = view.viewTop->next;
      store.screenTop = store.screenTop->next;
    }
    if (s.regionBottom == rows - 1) store.lastLine = t;
    if (t->prev != nullptr) t->prev->next = t->next;
    t->next->prev = t->prev;
    t->prev = b;
    t->next = b->next;
    if (b->next != nullptr) b->next->prev = t;
    b->next = t;
    RotateRows(s.regionTop, s.regionBottom, true);
  }
  t->Blank();
  ScrollScreenRows(s.regionTop, s.regionBottom, -1);
}

void ScreenModel::ScrollRegionDown() {
  RequestLiveScreen();
  const auto& s = state;
  if (!RegionValid(s, rows)) return;
  TerminalLine* t = ScreenLine(s.regionTop);
  TerminalLine* b = ScreenLine(s.regionBottom);
  if (t != b) {
    if (s.regionTop == 0) {
      if (store.firstLine == store.screenTop) store.firstLine = b;
      if (view.viewTop == store.screenTop) view.viewTop = b;
      store.screenTop = b;
    }
    if (s.regionBottom == rows - 1) store.lastLine = b->prev;
    b->prev->next = b->next;
    if (b->next != nullptr) b->next->prev = b->prev;
    b->next = t;
    b->prev = t->prev;
    if (t->prev != nullptr) t->prev->next = b;
    t->prev = b;
    RotateRows(s.regionTop, s.regionBottom, false);
  }
  b->Blank();
  ScrollScreenRows(s.regionTop, s.regionBottom, 1);
}

}  // namespace velmora

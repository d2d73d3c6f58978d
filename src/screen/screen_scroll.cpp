// Line feed, the backlog, and scrolling of the region.
#include <algorithm>
#include <cstdint>

#include "screen/screen_model.h"

namespace velmora {

void ScreenModel::LineFeed() {
  ClampCursor();
  auto& s = state_;
  if (s.regionBottom < rows_ - 1 && s.cursorRow == s.regionBottom) {
    ScrollRegionUp();
  } else {
    ++s.cursorRow;
  }
  if (s.cursorRow >= rows_) {
    if (s.regionTop > 0) {
      ScrollRegionUp();
    } else {
      FullScreenScroll();
    }
    s.cursorRow = rows_ - 1;
  }
  observer_.UpdateCaret();
}

// The top screen line passes into the backlog: a new line is added at the bottom while the
// store may grow (below the backlog limit, and a line can be made within the store's byte
// budget and the memory there is), otherwise the oldest line is reused. The view keeps showing the same lines
// unless it showed the live screen (it then follows) or the line that leaves the store.
void ScreenModel::FullScreenScroll() {
  int32_t k = 0;  // rows the window content moves up
  if (!view_.thumbTracking) RequestLiveScreen();
  auto& bar = view_.scrollBar;
  const uint64_t limit = static_cast<uint64_t>(backlogMax_) + static_cast<uint64_t>(rows_);
  TerminalLine* fresh = nullptr;
  if (store_.lineCount < limit) fresh = store_.AllocLine(store_.lastLine, nullptr, columns_);
  if (fresh != nullptr) {
    store_.lastLine->next = fresh;
    store_.lastLine = fresh;
    if (view_.viewTop == store_.screenTop) {
      view_.viewTop = view_.viewTop->next;
      ++view_.viewIndex;
      ++bar.position;
      k = 1;
    }
    store_.screenTop = store_.screenTop->next;
    ++bar.maximum;
    UpdateScrollBar(kScrollRange | kScrollPosition);
  } else {
    // Backlog lines of an older width are released rather than reused.
    while (store_.firstLine->width != columns_ && store_.firstLine != store_.screenTop) {
      TerminalLine* old = store_.firstLine;
      if (view_.viewTop == old) {
        view_.viewTop = old->next;
        ++k;
      } else {
        --view_.viewIndex;
        --bar.position;
      }
      store_.firstLine = old->next;
      store_.firstLine->prev = nullptr;
      store_.FreeLine(old);
      --bar.maximum;
      UpdateScrollBar(kScrollRange | kScrollPosition);
      AdjustSelectionForDroppedLine();
    }
    // On a screen of one row the reused line is the next screen top; when it is the store's
    // only line it stays where it is.
    TerminalLine* old = store_.firstLine;
    if (view_.viewTop == store_.screenTop || view_.viewTop == old) {
      view_.viewTop = view_.viewTop->next != nullptr ? view_.viewTop->next : old;
      ++k;
    } else {
      --view_.viewIndex;
      --bar.position;
      UpdateScrollBar(kScrollPosition);
    }
    store_.screenTop = store_.screenTop->next != nullptr ? store_.screenTop->next : old;
    if (old != store_.lastLine) {
      store_.firstLine = old->next;
      store_.firstLine->prev = nullptr;
      old->prev = store_.lastLine;
      old->next = nullptr;
      store_.lastLine->next = old;
      store_.lastLine = old;
    }
    old->Blank();
    AdjustSelectionForDroppedLine();
  }
  // The screen rows move up by one; the bottom row is the new last line.
  if (ringValid_) {
    ringBase_ = ringBase_ + 1 == rows_ ? 0 : ringBase_ + 1;
    SetRingRow(rows_ - 1, store_.lastLine);
  }
  if (k > 0) observer_.ScrollCells(CellRect{0, 0, columns_, rows_}, 0, -k);
}

void ScreenModel::AdjustSelectionForDroppedLine() {
  auto& sel = selection_;
  if (sel.anchorLine <= 0 && sel.activeLine <= 0) {
    sel = Selection{};
    return;
  }
  if (sel.anchorLine > 0) --sel.anchorLine; else sel.anchorCol = 0;
  if (sel.activeLine > 0) --sel.activeLine; else sel.activeCol = 0;
}

// The region's rows of the ring move by one: up (the top line goes to the bottom) or down (the
// bottom line comes to the top), as the list was just relinked. For the whole screen that is a
// turn of the ring.
void ScreenModel::RotateRows(int32_t top, int32_t bottom, bool up) {
  if (!ringValid_) return;
  if (top == 0 && bottom == rows_ - 1) {
    if (up) {
      ringBase_ = ringBase_ + 1 == rows_ ? 0 : ringBase_ + 1;
    } else {
      ringBase_ = ringBase_ == 0 ? rows_ - 1 : ringBase_ - 1;
    }
    return;
  }
  const auto at = [&](int32_t r) { return ring_[static_cast<size_t>(ringBase_ + r)]; };
  if (up) {
    TerminalLine* first = at(top);
    for (int32_t r = top; r < bottom; ++r) SetRingRow(r, at(r + 1));
    SetRingRow(bottom, first);
  } else {
    TerminalLine* last = at(bottom);
    for (int32_t r = bottom; r > top; --r) SetRingRow(r, at(r - 1));
    SetRingRow(top, last);
  }
}

static bool RegionValid(const ScreenState& s, int32_t rows) {
  return 0 <= s.regionTop && s.regionTop <= s.regionBottom && s.regionBottom <= rows - 1;
}

void ScreenModel::ScrollRegionUp() {
  RequestLiveScreen();
  const auto& s = state_;
  if (!RegionValid(s, rows_)) return;
  TerminalLine* t = ScreenLine(s.regionTop);
  TerminalLine* b = ScreenLine(s.regionBottom);
  if (t != b) {
    if (s.regionTop == 0) {
      // The line leaving the top of the screen is reused, not kept in the backlog.
      if (store_.firstLine == store_.screenTop) store_.firstLine = store_.firstLine->next;
      if (view_.viewTop == store_.screenTop) view_.viewTop = view_.viewTop->next;
      store_.screenTop = store_.screenTop->next;
    }
    if (s.regionBottom == rows_ - 1) store_.lastLine = t;
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
  const auto& s = state_;
  if (!RegionValid(s, rows_)) return;
  TerminalLine* t = ScreenLine(s.regionTop);
  TerminalLine* b = ScreenLine(s.regionBottom);
  if (t != b) {
    if (s.regionTop == 0) {
      if (store_.firstLine == store_.screenTop) store_.firstLine = b;
      if (view_.viewTop == store_.screenTop) view_.viewTop = b;
      store_.screenTop = b;
    }
    if (s.regionBottom == rows_ - 1) store_.lastLine = b->prev;
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

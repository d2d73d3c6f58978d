#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include <utility>

#include "screen/line_store.h"
#include "screen/screen_observer.h"

namespace velmora {

// Attribute byte of one cell. The upper four bits are always 0.
enum CellAttr : uint8_t {
  kAttrBold = 0x01,
  kAttrUnderline = 0x02,
  kAttrBlink = 0x04,  // stored and kept, not drawn
  kAttrReverse = 0x08,
};

// Cursor, wrap, scroll region, saved position and current attribute of the emulated terminal.
struct ScreenState {
  int32_t cursorCol = 0;
  int32_t cursorRow = 0;
  bool pendingWrap = false;  // a character went into the last column; the next one wraps first
  int32_t regionTop = 0;     // scroll region, inclusive rows
  int32_t regionBottom = 0;
  int32_t savedCol = 0;
  int32_t savedRow = 0;
  uint8_t currentAttr = 0;
};

// The window's view onto the store.
struct ViewState {
  TerminalLine* viewTop = nullptr;  // line in the window's top row: screenTop or a backlog line
  int32_t viewIndex = 0;            // index of viewTop counted from firstLine
  ScrollBarInfo scrollBar;          // position kept equal to viewIndex
  bool thumbTracking = false;       // the user is dragging the thumb; output does not move the view
};

// The user's selection. Columns are cell boundaries (0 to columns); lines are indices counted
// from the oldest line of the store. Empty when anchor and active point are equal.
struct Selection {
  int32_t anchorCol = 0;
  int32_t anchorLine = 0;
  int32_t activeCol = 0;
  int32_t activeLine = 0;

  bool IsEmpty() const { return anchorCol == activeCol && anchorLine == activeLine; }
};

// Whether `column` holds the trail byte of a double-byte character, found by scanning the line
// from column 0 and stepping over lead bytes. Column 0 never splits.
bool IsInsideDoubleByte(const uint8_t* text, int32_t column);

// The terminal's screen and backlog: the line list, the cursor state, the view and the
// selection, with the operations that write text and feed lines. Every change a window would
// show is reported to the ScreenObserver given at construction.
class ScreenModel {
 public:
  explicit ScreenModel(ScreenObserver& observer, uint32_t lineLimit = LineStore::kMaxLines)
      : store_(lineLimit), observer_(observer) {}
  ScreenModel(const ScreenModel&) = delete;
  ScreenModel& operator=(const ScreenModel&) = delete;

  // Grid size and backlog limit; the store never grows beyond backlogMax + rows lines.
  int32_t columns() const { return columns_; }
  int32_t rows() const { return rows_; }
  uint32_t backlogMax() const { return backlogMax_; }
  const LineStore& store() const { return store_; }
  const ViewState& view() const { return view_; }
  const Selection& selection() const { return selection_; }
  const ScreenState& state() const { return state_; }

  // The grid and backlog limit CreateLineStore builds (columns and rows at least 1).
  void SetGridSize(int32_t columns, int32_t rows, uint32_t backlogMax);
  // A new grid size for a screen already built: the screen lines are rebuilt keeping what fits
  // (ResizeScreen), the scroll bar's range and page follow, the scroll region becomes the whole
  // screen and the cursor comes inside the grid. Nothing is reported to the window. False, with
  // nothing changed, when the lines cannot be made.
  bool Resize(int32_t columns, int32_t rows);
  void SetBacklogMax(uint32_t backlogMax) { backlogMax_ = backlogMax; }
  // The most bytes the backlog's lines may take (LineStore::SetByteBudget).
  void SetLineByteBudget(size_t bytes) { store_.SetByteBudget(bytes); }
  void SetSelection(const Selection& selection) { selection_ = selection; }
  // While the user drags the scroll bar's thumb, output does not move the view.
  void SetThumbTracking(bool tracking) { view_.thumbTracking = tracking; }

  // The selected text as the clipboard takes it: each line's part with its trailing blanks
  // trimmed, lines joined by CR LF. Empty when nothing is selected.
  std::string SelectedText() const;
  // The line at `index` counted from the oldest line of the store; null beyond the newest.
  // Walks from the view's top line, which is where the window's lines are found.
  const TerminalLine* LineAt(int64_t index) const;

  // Builds `rows` blank lines and sets up the view and scroll bar. Returns false when a line
  // cannot be made (the store is then empty).
  bool CreateLineStore();

  // Text written at the cursor with the current attribute.
  void PutChar(uint8_t b);
  // The printable ASCII bytes (0x20-0x7E) at the start of `bytes`, written one after another
  // exactly as PutChar writes them, with the same calls on the observer, but with what stays the
  // same between them found once. Returns how many were written: it stops at the first byte
  // that is not printable ASCII.
  size_t PutAsciiRun(const uint8_t* bytes, size_t count);
  void PutDoubleChar(uint8_t lead, uint8_t trail);
  // Double-byte characters (`count` pairs of lead and trail) written one after another exactly as
  // PutDoubleChar writes them, with the same calls on the observer, the row's line found once.
  void PutDoubleCharRun(const uint8_t* pairs, size_t count);
  // Adds the voiced (false) or semi-voiced (true) sound mark to the character just written.
  void ApplyVoicedMark(bool semiVoiced);

  void CarriageReturn();
  void LineFeed();
  void Backspace();
  void HorizontalTab();

  // Move the scroll region's content up or down one row, reusing the row that leaves as a blank.
  void ScrollRegionUp();
  void ScrollRegionDown();

  // Editing operations driven by escape sequences. Moves end inside the grid, clamped to the
  // nearest row and column, and cancel a pending wrap.
  void CursorUp();
  void CursorRight();
  void MoveCursor(int32_t column, int32_t row);
  void SaveCursor();
  void RestoreCursor();
  // Takes the region when, with the bottom limited to the last row, 0 <= top <= bottom;
  // otherwise the region stays as it was. Returns whether it was taken.
  bool SetScrollRegion(int32_t top, int32_t bottom);
  void InsertLines(int32_t n);
  void DeleteLines(int32_t n);
  void DeleteChars(int32_t n);
  void ClearScreen();
  void EraseAbove();
  void EraseBelow();
  void EraseLineLeft();
  void EraseLineRight();
  void AddAttribute(uint8_t mask) { state_.currentAttr = static_cast<uint8_t>(state_.currentAttr | mask); }
  void ResetAttributes() { state_.currentAttr = 0; }

  // Releases every backlog line.
  void ClearBacklog();
  // rows and columns, each cut to 16 bits, for the window-size report to the host.
  std::pair<uint16_t, uint16_t> GridSize() const;
  // A new connection starts with the region the whole screen, attribute 0 and the saved
  // position at the origin. The screen's text and the backlog are kept.
  void ResetForConnection();

  // Moves the view by d lines (negative: towards older lines), clamped to the store, and
  // scrolls the window to match. The window's answer to scroll-bar requests.
  void ScrollView(int32_t d);
  // The view's bottom position: the index of screenTop.
  int32_t ViewBottom() const;

  // The line at screen row r (0 <= r < rows; outside, the nearest row), from a ring of the
  // screen's rows that the list operations keep true.
  TerminalLine* ScreenLine(int32_t r) const {
    if (ringValid_ && static_cast<uint32_t>(r) < static_cast<uint32_t>(rows_) && ring_[ringBase_] == store_.screenTop) {
      return ring_[static_cast<size_t>(ringBase_ + r)];
    }
    return ScreenLineSlow(r);
  }
  // The window row at which screen row r is shown (rows or more: not visible).
  int32_t WindowRow(int32_t r) const;

  ScreenObserver& observer() { return observer_; }

 private:
  // Tests set up a cursor, region or selection directly instead of through the bytes a host
  // would send; nothing else reaches the state from outside.
  friend struct ScreenModelTestAccess;

  void RequestLiveScreen() { observer_.ShowLiveScreen(); }
  // Invalidates cells [left, right) of screen row r (when shown) and optionally repaints now.
  void InvalidateRowCells(int32_t r, int32_t left, int32_t right, bool repaintNow) {
    const int64_t w = static_cast<int64_t>(store_.lineCount) - rows_ - view_.viewIndex + r;
    if (w < 0 || w >= rows_) return;
    const auto row = static_cast<int32_t>(w);
    observer_.InvalidateCells(CellRect{left, row, right, row + 1});
    if (repaintNow) observer_.RepaintNow();
  }
  // Rebuilds the screen lines at the current `columns_` and `rows_` after a size change, keeping
  // what fits. Returns false, with the store unchanged, when lines cannot be made.
  bool ResizeScreen(int32_t previousColumns);
  TerminalLine* MakeScreenLines(TerminalLine* before, TerminalLine*& last);
  void ScrollRestOfScreen(int32_t n, bool up);
  // Invalidates screen rows top..bottom, all columns (later repaint).
  void InvalidateScreenRows(int32_t top, int32_t bottom);
  // Blanks cells [left, right) of a line.
  static void BlankCells(TerminalLine* line, int32_t left, int32_t right);
  // Scrolls the window rows showing screen rows top..bottom by dy rows.
  void ScrollScreenRows(int32_t top, int32_t bottom, int32_t dy);
  void UpdateScrollBar(unsigned parts) { observer_.SetScrollBar(view_.scrollBar, parts); }
  // Keeps the cursor inside the grid before a cell is written.
  void ClampCursor() {
    if (static_cast<uint32_t>(state_.cursorCol) >= static_cast<uint32_t>(columns_) ||
        static_cast<uint32_t>(state_.cursorRow) >= static_cast<uint32_t>(rows_)) {
      ClampCursorSlow();
    }
  }
  void ClampCursorSlow();
  [[gnu::noinline]] void WrapPending();
  // The selection's line indices after the oldest line has left the store.
  void AdjustSelectionForDroppedLine();
  // LineFeed past the last row with the region starting at row 0.
  void FullScreenScroll();

  // The ring of screen rows is made anew on its next use.
  void ForgetRows() { ringValid_ = false; }
  void RebuildRowIndex() const;
  TerminalLine* ScreenLineSlow(int32_t r) const;
  // Puts `line` at screen row r of a valid ring (both of its entries).
  void SetRingRow(int32_t r, TerminalLine* line) {
    const int32_t j = ringBase_ + r;
    ring_[static_cast<size_t>(j)] = line;
    ring_[static_cast<size_t>(j >= rows_ ? j - rows_ : j + rows_)] = line;
  }
  void RotateRows(int32_t top, int32_t bottom, bool up);

  int32_t columns_ = 80;
  int32_t rows_ = 24;
  uint32_t backlogMax_ = 2147483647u;
  LineStore store_;
  ViewState view_;
  Selection selection_;
  ScreenState state_;

  ScreenObserver& observer_;
  // Screen row r is ring_[ringBase_ + r], 0 <= ringBase_ < rows_. The ring holds its rows_
  // lines twice over (entry i + rows_ equals entry i), so a row is found without wrapping
  // around, and a full-screen scroll only moves the base and sets the new bottom row. Valid
  // while ringValid_ and the base row's line is screenTop.
  mutable std::vector<TerminalLine*> ring_;
  mutable int32_t ringBase_ = 0;
  mutable bool ringValid_ = false;
};

}  // namespace velmora

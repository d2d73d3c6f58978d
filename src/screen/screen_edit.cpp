// Cursor movement, the scroll region, line and character insertion and deletion, erasing, and
// the current attribute: the screen operations of the escape-sequence interpreters.
#include <algorithm>
#include <cstring>

#include "screen/screen_model.h"

namespace velmora {

void ScreenModel::BlankCells(TerminalLine* line, int32_t left, int32_t right) {
  left = std::max(left, 0);
  right = std::min(right, line->width);
  if (left >= right) return;
  std::memset(line->text.get() + left, ' ', static_cast<size_t>(right - left));
  std::memset(line->attrs.get() + left, 0, static_cast<size_t>(right - left));
}

void ScreenModel::InvalidateScreenRows(int32_t top, int32_t bottom) {
  if (top > bottom) return;
  const int32_t wt = WindowRow(top);
  if (wt < 0 || wt >= rows) return;
  const int32_t wb = std::min(WindowRow(bottom), rows - 1);
  observer_.InvalidateCells(CellRect{0, wt, columns, wb + 1});
}

// Every cursor move cancels a pending wrap: the next character goes where the cursor now is.
void ScreenModel::CursorUp() {
  state.pendingWrap = false;
  state.cursorRow = std::clamp(state.cursorRow - 1, 0, rows - 1);
  observer_.UpdateCaret();
}

void ScreenModel::CursorRight() {
  state.pendingWrap = false;
  state.cursorCol = std::clamp(state.cursorCol + 1, 0, columns - 1);
  observer_.UpdateCaret();
}

void ScreenModel::MoveCursor(int32_t column, int32_t row) {
  state.pendingWrap = false;
  state.cursorCol = std::clamp(column, 0, columns - 1);
  state.cursorRow = std::clamp(row, 0, rows - 1);
  observer_.UpdateCaret();
}

void ScreenModel::SaveCursor() {
  state.savedCol = state.cursorCol;
  state.savedRow = state.cursorRow;
}

void ScreenModel::RestoreCursor() { MoveCursor(state.savedCol, state.savedRow); }

bool ScreenModel::SetScrollRegion(int32_t top, int32_t bottom) {
  bottom = std::min(bottom, rows - 1);
  if (top < 0 || top > bottom) return false;
  state.regionTop = top;
  state.regionBottom = bottom;
  return true;
}

// Inserting and deleting lines scroll the rows from the cursor to the bottom of the screen,
// whatever the scroll region, which is restored afterwards. Beyond the rows from the cursor
// down, a larger count changes nothing more on the screen.
void ScreenModel::ScrollRestOfScreen(int32_t n, bool up) {
  ClampCursor();
  const int32_t top = state.regionTop, bottom = state.regionBottom;
  state.regionTop = state.cursorRow;
  state.regionBottom = rows - 1;
  n = std::min(n, rows - state.cursorRow);
  for (int32_t i = 0; i < n; ++i) {
    if (up) ScrollRegionUp(); else ScrollRegionDown();
  }
  state.regionTop = top;
  state.regionBottom = bottom;
}

void ScreenModel::InsertLines(int32_t n) { ScrollRestOfScreen(n, false); }

void ScreenModel::DeleteLines(int32_t n) { ScrollRestOfScreen(n, true); }

void ScreenModel::DeleteChars(int32_t n) {
  ClampCursor();
  const int32_t col = state.cursorCol;
  n = std::clamp(n, 0, columns - col);
  TerminalLine* line = ScreenLine(state.cursorRow);
  const auto moved = static_cast<size_t>(columns - col - n);
  std::memmove(line->text.get() + col, line->text.get() + col + n, moved);
  std::memmove(line->attrs.get() + col, line->attrs.get() + col + n, moved);
  BlankCells(line, columns - n, columns);
  const int32_t w = WindowRow(state.cursorRow);
  if (w >= 0 && w < rows) observer_.ScrollCells(CellRect{col, w, columns, w + 1}, -n, 0);
}

void ScreenModel::ClearScreen() {
  for (TerminalLine* line = store.screenTop; line != nullptr; line = line->next) line->Blank();
  observer_.InvalidateAll();
  state.cursorRow = 0;
  state.cursorCol = 0;
  state.pendingWrap = false;
  observer_.UpdateCaret();
}

void ScreenModel::EraseAbove() {
  ClampCursor();
  TerminalLine* line = store.screenTop;
  for (int32_t r = 0; r < state.cursorRow; ++r, line = line->next) line->Blank();
  InvalidateScreenRows(0, state.cursorRow - 1);
  if (state.cursorCol > 0) {
    BlankCells(line, 0, state.cursorCol);
    InvalidateRowCells(state.cursorRow, 0, state.cursorCol, false);
  }
}

void ScreenModel::EraseBelow() {
  ClampCursor();
  TerminalLine* line = ScreenLine(state.cursorRow);
  BlankCells(line, state.cursorCol, columns);
  InvalidateRowCells(state.cursorRow, state.cursorCol, columns, false);
  for (line = line->next; line != nullptr; line = line->next) line->Blank();
  InvalidateScreenRows(state.cursorRow + 1, rows - 1);
  observer_.UpdateCaret();
}

void ScreenModel::EraseLineLeft() {
  ClampCursor();
  if (state.cursorCol == 0) return;
  BlankCells(ScreenLine(state.cursorRow), 0, state.cursorCol);
  InvalidateRowCells(state.cursorRow, 0, state.cursorCol, false);
}

void ScreenModel::EraseLineRight() {
  ClampCursor();
  TerminalLine* line = ScreenLine(state.cursorRow);
  int32_t left = state.cursorCol;
  // Cutting a double-byte character in half blanks its lead half too.
  if (IsInsideDoubleByte(line->text.get(), left)) --left;
  BlankCells(line, left, columns);
  InvalidateRowCells(state.cursorRow, left, columns, false);
  observer_.UpdateCaret();
}

}  // namespace velmora

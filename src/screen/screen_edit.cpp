// Cursor movement, the scroll region, line and character insertion and deletion, erasing, and
// the current attribute: the screen operations of the escape-sequence interpreters.
#include <algorithm>
#include <cstring>

#include "encoding/cp932.h"
#include "screen/screen_model.h"

namespace velmora {

void ScreenModel::BlankCells(TerminalLine* line, int32_t left, int32_t right) {
  left = std::max(left, 0);
  right = std::min(right, line->width);
  if (left >= right) return;
  std::memset(line->text() + left, ' ', static_cast<size_t>(right - left));
  std::memset(line->attrs() + left, 0, static_cast<size_t>(right - left));
}

void ScreenModel::InvalidateScreenRows(int32_t top, int32_t bottom) {
  if (top > bottom) return;
  const int32_t wt = WindowRow(top);
  if (wt < 0 || wt >= rows_) return;
  const int32_t wb = std::min(WindowRow(bottom), rows_ - 1);
  observer_.InvalidateCells(CellRect{0, wt, columns_, wb + 1});
}

// Every cursor move cancels a pending wrap: the next character goes where the cursor now is.
void ScreenModel::CursorUp() {
  state_.pendingWrap = false;
  state_.cursorRow = std::clamp(state_.cursorRow - 1, 0, rows_ - 1);
  observer_.UpdateCaret();
}

void ScreenModel::CursorRight() {
  state_.pendingWrap = false;
  state_.cursorCol = std::clamp(state_.cursorCol + 1, 0, columns_ - 1);
  observer_.UpdateCaret();
}

void ScreenModel::MoveCursor(int32_t column, int32_t row) {
  state_.pendingWrap = false;
  state_.cursorCol = std::clamp(column, 0, columns_ - 1);
  state_.cursorRow = std::clamp(row, 0, rows_ - 1);
  observer_.UpdateCaret();
}

void ScreenModel::SaveCursor() {
  state_.savedCol = state_.cursorCol;
  state_.savedRow = state_.cursorRow;
}

void ScreenModel::RestoreCursor() { MoveCursor(state_.savedCol, state_.savedRow); }

bool ScreenModel::SetScrollRegion(int32_t top, int32_t bottom) {
  bottom = std::min(bottom, rows_ - 1);
  if (top < 0 || top > bottom) return false;
  state_.regionTop = top;
  state_.regionBottom = bottom;
  return true;
}

// Inserting and deleting lines scroll the rows from the cursor to the bottom of the screen,
// whatever the scroll region, which is restored afterwards. Beyond the rows from the cursor
// down, a larger count changes nothing more on the screen.
void ScreenModel::ScrollRestOfScreen(int32_t n, bool up) {
  ClampCursor();
  const int32_t top = state_.regionTop, bottom = state_.regionBottom;
  state_.regionTop = state_.cursorRow;
  state_.regionBottom = rows_ - 1;
  n = std::min(n, rows_ - state_.cursorRow);
  for (int32_t i = 0; i < n; ++i) {
    if (up) ScrollRegionUp(); else ScrollRegionDown();
  }
  state_.regionTop = top;
  state_.regionBottom = bottom;
}

void ScreenModel::InsertLines(int32_t n) { ScrollRestOfScreen(n, false); }

void ScreenModel::DeleteLines(int32_t n) { ScrollRestOfScreen(n, true); }

void ScreenModel::DeleteChars(int32_t n) {
  ClampCursor();
  const int32_t col = state_.cursorCol;
  n = std::clamp(n, 0, columns_ - col);
  TerminalLine* line = ScreenLine(state_.cursorRow);
  const auto moved = static_cast<size_t>(columns_ - col - n);
  std::memmove(line->text() + col, line->text() + col + n, moved);
  std::memmove(line->attrs() + col, line->attrs() + col + n, moved);
  BlankCells(line, columns_ - n, columns_);
  const int32_t w = WindowRow(state_.cursorRow);
  if (w >= 0 && w < rows_) observer_.ScrollCells(CellRect{col, w, columns_, w + 1}, -n, 0);
}

void ScreenModel::ClearScreen() {
  for (TerminalLine* line = store_.screenTop; line != nullptr; line = line->next) line->Blank();
  observer_.InvalidateAll();
  state_.cursorRow = 0;
  state_.cursorCol = 0;
  state_.pendingWrap = false;
  observer_.UpdateCaret();
}

void ScreenModel::EraseAbove() {
  ClampCursor();
  TerminalLine* line = store_.screenTop;
  for (int32_t r = 0; r < state_.cursorRow; ++r, line = line->next) line->Blank();
  InvalidateScreenRows(0, state_.cursorRow - 1);
  if (state_.cursorCol > 0) {
    BlankCells(line, 0, state_.cursorCol);
    InvalidateRowCells(state_.cursorRow, 0, state_.cursorCol, false);
  }
}

void ScreenModel::EraseBelow() {
  ClampCursor();
  TerminalLine* line = ScreenLine(state_.cursorRow);
  BlankCells(line, state_.cursorCol, columns_);
  InvalidateRowCells(state_.cursorRow, state_.cursorCol, columns_, false);
  for (line = line->next; line != nullptr; line = line->next) line->Blank();
  InvalidateScreenRows(state_.cursorRow + 1, rows_ - 1);
  observer_.UpdateCaret();
}

void ScreenModel::EraseLineLeft() {
  ClampCursor();
  if (state_.cursorCol == 0) return;
  BlankCells(ScreenLine(state_.cursorRow), 0, state_.cursorCol);
  InvalidateRowCells(state_.cursorRow, 0, state_.cursorCol, false);
}

void ScreenModel::EraseLineRight() {
  ClampCursor();
  TerminalLine* line = ScreenLine(state_.cursorRow);
  int32_t left = state_.cursorCol;
  // Cutting a double-byte character in half blanks its lead half too. Only a lead byte just
  // before the cursor can make it a trail half, so the walk back is taken only after one.
  if (left > 0 && IsSjisLeadByte(line->text()[left - 1]) && IsInsideDoubleByte(line->text(), left)) --left;
  BlankCells(line, left, columns_);
  InvalidateRowCells(state_.cursorRow, left, columns_, false);
  observer_.UpdateCaret();
}

}  // namespace velmora

// Writing characters at the cursor and the cursor-moving control characters.
#include "encoding/cp932.h"
#include "screen/screen_model.h"

namespace velmora {

// The answer is that of a scan from column 0 stepping 2 over lead bytes and 1 over other
// bytes, found from the end instead: a byte that cannot be a lead byte always ends a character,
// so the character boundaries are known from the last such byte before the column, and from
// there on every byte is a lead byte and the scan steps by 2.
bool IsInsideDoubleByte(const uint8_t* text, int32_t column) {
  int32_t start = column;
  while (start > 0 && IsSjisLeadByte(text[start - 1])) --start;
  return (column - start) % 2 == 1;
}

// A character written after the last column went to the start of the next line.
void ScreenModel::WrapPending() {
  CarriageReturn();
  LineFeed();
  state_.pendingWrap = false;
}

void ScreenModel::PutChar(uint8_t b) {
  if (!view_.thumbTracking) RequestLiveScreen();
  ClampCursor();
  auto& s = state_;
  if (s.pendingWrap && s.cursorCol == columns_ - 1) [[unlikely]] WrapPending();
  TerminalLine* line = ScreenLine(s.cursorRow);
  const int32_t col = s.cursorCol;
  int32_t left = col;
  // Overwriting the trail half of a double-byte character leaves no half character behind:
  // its lead half becomes a space.
  if (IsInsideDoubleByte(line->text(), col)) {
    line->text()[col - 1] = ' ';
    line->attrs()[col - 1] = 0;
    left = col - 1;
  }
  line->text()[col] = b;
  line->attrs()[col] = s.currentAttr;
  InvalidateRowCells(s.cursorRow, left, col + 2, true);
  if (col == columns_ - 1) {
    s.pendingWrap = true;
  } else {
    s.pendingWrap = false;
    s.cursorCol = col + 1;
  }
  observer_.UpdateCaret();
}

// The bytes are written as PutChar writes them, one after another, with the same requests of
// the window in the same order. Only the first character of a stretch on one row needs PutChar's
// checks (the cursor clamped into the grid, a pending wrap taken, a trail half mended): after it
// the cursor is inside the grid with no wrap pending, the row's line stays the same, and the cell
// before each character was just written with an ASCII byte. The window's requests other than
// the live screen's do not change the model, and the live screen's moves only the view, so the
// row, its line and the current attribute are kept in locals while the window row is worked out
// again after each request.
size_t ScreenModel::PutAsciiRun(const uint8_t* bytes, size_t count) {
  auto printable = [](uint8_t b) { return static_cast<uint8_t>(b - 0x20) < 0x5F; };
  ScreenObserver& observer = observer_;
  size_t i = 0;
  while (i < count && printable(bytes[i])) {
    if (!view_.thumbTracking) observer.ShowLiveScreen();
    ClampCursor();
    auto& s = state_;
    if (s.pendingWrap && s.cursorCol == columns_ - 1) [[unlikely]] WrapPending();
    const int32_t row = s.cursorRow;
    TerminalLine* line = ScreenLine(row);
    uint8_t* text = line->text();
    uint8_t* attrs = line->attrs();
    const uint8_t attr = s.currentAttr;
    const int32_t lastColumn = columns_ - 1;
    // The window row of the screen row is rowBase - viewIndex, shown when inside [0, rows).
    const int64_t rowBase = static_cast<int64_t>(store_.lineCount) - rows_ + row;
    const auto windowRows = static_cast<uint64_t>(rows_);
    int32_t col = s.cursorCol;
    int32_t left = col;
    if (IsInsideDoubleByte(text, col)) {
      text[col - 1] = ' ';
      attrs[col - 1] = 0;
      left = col - 1;
    }
    CellRect area;  // filled field by field: the window row rarely changes within a stretch
    area.top = -1;
    for (;;) {
      text[col] = bytes[i++];
      attrs[col] = attr;
      const int64_t w = rowBase - view_.viewIndex;
      if (static_cast<uint64_t>(w) < windowRows) {
        const auto wr = static_cast<int32_t>(w);
        if (area.top != wr) [[unlikely]] {
          area.top = wr;
          area.bottom = wr + 1;
        }
        area.left = left;
        area.right = col + 2;
        observer.InvalidateCells(area);
        observer.RepaintNow();
      }
      if (col == lastColumn) {
        s.pendingWrap = true;
        observer.UpdateCaret();
        break;
      }
      s.pendingWrap = false;
      s.cursorCol = ++col;
      observer.UpdateCaret();
      if (i == count || !printable(bytes[i])) return i;
      if (!view_.thumbTracking) observer.ShowLiveScreen();
      left = col;
    }
  }
  return i;
}

void ScreenModel::PutDoubleChar(uint8_t lead, uint8_t trail) {
  // A row of one cell has no room for the two halves: the character shows as '?', like one
  // without a code page 932 form.
  if (columns_ < 2) [[unlikely]] {
    PutChar('?');
    return;
  }
  if (!view_.thumbTracking) RequestLiveScreen();
  ClampCursor();
  auto& s = state_;
  // A double-byte character is never split across rows.
  if (s.cursorCol == columns_ - 1) {
    CarriageReturn();
    LineFeed();
    s.pendingWrap = false;
  }
  TerminalLine* line = ScreenLine(s.cursorRow);
  const int32_t col = s.cursorCol;
  line->text()[col] = lead;
  line->text()[col + 1] = trail;
  line->attrs()[col] = s.currentAttr;
  line->attrs()[col + 1] = s.currentAttr;
  InvalidateRowCells(s.cursorRow, col, col + 3, true);
  if (col == columns_ - 2) {
    s.pendingWrap = true;
    s.cursorCol = columns_ - 1;
  } else {
    s.pendingWrap = false;
    s.cursorCol = col + 2;
  }
  observer_.UpdateCaret();
}

// Each character is written as PutDoubleChar writes it, with the same calls on the observer.
// Only the first of a stretch on one row needs the cursor clamped and, on the last column, the
// move to the next row; the ones after it are inside the grid, short of the last column and on
// the same line, so the line is found once per stretch. The character that fills the last two
// cells leaves the wrap pending and ends the stretch.
void ScreenModel::PutDoubleCharRun(const uint8_t* pairs, size_t count) {
  if (columns_ < 2) [[unlikely]] {
    for (size_t i = 0; i < count; ++i) PutChar('?');
    return;
  }
  auto& s = state_;
  const int32_t lastColumn = columns_ - 1;
  size_t i = 0;
  while (i < count) {
    if (!view_.thumbTracking) RequestLiveScreen();
    ClampCursor();
    if (s.cursorCol == lastColumn) {
      CarriageReturn();
      LineFeed();
      s.pendingWrap = false;
    }
    TerminalLine* line = ScreenLine(s.cursorRow);
    uint8_t* text = line->text();
    uint8_t* attrs = line->attrs();
    for (;;) {
      const int32_t col = s.cursorCol;
      text[col] = pairs[2 * i];
      text[col + 1] = pairs[2 * i + 1];
      attrs[col] = s.currentAttr;
      attrs[col + 1] = s.currentAttr;
      ++i;
      InvalidateRowCells(s.cursorRow, col, col + 3, true);
      if (col == lastColumn - 1) {
        s.pendingWrap = true;
        s.cursorCol = lastColumn;
      } else {
        s.pendingWrap = false;
        s.cursorCol = col + 2;
      }
      observer_.UpdateCaret();
      if (i == count || s.cursorCol == lastColumn) break;
      if (!view_.thumbTracking) RequestLiveScreen();
    }
  }
}

void ScreenModel::ApplyVoicedMark(bool semiVoiced) {
  if (!view_.thumbTracking) RequestLiveScreen();
  ClampCursor();
  auto& s = state_;
  if (s.cursorCol < 2) return;
  // The character just written ends at the cursor, or on the cursor's cell when it filled the
  // last two cells of the row.
  const int32_t p = s.pendingWrap ? s.cursorCol - 1 : s.cursorCol - 2;
  TerminalLine* line = ScreenLine(s.cursorRow);
  if (line->text()[p] == 0x83 && line->text()[p + 1] == 0x45) {
    line->text()[p + 1] = 0x94;  // katakana U becomes VU, which does not follow it in Shift-JIS
  } else {
    // Voiced and semi-voiced kana follow the plain kana at +1 and +2.
    line->text()[p + 1] = static_cast<uint8_t>(line->text()[p + 1] + (semiVoiced ? 2 : 1));
  }
  InvalidateRowCells(s.cursorRow, p, p + 2, true);
}

void ScreenModel::CarriageReturn() {
  state_.cursorCol = 0;
  state_.pendingWrap = false;
  observer_.UpdateCaret();
}

void ScreenModel::Backspace() {
  ClampCursor();
  auto& s = state_;
  // From a pending wrap too the cursor moves one column left, as terminfo's vt100 entry expects.
  s.pendingWrap = false;
  if (s.cursorCol > 0) {
    --s.cursorCol;
  } else if (s.cursorRow > 0) {
    --s.cursorRow;
    s.cursorCol = columns_ - 1;
  }
  observer_.UpdateCaret();
}

void ScreenModel::HorizontalTab() {
  ClampCursor();
  auto& s = state_;
  s.cursorCol = s.cursorCol - (s.cursorCol % 8) + 8;
  if (s.cursorCol > columns_ - 1) s.cursorCol = columns_ - 1;
  observer_.UpdateCaret();
}

}  // namespace velmora

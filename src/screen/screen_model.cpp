// Creating, rebuilding and clearing the line list, and the view onto it.
#include <algorithm>
#include <cstring>

#include "screen/screen_model.h"

#include <span>

#include "encoding/text_transfer.h"

namespace velmora {

// `rows_` blank screen lines of `columns_` cells, linked to each other and back to `before`
// (which is not linked forward to them yet); null, with nothing kept, when one cannot be made.
TerminalLine* ScreenModel::MakeScreenLines(TerminalLine* before, TerminalLine*& last) {
  TerminalLine* first = nullptr;
  last = nullptr;
  for (int32_t r = 0; r < rows_; ++r) {
    TerminalLine* line = store_.AllocLine(last != nullptr ? last : before, nullptr, columns_, LineStore::Budget::kExempt);
    if (line == nullptr) {
      while (first != nullptr) {
        TerminalLine* next = first->next;
        store_.FreeLine(first);
        first = next;
      }
      last = nullptr;
      return nullptr;
    }
    if (last != nullptr) last->next = line; else first = line;
    last = line;
  }
  return first;
}

void ScreenModel::SetGridSize(int32_t columns, int32_t rows, uint32_t backlogMax) {
  columns_ = columns;
  rows_ = rows;
  backlogMax_ = backlogMax;
}

bool ScreenModel::Resize(int32_t columns, int32_t rows) {
  const int32_t previousColumns = columns_;
  const int32_t previousRows = rows_;
  columns_ = columns;
  rows_ = rows;
  if (!ResizeScreen(previousColumns)) {
    columns_ = previousColumns;
    rows_ = previousRows;
    return false;
  }
  view_.scrollBar.maximum = static_cast<int32_t>(store_.lineCount) - 1;
  view_.scrollBar.page = rows_;
  SetScrollRegion(0, rows_ - 1);
  state_.cursorCol = std::min(state_.cursorCol, columns_ - 1);
  state_.cursorRow = std::min(state_.cursorRow, rows_ - 1);
  return true;
}

const TerminalLine* ScreenModel::LineAt(int64_t index) const {
  const TerminalLine* line = view_.viewTop;
  int64_t at = view_.viewIndex;
  for (; line != nullptr && at < index; ++at) line = line->next;
  for (; line != nullptr && at > index; --at) line = line->prev;
  return line;
}

std::string ScreenModel::SelectedText() const {
  if (selection_.IsEmpty()) return {};
  const Selection& sel = selection_;
  const NormalizedSelection n = NormalizeSelection(sel.anchorCol, sel.anchorLine, sel.activeCol, sel.activeLine);
  const TerminalLine* line = store_.firstLine;
  for (int32_t i = 0; i < n.startRow && line->next != nullptr; ++i) line = line->next;
  auto part = [](const TerminalLine* l, int32_t from, int32_t to) {
    from = std::clamp(from, 0, l->width);
    to = std::clamp(to, from, l->width);
    return CopyTrimmed(std::span<const uint8_t>(l->text() + from, static_cast<size_t>(to - from)), 1024);
  };
  std::string text;
  if (n.startRow == n.endRow) {
    text = part(line, n.startCol, n.endCol);
  } else {
    text = part(line, n.startCol, line->width);
    for (int32_t i = n.startRow + 1; i <= n.endRow && line->next != nullptr; ++i) {
      line = line->next;
      text += "\r\n";
      text += part(line, 0, i == n.endRow ? n.endCol : line->width);
    }
  }
  return text;
}

bool ScreenModel::CreateLineStore() {
  TerminalLine* last = nullptr;
  TerminalLine* first = MakeScreenLines(nullptr, last);
  if (first == nullptr) return false;
  store_.firstLine = store_.screenTop = view_.viewTop = first;
  store_.lastLine = last;
  ForgetRows();
  view_.viewIndex = 0;
  view_.scrollBar = ScrollBarInfo{0, rows_ - 1, rows_, 0};
  UpdateScrollBar(kScrollRange | kScrollPage | kScrollPosition);
  return true;
}

bool ScreenModel::ResizeScreen(int32_t previousColumns) {
  const int32_t copy = std::min(columns_, previousColumns);
  TerminalLine* oldTop = store_.screenTop;
  TerminalLine* before = oldTop->prev;
  TerminalLine* last = nullptr;
  TerminalLine* first = MakeScreenLines(before, last);
  if (first == nullptr) return false;
  TerminalLine* old = oldTop;
  for (TerminalLine* line = first; line != nullptr && old != nullptr; line = line->next, old = old->next) {
    const auto n = static_cast<size_t>(std::max(0, std::min(copy, old->width)));
    std::memcpy(line->text(), old->text(), n);
    std::memcpy(line->attrs(), old->attrs(), n);
  }
  if (before != nullptr) before->next = first;
  if (store_.firstLine == oldTop) store_.firstLine = first;
  if (view_.viewTop == oldTop) view_.viewTop = first;
  for (old = oldTop; old != nullptr;) {
    TerminalLine* next = old->next;
    store_.FreeLine(old);
    old = next;
  }
  store_.screenTop = first;
  store_.lastLine = last;
  ForgetRows();
  return true;
}

void ScreenModel::ClearBacklog() {
  for (TerminalLine* line = store_.firstLine; line != store_.screenTop;) {
    TerminalLine* next = line->next;
    store_.FreeLine(line);
    line = next;
  }
  store_.screenTop->prev = nullptr;
  store_.firstLine = view_.viewTop = store_.screenTop;
  view_.viewIndex = 0;
  selection_ = Selection{};
  observer_.InvalidateAll();
  auto& bar = view_.scrollBar;
  bar.maximum = rows_ - 1;
  bar.position = rows_ - std::max(bar.page - 1, 0) - 1;
  UpdateScrollBar(kScrollRange | kScrollPosition);
  observer_.UpdateCaret();
}

std::pair<uint16_t, uint16_t> ScreenModel::GridSize() const {
  return {static_cast<uint16_t>(rows_), static_cast<uint16_t>(columns_)};
}

void ScreenModel::ResetForConnection() {
  state_.regionTop = 0;
  state_.regionBottom = rows_ - 1;
  state_.savedCol = 0;
  state_.savedRow = 0;
  state_.currentAttr = 0;
}

int32_t ScreenModel::ViewBottom() const {
  return view_.scrollBar.maximum - std::max(view_.scrollBar.page - 1, 0);
}

void ScreenModel::ScrollView(int32_t d) {
  auto& bar = view_.scrollBar;
  d = std::min(d, ViewBottom() - bar.position);
  d = std::max(d, -bar.position);
  if (d == 0) return;
  for (int32_t i = 0; i < d && view_.viewTop->next != nullptr; ++i) view_.viewTop = view_.viewTop->next;
  for (int32_t i = 0; i > d && view_.viewTop->prev != nullptr; --i) view_.viewTop = view_.viewTop->prev;
  view_.viewIndex += d;
  observer_.ScrollCells(CellRect{0, 0, columns_, rows_}, 0, -d);
  bar.position += d;
  UpdateScrollBar(kScrollPosition);
  observer_.UpdateCaret();
  observer_.RepaintNow();
}

void ScreenModel::RebuildRowIndex() const {
  ringValid_ = false;
  ringBase_ = 0;
  ring_.assign(2 * static_cast<size_t>(std::max(rows_, 0)), nullptr);
  int32_t r = 0;
  for (TerminalLine* line = store_.screenTop; line != nullptr && r < rows_; line = line->next, ++r) {
    ring_[static_cast<size_t>(r)] = ring_[static_cast<size_t>(r + rows_)] = line;
  }
  ringValid_ = r == rows_ && r > 0;
}

TerminalLine* ScreenModel::ScreenLineSlow(int32_t r) const {
  if (!ringValid_ || ring_[ringBase_] != store_.screenTop) RebuildRowIndex();
  if (ringValid_) return ring_[static_cast<size_t>(ringBase_ + std::clamp(r, 0, rows_ - 1))];
  // Fewer lines than rows: the nearest one there is.
  TerminalLine* line = store_.screenTop;
  for (int32_t i = 0; i < r && line != nullptr && line->next != nullptr; ++i) line = line->next;
  return line;
}

int32_t ScreenModel::WindowRow(int32_t r) const {
  const int64_t w = static_cast<int64_t>(store_.lineCount) - rows_ - view_.viewIndex + r;
  return static_cast<int32_t>(std::clamp<int64_t>(w, INT32_MIN, INT32_MAX));
}


void ScreenModel::ScrollScreenRows(int32_t top, int32_t bottom, int32_t dy) {
  const int32_t wt = WindowRow(top);
  if (wt < 0 || wt >= rows_) return;
  const int32_t wb = std::min(WindowRow(bottom), rows_ - 1);
  observer_.ScrollCells(CellRect{0, wt, columns_, wb + 1}, 0, dy);
}

void ScreenModel::ClampCursorSlow() {
  state_.cursorCol = std::clamp(state_.cursorCol, 0, columns_ - 1);
  state_.cursorRow = std::clamp(state_.cursorRow, 0, rows_ - 1);
}

}  // namespace velmora

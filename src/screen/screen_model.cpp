// Creating, rebuilding and clearing the line list, and the view onto it.
#include <algorithm>
#include <cstring>

#include "screen/screen_model.h"

namespace velmora {

bool ScreenModel::CreateLineStore() {
  TerminalLine* first = nullptr;
  TerminalLine* last = nullptr;
  for (int32_t r = 0; r < rows; ++r) {
    TerminalLine* line = store.AllocLine(last, nullptr, columns, LineStore::Budget::kExempt);
    if (line == nullptr) {
      while (first != nullptr) {
        TerminalLine* next = first->next;
        store.FreeLine(first);
        first = next;
      }
      return false;
    }
    if (last != nullptr) last->next = line; else first = line;
    last = line;
  }
  store.firstLine = store.screenTop = view.viewTop = first;
  store.lastLine = last;
  ForgetRows();
  view.viewIndex = 0;
  view.scrollBar = ScrollBarInfo{0, rows - 1, rows, 0};
  UpdateScrollBar(kScrollRange | kScrollPage | kScrollPosition);
  return true;
}

bool ScreenModel::ResizeScreen(int32_t previousColumns) {
  const int32_t copy = std::min(columns, previousColumns);
  TerminalLine* oldTop = store.screenTop;
  TerminalLine* before = oldTop->prev;
  TerminalLine* first = nullptr;
  TerminalLine* last = nullptr;
  TerminalLine* old = oldTop;
  for (int32_t r = 0; r < rows; ++r) {
    TerminalLine* line = store.AllocLine(last != nullptr ? last : before, nullptr, columns, LineStore::Budget::kExempt);
    if (line == nullptr) {
      while (first != nullptr) {
        TerminalLine* next = first->next;
        store.FreeLine(first);
        first = next;
      }
      return false;
    }
    if (last != nullptr) last->next = line; else first = line;
    last = line;
    if (old != nullptr) {
      const auto n = static_cast<size_t>(std::max(0, std::min(copy, old->width)));
      std::memcpy(line->text.get(), old->text.get(), n);
      std::memcpy(line->attrs.get(), old->attrs.get(), n);
      old = old->next;
    }
  }
  if (before != nullptr) before->next = first;
  if (store.firstLine == oldTop) store.firstLine = first;
  if (view.viewTop == oldTop) view.viewTop = first;
  for (old = oldTop; old != nullptr;) {
    TerminalLine* next = old->next;
    store.FreeLine(old);
    old = next;
  }
  store.screenTop = first;
  store.lastLine = last;
  ForgetRows();
  return true;
}

void ScreenModel::ClearBacklog() {
  for (TerminalLine* line = store.firstLine; line != store.screenTop;) {
    TerminalLine* next = line->next;
    store.FreeLine(line);
    line = next;
  }
  store.screenTop->prev = nullptr;
  store.firstLine = view.viewTop = store.screenTop;
  view.viewIndex = 0;
  selection = Selection{};
  observer_.InvalidateAll();
  auto& bar = view.scrollBar;
  bar.maximum = rows - 1;
  bar.position = rows - std::max(bar.page - 1, 0) - 1;
  UpdateScrollBar(kScrollRange | kScrollPosition);
  observer_.UpdateCaret();
}

std::pair<uint16_t, uint16_t> ScreenModel::GridSize() const {
  return {static_cast<uint16_t>(rows), static_cast<uint16_t>(columns)};
}

void ScreenModel::ResetForConnection() {
  state.regionTop = 0;
  state.regionBottom = rows - 1;
  state.savedCol = 0;
  state.savedRow = 0;
  state.currentAttr = 0;
}

int32_t ScreenModel::ViewBottom() const {
  return view.scrollBar.maximum - std::max(view.scrollBar.page - 1, 0);
}

void ScreenModel::ScrollView(int32_t d) {
  auto& bar = view.scrollBar;
  d = std::min(d, ViewBottom() - bar.position);
  d = std::max(d, -bar.position);
  if (d == 0) return;
  for (int32_t i = 0; i < d && view.viewTop->next != nullptr; ++i) view.viewTop = view.viewTop->next;
  for (int32_t i = 0; i > d && view.viewTop->prev != nullptr; --i) view.viewTop = view.viewTop->prev;
  view.viewIndex += d;
  observer_.ScrollCells(CellRect{0, 0, columns, rows}, 0, -d);
  bar.position += d;
  UpdateScrollBar(kScrollPosition);
  observer_.UpdateCaret();
  observer_.RepaintNow();
}

void ScreenModel::RebuildRowIndex() const {
  rowIndex_.clear();
  for (TerminalLine* line = store.screenTop; line != nullptr && static_cast<int32_t>(rowIndex_.size()) < rows;
       line = line->next) {
    rowIndex_.push_back(line);
  }
  rowIndexValid_ = true;
}

TerminalLine* ScreenModel::ScreenLineSlow(int32_t r) const {
  if (!rowIndexValid_ || rowIndex_.empty() || rowIndex_.front() != store.screenTop ||
      static_cast<int32_t>(rowIndex_.size()) != rows) {
    RebuildRowIndex();
    if (rowIndex_.empty()) return store.screenTop;
  }
  return rowIndex_[static_cast<size_t>(std::clamp<int32_t>(r, 0, static_cast<int32_t>(rowIndex_.size()) - 1))];
}

int32_t ScreenModel::WindowRow(int32_t r) const {
  const int64_t w = static_cast<int64_t>(store.lineCount) - rows - view.viewIndex + r;
  return static_cast<int32_t>(std::clamp<int64_t>(w, INT32_MIN, INT32_MAX));
}


void ScreenModel::ScrollScreenRows(int32_t top, int32_t bottom, int32_t dy) {
  const int32_t wt = WindowRow(top);
  if (wt < 0 || wt >= rows) return;
  const int32_t wb = std::min(WindowRow(bottom), rows - 1);
  observer_.ScrollCells(CellRect{0, wt, columns, wb + 1}, 0, dy);
}

void ScreenModel::ClampCursorSlow() {
  state.cursorCol = std::clamp(state.cursorCol, 0, columns - 1);
  state.cursorRow = std::clamp(state.cursorRow, 0, rows - 1);
}

}  // namespace velmora

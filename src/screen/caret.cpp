#include "screen/caret.h"

#include "encoding/cp932.h"

namespace velmora {

namespace {

// Whether the cursor cell holds a code page 932 lead byte.
bool CursorOnLeadByte(const ScreenModel& model) {
  const int32_t row = model.state().cursorRow;
  const int32_t col = model.state().cursorCol;
  if (model.store().screenTop == nullptr || row < 0 || row >= model.rows()) return false;
  const TerminalLine* line = model.ScreenLine(row);
  if (line == nullptr || col < 0 || col >= line->width) return false;
  return IsSjisLeadByte(line->text()[col]);
}

}  // namespace

void CaretTracker::Hide(CaretPort& port) {
  if (!caretHidden) port.HideCaret();
  caretHidden = true;
}

void CaretTracker::UpdateCaret(const ScreenModel& model, CaretPort& port, int cellWidth, int cellHeight) {
  if (!port.HasFocus()) return;
  const int32_t w = model.WindowRow(model.state().cursorRow);
  // Below the window: the view shows backlog. Above it cannot happen with a consistent view,
  // but a caret at a negative row would be nonsense, so it is hidden as well.
  if (w > model.rows() - 1 || w < 0) {
    Hide(port);
    return;
  }
  const int32_t cells = CursorOnLeadByte(model) ? 2 : 1;
  if (cells != caretCells) {
    Hide(port);
    port.DestroyCaret();
    caretCells = cells;
    port.CreateSolidCaret(caretCells * cellWidth, cellHeight);
  }
  if (caretHidden) {
    port.ShowCaret();
    caretHidden = false;
  }
  port.MoveCaret(model.state().cursorCol * cellWidth, w * cellHeight);
}

void CaretTracker::OnSetFocus(const ScreenModel& model, CaretPort& port, int cellWidth, int cellHeight) {
  port.CreateSolidCaret(caretCells * cellWidth, cellHeight);
  UpdateCaret(model, port, cellWidth, cellHeight);
}

void CaretTracker::OnKillFocus(CaretPort& port) {
  Hide(port);
  port.DestroyCaret();
}

}  // namespace velmora

#pragma once
#include <cstdint>

#include "screen/caret_port.h"
#include "screen/screen_model.h"

namespace velmora {

// Keeps the window's caret on the cursor cell. The caret exists only while the window has the
// keyboard focus; hide and show calls are kept paired through caretHidden.
class CaretTracker {
 public:
  bool caretHidden = true;  // the window's caret is currently hidden
  int32_t caretCells = 1;   // width of the current caret in cells; 0 forces a new caret

  // Places, resizes, shows or hides the caret for the model's cursor and view. Does nothing
  // while the window lacks the focus. The caret is two cells wide on the lead half of a
  // double-byte character and hidden while the cursor row lies below the window.
  void UpdateCaret(const ScreenModel& model, CaretPort& port, int cellWidth, int cellHeight);

  // The window gained the focus: make a caret of the current width, then place it.
  void OnSetFocus(const ScreenModel& model, CaretPort& port, int cellWidth, int cellHeight);
  // The window lost the focus: hide the caret (if shown) and destroy it.
  void OnKillFocus(CaretPort& port);

  // After a font change: the next UpdateCaret creates the caret at the new cell size.
  void ForceRecreate() { caretCells = 0; }

 private:
  void Hide(CaretPort& port);
};

}  // namespace velmora

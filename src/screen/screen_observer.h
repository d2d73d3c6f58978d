#pragma once
#include <cstdint>

namespace velmora {

// A rectangle of cells in window coordinates: columns [left, right) of window rows
// [top, bottom). The window turns it into pixels with its cell size.
struct CellRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const CellRect&, const CellRect&) = default;
};

// The vertical scroll bar as the screen model keeps it: minimum 0, maximum lineCount - 1,
// page rows, position equal to the index of the view's top line.
struct ScrollBarInfo {
  int32_t minimum = 0;
  int32_t maximum = 0;
  int32_t page = 0;
  int32_t position = 0;
  friend bool operator==(const ScrollBarInfo&, const ScrollBarInfo&) = default;
};

// Which fields of ScrollBarInfo a SetScrollBar call applies.
enum ScrollBarParts : unsigned { kScrollRange = 1, kScrollPage = 2, kScrollPosition = 4 };

// What the screen model asks of the window that shows it. Every change of the model that the
// user could see is reported here, in the order it happens; the window draws from the model.
// All calls are made on the window's thread while a model operation is running. Only
// ShowLiveScreen may re-enter the model, and then only to move the view (ScrollView); the other
// requests leave the model as it is, which lets text be written with what it needs found once.
class ScreenObserver {
 public:
  virtual ~ScreenObserver() = default;

  // Bring the view back to the live screen (the WM_VSCROLL request with SB_BOTTOM). Synchronous:
  // the window normally answers by calling ScreenModel::ScrollView, re-entering the model, which
  // is in a consistent state whenever this is called.
  virtual void ShowLiveScreen() = 0;
  // The cells no longer match the model; their background is erased and they are drawn later.
  virtual void InvalidateCells(const CellRect& area) = 0;
  // The whole client area no longer matches the model.
  virtual void InvalidateAll() = 0;
  // Draw whatever is invalid before returning (called right after the invalidation of a text
  // write, so text appears character by character).
  virtual void RepaintNow() = 0;
  // Move the pixels of `area` by dx columns and dy rows (negative: left or up), clipped to the
  // area; what the move uncovers is invalidated and erased.
  virtual void ScrollCells(const CellRect& area, int32_t dx, int32_t dy) = 0;
  // Apply the given parts of the scroll bar record. A bar with nothing to scroll is shown
  // disabled rather than hidden.
  virtual void SetScrollBar(const ScrollBarInfo& bar, unsigned parts) = 0;
  // The cursor or the view moved: place, resize, show or hide the caret.
  virtual void UpdateCaret() = 0;
  // The host rang the bell.
  virtual void AlertSound() = 0;
};

// An observer that ignores everything: for tools and benchmarks that only need the model.
class NullScreenObserver : public ScreenObserver {
 public:
  void ShowLiveScreen() override {}
  void InvalidateCells(const CellRect&) override {}
  void InvalidateAll() override {}
  void RepaintNow() override {}
  void ScrollCells(const CellRect&, int32_t, int32_t) override {}
  void SetScrollBar(const ScrollBarInfo&, unsigned) override {}
  void UpdateCaret() override {}
  void AlertSound() override {}
};

}  // namespace velmora

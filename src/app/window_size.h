#pragma once

namespace velmora {

// The window system's frame sizes in pixels (SM_CXVSCROLL, SM_CXEDGE, SM_CXFRAME, SM_CYCAPTION,
// SM_CYMENU, SM_CYEDGE, SM_CYFRAME on Windows).
struct FrameMetrics {
  int cxVScroll = 0;
  int cxEdge = 0;
  int cxFrame = 0;
  int cyCaption = 0;
  int cyMenu = 0;
  int cyEdge = 0;
  int cyFrame = 0;
};

struct OuterSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const OuterSize&, const OuterSize&) = default;
};

// The outer size of the main window whose client area holds exactly `columns` x `rows` cells:
// the grid, the vertical scroll bar, the sunken client edge and the sizing frame on both sides,
// and the caption and menu bar above.
OuterSize WindowSizeForGrid(int columns, int rows, int cellWidth, int cellHeight, const FrameMetrics& frame);

}  // namespace velmora

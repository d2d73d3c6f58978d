#include "app/window_size.h"

namespace velmora {

OuterSize WindowSizeForGrid(int columns, int rows, int cellWidth, int cellHeight, const FrameMetrics& frame) {
  OuterSize size;
  size.width = columns * cellWidth + frame.cxVScroll + 2 * (frame.cxEdge + frame.cxFrame);
  size.height = rows * cellHeight + frame.cyCaption + frame.cyMenu + 2 * (frame.cyEdge + frame.cyFrame);
  return size;
}

}  // namespace velmora

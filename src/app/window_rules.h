#pragma once
// What every front-end's window does alike once it has translated a native event or measured a
// native font: the rules live here so that a front-end only translates and draws.
#include <span>
#include <string>
#include <vector>

#include "render/font_metrics.h"
#include "render/text_painter.h"

namespace velmora {

// The key flags of a wheel event as MainWindow::OnMouseWheel takes them (the values of the
// window system's MK_SHIFT and MK_CONTROL): with either held the wheel does not scroll.
enum WheelKeyFlag : unsigned {
  kWheelShift = 0x04u,
  kWheelControl = 0x08u,
};
constexpr unsigned WheelKeyFlags(bool shift, bool control) {
  return (shift ? kWheelShift : 0u) | (control ? kWheelControl : 0u);
}

// Fixed-pitch faces with Japanese glyphs, best first, in UTF-8: the system's own on Windows,
// then what Linux distributions install (and Wine finds through them).
std::span<const char* const> JapaneseFixedFaces();

// The face to show Japanese with when the system's fixed font has none, from the faces the
// system has (UTF-8 names): a listed face among its fixed-pitch faces, else its first
// fixed-pitch face, else a listed face among all its faces; empty when none fits.
std::string ChooseJapaneseFace(const std::vector<std::string>& fixedFaces, const std::vector<std::string>& allFaces);

// The terminal font's metrics as the window draws with them: what MeasureFont finds, with a
// cell of at least one pixel each way, so that a face that measures as nothing still makes a
// grid the window can divide by.
FontMetrics MeasureTerminalFont(FontMeasurer& measurer);

}  // namespace velmora

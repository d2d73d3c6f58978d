#include "render/color_scheme.h"

namespace velmora {

ColorRef SchemeColor(const ColorScheme& scheme, int index, const SystemColors& system) {
  if (scheme.colorDefault != 0) return system.SystemColor(index);
  switch (index) {
    case kColorWindow: return scheme.colorWindow;
    case kColorWindowText: return scheme.colorWindowText;
    case kColorHighlight: return scheme.colorHighlight;
    case kColorHighlightText: return scheme.colorHighlightText;
    default: return 0;
  }
}

ColorRef* ColorDialogModel::ColorOf(int buttonId) {
  switch (buttonId) {
    case kIdTextForeground: return &working.colorWindowText;
    case kIdTextBackground: return &working.colorWindow;
    case kIdSelectedForeground: return &working.colorHighlightText;
    case kIdSelectedBackground: return &working.colorHighlight;
    default: return nullptr;
  }
}

void ColorDialogModel::OnColorPicked(int buttonId, bool confirmed, ColorRef color) {
  ColorRef* target = ColorOf(buttonId);
  if (confirmed && target != nullptr) *target = color;
}

void DrawColorSample(SamplePainter& painter, const ColorScheme& working, const SystemColors& system,
                     int charWidth, int lineHeight) {
  const ColorRef window = SchemeColor(working, kColorWindow, system);
  const ColorRef text = SchemeColor(working, kColorWindowText, system);
  painter.FillBackground(window);
  painter.OutputText(0, 0, "venus% ls", text, window);
  painter.OutputText(0, lineHeight, "mimi", text, window);
  painter.OutputText(0, 2 * lineHeight, "venus%", text, window);
  painter.OutputText(8 * charWidth, lineHeight, "tama", SchemeColor(working, kColorHighlightText, system),
                   SchemeColor(working, kColorHighlight, system));
}

}  // namespace velmora

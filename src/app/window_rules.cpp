#include "app/window_rules.h"

#include <algorithm>

namespace velmora {
namespace {

const char* const kJapaneseFixedFaces[] = {
    "ＭＳ ゴシック", "MS Gothic",   "IPAGothic", "IPAゴシック", "Noto Sans Mono CJK JP",
    "VL Gothic",     "TakaoGothic", "Migu 1M",   "Sazanami Gothic",
};

// The first listed face that is among `faces`, or null.
const char* FirstListed(const std::vector<std::string>& faces) {
  for (const char* name : kJapaneseFixedFaces) {
    if (std::find(faces.begin(), faces.end(), name) != faces.end()) return name;
  }
  return nullptr;
}

}  // namespace

std::span<const char* const> JapaneseFixedFaces() { return kJapaneseFixedFaces; }

std::string ChooseJapaneseFace(const std::vector<std::string>& fixedFaces, const std::vector<std::string>& allFaces) {
  if (const char* listed = FirstListed(fixedFaces)) return listed;
  if (!fixedFaces.empty()) return fixedFaces.front();
  if (const char* listed = FirstListed(allFaces)) return listed;
  return {};
}

FontMetrics MeasureTerminalFont(FontMeasurer& measurer) {
  FontMetrics metrics = MeasureFont(measurer);
  metrics.cellWidth = std::max(metrics.cellWidth, 1);
  metrics.cellHeight = std::max(metrics.cellHeight, 1);
  return metrics;
}

}  // namespace velmora

#include "screen/line_store.h"

#include <cstring>
#include <new>

namespace velmora {

void TerminalLine::Blank() {
  std::memset(text.get(), ' ', static_cast<size_t>(width));
  std::memset(attrs.get(), 0, static_cast<size_t>(width));
}

LineStore::~LineStore() {
  TerminalLine* line = firstLine;
  while (line != nullptr) {
    TerminalLine* next = line->next;
    delete line;
    line = next;
  }
}

TerminalLine* LineStore::AllocLine(TerminalLine* prev, TerminalLine* next, int32_t width) {
  if (lineCount >= lineLimit_ || width < 0) return nullptr;
  auto* line = new (std::nothrow) TerminalLine;
  if (line == nullptr) return nullptr;
  const auto cells = static_cast<size_t>(width);
  line->text.reset(new (std::nothrow) uint8_t[cells + 1]);
  line->attrs.reset(new (std::nothrow) uint8_t[cells > 0 ? cells : 1]);
  if (!line->text || !line->attrs) {
    delete line;
    return nullptr;
  }
  line->prev = prev;
  line->next = next;
  line->width = width;
  line->Blank();
  line->text[cells] = 0;
  ++lineCount;
  return line;
}

void LineStore::FreeLine(TerminalLine* line) {
  delete line;
  --lineCount;
}

}  // namespace velmora

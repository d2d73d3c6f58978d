#pragma once
#include <cstdint>
#include <memory>

namespace velmora {

// One row of text: `width` cells of code page 932 bytes (a double-byte character takes two
// adjacent cells, lead then trail) and one attribute byte per cell. `text` carries a NUL after
// the last cell so that it reads as a C string; that byte is never overwritten.
struct TerminalLine {
  TerminalLine* prev = nullptr;  // older neighbour
  TerminalLine* next = nullptr;  // newer neighbour
  std::unique_ptr<uint8_t[]> text;
  std::unique_ptr<uint8_t[]> attrs;
  int32_t width = 0;  // the column count when the line was made

  // Fills every cell with a space and attribute 0.
  void Blank();
};

// The doubly linked list that holds the backlog and, as its last `rows` lines, the screen.
// It owns every line in the list; the anchors are maintained by the screen model.
class LineStore {
 public:
  static constexpr uint32_t kMaxLines = 2147483647u;

  explicit LineStore(uint32_t lineLimit = kMaxLines) : lineLimit_(lineLimit) {}
  ~LineStore();
  LineStore(const LineStore&) = delete;
  LineStore& operator=(const LineStore&) = delete;

  // Makes a blank line of `width` cells with the given links (neighbours are not touched) and
  // counts it. Returns null when the store is at its line limit or memory is exhausted.
  TerminalLine* AllocLine(TerminalLine* prev, TerminalLine* next, int32_t width);
  // Releases a line and uncounts it; the caller has already fixed or will fix the links.
  void FreeLine(TerminalLine* line);

  TerminalLine* firstLine = nullptr;  // oldest line
  TerminalLine* lastLine = nullptr;   // newest line, the bottom screen row
  TerminalLine* screenTop = nullptr;  // screen row 0; lines before it are backlog
  uint32_t lineCount = 0;

 private:
  uint32_t lineLimit_;
};

}  // namespace velmora

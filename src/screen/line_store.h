#pragma once
#include <cstddef>
#include <cstdint>

namespace velmora {

// One row of text: `width` cells of code page 932 bytes (a double-byte character takes two
// adjacent cells, lead then trail) and one attribute byte per cell. `text()` carries a NUL after
// the last cell so that it reads as a C string; that byte is never overwritten. The record and
// both buffers are one allocation, made and released only by LineStore: the text starts right
// after `width` (its first bytes are `cellStart`, which would otherwise be the record's padding)
// and the attributes follow the text's NUL, so that 80 columns take 181 bytes.
struct TerminalLine {
  TerminalLine* prev = nullptr;  // older neighbour
  TerminalLine* next = nullptr;  // newer neighbour
  int32_t width = 0;             // the column count when the line was made
  uint8_t cellStart[4];          // the first text bytes; the rest follow in the same allocation

  TerminalLine() = default;
  TerminalLine(const TerminalLine&) = delete;
  TerminalLine& operator=(const TerminalLine&) = delete;

  uint8_t* text() { return reinterpret_cast<uint8_t*>(this) + kCellOffset; }
  const uint8_t* text() const { return reinterpret_cast<const uint8_t*>(this) + kCellOffset; }
  uint8_t* attrs() { return text() + width + 1; }
  const uint8_t* attrs() const { return text() + width + 1; }

  // Fills every cell with a space and attribute 0.
  void Blank();

  static constexpr size_t kCellOffset = 2 * sizeof(TerminalLine*) + sizeof(int32_t);
};

// The doubly linked list that holds the backlog and, as its last `rows` lines, the screen.
// It owns every line in the list; the anchors are maintained by the screen model.
//
// Besides the count of lines, the store keeps to a budget of bytes: a line that would take the
// lines' allocations past it is not made, so the backlog stops growing and reuses its oldest
// line, as it does when memory runs out. The lines of the screen itself are made whatever the
// budget (they are at most a few hundred).
class LineStore {
 public:
  static constexpr uint32_t kMaxLines = 2147483647u;
  // The budget when the platform does not say how much memory the machine has.
  static constexpr uint64_t kDefaultByteBudget = uint64_t{1} << 30;

  explicit LineStore(uint32_t lineLimit = kMaxLines) : lineLimit_(lineLimit) {}
  ~LineStore();
  LineStore(const LineStore&) = delete;
  LineStore& operator=(const LineStore&) = delete;

  // Whether a new line must fit the byte budget: lines that grow the backlog do, lines that
  // rebuild the screen do not.
  enum class Budget { kApplies, kExempt };

  // Makes a blank line of `width` cells with the given links (neighbours are not touched) and
  // counts it. Returns null when the store is at its line limit, when the line would pass the
  // byte budget (unless exempt), or when memory is exhausted.
  TerminalLine* AllocLine(TerminalLine* prev, TerminalLine* next, int32_t width, Budget budget = Budget::kApplies);
  // Releases a line and uncounts it; the caller has already fixed or will fix the links.
  void FreeLine(TerminalLine* line);

  // The bytes one line of `width` cells takes from the allocator: the record with its cells,
  // and the allocator's own header, rounded to its 16-byte granule.
  static uint64_t LineBytes(int32_t width);
  // The budget for a machine with `physicalBytes` of memory (0: unknown): a quarter of it,
  // from 64 MiB up to 2 GiB.
  static uint64_t ByteBudgetFor(uint64_t physicalBytes);

  uint64_t byteBudget() const { return byteBudget_; }
  // Lines already made are kept when the budget shrinks below them; the backlog then
  // reuses its oldest line from the next scroll on.
  void SetByteBudget(uint64_t bytes) { byteBudget_ = bytes; }
  // What the lines of the store take now, counted as LineBytes of each line's width.
  uint64_t bytesInUse() const { return bytesInUse_; }

  TerminalLine* firstLine = nullptr;  // oldest line
  TerminalLine* lastLine = nullptr;   // newest line, the bottom screen row
  TerminalLine* screenTop = nullptr;  // screen row 0; lines before it are backlog
  uint32_t lineCount = 0;

 private:
  static void Release(TerminalLine* line);

  uint32_t lineLimit_;
  uint64_t byteBudget_ = kDefaultByteBudget;
  uint64_t bytesInUse_ = 0;
};

}  // namespace velmora

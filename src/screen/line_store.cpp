#include "screen/line_store.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

namespace velmora {

static_assert(offsetof(TerminalLine, cellStart) == TerminalLine::kCellOffset, "the text starts at cellStart");

namespace {

// A line's allocation: the record up to its text, then width + 1 text bytes (the last a NUL),
// then width attribute bytes; never less than the record itself.
size_t BlockSize(int32_t width) {
  return std::max(TerminalLine::kCellOffset + 2 * static_cast<size_t>(width) + 1, sizeof(TerminalLine));
}

}  // namespace

void TerminalLine::Blank() {
  std::memset(text(), ' ', static_cast<size_t>(width));
  std::memset(attrs(), 0, static_cast<size_t>(width));
}

LineStore::~LineStore() {
  TerminalLine* line = firstLine;
  while (line != nullptr) {
    TerminalLine* next = line->next;
    Release(line);
    line = next;
  }
}

uint64_t LineStore::LineBytes(int32_t width) {
  // The allocator's header is one size word (the next block's first word is usable), and a
  // block is a multiple of 16 bytes and at least 32.
  constexpr uint64_t kAllocatorHeader = 8, kGranule = 16, kLeast = 32;
  const uint64_t raw = BlockSize(std::max(width, 0)) + kAllocatorHeader;
  return std::max((raw + kGranule - 1) / kGranule * kGranule, kLeast);
}

uint64_t LineStore::ByteBudgetFor(uint64_t physicalBytes) {
  if (physicalBytes == 0) return kDefaultByteBudget;
  constexpr uint64_t kLeast = uint64_t{64} << 20, kMost = uint64_t{2} << 30;
  return std::clamp(physicalBytes / 4, kLeast, kMost);
}

TerminalLine* LineStore::AllocLine(TerminalLine* prev, TerminalLine* next, int32_t width, Budget budget) {
  if (lineCount >= lineLimit_ || width < 0) return nullptr;
  const uint64_t bytes = LineBytes(width);
  if (budget == Budget::kApplies && bytesInUse_ + bytes > byteBudget_) return nullptr;
  void* block = ::operator new(BlockSize(width), std::nothrow);
  if (block == nullptr) return nullptr;
  auto* line = new (block) TerminalLine;
  line->prev = prev;
  line->next = next;
  line->width = width;
  line->Blank();
  line->text()[static_cast<size_t>(width)] = 0;
  ++lineCount;
  bytesInUse_ += bytes;
  return line;
}

void LineStore::FreeLine(TerminalLine* line) {
  bytesInUse_ -= LineBytes(line->width);
  Release(line);
  --lineCount;
}

void LineStore::Release(TerminalLine* line) {
  line->~TerminalLine();
  ::operator delete(static_cast<void*>(line));
}

}  // namespace velmora

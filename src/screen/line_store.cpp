#include "screen/line_store.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace velmora {

namespace {

// A line's allocation: the record, then width + 1 text bytes (the last a NUL), then width
// attribute bytes.
size_t BlockSize(int32_t width) {
  return sizeof(TerminalLine) + 2 * static_cast<size_t>(width) + 1;
}

}  // namespace

void TerminalLine::Blank() {
  std::memset(text.get(), ' ', static_cast<size_t>(width));
  std::memset(attrs.get(), 0, static_cast<size_t>(width));
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
  constexpr uint64_t kAllocatorHeader = 16, kGranule = 16;
  const uint64_t raw = BlockSize(std::max(width, 0)) + kAllocatorHeader;
  return (raw + kGranule - 1) / kGranule * kGranule;
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
  line->text.bytes_ = reinterpret_cast<uint8_t*>(line + 1);
  line->attrs.bytes_ = line->text.bytes_ + width + 1;
  line->prev = prev;
  line->next = next;
  line->width = width;
  line->Blank();
  line->text[static_cast<size_t>(width)] = 0;
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

#include "emulation/key_encoder.h"

#include <string_view>

namespace velmora {

namespace {

// The bytes a key sends, or an empty view when the terminal has no sequence for it.
std::string_view Vt100Sequence(uint32_t virtualKey) {
  switch (virtualKey) {
    case VK_UP: return "\x1BOA";
    case VK_DOWN: return "\x1BOB";
    case VK_RIGHT: return "\x1BOC";
    case VK_LEFT: return "\x1BOD";
    case VK_F1: return "\x1BOP";
    case VK_F2: return "\x1BOQ";
    case VK_F3: return "\x1BOR";
    case VK_F4: return "\x1BOS";
    default: return {};
  }
}

std::string_view Vt52Sequence(uint32_t virtualKey) {
  switch (virtualKey) {
    case VK_UP: return "\x1B" "A";
    case VK_DOWN: return "\x1B" "B";
    case VK_RIGHT: return "\x1B" "C";
    case VK_LEFT: return "\x1B" "D";
    default: return {};
  }
}

}  // namespace

int EncodeKey(ByteSink& sink, const TerminalOptions& options, uint32_t virtualKey, uint32_t /*keyData*/) {
  const std::string_view sequence = options.IsVt52() ? Vt52Sequence(virtualKey) : Vt100Sequence(virtualKey);
  if (sequence.empty()) return 0;
  for (const char c : sequence) sink.SendByte(static_cast<uint8_t>(c));
  return 1;
}

}  // namespace velmora

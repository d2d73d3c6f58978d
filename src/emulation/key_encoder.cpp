#include "emulation/key_encoder.h"

#include <string_view>

namespace velmora {

namespace {

// The bytes a key sends, or an empty view when the terminal has no sequence for it.
std::string_view Vt100Sequence(uint32_t virtualKey) {
  switch (virtualKey) {
    case kVkUp: return "\x1BOA";
    case kVkDown: return "\x1BOB";
    case kVkRight: return "\x1BOC";
    case kVkLeft: return "\x1BOD";
    case kVkF1: return "\x1BOP";
    case kVkF2: return "\x1BOQ";
    case kVkF3: return "\x1BOR";
    case kVkF4: return "\x1BOS";
    default: return {};
  }
}

std::string_view Vt52Sequence(uint32_t virtualKey) {
  switch (virtualKey) {
    case kVkUp: return "\x1B" "A";
    case kVkDown: return "\x1B" "B";
    case kVkRight: return "\x1B" "C";
    case kVkLeft: return "\x1B" "D";
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

#pragma once
#include <cstdint>

#include "emulation/terminal_options.h"
#include "encoding/byte_sink.h"

namespace velmora {

// The virtual-key codes of the keys the terminal encodes itself. The values are the window
// system's key codes (VK_LEFT and so on), so the main window passes its key-down codes straight
// through; the names differ from the system's so that both can be seen in one source file.
enum VirtualKey : uint32_t {
  kVkLeft = 0x25,
  kVkUp = 0x26,
  kVkRight = 0x27,
  kVkDown = 0x28,
  kVkF1 = 0x70,
  kVkF2 = 0x71,
  kVkF3 = 0x72,
  kVkF4 = 0x73,
};

// Sends the sequence for a non-character key in the emulated terminal's form, one SendByte per
// byte, and returns 1; returns 0 without sending anything when the key has no sequence, so the
// window can give the key its default handling. The VT100 always sends the SS3 forms (ESC O x)
// for the arrows and F1-F4; the VT52 sends ESC x for the arrows and nothing for the function
// keys. The terminal type is read on every call. keyData (the key event's parameter word) is
// not looked at: modifiers do not change the sequence.
int EncodeKey(ByteSink& sink, const TerminalOptions& options, uint32_t virtualKey, uint32_t keyData);

}  // namespace velmora

#pragma once
#include <cstdint>

#include "emulation/terminal_options.h"
#include "encoding/byte_sink.h"

namespace velmora {

// The virtual-key codes of the keys the terminal encodes itself. The values are the window
// system's key codes, so the main window passes its key-down codes straight through.
enum VirtualKey : uint32_t {
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_F1 = 0x70,
  VK_F2 = 0x71,
  VK_F3 = 0x72,
  VK_F4 = 0x73,
};

// Sends the sequence for a non-character key in the emulated terminal's form, one SendByte per
// byte, and returns 1; returns 0 without sending anything when the key has no sequence, so the
// window can give the key its default handling. The VT100 always sends the SS3 forms (ESC O x)
// for the arrows and F1-F4; the VT52 sends ESC x for the arrows and nothing for the function
// keys. The terminal type is read on every call. keyData (the key event's parameter word) is
// not looked at: modifiers do not change the sequence.
int EncodeKey(ByteSink& sink, const TerminalOptions& options, uint32_t virtualKey, uint32_t keyData);

}  // namespace velmora

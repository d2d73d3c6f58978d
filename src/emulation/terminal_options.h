#pragma once
#include <string>

#include "encoding/host_encoding.h"

namespace velmora {

// The user's choices for the connection: the host's encoding, read on every byte, and the
// terminal type announced to the host, which the escape interpreter takes in when it changes.
struct TerminalOptions {
  HostEncoding hostEncoding = HostEncoding::EUC;
  std::string terminalType = "vt100";  // "vt100" or "vt52"

  // Wherever the two terminals differ, VT52 is chosen when the third character is '5'.
  bool IsVt52() const { return terminalType.size() > 2 && terminalType[2] == '5'; }
};

}  // namespace velmora

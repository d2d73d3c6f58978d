#pragma once
// The values the connection dialog works on (host, encoding, terminal type, settings), a
// memory store for its history, and the dialog's model over them: what the core's, the Qt and
// the Win32 dialog tests start from.
#include <string>

#include "settings/connect_dialog.h"
#include "support/memory_store.h"

namespace velmora::testing {

struct ConnectDialogValues {
  MemoryStore store;
  std::string hostName;
  HostEncoding encoding = HostEncoding::EUC;
  std::string terminalType = "vt100";
  Settings settings;
  ConnectDialogModel model{store, hostName, encoding, terminalType, settings};
};

}  // namespace velmora::testing

#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "encoding/host_encoding.h"
#include "settings/registry_store.h"
#include "settings/settings_store.h"

namespace velmora {

// What the connection dialog shows: the auto-close box, the remembered hosts (most recent
// first), the host field and its selected list entry, and the checked buttons.
struct ConnectDialogState {
  bool autoClose = false;
  std::vector<std::string> hosts;        // code page 932
  int selected = -1;                     // list entry shown in the field, or -1
  std::string hostField;                 // code page 932, at most 63 bytes
  std::optional<int32_t> encodingButton; // 0 EUC, 1 Shift-JIS, 2 UTF-8; none checked
  bool vt52 = false;                     // the vt52 button, else vt100
};

// The host field's text as the dialog takes it: at most 63 bytes of code page 932, cut before a
// character that would not fit whole (and before a lead byte that ends the text), so that no
// host name ends in half a character.
std::string CutHostField(std::string_view cp932);

// The connection dialog's logic. It works on the values it changes on OK: the host name,
// the host encoding, the terminal type and the auto-close flag (saved when it changed).
class ConnectDialogModel {
 public:
  ConnectDialogModel(RegistryStore& store, std::string& hostName, HostEncoding& encoding, std::string& terminalType,
                     Settings& settings)
      : store_(store), hostName_(hostName), encoding_(encoding), terminalType_(terminalType), settings_(settings) {}

  // The dialog opening: the history in the list, the host to offer and its encoding and
  // terminal type, from the history when it knows the host, else from the current settings.
  ConnectDialogState Open();
  // Another list entry was chosen: the buttons follow that host's history entry.
  void OnSelectionChanged(ConnectDialogState& state, int index);
  // OK with what the dialog shows: the values are taken (host through CutHostField; EUC when no
  // encoding button is checked) and the auto-close setting saved when it changed.
  void OnOk(const ConnectDialogState& shown);

 private:
  // Sets the buttons from the history entry of `host`; false when the host is not there.
  bool ButtonsFromHistory(ConnectDialogState& state, const std::string& host);

  RegistryStore& store_;
  std::string& hostName_;
  HostEncoding& encoding_;
  std::string& terminalType_;
  Settings& settings_;
};

}  // namespace velmora

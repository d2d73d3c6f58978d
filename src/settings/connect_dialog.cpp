#include "settings/connect_dialog.h"

#include "encoding/cp932.h"
#include "settings/host_history.h"

namespace velmora {

namespace {

constexpr size_t kMaxHost = 63;

// The buttons are told apart by the third character of the terminal type.
bool IsVt52Type(const std::string& type) { return type.size() > 2 && type[2] == '5'; }

std::optional<int32_t> EncodingButton(int32_t value) {
  if (value < 0 || value > 2) return std::nullopt;
  return value;
}

}  // namespace

bool ConnectDialogModel::ButtonsFromHistory(ConnectDialogState& state, const std::string& host) {
  int32_t encoding = -1;
  std::string type;
  const int k = FindHost(store_, host, &encoding, &type);
  if (k < 0) return false;
  state.encodingButton = EncodingButton(encoding);
  state.vt52 = IsVt52Type(type);
  return true;
}

ConnectDialogState ConnectDialogModel::Open() {
  ConnectDialogState state;
  state.autoClose = settings_.autoClose != 0;
  FillHostCombo(store_, state.hosts);
  if (!state.hosts.empty()) {
    std::string candidate = hostName_;
    if (candidate.empty()) {
      state.selected = 0;
      state.hostField = state.hosts[0].substr(0, kMaxHost);
      candidate = state.hostField;
    }
    int32_t encoding = -1;
    std::string type;
    const int k = FindHost(store_, candidate, &encoding, &type);
    if (k >= 0) {
      state.selected = k;
      state.hostField = state.hosts[static_cast<size_t>(k)].substr(0, kMaxHost);
      state.encodingButton = EncodingButton(encoding);
      state.vt52 = IsVt52Type(type);
      return state;
    }
  }
  state.selected = -1;
  state.hostField = hostName_;
  state.encodingButton = EncodingButton(static_cast<int32_t>(encoding_));
  state.vt52 = IsVt52Type(terminalType_);
  return state;
}

void ConnectDialogModel::OnSelectionChanged(ConnectDialogState& state, int index) {
  if (index < 0 || static_cast<size_t>(index) >= state.hosts.size()) return;
  state.selected = index;
  state.hostField = state.hosts[static_cast<size_t>(index)].substr(0, kMaxHost);
  ButtonsFromHistory(state, state.hostField);
}

std::string CutHostField(std::string_view cp932) {
  size_t end = 0;
  while (end < cp932.size()) {
    const size_t length = IsSjisLeadByte(static_cast<uint8_t>(cp932[end])) ? 2 : 1;
    if (end + length > kMaxHost || end + length > cp932.size()) break;
    end += length;
  }
  return std::string(cp932.substr(0, end));
}

void ConnectDialogModel::OnOk(const ConnectDialogState& shown) {
  hostName_ = CutHostField(shown.hostField);
  const int32_t button = shown.encodingButton.value_or(0);
  encoding_ = button == 1 ? HostEncoding::SJIS : button == 2 ? HostEncoding::UTF8 : HostEncoding::EUC;
  terminalType_ = shown.vt52 ? "vt52" : "vt100";
  const int32_t autoClose = shown.autoClose ? 1 : 0;
  if (autoClose != settings_.autoClose) {
    settings_.autoClose = autoClose;
    SaveAutoClose(store_, settings_);
  }
}

}  // namespace velmora

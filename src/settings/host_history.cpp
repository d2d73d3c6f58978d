#include "settings/host_history.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

std::string SlotName(int k) { return "host " + std::to_string(k); }

// A slot as read: empty when missing or larger than the read buffer.
HistoryEntry ReadSlot(RegistryKey& key, int k) {
  HistoryEntry entry;
  key.ReadValue(SlotName(k), entry.bytes.data(), HistoryEntry::kReadSize);
  return entry;
}

// The entry's bytes and the two NULs that close it.
void WriteSlot(RegistryKey& key, int k, const HistoryEntry& entry) {
  const size_t length = entry.EntryLength();
  std::string data(reinterpret_cast<const char*>(entry.bytes.data()), length);
  data.append(2, '\0');
  key.WriteValue(SlotName(k), kRegExpandSz, reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

}  // namespace

HistoryEntry HistoryEntry::Make(std::string_view hostName, HostEncoding encoding, std::string_view terminalType) {
  HistoryEntry entry;
  std::string data(hostName.substr(0, kMaxHostName));
  data.push_back('\0');
  data.push_back(static_cast<char>('0' + static_cast<int32_t>(encoding)));
  data.push_back('\0');
  data.append(terminalType.substr(0, 31));
  data.push_back('\0');
  std::memcpy(entry.bytes.data(), data.data(), std::min(data.size(), kReadSize));
  return entry;
}

// An entry that fills the whole read buffer without its closing NULs (left by another
// program) is taken as cut two bytes short, so that it is written back in a size that can be
// read again.
size_t HistoryEntry::EntryLength() const {
  for (size_t p = 0; p + 1 < kReadSize; ++p) {
    if (bytes[p] == 0 && bytes[p + 1] == 0) return p;
  }
  return kReadSize - 2;
}

std::string_view HistoryEntry::StringAt(size_t at, size_t& next) const {
  const size_t end = EntryLength();
  if (at >= end) {
    next = end;
    return {};
  }
  const auto* begin = reinterpret_cast<const char*>(bytes.data()) + at;
  const auto stop = bytes.begin() + static_cast<ptrdiff_t>(end);
  const auto length = static_cast<size_t>(std::find(bytes.begin() + static_cast<ptrdiff_t>(at), stop, 0) -
                                          bytes.begin()) - at;
  next = at + length + 1;
  return std::string_view(begin, length);
}

std::string HistoryEntry::HostName() const {
  size_t next = 0;
  return std::string(StringAt(0, next).substr(0, kMaxHostName));
}

std::optional<int32_t> HistoryEntry::Encoding() const {
  size_t next = 0;
  StringAt(0, next);
  const std::string_view digit = StringAt(next, next);
  if (digit.empty()) return std::nullopt;
  return static_cast<uint8_t>(digit[0]) - 0x30;
}

std::optional<std::string> HistoryEntry::TerminalType() const {
  size_t next = 0;
  StringAt(0, next);
  StringAt(next, next);
  const std::string_view type = StringAt(next, next);
  if (type.empty()) return std::nullopt;
  return std::string(type);
}

bool FillHostCombo(RegistryStore& store, std::vector<std::string>& names) {
  auto key = store.OpenKey(kHistoryKey, false);
  if (!key) return false;
  for (int k = 0; k < 10; ++k) {
    const HistoryEntry entry = ReadSlot(*key, k);
    if (entry.empty()) break;
    names.push_back(entry.HostName());
  }
  return true;
}

int FindHost(RegistryStore& store, std::string_view hostName, int32_t* encoding, std::string* terminalType) {
  auto key = store.OpenKey(kHistoryKey, false);
  if (!key) return -1;
  for (int k = 0; k < 10; ++k) {
    const HistoryEntry entry = ReadSlot(*key, k);
    if (entry.empty()) break;
    if (entry.HostName() != hostName) continue;
    if (encoding != nullptr) {
      if (auto e = entry.Encoding()) *encoding = *e;
    }
    if (terminalType != nullptr) *terminalType = entry.TerminalType().value_or("");
    return k;
  }
  return -1;
}

bool AddHost(RegistryStore& store, const HistoryEntry& entry) {
  auto key = store.CreateKey(kHistoryKey, true);  // the slots are read, then rewritten
  if (!key) return false;
  std::array<HistoryEntry, 10> slots;
  for (int k = 0; k < 10; ++k) slots[k] = ReadSlot(*key, k);
  const std::string name = entry.HostName();
  int found = 9;  // a new host drops the last entry
  for (int k = 0; k < 10; ++k) {
    if (!slots[k].empty() && slots[k].HostName() == name) {
      found = k;
      break;
    }
  }
  for (int j = found - 1; j >= 0; --j) slots[j + 1] = slots[j];
  slots[0] = entry;
  for (int k = 0; k < 10; ++k) WriteSlot(*key, k, slots[k]);
  return true;
}

bool RemoveHost(RegistryStore& store, int k) {
  if (k < 0 || k > 9) return false;
  auto key = store.OpenKey(kHistoryKey, true);
  if (!key) return false;
  for (int j = k; j < 9; ++j) WriteSlot(*key, j, ReadSlot(*key, j + 1));
  WriteSlot(*key, 9, HistoryEntry{});
  return true;
}

}  // namespace velmora

#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "encoding/host_encoding.h"
#include "settings/registry_store.h"

namespace velmora {

// The key of the host history, below the settings key.
inline constexpr std::string_view kHistoryKey = "SOFTWARE\\ostrin\\Velmora\\most recently used";

// The data of one history slot as stored: the host name, the host encoding as one digit and the
// terminal type, each followed by a NUL, and one more NUL closing the entry.
struct HistoryEntry {
  static constexpr size_t kReadSize = 260;   // a slot is read into this many bytes
  static constexpr size_t kMaxHostName = 63;

  // Room for a full read plus the two closing NULs, so that parsing always ends in the buffer.
  std::array<uint8_t, kReadSize + 2> bytes{};

  static HistoryEntry Make(std::string_view hostName, HostEncoding encoding, std::string_view terminalType);

  bool empty() const { return EntryLength() == 0; }
  // The number of bytes before the first pair of adjacent NULs (at most 258); a slot is
  // written with two more.
  size_t EntryLength() const;
  // The host name (at most 63 bytes).
  std::string HostName() const;
  // The encoding digit's value and the terminal type, when the entry has them.
  std::optional<int32_t> Encoding() const;
  std::optional<std::string> TerminalType() const;

 private:
  // The string that starts at `at` (up to its NUL), and where the next one starts.
  std::string_view StringAt(size_t at, size_t& next) const;
};

// The ten slots "host 0" (most recent) to "host 9". Each operation opens and closes the key
// itself; nothing is kept in memory between them. A slot that is missing, or larger than the
// read buffer, reads as empty, and the first empty slot ends the list.

// The host names, most recent first; false when the history key could not be opened.
bool FillHostCombo(RegistryStore& store, std::vector<std::string>& names);
// The slot of a host (names compared byte for byte), or -1; fills the encoding and terminal
// type of the entry when asked for and present.
int FindHost(RegistryStore& store, std::string_view hostName, int32_t* encoding = nullptr,
             std::string* terminalType = nullptr);
// Puts the entry first: a host already present moves to the front with the new entry's data,
// a new one pushes the others down and the tenth is forgotten.
bool AddHost(RegistryStore& store, const HistoryEntry& entry);
// Removes slot k; the later ones move up.
bool RemoveHost(RegistryStore& store, int k);

}  // namespace velmora

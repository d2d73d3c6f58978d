// libFuzzer target for the settings: the input is the settings file as it lies on disk, read
// by RegFileStore, and also, cut into values, the contents of a store held in memory. Over each
// store the start-up loads, the host history and the saves run, with these rules checked:
//   - loaded grid sizes are 1..999 (or the defaults), face names and host names within their
//     fields, host names without NUL bytes, at most ten of them;
//   - FindHost answers the first slot FillHostCombo listed the name at;
//   - what is saved loads back the same, and saving the same settings again leaves the file
//     byte for byte as it was (what the file store writes, it reads back unchanged);
//   - a host added is found in slot 0; removing slot 0 moves the others up.
// Any broken rule aborts with a message.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz_check.h"
#include "platform/posix/reg_file_store.h"
#include "settings/host_history.h"
#include "support/memory_store.h"
#include "settings/settings_store.h"

const char* const velmora::fuzzing::kTargetName = "settings_fuzzer";

namespace {

using namespace velmora;

using fuzzing::Fail;

// A private folder for the file, in memory when the system has /dev/shm; removed at exit (the
// name outlives every static object, so the exit handler can still read it).
const std::string& Folder() {
  static const std::string* const folder = [] {
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path().string();
    auto* made = new std::string(base + "/velmora-fuzz-XXXXXX");
    if (mkdtemp(made->data()) == nullptr) Fail("cannot make a folder under %s", base.c_str());
    return made;
  }();
  static const bool removeAtExit = [] {
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(*folder, ignored);
    });
    return true;
  }();
  (void)removeAtExit;
  return *folder;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct Loaded {
  Settings settings;
  ColorScheme colors;
  bool font = false;
};

Loaded Load(RegistryStore& store) {
  Loaded l;
  LoadSizeSettings(store, l.settings, l.colors);
  LoadAutoClose(store, l.settings);
  l.font = LoadFontSetting(store, l.settings);
  const Settings defaults;
  for (const auto& [value, fallback, what] : {std::tuple{l.settings.columns, defaults.columns, "columns"},
                                              std::tuple{l.settings.rows, defaults.rows, "rows"}}) {
    REQUIRE(value == fallback || (value >= 1 && value <= 999), "%s loaded as %d", what, value);
  }
  if (l.font) {
    REQUIRE(l.settings.logFont.faceName().size() < LogFont::kFaceSize, "a face name of %zu bytes",
            l.settings.logFont.faceName().size());
  }
  return l;
}

std::vector<std::string> Hosts(RegistryStore& store) {
  std::vector<std::string> names;
  FillHostCombo(store, names);
  REQUIRE(names.size() <= 10, "%zu hosts listed", names.size());
  for (size_t k = 0; k < names.size(); ++k) {
    REQUIRE(names[k].size() <= HistoryEntry::kMaxHostName, "host %zu of %zu bytes", k, names[k].size());
    REQUIRE(names[k].find('\0') == std::string::npos, "host %zu holds a NUL", k);
    int32_t encoding = -1000;
    std::string type = "unchanged";
    const int found = FindHost(store, names[k], &encoding, &type);
    const auto first = std::find(names.begin(), names.end(), names[k]) - names.begin();
    REQUIRE(found == first, "host %zu found in slot %d, listed first in %td", k, found, first);
    REQUIRE(encoding >= -1000 && encoding <= 255 - 0x30, "encoding digit %d", encoding);
    REQUIRE(type != "unchanged" && type.size() <= HistoryEntry::kReadSize, "terminal type of %zu bytes", type.size());
  }
  return names;
}

void SaveAll(RegistryStore& store, const Loaded& l) {
  REQUIRE(SaveSizeSettings(store, l.settings), "size settings not saved");
  REQUIRE(SaveAutoClose(store, l.settings), "auto close not saved");
  REQUIRE(SaveColorScheme(store, l.colors), "colours not saved");
  REQUIRE(SaveFontSetting(store, l.settings), "font not saved");
}

void SameAsSaved(const Loaded& saved, const Loaded& again) {
  const Settings& a = saved.settings;
  const Settings& b = again.settings;
  REQUIRE(a.columns == b.columns && a.rows == b.rows && a.backlogMax == b.backlogMax && a.autoClose == b.autoClose,
          "saved %d x %d, %u, %d; loaded %d x %d, %u, %d", a.columns, a.rows, a.backlogMax, a.autoClose, b.columns,
          b.rows, b.backlogMax, b.autoClose);
  REQUIRE(a.logFont.bytes == b.logFont.bytes && again.font, "the font did not load back");
  const ColorScheme& c = saved.colors;
  const ColorScheme& d = again.colors;
  REQUIRE(c.colorDefault == d.colorDefault && c.colorWindow == d.colorWindow &&
              c.colorWindowText == d.colorWindowText && c.colorHighlight == d.colorHighlight &&
              c.colorHighlightText == d.colorHighlightText,
          "the colours did not load back");
}

// Everything the program does with its store, from start-up to a connection and a removal.
// `snapshot` gives the store's bytes where it has any (the file), for the idempotence rule.
template <class Snapshot>
void Exercise(RegistryStore& store, Snapshot snapshot) {
  const Loaded loaded = Load(store);
  const std::vector<std::string> names = Hosts(store);

  SaveAll(store, loaded);
  SameAsSaved(loaded, Load(store));
  const std::string once = snapshot();
  SaveAll(store, loaded);
  REQUIRE(snapshot() == once, "saving the same settings again changed the file");

  const std::string host = names.empty() ? std::string("host.example") : names.back();
  const int32_t encoding = names.size() % 3 == 0 ? 0 : static_cast<int32_t>(names.size() % 3);
  REQUIRE(AddHost(store, HistoryEntry::Make(host, static_cast<HostEncoding>(encoding), "vt52")), "host not added");
  int32_t foundEncoding = -1;
  std::string type;
  REQUIRE(FindHost(store, host, &foundEncoding, &type) == 0, "the host added is not in slot 0");
  REQUIRE(foundEncoding == encoding && type == "vt52", "the host added lost its encoding or type");
  const std::vector<std::string> after = Hosts(store);
  REQUIRE(!after.empty() && after.front() == host, "the host added is not listed first");
  REQUIRE(std::count(after.begin(), after.end(), host) <= std::count(names.begin(), names.end(), host) + 1,
          "the host added is listed twice");
  REQUIRE(RemoveHost(store, 0), "slot 0 not removed");
  const std::vector<std::string> removed = Hosts(store);
  REQUIRE(removed == std::vector<std::string>(after.begin() + 1, after.end()), "removing slot 0 did not move the rest up");
}

// The parse of one slot, on its own: whatever the bytes, the parts stay inside the entry.
void CheckEntry(const uint8_t* data, size_t size) {
  HistoryEntry entry;
  std::copy(data, data + std::min(size, HistoryEntry::kReadSize), entry.bytes.begin());
  REQUIRE(entry.EntryLength() <= HistoryEntry::kReadSize - 2, "entry length %zu", entry.EntryLength());
  REQUIRE(entry.HostName().size() <= HistoryEntry::kMaxHostName, "host name of %zu bytes", entry.HostName().size());
  if (const auto type = entry.TerminalType()) {
    REQUIRE(type->size() < entry.EntryLength(), "terminal type of %zu bytes in an entry of %zu", type->size(),
            entry.EntryLength());
  }
  (void)entry.Encoding();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckEntry(data, size);

  // The file.
  const std::string path = Folder() + "/Velmora.reg";
  std::filesystem::remove(path + ".bad");
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) Fail("cannot write %s", path.c_str());
  }
  RegFileStore file(path);
  Exercise(file, [&] { return ReadAll(path); });

  // The same bytes as the values of a store in memory.
  static const char* const kNames[] = {"columns", "rows", "back log max", "auto close", "color default",
                                       "color window", "color window text", "color highlight",
                                       "color highlight text", "logfont"};
  FuzzedDataProvider provider(data, size);
  velmora::testing::MemoryStore memory;
  memory.keys[std::string(kSettingsKey)];
  memory.keys[std::string(kHistoryKey)];
  for (const char* name : kNames) {
    if (provider.ConsumeBool()) {
      memory.Put(std::string(kSettingsKey), name, provider.ConsumeIntegralInRange<uint32_t>(0, 11),
                 provider.ConsumeRandomLengthString(70));
    }
  }
  for (int k = 0; k < 10 && provider.remaining_bytes() > 0; ++k) {
    if (provider.ConsumeBool()) {
      memory.Put(std::string(kHistoryKey), "host " + std::to_string(k), kRegExpandSz,
                 provider.ConsumeRandomLengthString(300));
    }
  }
  Exercise(memory, [] { return std::string(); });
  return 0;
}

#include "settings/settings_store.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

// 32-bit values are stored little-endian.
void ReadInt32(RegistryKey& key, std::string_view name, int32_t& field) {
  uint8_t b[4];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(static_cast<uint32_t>(field) >> (8 * i));
  if (!key.ReadValue(name, b, sizeof b)) return;
  field = static_cast<int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24));
}

void ReadUint32(RegistryKey& key, std::string_view name, uint32_t& field) {
  auto v = static_cast<int32_t>(field);
  ReadInt32(key, name, v);
  field = static_cast<uint32_t>(v);
}

void WriteUint32(RegistryKey& key, std::string_view name, uint32_t type, uint32_t value) {
  const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  key.WriteValue(name, type, b, sizeof b);
}

// A grid size read from the store is used as stored unless it cannot work at all.
void ReadGridSize(RegistryKey& key, std::string_view name, int32_t& field) {
  int32_t v = field;
  ReadInt32(key, name, v);
  if (v >= 1 && v <= 999) field = v;
}

}  // namespace

std::string LogFont::faceName() const {
  const auto begin = bytes.begin() + kFaceOffset;
  return std::string(begin, std::find(begin, bytes.end(), 0));
}

void LogFont::setFaceName(std::string_view name) {
  std::fill(bytes.begin() + kFaceOffset, bytes.end(), 0);
  std::memcpy(bytes.data() + kFaceOffset, name.data(), std::min(name.size(), kFaceSize - 1));
}

bool LogFont::empty() const {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

int32_t LogFont::Int(size_t at) const {
  return static_cast<int32_t>(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
                              (static_cast<uint32_t>(bytes[at + 3]) << 24));
}

void LogFont::SetInt(size_t at, int32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

bool LoadSizeSettings(RegistryStore& store, Settings& settings, ColorScheme& colors) {
  bool opened = false;
  if (auto key = store.OpenKey(kSettingsKey, false)) {
    opened = true;
    ReadGridSize(*key, "columns", settings.columns);
    ReadGridSize(*key, "rows", settings.rows);
    ReadUint32(*key, "back log max", settings.backlogMax);
  }
  // The colours are read on their own, whether or not the sizes could be.
  LoadColorScheme(store, colors);
  return opened;
}

bool LoadColorScheme(RegistryStore& store, ColorScheme& colors) {
  auto key = store.OpenKey(kSettingsKey, false);
  if (!key) return false;
  ReadInt32(*key, "color default", colors.colorDefault);
  ReadUint32(*key, "color window", colors.colorWindow);
  ReadUint32(*key, "color window text", colors.colorWindowText);
  ReadUint32(*key, "color highlight", colors.colorHighlight);
  ReadUint32(*key, "color highlight text", colors.colorHighlightText);
  return true;
}

bool LoadAutoClose(RegistryStore& store, Settings& settings) {
  auto key = store.OpenKey(kSettingsKey, false);
  if (!key) return false;
  ReadInt32(*key, "auto close", settings.autoClose);
  return true;
}

bool LoadFontSetting(RegistryStore& store, Settings& settings) {
  auto key = store.OpenKey(kSettingsKey, false);
  if (!key) return false;
  LogFont font = settings.logFont;
  if (!key->ReadValue("logfont", font.bytes.data(), LogFont::kSize)) return false;
  // A face name without its terminating NUL is cut at its last byte.
  if (std::find(font.bytes.begin() + LogFont::kFaceOffset, font.bytes.end(), 0) == font.bytes.end()) {
    font.bytes[LogFont::kSize - 1] = 0;
  }
  settings.logFont = font;
  return true;
}

// Each save creates the key when it is missing and opens it for writing only: it reads nothing.
bool SaveFontSetting(RegistryStore& store, const Settings& settings) {
  auto key = store.CreateKey(kSettingsKey, false);
  if (!key) return false;
  key->WriteValue("logfont", kRegBinary, settings.logFont.bytes.data(), LogFont::kSize);
  return true;
}

bool SaveSizeSettings(RegistryStore& store, const Settings& settings) {
  auto key = store.CreateKey(kSettingsKey, false);
  if (!key) return false;
  WriteUint32(*key, "columns", kRegDword, static_cast<uint32_t>(settings.columns));
  WriteUint32(*key, "rows", kRegDword, static_cast<uint32_t>(settings.rows));
  WriteUint32(*key, "back log max", kRegDword, settings.backlogMax);
  return true;
}

bool SaveAutoClose(RegistryStore& store, const Settings& settings) {
  auto key = store.CreateKey(kSettingsKey, false);
  if (!key) return false;
  WriteUint32(*key, "auto close", kRegDword, static_cast<uint32_t>(settings.autoClose));
  return true;
}

// The flag is a DWORD, the four colours binary values of four bytes.
bool SaveColorScheme(RegistryStore& store, const ColorScheme& colors) {
  auto key = store.CreateKey(kSettingsKey, false);
  if (!key) return false;
  WriteUint32(*key, "color default", kRegDword, static_cast<uint32_t>(colors.colorDefault));
  WriteUint32(*key, "color window", kRegBinary, colors.colorWindow);
  WriteUint32(*key, "color window text", kRegBinary, colors.colorWindowText);
  WriteUint32(*key, "color highlight", kRegBinary, colors.colorHighlight);
  WriteUint32(*key, "color highlight text", kRegBinary, colors.colorHighlightText);
  return true;
}

}  // namespace velmora

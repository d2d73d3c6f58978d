#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "render/color_scheme.h"
#include "settings/registry_store.h"

namespace velmora {

// The key under which the settings live.
inline constexpr std::string_view kSettingsKey = "SOFTWARE\\ostrin\\Velmora";

// A font description laid out byte for byte as the window system's LOGFONTA (60 bytes, numbers
// little-endian), so that it is stored exactly as the Windows program stores it. Front-ends
// turn it into their own fonts.
struct LogFont {
  static constexpr size_t kSize = 60;
  static constexpr size_t kFaceOffset = 28;
  static constexpr size_t kFaceSize = 32;

  std::array<uint8_t, kSize> bytes{};

  int32_t height() const { return Int(0); }
  int32_t width() const { return Int(4); }
  int32_t weight() const { return Int(16); }
  bool italic() const { return bytes[20] != 0; }
  bool underline() const { return bytes[21] != 0; }
  uint8_t charSet() const { return bytes[23]; }
  uint8_t pitchAndFamily() const { return bytes[27]; }
  // The face name's bytes (code page 932) up to its NUL.
  std::string faceName() const;

  void setHeight(int32_t v) { SetInt(0, v); }
  void setWidth(int32_t v) { SetInt(4, v); }
  void setWeight(int32_t v) { SetInt(16, v); }
  void setItalic(bool v) { bytes[20] = v ? 1 : 0; }
  void setUnderline(bool v) { bytes[21] = v ? 1 : 0; }
  void setCharSet(uint8_t v) { bytes[23] = v; }
  void setPitchAndFamily(uint8_t v) { bytes[27] = v; }
  // Sets the face name, cut to 31 bytes.
  void setFaceName(std::string_view name);

  bool empty() const;  // all zero: no font was ever stored

 private:
  int32_t Int(size_t at) const;
  void SetInt(size_t at, int32_t v);
};

// The settings kept from one run to the next (the colours belong to the ColorScheme).
struct Settings {
  int32_t columns = 80;
  int32_t rows = 24;
  uint32_t backlogMax = 2147483647u;
  int32_t autoClose = 0;
  LogFont logFont;
};

// Each operation opens the key itself and closes it before returning. A value is read into its
// field only when the stored data fits the field; a missing or unreadable value leaves the field
// as it was. Saves write their whole group and report only whether the key could be opened.
bool LoadSizeSettings(RegistryStore& store, Settings& settings, ColorScheme& colors);
bool LoadColorScheme(RegistryStore& store, ColorScheme& colors);
bool LoadAutoClose(RegistryStore& store, Settings& settings);
bool LoadFontSetting(RegistryStore& store, Settings& settings);
bool SaveFontSetting(RegistryStore& store, const Settings& settings);
bool SaveSizeSettings(RegistryStore& store, const Settings& settings);
bool SaveAutoClose(RegistryStore& store, const Settings& settings);
bool SaveColorScheme(RegistryStore& store, const ColorScheme& colors);

}  // namespace velmora

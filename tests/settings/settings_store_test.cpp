// Loading and saving the settings groups through a store that follows the registry's rules.
#include <gtest/gtest.h>

#include "support/memory_store.h"
#include "settings/settings_store.h"

namespace velmora::testing {
namespace {

const std::string kKey = "SOFTWARE\\ostrin\\Velmora";

TEST(SettingsStore, FirstRunKeepsTheDefaults) {
  MemoryStore store;
  Settings s;
  ColorScheme c;
  EXPECT_FALSE(LoadSizeSettings(store, s, c));
  EXPECT_FALSE(LoadAutoClose(store, s));
  EXPECT_FALSE(LoadFontSetting(store, s));
  EXPECT_EQ(s.columns, 80);
  EXPECT_EQ(s.rows, 24);
  EXPECT_EQ(s.backlogMax, 2147483647u);
  EXPECT_EQ(s.autoClose, 0);
  EXPECT_TRUE(s.logFont.empty());
  EXPECT_EQ(c, ColorScheme{});
  EXPECT_EQ(c.colorDefault, 1);
}

TEST(SettingsStore, StoredValuesAndTheirSizes) {
  struct Case {
    const char* name;
    std::string stored;
    int32_t columns, rows;
  } cases[] = {
      {"four bytes", Le32(100), 100, 24},
      {"one byte replaces the low byte", std::string("\x64", 1), 100, 24},
      {"two bytes", std::string("\x00\x01", 2), 0x100, 24},
      {"larger than the field is ignored", Le32(100) + "x", 80, 24},
      {"below 1 leaves the default", Le32(0), 80, 24},
      {"negative leaves the default", Le32(0xFFFFFFFF), 80, 24},
      {"above 999 leaves the default", Le32(1000), 80, 24},
      {"outside the dialog's range is used", Le32(5), 5, 24},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryStore store;
    store.Put(kKey, "columns", kRegDword, c.stored);
    Settings s;
    ColorScheme colors;
    EXPECT_TRUE(LoadSizeSettings(store, s, colors));
    EXPECT_EQ(s.columns, c.columns);
    EXPECT_EQ(s.rows, c.rows);
  }
}

TEST(SettingsStore, RoundTripOfEveryGroup) {
  MemoryStore store;
  Settings s;
  s.columns = 132;
  s.rows = 50;
  s.backlogMax = 0;
  s.autoClose = 1;
  s.logFont.setHeight(-16);
  s.logFont.setWeight(700);
  s.logFont.setCharSet(128);
  s.logFont.setFaceName("\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e");  // ＭＳ ゴシック
  ColorScheme c;
  c.colorDefault = 0;
  c.colorWindow = Rgb(0, 0, 255);
  c.colorHighlightText = Rgb(1, 2, 3);
  EXPECT_TRUE(SaveSizeSettings(store, s));
  EXPECT_TRUE(SaveAutoClose(store, s));
  EXPECT_TRUE(SaveFontSetting(store, s));
  EXPECT_TRUE(SaveColorScheme(store, c));
  EXPECT_EQ(store.Get(kKey, "columns")->type, kRegDword);
  EXPECT_EQ(store.Get(kKey, "columns")->bytes, Le32(132));
  EXPECT_EQ(store.Get(kKey, "logfont")->type, kRegBinary);
  EXPECT_EQ(store.Get(kKey, "logfont")->bytes.size(), 60u);
  EXPECT_EQ(store.Get(kKey, "color default")->type, kRegDword);
  EXPECT_EQ(store.Get(kKey, "color window")->type, kRegBinary);
  EXPECT_EQ(store.Get(kKey, "color window")->bytes, std::string("\0\0\xff\0", 4));

  Settings loaded;
  ColorScheme loadedColors;
  EXPECT_TRUE(LoadSizeSettings(store, loaded, loadedColors));
  EXPECT_TRUE(LoadAutoClose(store, loaded));
  EXPECT_TRUE(LoadFontSetting(store, loaded));
  EXPECT_EQ(loaded.columns, 132);
  EXPECT_EQ(loaded.rows, 50);
  EXPECT_EQ(loaded.backlogMax, 0u);
  EXPECT_EQ(loaded.autoClose, 1);
  EXPECT_EQ(loaded.logFont.bytes, s.logFont.bytes);
  EXPECT_EQ(loaded.logFont.height(), -16);
  EXPECT_EQ(loaded.logFont.faceName(), s.logFont.faceName());
  EXPECT_EQ(loadedColors, c);
}

TEST(SettingsStore, GroupsAreWrittenWholeAndInOrder) {
  MemoryStore store;
  SaveSizeSettings(store, Settings{});
  SaveColorScheme(store, ColorScheme{});
  EXPECT_EQ(store.writes, (std::vector<std::string>{
                              kKey + "|columns", kKey + "|rows", kKey + "|back log max",
                              kKey + "|color default", kKey + "|color window", kKey + "|color window text",
                              kKey + "|color highlight", kKey + "|color highlight text"}));
  MemoryStore failing;
  failing.failCreate = true;
  EXPECT_FALSE(SaveSizeSettings(failing, Settings{}));
  EXPECT_FALSE(SaveFontSetting(failing, Settings{}));
}

TEST(SettingsStore, ColoursLoadEvenWhenTheSizesCannot) {
  // The size read opens the key first; a store whose first open fails still yields colours.
  class FirstOpenFails : public MemoryStore {
   public:
    int opens = 0;
    std::unique_ptr<RegistryKey> OpenKey(std::string_view path, bool writable) override {
      return ++opens == 1 ? nullptr : MemoryStore::OpenKey(path, writable);
    }
  } store;
  store.Put(kKey, "columns", kRegDword, Le32(100));
  store.Put(kKey, "color default", kRegDword, Le32(0));
  store.Put(kKey, "color window", kRegBinary, Le32(Rgb(0, 0, 255)));
  Settings s;
  ColorScheme c;
  EXPECT_FALSE(LoadSizeSettings(store, s, c));
  EXPECT_EQ(s.columns, 80);
  EXPECT_EQ(c.colorDefault, 0);
  EXPECT_EQ(c.colorWindow, Rgb(0, 0, 255));
}

TEST(SettingsStore, StoredFontDescriptions) {
  struct Case {
    const char* name;
    std::string stored;
    bool loaded;
    std::string face;
  } cases[] = {
      {"61 bytes are ignored", std::string(61, 'x'), false, ""},
      {"a shorter value fills the leading bytes", std::string("\xf0\xff\xff\xff", 4), true, ""},
      {"face without its NUL is cut at byte 31", std::string(28, '\0') + std::string(32, 'F'), true,
       std::string(31, 'F')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryStore store;
    store.Put(kKey, "logfont", kRegBinary, c.stored);
    Settings s;
    EXPECT_EQ(LoadFontSetting(store, s), c.loaded);
    EXPECT_EQ(s.logFont.faceName(), c.face);
    if (c.stored.size() == 4) {
      EXPECT_EQ(s.logFont.height(), -16);
      EXPECT_EQ(s.logFont.weight(), 0);
    }
  }
}

}  // namespace
}  // namespace velmora::testing

// The settings and the host history through the real per-user file: what Velmora writes is a
// registry export file that reads back the same and stays byte-identical through load and save.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/posix/reg_file_store.h"
#include "settings/host_history.h"
#include "settings/settings_store.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(SettingsFile, WrittenAsARegistryExportAndReadBack) {
  const fs::path dir = fs::temp_directory_path() /
                       ("velmora-settings-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(dir);
  const fs::path file = dir / "ostrin" / "Velmora.reg";
  {
    RegFileStore store(file.string());
    Settings s;
    s.columns = 100;
    s.rows = 30;
    s.autoClose = 1;
    ColorScheme c;
    c.colorDefault = 0;
    c.colorWindow = Rgb(0, 0, 0x80);
    ASSERT_TRUE(SaveSizeSettings(store, s));
    ASSERT_TRUE(SaveAutoClose(store, s));
    ASSERT_TRUE(SaveColorScheme(store, c));
    ASSERT_TRUE(AddHost(store, HistoryEntry::Make("example.jp", HostEncoding::UTF8, "vt100")));
  }
  const std::string text = ReadAll(file);
  EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n", 0), 0u) << text;
  for (const char* line : {"[HKEY_CURRENT_USER\\SOFTWARE\\ostrin\\Velmora]\r\n", "\"columns\"=dword:00000064\r\n",
                           "\"rows\"=dword:0000001e\r\n", "\"back log max\"=dword:7fffffff\r\n",
                           "\"auto close\"=dword:00000001\r\n", "\"color default\"=dword:00000000\r\n",
                           "\"color window\"=hex:00,00,80,00\r\n",
                           "[HKEY_CURRENT_USER\\SOFTWARE\\ostrin\\Velmora\\most recently used]\r\n",
                           "\"host 0\"=hex(2):65,78,61,6d,70,6c,65,2e,6a,70,00,32,00,76,74,31,30,30,00,00\r\n",
                           "\"host 1\"=hex(2):00,00\r\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
  }

  // Loaded by a fresh store, saved again unchanged: the same bytes.
  RegFileStore again(file.string());
  Settings loaded;
  ColorScheme colors;
  ASSERT_TRUE(LoadSizeSettings(again, loaded, colors));
  ASSERT_TRUE(LoadAutoClose(again, loaded));
  EXPECT_EQ(loaded.columns, 100);
  EXPECT_EQ(loaded.rows, 30);
  EXPECT_EQ(loaded.autoClose, 1);
  EXPECT_EQ(colors.colorWindow, Rgb(0, 0, 0x80));
  int32_t encoding = -1;
  EXPECT_EQ(FindHost(again, "example.jp", &encoding), 0);
  EXPECT_EQ(encoding, 2);
  ASSERT_TRUE(SaveSizeSettings(again, loaded));
  ASSERT_TRUE(SaveColorScheme(again, colors));
  ASSERT_TRUE(AddHost(again, HistoryEntry::Make("example.jp", HostEncoding::UTF8, "vt100")));
  EXPECT_EQ(ReadAll(file), text);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace velmora

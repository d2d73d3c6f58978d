// Settings files that a crash, another program or a user's editor may leave behind: sizes no
// dialog allows, values of the wrong size or type, binary junk, a last line cut short, and a
// file that disappears or changes between the program reading it and writing it. Start-up must
// take what it can, build a working terminal from it, and a later save must leave a sound file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "app/main_window.h"
#include "app/recording_window.h"
#include "platform/posix/posix_socket.h"
#include "platform/posix/reg_file_store.h"
#include "screen/screen_test_support.h"
#include "settings/host_history.h"
#include "settings/settings_store.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string kHeader = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\ostrin\\Velmora]\r\n";

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Spit(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Junk that looks a little like the format: brackets, quotes, '=' and line ends among random
// bytes, NULs included. Seeded, so every run sees the same junk.
std::string Junk(size_t size, uint64_t seed) {
  static const char kSpice[] = "[]\"=\\\r\n:,@;-";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    const auto r = static_cast<uint32_t>(seed >> 33);
    out += r % 4 == 0 ? kSpice[r / 4 % (sizeof kSpice - 1)] : static_cast<char>(r & 0xFF);
  }
  return out;
}

class HostileSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velmora-hostile-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    folder_ = dir_ + "/ostrin";
    file_ = folder_ + "/Velmora.reg";
    fs::create_directories(folder_);
  }
  void TearDown() override {
    chmod(file_.c_str(), 0600);
    fs::remove_all(dir_);
  }

  std::string dir_, folder_, file_;
};

// The program's start-up on the file, then host output through the terminal it built, then a
// repaint of the whole window.
TEST_F(HostileSettings, StoredSizesBuildAWorkingTerminal) {
  const struct {
    const char* what;
    std::string values;
    int32_t columns, rows;
    uint32_t backlogMax;
  } cases[] = {
      {"rows 0", "\"rows\"=dword:00000000\r\n", 80, 24, 2147483647u},
      {"rows -1", "\"rows\"=dword:ffffffff\r\n", 80, 24, 2147483647u},
      {"rows 2147483647", "\"rows\"=dword:7fffffff\r\n", 80, 24, 2147483647u},
      {"columns 1000", "\"columns\"=dword:000003e8\r\n", 80, 24, 2147483647u},
      {"one row", "\"rows\"=dword:00000001\r\n", 80, 1, 2147483647u},
      {"one column", "\"columns\"=dword:00000001\r\n", 1, 24, 2147483647u},
      {"one cell without backlog",
       "\"columns\"=dword:00000001\r\n\"rows\"=dword:00000001\r\n\"back log max\"=dword:00000000\r\n", 1, 1, 0},
      {"the largest grid", "\"columns\"=dword:000003e7\r\n\"rows\"=dword:000003e7\r\n", 999, 999, 2147483647u},
      {"backlog -1", "\"back log max\"=dword:ffffffff\r\n", 80, 24, 4294967295u},
      // One byte replaces the low byte of the default; five bytes do not fit and are ignored.
      {"one byte", "\"rows\"=hex:05\r\n", 80, 5, 2147483647u},
      {"five bytes", "\"rows\"=hex:05,00,00,00,00\r\n", 80, 24, 2147483647u},
      {"text", "\"rows\"=\"30\"\r\n", 80, 24, 2147483647u},
      {"binary junk around",
       Junk(3000, 7) + "\r\n[HKEY_CURRENT_USER\\SOFTWARE\\ostrin\\Velmora]\r\n\"rows\"=dword:0000000c\r\n" +
           Junk(3000, 8),
       80, 12, 2147483647u},
      {"cut in the last value", "\"columns\"=dword:00000028\r\n\"rows\"=dword:0000", 40, 24, 2147483647u},
      {"cut in a continued list", "\"rows\"=hex:0c,00,\\\r\n", 80, 24, 2147483647u},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Spit(file_, kHeader + c.values);
    RegFileStore store(file_);
    testing::RecordingWindow window;
    PosixSocket socket;
    MainWindow logic(window, socket, store, 4242);
    logic.LoadSettingsAndCommandLine("");
    ASSERT_TRUE(logic.OnCreate());
    ScreenModel& s = logic.screen();
    EXPECT_EQ(s.columns(), c.columns);
    EXPECT_EQ(s.rows(), c.rows);
    EXPECT_EQ(s.backlogMax(), c.backlogMax);

    logic.session().SetHostEncoding(HostEncoding::SJIS);
    for (int i = 0; i < 150; ++i) {
      for (const char b : "line \x82\xa0\x82\xa2 \x1b[1;7mbold\x1b[m\r\n\x1b[K\t*\b"s) {
        logic.session().pipeline().ReceiveByte(static_cast<uint8_t>(b));
      }
    }
    testing::ExpectConsistent(s);
    EXPECT_LE(s.store().lineCount, static_cast<uint64_t>(s.backlogMax()) + static_cast<uint64_t>(s.rows()));
    window.painter.calls.clear();
    logic.Paint(window.painter, PixelRect{0, 0, 100000, 100000});
    EXPECT_FALSE(window.painter.Texts().empty());
  }
}

// A file of nothing but junk: start-up keeps the defaults; a save keeps the junk aside and
// writes a file that reads back what was saved, and saving again changes nothing.
TEST_F(HostileSettings, BinaryJunkFile) {
  const std::string junk = Junk(64u << 10, 42) + std::string(100, '\0');
  Spit(file_, junk);
  RegFileStore store(file_);
  Settings settings;
  ColorScheme colors;
  LoadSizeSettings(store, settings, colors);
  LoadAutoClose(store, settings);
  EXPECT_EQ(settings.columns, 80);
  EXPECT_EQ(settings.rows, 24);
  std::vector<std::string> hosts;
  FillHostCombo(store, hosts);
  EXPECT_TRUE(hosts.empty());

  settings.columns = 100;
  settings.rows = 1;
  ASSERT_TRUE(SaveSizeSettings(store, settings));
  ASSERT_TRUE(AddHost(store, HistoryEntry::Make("example.jp", HostEncoding::UTF8, "vt100")));
  EXPECT_EQ(Slurp(file_ + ".bad"), junk);
  const std::string saved = Slurp(file_);
  EXPECT_EQ(saved.rfind("REGEDIT4\r\n", 0), 0u);
  Settings again;
  LoadSizeSettings(store, again, colors);
  EXPECT_EQ(again.columns, 100);
  EXPECT_EQ(again.rows, 1);
  EXPECT_EQ(FindHost(store, "example.jp"), 0);
  ASSERT_TRUE(SaveSizeSettings(store, settings));
  EXPECT_EQ(Slurp(file_), saved);
}

// The program has read its settings (the key is open, its values in hand) when the file is
// removed, replaced or made unreadable; then the key closes and its writes are committed.
TEST_F(HostileSettings, FileChangesBetweenReadAndWrite) {
  const bool root = geteuid() == 0;
  const std::string original = kHeader + "\"rows\"=dword:0000001e\r\n\r\n"
                               "[HKEY_CURRENT_USER\\SOFTWARE\\other]\r\n\"kept\"=dword:00000001\r\n";
  const std::string junk = "not a registry file\r\n\x01\x02\x03"s;
  const struct {
    const char* what;
    std::function<void(const std::string& dir, const std::string& folder, const std::string& file)> change;
    bool written;    // the key's writes reach the file
    bool keptOther;  // the other key of the original file is still there
    bool needsNonRoot;
  } cases[] = {
      {"file removed", [](auto&, auto&, auto& file) { fs::remove(file); }, true, false, false},
      {"folder removed", [](auto&, auto& folder, auto&) { fs::remove_all(folder); }, true, false, false},
      {"replaced by junk", [&](auto&, auto&, auto& file) { Spit(file, junk); }, true, false, false},
      {"replaced by a folder",
       [](auto&, auto&, auto& file) {
         fs::remove(file);
         fs::create_directory(file);
       },
       false, false, false},
      {"made unreadable", [](auto&, auto&, auto& file) { chmod(file.c_str(), 0); }, false, true, true},
  };
  for (const auto& c : cases) {
    if (c.needsNonRoot && root) continue;
    SCOPED_TRACE(c.what);
    chmod(file_.c_str(), 0600);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    Spit(file_, original);
    RegFileStore store(file_);
    {
      auto key = store.CreateKey(kSettingsKey, true);
      ASSERT_NE(key, nullptr);
      c.change(dir_, folder_, file_);
      // What was read stays readable through the open key.
      uint8_t rows[4] = {};
      EXPECT_TRUE(key->ReadValue("rows", rows, sizeof rows));
      EXPECT_EQ(rows[0], 0x1e);
      const uint8_t columns[4] = {0x64, 0, 0, 0};
      EXPECT_TRUE(key->WriteValue("columns", kRegDword, columns, sizeof columns));
    }
    if (c.written) {
      Settings loaded;
      ColorScheme colors;
      EXPECT_TRUE(LoadSizeSettings(store, loaded, colors));
      EXPECT_EQ(loaded.columns, 100);
      EXPECT_EQ(loaded.rows, 24) << "the rows went with the file they were in";
    } else if (fs::is_directory(file_)) {
      EXPECT_TRUE(fs::is_empty(file_)) << "nothing was written into the folder";
    }
    if (c.keptOther) {
      chmod(file_.c_str(), 0600);
      EXPECT_EQ(Slurp(file_), original);
    }
    if (std::string(c.what) == "replaced by junk") {
      EXPECT_EQ(Slurp(file_ + ".bad"), junk);
    }
  }
}

}  // namespace
}  // namespace velmora

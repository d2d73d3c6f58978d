// The settings file: what it looks like on disk, what survives a save, and what happens when
// it is damaged, unwritable or saved by two running copies at once.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/reg_file_store.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMain = "SOFTWARE\\ostrin\\Velmora";
constexpr const char* kRecent = "SOFTWARE\\ostrin\\Velmora\\most recently used";
const std::string kMainLine = "[HKEY_CURRENT_USER\\SOFTWARE\\ostrin\\Velmora]";

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string Counting(int size) {
  std::string out;
  for (int i = 0; i < size; ++i) out += static_cast<char>(i);
  return out;
}

void Spit(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string Dword(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

bool Write(RegistryStore& store, const char* key, const std::string& name, uint32_t type, const std::string& data) {
  auto k = store.CreateKey(key, false);
  return k && k->WriteValue(name, type, Bytes(data), data.size());
}

// The value holds exactly `expected`: it fits a buffer of its size and not one byte less.
::testing::AssertionResult Holds(RegistryKey* key, const std::string& name, const std::string& expected) {
  if (key == nullptr) return ::testing::AssertionFailure() << "no key";
  std::vector<uint8_t> buffer(expected.size() + 1, 0xEE);
  if (!key->ReadValue(name, buffer.data(), expected.size())) return ::testing::AssertionFailure() << "unreadable";
  if (std::string(buffer.begin(), buffer.end() - 1) != expected || buffer.back() != 0xEE) {
    return ::testing::AssertionFailure() << "other bytes";
  }
  if (!expected.empty() && key->ReadValue(name, buffer.data(), expected.size() - 1)) {
    return ::testing::AssertionFailure() << "longer than expected";
  }
  return ::testing::AssertionSuccess();
}

class RegFileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velmora-reg-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    file_ = dir_ + "/cfg/ostrin/Velmora.reg";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string dir_;
  std::string file_;
};

struct TypeCase {
  std::string name;
  uint32_t type;
  std::string data;
  std::string line;  // as the file holds it
};

std::vector<TypeCase> TypeCases() {
  using namespace std::string_literals;
  return {
      {"Columns", kRegDword, Dword(0x50), "\"Columns\"=dword:00000050"},
      {"Big", kRegDword, Dword(0x12345678), "\"Big\"=dword:12345678"},
      {"Short", kRegDword, "\x50\x00"s, "\"Short\"=hex(4):50,00"},
      {"Empty", kRegBinary, "", "\"Empty\"=hex:"},
      {"Bin", kRegBinary, "\x3c\x00\xff"s, "\"Bin\"=hex:3c,00,ff"},
      // Wrapped as regedit does: at most 80 columns with the ",\", then lines indented by two.
      {"Colors", kRegBinary, Counting(30),
       "\"Colors\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
       "  16,17,18,19,1a,1b,1c,1d"},
      {"Long", kRegBinary, Counting(256), "  f7,f8,f9,fa,fb,fc,fd,fe,ff"},
      {"Logs", kRegExpandSz, "%HOME%\0x\0\0"s, "\"Logs\"=hex(2):25,48,4f,4d,45,25,00,78,00,00"},
      {"Quote", kRegSz, "a\"b\\c\0"s, "\"Quote\"=\"a\\\"b\\\\c\""},
      // The trail bytes 0x5C of "ソ" and "表" are part of their characters, not escapes.
      {"Font", kRegSz, "\x83\x5c\x95\x5c \x82\xa0\0"s, "\"Font\"=\"\x83\x5c\x95\x5c \x82\xa0\""},
      {"NoNul", kRegSz, "abc", "\"NoNul\"=hex(1):61,62,63"},
      {"InnerNul", kRegSz, "a\0b\0"s, "\"InnerNul\"=hex(1):61,00,62,00"},
      {"Break", kRegSz, "a\r\nb\0"s, "\"Break\"=hex(1):61,0d,0a,62,00"},
      {"LoneLead", kRegSz, "a\x83\0"s, "\"LoneLead\"=hex(1):61,83,00"},
      {"EmptyText", kRegSz, "\0"s, "\"EmptyText\"=\"\""},
      {"Multi", 7, "a\0\0"s, "\"Multi\"=hex(7):61,00,00"},
      {"Qword", 11, "\x01\0\0\0\0\0\0\x80"s, "\"Qword\"=hex(b):01,00,00,00,00,00,00,80"},
      {"", kRegSz, "x\0"s, "@=\"x\""},
      {"a\"b\\", kRegDword, Dword(1), "\"a\\\"b\\\\\"=dword:00000001"},
      {"\x95\x5c\x8e\xa6", kRegDword, Dword(2), "\"\x95\x5c\x8e\xa6\"=dword:00000002"},
  };
}

TEST_F(RegFileStoreTest, EveryTypeIsWrittenAsRegeditWritesItAndReadsBack) {
  {
    RegFileStore store(file_);
    auto key = store.CreateKey(kMain, true);
    for (const auto& c : TypeCases()) ASSERT_TRUE(key->WriteValue(c.name, c.type, Bytes(c.data), c.data.size()));
    for (const auto& c : TypeCases()) EXPECT_TRUE(Holds(key.get(), c.name, c.data)) << "pending " << c.line;
  }
  const std::string text = Slurp(file_);
  EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n" + kMainLine + "\r\n", 0), 0u);
  for (const auto& c : TypeCases()) EXPECT_NE(text.find("\r\n" + c.line + "\r\n"), std::string::npos) << c.line;
  for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) EXPECT_LE(end - at, 80u);
  RegFileStore again(file_);
  auto key = again.OpenKey(kMain, false);
  for (const auto& c : TypeCases()) EXPECT_TRUE(Holds(key.get(), c.name, c.data)) << c.line;
}

TEST_F(RegFileStoreTest, SavingAgainWithoutChangesKeepsTheFileByteForByte) {
  RegFileStore store(file_);
  for (const auto& c : TypeCases()) ASSERT_TRUE(Write(store, kMain, c.name, c.type, c.data));
  ASSERT_TRUE(Write(store, kRecent, "Host0", kRegSz, std::string("example.jp", 11)));
  const std::string saved = Slurp(file_);
  store.OpenKey(kMain, true).reset();
  EXPECT_EQ(Slurp(file_), saved);
  {
    auto key = store.OpenKey(kMain, true);
    for (const auto& c : TypeCases()) key->WriteValue(c.name, c.type, Bytes(c.data), c.data.size());
  }
  EXPECT_EQ(Slurp(file_), saved);
  EXPECT_FALSE(fs::exists(file_ + ".bad"));
}

TEST_F(RegFileStoreTest, HandEditedFileKeepsAllItsDataThroughASave) {
  fs::create_directories(fs::path(file_).parent_path());
  Spit(file_,
       "REGEDIT4\n; by hand, LF line ends\n\n\n"
       "[HKEY_CURRENT_USER\\SOFTWARE\\ostrin\\Velmora]\n"
       "\"Columns\"=dword:00000050\n"
       "  \"Rows\" = DWORD:18\n"
       "\"Latin\"=\"caf\xe9\"\n"  // not code page 932: read byte by byte
       "; colours follow\n"
       "\"Colors\"=hex:01,02,\\\n  03,04\n"
       "\"Multi\"=hex(7):61,00,00,00\n\n"
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Kept\"=\"yes\"\n\n"
       "[-HKEY_CURRENT_USER\\SOFTWARE\\Gone]\n\"Ignored\"=dword:00000001\n\n"
       "[HKEY_CURRENT_USER\\SOFTWARE\\ostrin\\Velmora\\most recently used]\n"
       "\"Removed\"=-\n@=\"host1\"\n\"Qword\"=hex(b):01,00,00,00,00,00,00,00");
  RegFileStore store(file_);
  ASSERT_TRUE(Write(store, kMain, "New", kRegDword, Dword(1)));

  const std::string text = Slurp(file_);
  EXPECT_NE(text.find("\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"Kept\"=\"yes\"\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Gone"), std::string::npos);
  EXPECT_FALSE(fs::exists(file_ + ".bad"));
  auto main = store.OpenKey(kMain, false);
  EXPECT_TRUE(Holds(main.get(), "Columns", Dword(0x50)));
  EXPECT_TRUE(Holds(main.get(), "rows", Dword(0x18)));
  EXPECT_TRUE(Holds(main.get(), "Latin", std::string("caf\xe9", 5)));
  EXPECT_TRUE(Holds(main.get(), "Colors", "\x01\x02\x03\x04"));
  EXPECT_TRUE(Holds(main.get(), "Multi", std::string("a\0\0\0", 4)));
  EXPECT_TRUE(Holds(main.get(), "New", Dword(1)));
  auto recent = store.OpenKey(kRecent, false);
  EXPECT_TRUE(Holds(recent.get(), "", std::string("host1", 6)));
  EXPECT_TRUE(Holds(recent.get(), "Qword", std::string("\x01\0\0\0\0\0\0\0", 8)));
  EXPECT_EQ(store.OpenKey("SOFTWARE\\Gone", false), nullptr);
}

TEST_F(RegFileStoreTest, NamesAndPathsCompareLikeTheRegistry) {
  RegFileStore store(file_);
  ASSERT_TRUE(Write(store, kMain, "Font", kRegDword, Dword(1)));
  ASSERT_TRUE(Write(store, "software\\OSTRIN\\velmora\\", "FONT", kRegDword, Dword(2)));
  // "ア" (83 41) and "ヂ" (83 61) differ only in a trail byte that is an ASCII letter.
  ASSERT_TRUE(Write(store, kMain, "\x83\x41", kRegDword, Dword(3)));
  ASSERT_TRUE(Write(store, kMain, "\x83\x61", kRegDword, Dword(4)));
  ASSERT_TRUE(Write(store, "SOFTWARE\\\x95\x5c", "x", kRegDword, Dword(5)));  // "表": 0x5C is no separator

  const std::string text = Slurp(file_);
  EXPECT_EQ(text.find(kMainLine), text.rfind(kMainLine));
  EXPECT_NE(text.find("\"Font\"=dword:00000002"), std::string::npos);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\SOFTWARE\\\x95\x5c]"), std::string::npos);
  auto key = store.OpenKey("Software\\Ostrin\\Velmora", false);
  EXPECT_TRUE(Holds(key.get(), "font", Dword(2)));
  EXPECT_TRUE(Holds(key.get(), "\x83\x41", Dword(3)));
  EXPECT_TRUE(Holds(key.get(), "\x83\x61", Dword(4)));
  EXPECT_EQ(store.OpenKey("SOFTWARE\\\x95", false), nullptr);
}

TEST_F(RegFileStoreTest, ReadValueCopiesOnlyWhatFits) {
  RegFileStore store(file_);
  ASSERT_TRUE(Write(store, kMain, "Three", kRegBinary, "\x01\x02\x03"));
  ASSERT_TRUE(Write(store, kMain, "None", kRegBinary, ""));
  auto key = store.OpenKey(kMain, false);
  struct Case {
    const char* name;
    size_t size;
    bool read;
    std::string after;
  } cases[] = {
      {"Three", 2, false, "\xEE\xEE\xEE\xEE\xEE"}, {"Three", 3, true, "\x01\x02\x03\xEE\xEE"},
      {"Three", 5, true, "\x01\x02\x03\xEE\xEE"},  {"Missing", 5, false, "\xEE\xEE\xEE\xEE\xEE"},
      {"None", 0, true, "\xEE\xEE\xEE\xEE\xEE"},
  };
  for (const auto& c : cases) {
    std::string buffer(5, '\xEE');
    EXPECT_EQ(key->ReadValue(c.name, reinterpret_cast<uint8_t*>(buffer.data()), c.size), c.read) << c.name << c.size;
    EXPECT_EQ(buffer, c.after) << c.name << c.size;
  }
  EXPECT_TRUE(key->ReadValue("None", nullptr, 0));
}

TEST_F(RegFileStoreTest, OpenFindsOnlyKeysThatExist) {
  RegFileStore store(file_);
  EXPECT_EQ(store.OpenKey(kMain, false), nullptr);
  EXPECT_EQ(store.OpenKey(kMain, true), nullptr);
  store.CreateKey(kRecent, false).reset();  // no values, yet it must be on disk
  EXPECT_NE(Slurp(file_).find("[HKEY_CURRENT_USER\\SOFTWARE\\ostrin\\Velmora\\most recently used]\r\n"),
            std::string::npos);
  struct stat info {};
  ASSERT_EQ(stat(fs::path(file_).parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  const struct {
    const char* path;
    bool found;
  } cases[] = {{kRecent, true}, {kMain, true}, {"SOFTWARE", true}, {"SOFTWARE\\ostrin\\Velmor", false},
               {"SOFTWARE\\ostrin\\Velmora\\most", false}, {"SOFTWARE\\Other", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(store.OpenKey(c.path, false) != nullptr, c.found) << c.path;
    EXPECT_EQ(store.OpenKey(c.path, true) != nullptr, c.found) << c.path;
  }
}

TEST_F(RegFileStoreTest, WritesReachTheFileWhenTheKeyCloses) {
  RegFileStore store(file_);
  auto key = store.CreateKey(kMain, false);
  ASSERT_TRUE(key->WriteValue("A", kRegDword, Bytes(Dword(1)), 4));
  ASSERT_TRUE(key->WriteValue("A", kRegDword, Bytes(Dword(2)), 4));
  EXPECT_TRUE(Holds(key.get(), "a", Dword(2)));
  EXPECT_EQ(store.OpenKey(kMain, false), nullptr);
  key.reset();
  auto reader = store.OpenKey(kMain, false);
  EXPECT_TRUE(Holds(reader.get(), "A", Dword(2)));
  EXPECT_FALSE(reader->WriteValue("B", kRegDword, Bytes(Dword(3)), 4));
  EXPECT_FALSE(store.CreateKey(kMain, false)->WriteValue("Line\nBreak", kRegDword, Bytes(Dword(3)), 4));
}

TEST_F(RegFileStoreTest, TwoProcessesSavingAtOnceKeepEachOthersValues) {
  constexpr int kRounds = 30;
  const auto run = [this](const std::string& tag) {
    RegFileStore store(file_);
    bool ok = true;
    for (int round = 0; round < kRounds; ++round) {
      ok = Write(store, (std::string(kMain) + "\\" + tag).c_str(), "Round", kRegDword, Dword(round)) && ok;
      auto shared = store.CreateKey(kMain, false);
      ok = shared->WriteValue(tag + std::to_string(round), kRegDword, Bytes(Dword(round)), 4) && ok;
    }
    return ok;
  };
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(run("Child") ? 0 : 1);
  EXPECT_TRUE(run("Parent"));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  RegFileStore store(file_);
  auto shared = store.OpenKey(kMain, false);
  for (const std::string tag : {"Child", "Parent"}) {
    EXPECT_TRUE(Holds(store.OpenKey((std::string(kMain) + "\\" + tag).c_str(), false).get(), "Round",
                      Dword(kRounds - 1)));
    for (int round = 0; round < kRounds; ++round) EXPECT_TRUE(Holds(shared.get(), tag + std::to_string(round), Dword(round)));
  }
}

TEST_F(RegFileStoreTest, DamagedFileYieldsWhatReadsAndIsKeptAsBadCopy) {
  const std::string head = "REGEDIT4\r\n\r\n" + kMainLine + "\r\n\"Good\"=dword:00000001\r\n";
  const std::string after = "\"After\"=dword:00000002\r\n";
  const struct {
    const char* what;
    std::string text;
    bool afterReadable;
  } cases[] = {
      {"garbage line", head + "this is not a value\r\n" + after, true},
      {"unknown type word", head + "\"Bad\"=qword:0000000000000001\r\n" + after, true},
      {"bad type number", head + "\"Bad\"=hex(zz):01\r\n" + after, true},
      {"odd hex", head + "\"Bad\"=hex:3c,0\r\n" + after, true},
      {"trailing comma", head + "\"Bad\"=hex:3c,00,\r\n" + after, true},
      {"continuation lost", head + "\"Bad\"=hex:01,02,\\\r\n" + after, true},
      {"cut in a continuation", head + "\"Bad\"=hex:01,02,\\\r\n  03,0", false},
      {"cut after a continuing line", head + "\"Bad\"=hex:01,02,\\", false},
      {"cut in a string", head + "\"Bad\"=\"abc", false},
      {"cut in a dword", head + "\"Bad\"=dword:0000", false},
      {"cut in a key line", head + "[HKEY_CURRENT_USER\\SOFTWARE\\ostrin\\Velmora\\x", false},
      {"no header", head.substr(10) + after, true},
      {"value before any key", "REGEDIT4\r\n\"Bad\"=dword:00000003\r\n" + head.substr(10) + after, true},
      {"binary junk", head + std::string("\0\xff\xfe\x01junk\r\n", 10) + after, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_ + "/cfg");
    fs::create_directories(fs::path(file_).parent_path());
    Spit(file_, c.text);
    RegFileStore store(file_);
    {
      auto key = store.OpenKey(kMain, false);
      EXPECT_TRUE(Holds(key.get(), "Good", Dword(1)));
      EXPECT_EQ(Holds(key.get(), "After", Dword(2)), c.afterReadable);
      EXPECT_FALSE(Holds(key.get(), "Bad", ""));
    }
    EXPECT_FALSE(fs::exists(file_ + ".bad"));  // reading alone copies nothing
    ASSERT_TRUE(Write(store, kRecent, "X", kRegDword, Dword(1)));
    EXPECT_EQ(Slurp(file_ + ".bad"), c.text);
    EXPECT_TRUE(Holds(store.OpenKey(kMain, false).get(), "Good", Dword(1)));
    // The file is sound again: later saves make no copy.
    fs::remove(file_ + ".bad");
    ASSERT_TRUE(Write(store, kRecent, "X", kRegDword, Dword(2)));
    EXPECT_FALSE(fs::exists(file_ + ".bad"));
    EXPECT_TRUE(Holds(store.OpenKey(kRecent, false).get(), "X", Dword(2)));
  }
}

TEST_F(RegFileStoreTest, UnwritablePlaceFailsSilently) {
  const bool root = geteuid() == 0;
  const struct {
    const char* what;
    std::string file;
    bool needsNonRoot;
  } cases[] = {
      {"folder is a plain file", dir_ + "/plain/Velmora.reg", false},
      {"file is a folder", dir_ + "/folder/Velmora.reg", false},
      {"read-only folder", dir_ + "/readonly/Velmora.reg", true},
  };
  Spit(dir_ + "/plain", "not a folder");
  fs::create_directories(dir_ + "/folder/Velmora.reg");
  fs::create_directories(dir_ + "/readonly");
  chmod((dir_ + "/readonly").c_str(), 0500);
  for (const auto& c : cases) {
    if (c.needsNonRoot && root) continue;
    SCOPED_TRACE(c.what);
    RegFileStore store(c.file);
    {
      auto key = store.CreateKey(kMain, false);
      ASSERT_NE(key, nullptr);
      EXPECT_TRUE(key->WriteValue("A", kRegDword, Bytes(Dword(1)), 4));
    }
    EXPECT_EQ(store.OpenKey(kMain, false), nullptr);
  }
  chmod((dir_ + "/readonly").c_str(), 0700);
  EXPECT_EQ(Slurp(dir_ + "/plain"), "not a folder");
  EXPECT_TRUE(fs::is_directory(dir_ + "/folder/Velmora.reg"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ + "/readonly"), fs::directory_iterator()), 0);
}

TEST(RegFileStoreDefaultPath, FollowsXdgConfigHomeOrHome) {
  const auto saved = [](const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  };
  const auto set = [](const char* name, const std::optional<std::string>& value) {
    value ? setenv(name, value->c_str(), 1) : unsetenv(name);
  };
  const auto xdg = saved("XDG_CONFIG_HOME"), home = saved("HOME");
  const struct {
    std::optional<std::string> xdg;
    std::string expected;
  } cases[] = {
      {"/x/conf", "/x/conf/ostrin/Velmora.reg"},
      {std::nullopt, "/home/u/.config/ostrin/Velmora.reg"},
      {"", "/home/u/.config/ostrin/Velmora.reg"},
      {"relative/conf", "/home/u/.config/ostrin/Velmora.reg"},
  };
  for (const auto& c : cases) {
    set("HOME", "/home/u");
    set("XDG_CONFIG_HOME", c.xdg);
    EXPECT_EQ(RegFileStore::DefaultPath(), c.expected) << c.xdg.value_or("(unset)");
  }
  set("XDG_CONFIG_HOME", xdg);
  set("HOME", home);
}

}  // namespace
}  // namespace velmora

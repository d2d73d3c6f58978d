// The Windows platform services under the window: text conversion at the API boundary, the
// settings store in the registry, and the socket driven by window messages.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frontends/win32/win32_registry.h"
#include "frontends/win32/win32_socket.h"
#include "frontends/win32/win32_text.h"
#include "settings/host_history.h"
#include "settings/settings_store.h"
#include "support/loopback_host.h"

namespace velmora::testing {
namespace {

TEST(Win32Text, CodePage932AndUtf16) {
  struct Case {
    std::string cp932;
    std::wstring wide;
  };
  const Case cases[] = {
      {"abc", L"abc"},
      {"\x82\xa0\x8a\xbf", L"\x3042\x6f22"},            // あ漢
      {"\xb1\xdf", L"\xff71\xff9f"},                     // half-width kana
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},  // NULs inside text stay
      {"\x87\x40", L"\x2460"},                           // NEC row 13: circled one
      {"\\~", L"\\~"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cp932ToWide(c.cp932), c.wide);
    EXPECT_EQ(WideToCp932(c.wide), c.cp932);
  }
  // No character: a lone lead byte at the end, an unassigned pair; a character code page 932 lacks.
  EXPECT_EQ(Cp932ToWide("a\x82"), L"a\xfffd");
  EXPECT_EQ(Cp932ToWide("\x85\x40"), L"\xfffd");
  EXPECT_EQ(WideToCp932(L"x\x20acy"), "x?y");  // shown as replaced, not dropped
  EXPECT_EQ(WideToCp932(L"\xd83d\xde00."), "?.");  // one character beyond the 16-bit range
  // The JIS forms that Linux hosts and input methods give: 〜 − ¥ as code page 932 has them.
  EXPECT_EQ(WideToCp932(L"\x301c\x2212\xa5"), "\x81\x60\x81\x7c\\");
  // The core's UTF-8 texts, including one outside the 16-bit range.
  EXPECT_EQ(Utf8ToWide("\xe6\x8e\xa5\xe7\xb6\x9a(&O)..."), L"\x63a5\x7d9a(&O)...");
  EXPECT_EQ(Utf8ToWide("\xf0\x9f\x98\x80"), L"\xd83d\xde00");
}

// A key of its own under HKEY_CURRENT_USER, removed afterwards.
class Win32Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    path = "SOFTWARE\\ostrin\\VelmoraTest" + std::to_string(GetCurrentProcessId());
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, Cp932ToWide(path).c_str()); }

  // The value as the registry holds it: type and raw bytes.
  std::pair<DWORD, std::vector<uint8_t>> Raw(const std::string& key, const std::wstring& name) {
    DWORD type = 0, size = 0;
    RegGetValueW(HKEY_CURRENT_USER, Cp932ToWide(key).c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                 nullptr, &size);
    std::vector<uint8_t> data(size);
    RegGetValueW(HKEY_CURRENT_USER, Cp932ToWide(key).c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                 data.data(), &size);
    data.resize(size);
    return {type, data};
  }

  std::string path;
  Win32RegistryStore store;
};

TEST_F(Win32Registry, ValuesKeepTheirTypesAndBytes) {
  EXPECT_EQ(store.OpenKey(path, false), nullptr);  // not there yet
  {
    auto key = store.CreateKey(path, true);
    ASSERT_NE(key, nullptr);
    const uint32_t dword = 0x12345678;
    EXPECT_TRUE(key->WriteValue("columns", kRegDword, reinterpret_cast<const uint8_t*>(&dword), 4));
    const uint8_t binary[5] = {0, 1, 0xFF, 0x80, 7};
    EXPECT_TRUE(key->WriteValue("blob", kRegBinary, binary, sizeof binary));
    const std::string text("\x82\xa0" "host\0" "1\0" "vt52\0\0", 14);
    EXPECT_TRUE(key->WriteValue("host 0", kRegExpandSz, reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    EXPECT_TRUE(key->WriteValue("\x96\xbc\x91\x4f", kRegSz, reinterpret_cast<const uint8_t*>("x"), 2));  // 名前
  }
  // In the registry: the numbers as given, the texts as UTF-16.
  EXPECT_EQ(Raw(path, L"columns").first, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(Raw(path, L"columns").second, (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(Raw(path, L"blob").second, (std::vector<uint8_t>{0, 1, 0xFF, 0x80, 7}));
  const auto host = Raw(path, L"host 0");
  EXPECT_EQ(host.first, static_cast<DWORD>(REG_EXPAND_SZ));
  const std::wstring wide(L"\x3042host\0" L"1\0" L"vt52\0\0", 13);
  ASSERT_EQ(host.second.size(), wide.size() * 2);
  EXPECT_EQ(std::memcmp(host.second.data(), wide.data(), host.second.size()), 0);
  EXPECT_EQ(Raw(path, L"\x540d\x524d").first, static_cast<DWORD>(REG_SZ));

  // Read back: a value is taken only when it fits the field, which is otherwise left alone.
  auto key = store.OpenKey(path, false);
  ASSERT_NE(key, nullptr);
  uint8_t buffer[16];
  std::memset(buffer, 0xAA, sizeof buffer);
  ASSERT_TRUE(key->ReadValue("host 0", buffer, sizeof buffer));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 14), std::string("\x82\xa0" "host\0" "1\0" "vt52\0\0", 14));
  EXPECT_EQ(buffer[14], 0xAA);
  std::memset(buffer, 0xAA, sizeof buffer);
  EXPECT_FALSE(key->ReadValue("host 0", buffer, 13));
  EXPECT_EQ(buffer[0], 0xAA);
  EXPECT_FALSE(key->ReadValue("missing", buffer, sizeof buffer));
  ASSERT_TRUE(key->ReadValue("columns", buffer, 4));
  EXPECT_EQ(buffer[0], 0x78);
  // A key opened for reading cannot be written.
  EXPECT_FALSE(key->WriteValue("columns", kRegDword, buffer, 4));
}

TEST_F(Win32Registry, HistoryOfElevenConnections) {
  // The program's own history key (the tests run in a Wine prefix of their own).
  const std::string history(kHistoryKey);
  RegDeleteTreeW(HKEY_CURRENT_USER, Cp932ToWide(history).c_str());
  for (int i = 0; i < 11; ++i) {
    ASSERT_TRUE(AddHost(store, HistoryEntry::Make("host" + std::to_string(i), HostEncoding::SJIS, "vt100")));
  }
  // The newest first, ten slots, the oldest gone.
  std::vector<std::string> names;
  FillHostCombo(store, names);
  ASSERT_EQ(names.size(), 10u);
  EXPECT_EQ(names.front(), "host10");
  EXPECT_EQ(names.back(), "host1");
  const auto slot = Raw(history, L"host 0");
  const std::wstring want(L"host10\0" L"1\0" L"vt100\0\0", 16);
  ASSERT_EQ(slot.second.size(), want.size() * 2);
  EXPECT_EQ(std::memcmp(slot.second.data(), want.data(), slot.second.size()), 0);
  RegDeleteTreeW(HKEY_CURRENT_USER, Cp932ToWide(history).c_str());
}

// A store that notes the access each key is asked with, on its way to the registry.
class AccessLog : public RegistryStore {
 public:
  explicit AccessLog(RegistryStore& store) : store_(store) {}
  std::unique_ptr<RegistryKey> OpenKey(std::string_view path, bool writable) override {
    log.push_back(std::string(writable ? "open rw " : "open r ") + std::string(path));
    return store_.OpenKey(path, writable);
  }
  std::unique_ptr<RegistryKey> CreateKey(std::string_view path, bool readable) override {
    log.push_back(std::string(readable ? "create rw " : "create w ") + std::string(path));
    return store_.CreateKey(path, readable);
  }
  std::vector<std::string> log;

 private:
  RegistryStore& store_;
};

// The saves create the settings key for writing alone; adding a host creates the history key
// for reading and writing, since it reads the slots before it rewrites them.
TEST_F(Win32Registry, EachOperationAsksTheAccessItNeeds) {
  // What the registry allows each kind of key.
  {
    const uint8_t one[4] = {1, 0, 0, 0};
    uint8_t buffer[4] = {};
    auto writeOnly = store.CreateKey(path, false);
    ASSERT_NE(writeOnly, nullptr);
    EXPECT_TRUE(writeOnly->WriteValue("rows", kRegDword, one, 4));
    EXPECT_FALSE(writeOnly->ReadValue("rows", buffer, 4));
    auto both = store.CreateKey(path, true);
    ASSERT_NE(both, nullptr);
    EXPECT_TRUE(both->ReadValue("rows", buffer, 4));
    EXPECT_EQ(buffer[0], 1);
    EXPECT_TRUE(both->WriteValue("rows", kRegDword, one, 4));
  }

  // The operations, on a root of the test's own.
  HKEY root = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Cp932ToWide(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &root, nullptr),
            ERROR_SUCCESS);
  Win32RegistryStore rooted(root);
  AccessLog logged(rooted);
  const std::string settingsKey(kSettingsKey), history(kHistoryKey);
  Settings settings;
  ColorScheme colors;
  struct Case {
    const char* what;
    std::function<bool()> run;
    std::string access;
  };
  const Case cases[] = {
      {"font", [&] { return SaveFontSetting(logged, settings); }, "create w " + settingsKey},
      {"size", [&] { return SaveSizeSettings(logged, settings); }, "create w " + settingsKey},
      {"auto close", [&] { return SaveAutoClose(logged, settings); }, "create w " + settingsKey},
      {"colours", [&] { return SaveColorScheme(logged, colors); }, "create w " + settingsKey},
      {"first host", [&] { return AddHost(logged, HistoryEntry::Make("a", HostEncoding::EUC, "vt100")); },
       "create rw " + history},
      {"second host", [&] { return AddHost(logged, HistoryEntry::Make("b", HostEncoding::UTF8, "vt52")); },
       "create rw " + history},
      {"removal", [&] { return RemoveHost(logged, 1); }, "open rw " + history},
  };
  for (const Case& c : cases) {
    logged.log.clear();
    EXPECT_TRUE(c.run()) << c.what;
    EXPECT_EQ(logged.log, std::vector<std::string>{c.access}) << c.what;
  }
  // The second host found the first in its slot, and the removal took that one away.
  std::vector<std::string> names;
  EXPECT_TRUE(FillHostCombo(rooted, names));
  EXPECT_EQ(names, std::vector<std::string>{"b"});
  uint32_t rows = 0;
  EXPECT_TRUE(rooted.OpenKey(settingsKey, false)->ReadValue("rows", reinterpret_cast<uint8_t*>(&rows), 4));
  EXPECT_EQ(rows, 24u);
  RegCloseKey(root);
}

// A hidden window that hands the socket its messages, and a peer listening on 127.0.0.1.
class Win32SocketTest : public ::testing::Test, public SocketEventHandler {
 protected:
  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == kWmSocket) {
      auto* self = reinterpret_cast<Win32SocketTest*>(GetWindowLongPtrW(w, GWLP_USERDATA));
      if (self != nullptr) self->socket->OnSocketMessage(wp, lp);
      return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
  }
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 0), &data), 0);
    WNDCLASSW c{};
    c.lpfnWndProc = Proc;
    c.hInstance = GetModuleHandleW(nullptr);
    c.lpszClassName = L"VelmoraSocketTest";
    RegisterClassW(&c);
    window = CreateWindowW(L"VelmoraSocketTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, c.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    int len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    socket = std::make_unique<Win32Socket>(port);
    socket->SetWindow(window);
    socket->SetEventHandler(this);
  }
  void TearDown() override {
    socket.reset();
    if (peer != INVALID_SOCKET) closesocket(peer);
    if (listener != INVALID_SOCKET) closesocket(listener);
    DestroyWindow(window);
    WSACleanup();
  }
  void OnSocketEvent(SocketEvent e, int error) override {
    events.push_back(e);
    errors.push_back(error);
    if (e == SocketEvent::Readable) {
      uint8_t buf[512];
      const long n = socket->Receive(buf, sizeof buf);
      if (n > 0) received.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
    }
  }
  // Pumps the window's messages until `done` holds (at most 30 s).
  bool Until(const std::function<bool()>& done) {
    return testing::PumpUntil(done, [] {
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
      Sleep(1);
      return true;
    });
  }
  bool Saw(SocketEvent e) const { return std::find(events.begin(), events.end(), e) != events.end(); }

  HWND window = nullptr;
  SOCKET listener = INVALID_SOCKET;
  SOCKET peer = INVALID_SOCKET;
  uint16_t port = 0;
  std::unique_ptr<Win32Socket> socket;
  std::vector<SocketEvent> events;
  std::vector<int> errors;
  std::string received;
};

TEST_F(Win32SocketTest, ConnectTalkAndClose) {
  ASSERT_EQ(socket->Connect({"127.0.0.1", std::nullopt}), 0);
  EXPECT_TRUE(socket->IsOpen());
  ASSERT_TRUE(Until([&] { return Saw(SocketEvent::Connected); }));
  EXPECT_EQ(errors[0], 0);
  peer = accept(listener, nullptr, nullptr);
  ASSERT_NE(peer, INVALID_SOCKET);

  ASSERT_EQ(send(peer, "\xff\xfd\x18hello", 8, 0), 8);
  ASSERT_TRUE(Until([&] { return received.size() >= 8; }));
  EXPECT_EQ(received, "\xff\xfd\x18hello");
  const uint8_t reply[] = {0xff, 0xfb, 0x18};
  EXPECT_EQ(socket->Send(reply, 3), 3);
  char got[3] = {};
  ASSERT_EQ(recv(peer, got, 3, 0), 3);
  EXPECT_EQ(std::memcmp(got, reply, 3), 0);

  // The sending side shut: the peer reads the end while the connection lives on.
  socket->ShutdownSend();
  EXPECT_EQ(recv(peer, got, 3, 0), 0);
  closesocket(peer);
  peer = INVALID_SOCKET;
  ASSERT_TRUE(Until([&] { return Saw(SocketEvent::Closed); }));
  socket->Close();
  EXPECT_FALSE(socket->IsOpen());
}

// A socket on which the host "several" has the addresses of the hosts in `hosts`, in order.
class SeveralAddressSocket : public Win32Socket {
 public:
  explicit SeveralAddressSocket(std::vector<std::string> hosts) : hosts_(std::move(hosts)) {}

 protected:
  int Resolve(const std::string& host, std::vector<Candidate>& out) const override {
    if (host != "several") return Win32Socket::Resolve(host, out);
    for (const std::string& h : hosts_) {
      if (const int error = Win32Socket::Resolve(h, out); error != 0) return error;
    }
    return 0;
  }

 private:
  std::vector<std::string> hosts_;
};

// The listener is on 127.0.0.1 only: 127.0.0.2 and 127.0.0.3 refuse on its port.
TEST_F(Win32SocketTest, EachAddressIsTriedUntilOneConnects) {
  const struct {
    const char* name;
    std::vector<std::string> hosts;
    int result;
  } cases[] = {
      {"first refuses", {"127.0.0.2", "127.0.0.1"}, 0},
      {"two refuse", {"127.0.0.2", "127.0.0.3", "127.0.0.1"}, 0},
      {"the first connects", {"127.0.0.1", "127.0.0.2"}, 0},
      {"all refuse: the last error", {"127.0.0.2", "127.0.0.3"}, WSAECONNREFUSED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    socket = std::make_unique<SeveralAddressSocket>(c.hosts);
    socket->SetWindow(window);
    socket->SetEventHandler(this);
    events.clear();
    errors.clear();
    ASSERT_EQ(socket->Connect({"several", port}), 0);
    ASSERT_TRUE(Until([&] { return Saw(SocketEvent::Connected); }));
    std::vector<int> connects;
    for (size_t i = 0; i < events.size(); ++i) {
      if (events[i] == SocketEvent::Connected) connects.push_back(errors[i]);
    }
    EXPECT_EQ(connects, std::vector<int>{c.result});  // one report, whatever was tried
    EXPECT_TRUE(socket->IsOpen());
    if (c.result == 0) {
      const SOCKET accepted = accept(listener, nullptr, nullptr);
      EXPECT_NE(accepted, INVALID_SOCKET);
      closesocket(accepted);
    }
    socket->Close();
  }
}

TEST_F(Win32SocketTest, FailuresAreErrorCodes) {
  // Nobody listens: the connect is under way, then ends with the refusal.
  closesocket(listener);
  listener = INVALID_SOCKET;
  ASSERT_EQ(socket->Connect({"127.0.0.1", std::nullopt}), 0);
  ASSERT_TRUE(Until([&] { return Saw(SocketEvent::Connected); }));
  EXPECT_EQ(errors[0], WSAECONNREFUSED);
  socket->Close();

  // A name that resolves nowhere: an error code at once, and no socket.
  const int error = socket->Connect({"no-such-host.invalid", std::nullopt});
  EXPECT_NE(error, 0);
  EXPECT_FALSE(socket->IsOpen());

  // A message about a socket that is gone is ignored.
  events.clear();
  socket->OnSocketMessage(12345, WSAMAKESELECTREPLY(FD_READ, 0));
  EXPECT_TRUE(events.empty());
}

}  // namespace
}  // namespace velmora::testing

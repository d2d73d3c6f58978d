// The connection's life in the main window's logic, against a host played on 127.0.0.1: the
// states and titles, what a new connection resets, the history, failed connections, one read
// per readable event, the host's close (with auto close, up to the window's end), the user's
// disconnect, a cancelled connection dialog, and pasted text through the outgoing queue.
#include <gtest/gtest.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "app/ui_text.h"
#include "headless.h"
#include "settings/host_history.h"

namespace velmora::testing {
namespace {

const std::string kKey = "SOFTWARE\\ostrin\\Velmora";
const std::string kHistory = "SOFTWARE\\ostrin\\Velmora\\most recently used";
const std::string kIdle = "未接続 - Velmora";
const std::string kConnecting = "接続中... - Velmora";
const std::string kHost = "127.0.0.1 - Velmora";

// A window that notes, at every title change, the title and the first screen rows as they were
// at that moment.
class TitleWatchWindow : public RecordingWindow {
 public:
  struct Snapshot {
    std::string title;
    std::vector<std::string> rows;
  };
  std::vector<Snapshot> snapshots;

  void SetTitleText(const std::string& t) override {
    RecordingWindow::SetTitleText(t);
    Snapshot shot{t, {}};
    if (logic != nullptr && logic->screen().store().screenTop != nullptr) {
      for (int r = 0; r < 12; ++r) {
        const TerminalLine* l = logic->screen().ScreenLine(r);
        std::string s(reinterpret_cast<const char*>(l->text()), static_cast<size_t>(l->width));
        shot.rows.push_back(s.erase(s.find_last_not_of(' ') + 1));
      }
    }
    snapshots.push_back(std::move(shot));
  }
};

using Terminal = HeadlessOf<TitleWatchWindow>;

// The connection dialog answered with OK and these choices.
void DialogChooses(Terminal& h, const std::string& host, std::optional<int32_t> encodingButton, bool vt52,
                   bool autoClose) {
  h.window.connectDialog = [=](ConnectDialogModel& model, ConnectDialogState& state) {
    state.hostField = host;
    state.encodingButton = encodingButton;
    state.vt52 = vt52;
    state.autoClose = autoClose;
    model.OnOk(state);
    return true;
  };
}

void Start(Terminal& h) {
  h.logic.LoadSettingsAndCommandLine("");
  ASSERT_TRUE(h.logic.OnCreate());
}

// The connect command through the dialog, up to the connected state.
void Connect(Terminal& h, LoopbackHost& peer) {
  h.logic.OnCommand(kCmdConnect);
  ASSERT_EQ(h.window.title, kConnecting);
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kHost; }));
}

// The titles set so far, without the "title " prefix.
std::vector<std::string> Titles(const Terminal& h) {
  std::vector<std::string> out;
  for (const auto& c : h.window.Only("title ")) out.push_back(c.substr(6));
  return out;
}

int Count(const std::vector<std::string>& calls, const std::string& call) {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

TEST(Lifecycle, UserDisconnectShowsHostOutputUntilItCloses) {
  LoopbackHost peer;
  Terminal h(peer.port);
  Start(h);
  EXPECT_EQ(h.window.title, kIdle);
  EXPECT_FALSE(h.logic.IsConnected());

  // A cancelled dialog leaves everything idle.
  h.logic.OnCommand(kCmdConnect);
  EXPECT_EQ(Count(h.window.calls, "connect dialog"), 1);
  EXPECT_EQ(h.window.title, kIdle);
  EXPECT_FALSE(h.logic.IsConnected());

  DialogChooses(h, "127.0.0.1", 1, true, true);  // auto close on: the user's disconnect must not use it
  h.logic.OnCommand(kCmdConnect);
  EXPECT_EQ(h.window.title, kConnecting);
  EXPECT_TRUE(h.logic.IsConnected());  // the connect is under way: the menus count it as connected
  EXPECT_EQ(h.logic.MenuStateForPopup(0, false)[0], (MenuItemState{kCmdConnect, false, false}));
  h.logic.OnCommand(kCmdConnect);  // no second dialog while a connection exists
  EXPECT_EQ(Count(h.window.calls, "connect dialog"), 2);
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kHost; }));

  peer.Send("one\r\n");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(0) == "one"; }));

  // Disconnect: the host sees the end of input, the connection stays until the host closes.
  h.logic.OnCommand(kCmdDisconnect);
  ASSERT_TRUE(h.PumpUntil([&] { return peer.sawEnd; }, &peer));
  EXPECT_EQ(peer.Take(), "");
  EXPECT_EQ(h.window.title, kHost);
  EXPECT_TRUE(h.logic.IsConnected());
  EXPECT_EQ(h.logic.MenuStateForPopup(0, false)[1], (MenuItemState{kCmdDisconnect, true, false}));
  h.logic.OnCommand(kCmdDisconnect);  // again: harmless

  peer.Send("still talking\r\n");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(1) == "still talking"; }));
  EXPECT_EQ(h.window.title, kHost);

  peer.CloseConnection();
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kIdle; }));
  EXPECT_FALSE(h.logic.IsConnected());
  EXPECT_EQ(h.window.closeRequests, 0);
  EXPECT_EQ(Titles(h), (std::vector<std::string>{kIdle, kConnecting, kHost, kIdle}));
  EXPECT_EQ(h.logic.MenuStateForPopup(0, false)[0], (MenuItemState{kCmdConnect, true, false}));

  // Idle again: closing asks nothing.
  h.logic.OnClose();
  EXPECT_TRUE(h.window.questions.empty());
  EXPECT_TRUE(h.window.destroyed);
}

TEST(Lifecycle, HostCloseReturnsToIdle) {
  LoopbackHost peer;
  Terminal h(peer.port);
  Start(h);
  DialogChooses(h, "127.0.0.1", 1, false, false);
  Connect(h, peer);
  peer.Send("bye\r\n");
  peer.CloseConnection();
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kIdle; }));
  EXPECT_EQ(h.Row(0), "bye");
  EXPECT_FALSE(h.logic.IsConnected());
  EXPECT_EQ(h.socket.fd(), -1);
  EXPECT_EQ(h.window.closeRequests, 0);  // auto close is off
  EXPECT_EQ(Titles(h), (std::vector<std::string>{kIdle, kConnecting, kHost, kIdle}));

  // The next connection works as the first.
  Connect(h, peer);
  peer.Send("again");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(1) == "again"; }));
}

TEST(Lifecycle, ConnectResetsRegionAttributeAndSavedPosition) {
  LoopbackHost peer;
  Terminal h(peer.port);
  Start(h);
  ScreenModel& s = h.logic.screen();
  for (const char c : std::string("keep")) s.PutChar(static_cast<uint8_t>(c));
  ASSERT_TRUE(s.SetScrollRegion(2, 10));
  s.AddAttribute(kAttrBold | kAttrReverse);
  s.MoveCursor(7, 3);
  s.SaveCursor();
  s.MoveCursor(12, 5);
  ASSERT_EQ(s.state().savedCol, 7);

  DialogChooses(h, "127.0.0.1", 0, false, false);
  Connect(h, peer);
  EXPECT_EQ(s.state().regionTop, 0);
  EXPECT_EQ(s.state().regionBottom, 23);
  EXPECT_EQ(s.state().currentAttr, 0);
  EXPECT_EQ(s.state().savedCol, 0);
  EXPECT_EQ(s.state().savedRow, 0);
  EXPECT_EQ(s.state().cursorCol, 12);  // the cursor and the text stay
  EXPECT_EQ(s.state().cursorRow, 5);
  EXPECT_EQ(h.Row(0), "keep");

  // What the host writes next is plain and lands at the kept cursor.
  peer.Send("x");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(5) == std::string(12, ' ') + "x"; }));
  EXPECT_EQ(s.ScreenLine(5)->attrs()[12], 0);
}

TEST(Lifecycle, ConnectRecordsTheHostFirstInTheHistory) {
  struct Case {
    std::optional<int32_t> button;
    bool vt52;
    std::string entry;
  };
  const Case cases[] = {
      {0, false, std::string("127.0.0.1\0" "0\0" "vt100\0\0", 19)},
      {1, true, std::string("127.0.0.1\0" "1\0" "vt52\0\0", 18)},
      {2, false, std::string("127.0.0.1\0" "2\0" "vt100\0\0", 19)},
      {std::nullopt, true, std::string("127.0.0.1\0" "0\0" "vt52\0\0", 18)},
  };
  for (const Case& c : cases) {
    LoopbackHost peer;
    Terminal h(peer.port);
    ASSERT_TRUE(AddHost(h.store, HistoryEntry::Make("127.0.0.1", HostEncoding::SJIS, "vt52")));
    ASSERT_TRUE(AddHost(h.store, HistoryEntry::Make("other", HostEncoding::EUC, "vt100")));
    Start(h);
    DialogChooses(h, "127.0.0.1", c.button, c.vt52, false);
    h.logic.OnCommand(kCmdConnect);
    EXPECT_EQ(h.store.Get(kHistory, "host 0")->bytes.substr(0, 5), std::string("other"));  // not before the connect
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kHost; }));
    EXPECT_EQ(h.store.Get(kHistory, "host 0")->bytes, c.entry);
    EXPECT_EQ(h.store.Get(kHistory, "host 1")->bytes, std::string("other\0" "0\0" "vt100\0\0", 15));
    EXPECT_EQ(h.store.Get(kHistory, "host 2")->bytes, std::string(2, '\0'));
  }
}

// The text the system has for a failed lookup of `host`.
std::string LookupFailureText(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (found != nullptr) freeaddrinfo(found);
  if (rc == 0) return "<" + host + " resolves here>";
  if (rc == EAI_SYSTEM) return std::strerror(errno);
  return gai_strerror(rc);
}

TEST(Lifecycle, FailedConnectionsAreReportedAndOfferToForgetTheHost) {
  enum class Failure { Refused, Unresolvable };
  enum class History { Absent, AnswerYes, AnswerNo };
  const std::string unresolvable = "no-such-host.invalid";
  const std::string unresolvableText = LookupFailureText(unresolvable);
  for (const Failure failure : {Failure::Refused, Failure::Unresolvable}) {
    for (const History history : {History::Absent, History::AnswerYes, History::AnswerNo}) {
      SCOPED_TRACE(std::string(failure == Failure::Refused ? "refused" : "unresolvable") + " " +
                   std::to_string(static_cast<int>(history)));
      LoopbackHost peer;
      peer.CloseListeners();  // nobody listens on the port any more
      Terminal h(peer.port);
      const std::string host = failure == Failure::Refused ? "127.0.0.1" : unresolvable;
      if (history != History::Absent) {
        ASSERT_TRUE(AddHost(h.store, HistoryEntry::Make(host, HostEncoding::EUC, "vt100")));
      }
      ASSERT_TRUE(AddHost(h.store, HistoryEntry::Make("other", HostEncoding::EUC, "vt100")));
      Start(h);
      ASSERT_TRUE(h.logic.screen().SetScrollRegion(3, 9));
      h.window.answerYes = history != History::AnswerNo;
      DialogChooses(h, host, 0, false, false);
      h.window.calls.clear();
      h.logic.OnCommand(kCmdConnect);
      ASSERT_TRUE(h.PumpUntil([&] { return !h.window.messages.empty(); }));

      EXPECT_EQ(h.window.messages, std::vector<std::string>{failure == Failure::Refused ? std::strerror(ECONNREFUSED)
                                                                                       : unresolvableText});
      EXPECT_FALSE(h.logic.IsConnected());
      EXPECT_EQ(h.socket.fd(), -1);
      EXPECT_EQ(h.window.title, kIdle);
      EXPECT_EQ(h.logic.screen().state().regionTop, 3);  // a failed connection resets nothing
      EXPECT_EQ(h.window.closeRequests, 0);
      std::vector<std::string> expected{"connect dialog", "title " + kConnecting, "message"};
      if (history != History::Absent) {
        ASSERT_EQ(h.window.questions.size(), 1u);
        EXPECT_EQ(h.window.questions[0], "ホスト\"" + host + "\"を接続履歴から削除しますか?");
        expected.push_back("ask question");
      } else {
        EXPECT_TRUE(h.window.questions.empty());
      }
      expected.push_back("title " + kIdle);
      EXPECT_EQ(h.window.calls, expected);

      std::vector<std::string> names;
      FillHostCombo(h.store, names);
      if (history == History::AnswerYes) {
        EXPECT_EQ(names, std::vector<std::string>{"other"});
        EXPECT_EQ(h.logic.hostName(), "");
      } else if (history == History::AnswerNo) {
        EXPECT_EQ(names, (std::vector<std::string>{"other", host}));
        EXPECT_EQ(h.logic.hostName(), host);
      } else {
        EXPECT_EQ(names, std::vector<std::string>{"other"});
        EXPECT_EQ(h.logic.hostName(), host);
      }

      // What the next connection dialog offers.
      h.window.connectDialog = nullptr;
      h.logic.OnCommand(kCmdConnect);
      EXPECT_EQ(h.window.lastConnectState.hostField, history == History::AnswerYes ? "other" : host);
    }
  }
}

// The host text with a port, as typed on the command line, reaches a host on that port over
// IPv4 or IPv6; the title and the history keep the text as typed, beside the same host without
// a port.
void ConnectsThroughTheHostText(int family, const std::string& address) {
  LoopbackHost peer({family == AF_INET6 ? "::1" : "127.0.0.1"});
  if (peer.port == 0) GTEST_SKIP() << "this machine has no " << address << " loopback to listen on";
  Terminal h;  // no port of the tests' own: only the host text names it
  ASSERT_TRUE(AddHost(h.store, HistoryEntry::Make(address, HostEncoding::EUC, "vt100")));
  const std::string text = (family == AF_INET6 ? "[" + address + "]" : address) + ":" + std::to_string(peer.port);
  h.logic.LoadSettingsAndCommandLine("/H " + text + " /C utf8");
  ASSERT_TRUE(h.logic.OnCreate());
  h.logic.ConnectAtStart();
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == text + " - Velmora"; }));
  peer.Send("over " + address + "\r\n");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(0) == "over " + address; }));
  EXPECT_EQ(h.store.Get(kHistory, "host 0")->bytes, text + std::string("\0" "2\0" "vt100\0\0", 10));
  std::vector<std::string> names;
  FillHostCombo(h.store, names);
  EXPECT_EQ(names, (std::vector<std::string>{text, address}));
}

TEST(Lifecycle, HostTextWithPortReachesThatPortOverIPv4) { ConnectsThroughTheHostText(AF_INET, "127.0.0.1"); }
TEST(Lifecycle, HostTextWithPortReachesThatPortOverIPv6) { ConnectsThroughTheHostText(AF_INET6, "::1"); }

// A name with addresses of both families: the first address refuses, the next is tried. Where
// "localhost" has only one family the case cannot be made and is skipped.
TEST(Lifecycle, ARefusedAddressGoesOnToTheNext) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::vector<int> families;
  if (getaddrinfo("localhost", nullptr, &hints, &found) == 0) {
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) families.push_back(a->ai_family);
    freeaddrinfo(found);
  }
  const auto second = std::find_if(families.begin(), families.end(), [&](int f) { return f != families[0]; });
  if (second == families.end()) GTEST_SKIP() << "\"localhost\" has addresses of one family only here";
  LoopbackHost peer({*second == AF_INET6 ? "::1" : "127.0.0.1"});  // the first address's family has nobody on the port
  ASSERT_NE(peer.port, 0);
  Terminal h;
  const std::string text = "localhost:" + std::to_string(peer.port);
  h.logic.LoadSettingsAndCommandLine("/H " + text);
  ASSERT_TRUE(h.logic.OnCreate());
  h.logic.ConnectAtStart();
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == text + " - Velmora"; }));
  EXPECT_TRUE(h.window.messages.empty());

  // Every address refuses: one failure, with the system's text.
  peer.CloseConnection();
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kIdle; }));
  peer.CloseListeners();
  DialogChooses(h, text, 0, false, false);
  h.logic.OnCommand(kCmdConnect);
  ASSERT_TRUE(h.PumpUntil([&] { return !h.window.messages.empty(); }));
  EXPECT_EQ(h.window.messages, std::vector<std::string>{std::strerror(ECONNREFUSED)});
  EXPECT_EQ(h.socket.fd(), -1);
}

// A host text that cannot be read is refused with what is wrong with it, before any socket
// exists; a remembered one may be forgotten, as after any failed connection.
TEST(Lifecycle, UnreadableHostTextIsReportedWithoutConnecting) {
  const struct {
    const char* text;
    HostTextError error;
  } cases[] = {
      {":23", HostTextError::kEmptyHost},         {"127.0.0.1:", HostTextError::kEmptyPort},
      {"127.0.0.1:0", HostTextError::kPortZero},  {"127.0.0.1:65536", HostTextError::kPortTooLarge},
      {"host:2a", HostTextError::kPortNotNumber}, {"host:23:24", HostTextError::kExtraColon},
      {"[::1:23", HostTextError::kUnclosedBracket}, {"[::1]23", HostTextError::kAfterBracket},
  };
  for (const auto& c : cases) {
    for (const bool remembered : {false, true}) {
      SCOPED_TRACE(std::string(c.text) + (remembered ? " remembered" : ""));
      Terminal h(1);  // a port of the tests' own is never a reason to connect
      if (remembered) {
        ASSERT_TRUE(AddHost(h.store, HistoryEntry::Make(c.text, HostEncoding::EUC, "vt100")));
      }
      h.logic.LoadSettingsAndCommandLine(std::string("/H ") + c.text);
      ASSERT_TRUE(h.logic.OnCreate());
      h.logic.ConnectAtStart();
      EXPECT_EQ(h.window.messages, std::vector<std::string>{FormatHostTextError(c.error, c.text)});
      EXPECT_EQ(h.window.questions.size(), remembered ? 1u : 0u);
      EXPECT_FALSE(h.logic.IsConnected());
      EXPECT_EQ(h.socket.fd(), -1);
      EXPECT_EQ(h.window.title, kIdle);
    }
  }
}

// A socket whose errors the system has no text for.
class SilentSocket : public Socket {
 public:
  int Connect(const HostAddress&) override { return 12345; }
  long Send(const uint8_t*, size_t) override { return -2; }
  long Receive(uint8_t*, size_t) override { return -2; }
  void ShutdownSend() override {}
  void Close() override {}
  bool IsOpen() const override { return false; }
  std::string ErrorText(int) const override { return {}; }
  void SetEventHandler(SocketEventHandler*) override {}
};

TEST(Lifecycle, ErrorWithoutSystemTextShowsOurOwn) {
  MemoryStore store;
  RecordingWindow window;
  SilentSocket socket;
  MainWindow logic(window, socket, store, 1);
  logic.LoadSettingsAndCommandLine("/H somewhere");
  ASSERT_TRUE(logic.OnCreate());
  logic.ConnectAtStart();
  EXPECT_EQ(window.messages, std::vector<std::string>{"接続できませんでした。"});
  EXPECT_TRUE(window.questions.empty());  // not in the history
  EXPECT_EQ(window.title, kIdle);
}

// A connected socket holding what the host sent; it notes the size of every receive asked of
// it, and answers the next receive with `nextResult` when one is set.
class HeldBytesSocket : public Socket {
 public:
  std::string held;
  std::vector<size_t> receives;
  std::optional<long> nextResult;

  int Connect(const HostAddress&) override {
    open_ = true;
    return 0;
  }
  long Send(const uint8_t*, size_t size) override { return static_cast<long>(size); }
  long Receive(uint8_t* data, size_t size) override {
    receives.push_back(size);
    if (nextResult) {
      const long result = *nextResult;
      nextResult.reset();
      return result;
    }
    if (held.empty()) return kWouldBlock;
    const size_t n = std::min(size, held.size());
    std::memcpy(data, held.data(), n);
    held.erase(0, n);
    return static_cast<long>(n);
  }
  void ShutdownSend() override {}
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  std::string ErrorText(int) const override { return {}; }
  void SetEventHandler(SocketEventHandler*) override {}

 private:
  bool open_ = false;
};

// The main window's logic connected through a HeldBytesSocket, in Shift-JIS.
struct HeldTerminal {
  HeldTerminal() : logic(window, socket, store, 1) {
    window.logic = &logic;
    logic.LoadSettingsAndCommandLine("/H 127.0.0.1 /C sjis");
    EXPECT_TRUE(logic.OnCreate());
    logic.ConnectAtStart();
    logic.OnSocketEvent(SocketEvent::Connected, 0);
    EXPECT_EQ(window.title, kHost);
  }
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    for (int r = 0; r < logic.screen().rows(); ++r) {
      const TerminalLine* l = logic.screen().ScreenLine(r);
      std::string s(reinterpret_cast<const char*>(l->text()), static_cast<size_t>(l->width));
      rows.push_back(s.erase(s.find_last_not_of(' ') + 1));
    }
    return rows;
  }

  MemoryStore store;
  RecordingWindow window;
  HeldBytesSocket socket;
  MainWindow logic;
};

// The rows a fresh terminal shows after interpreting `bytes`.
std::vector<std::string> RowsAfter(const std::string& bytes) {
  HeldTerminal reference;
  for (const char c : bytes) reference.logic.session().pipeline().ReceiveByte(static_cast<uint8_t>(c));
  return reference.Rows();
}

TEST(Lifecycle, EachReadableEventTakesOneReceiveOfAtMost512Bytes) {
  // 1300 bytes in lines of 70 characters; a double-byte character straddles the 512th byte,
  // so its lead byte arrives in one receive and its second byte in the next.
  std::string text;
  for (int i = 0; text.size() < 1300; ++i) {
    const std::string number = std::to_string(i);
    text += number + std::string(70 - number.size(), static_cast<char>('a' + i % 26)) + "\r\n";
  }
  text.resize(1300);
  text.replace(511, 2, "\x82\xa0");  // あ
  HeldTerminal h;
  h.socket.held = text;

  struct Step {
    size_t taken;      // bytes of the text received after this event
    size_t held;       // bytes still waiting in the socket
    std::string row7;  // the line the double-byte character is on
  };
  const Step steps[] = {
      {512, 788, text.substr(504, 7)},  // the lead byte alone shows nothing yet
      {1024, 276, text.substr(504, 70)},
      {1300, 0, text.substr(504, 70)},
      {1300, 0, text.substr(504, 70)},  // nothing waits: the receive finds nothing
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE("event " + std::to_string(i + 1));
    h.logic.OnSocketEvent(SocketEvent::Readable, 0);
    EXPECT_EQ(h.socket.receives, std::vector<size_t>(i + 1, 512u));
    EXPECT_EQ(h.socket.held.size(), steps[i].held);
    const std::vector<std::string> rows = h.Rows();
    EXPECT_EQ(rows, RowsAfter(text.substr(0, steps[i].taken)));
    EXPECT_EQ(rows[7], steps[i].row7);
  }
}

// The window's requests of a read as a window that draws at its frames gets them: repaint-now
// left out, and each run of invalidations of the same rows joined into one spanning them.
std::vector<std::string> JoinedPerFrameWindow(const std::vector<std::string>& calls) {
  std::vector<std::string> out;
  int left = 0, top = 0, right = 0, bottom = 0;
  bool pending = false;
  auto give = [&] {
    if (pending) {
      out.push_back("inval " + std::to_string(left) + "," + std::to_string(top) + "-" + std::to_string(right) + "," +
                    std::to_string(bottom));
    }
    pending = false;
  };
  for (const std::string& c : calls) {
    int l = 0, t = 0, r = 0, b = 0;
    if (c == "update") continue;
    if (std::sscanf(c.c_str(), "inval %d,%d-%d,%d", &l, &t, &r, &b) != 4) {
      give();
      out.push_back(c);
      continue;
    }
    if (pending && t == top && b == bottom) {
      left = std::min(left, l);
      right = std::max(right, r);
      continue;
    }
    give();
    left = l, top = t, right = r, bottom = b;
    pending = t < b;
  }
  give();
  return out;
}

TEST(Lifecycle, AWindowDrawingAtFramesGetsEachReadsDamageJoinedAndInOrder) {
  std::string lines;
  for (int i = 0; i < 40; ++i) lines += "line " + std::to_string(i) + " \x93\xfa\x96\x7b\x8c\xea text\r\n";
  const std::string screenful = "\x1b[2J\x1b[H" + lines;
  const std::string editing =
      "\x1b[5;10Hab\x1b[1;7mcd\x1b[m\x1b[K\x1b[3;1H\x1b[2K\x82\xa0\x82\xa2\x1b[10;70Hwrapping past the edge\x07"
      "\x1b[5;20r\x1b[20;1H\n\n\x1b[r\x1b[8;1H\x1b[2L\x1b[3M\x1b[4P\x1b[2@x\x1b[J\x1b[1;1Hhome\x1b[1J\r\n";
  struct Case {
    const char* name;
    std::string before;  // shown first, the usual way
    std::function<void(MainWindow&)> then;
    std::string text;  // then read, in reads of 512 bytes
  };
  const Case cases[] = {
      {"lines scrolling the screen", "", nullptr, lines + lines},
      {"editing a full screen", screenful, nullptr, editing + editing},
      {"output while the view is in the backlog", lines, [](MainWindow& m) { m.OnVScroll(kSbPageUp, 0); }, lines + editing},
      {"output scrolling a selection", lines,
       [](MainWindow& m) { m.screen().SetSelection(Selection{3, 20, 12, 30}); }, editing + lines},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeldTerminal atOnce, atFrames;
    atFrames.window.drawsAtFrames = true;
    for (HeldTerminal* h : {&atOnce, &atFrames}) {
      h->socket.held = c.before;
      while (!h->socket.held.empty()) h->logic.OnSocketEvent(SocketEvent::Readable, 0);
      if (c.then) c.then(h->logic);
      h->window.calls.clear();
      h->socket.held = c.text;
      while (!h->socket.held.empty()) h->logic.OnSocketEvent(SocketEvent::Readable, 0);
    }
    ASSERT_GT(atOnce.window.Only("update").size(), 0u);
    EXPECT_EQ(atFrames.window.calls, JoinedPerFrameWindow(atOnce.window.calls));
    EXPECT_LT(atFrames.window.Only("inval").size() * 4, atOnce.window.Only("inval").size());
    EXPECT_EQ(atFrames.Rows(), atOnce.Rows());
  }
}

TEST(Lifecycle, FailedOrEmptyReceiveChangesNothing) {
  for (const long result : {-2L, 0L}) {
    SCOPED_TRACE(result);
    HeldTerminal h;
    h.socket.held = "shown";
    h.logic.OnSocketEvent(SocketEvent::Readable, 0);
    ASSERT_EQ(h.Rows()[0], "shown");
    const std::vector<std::string> rows = h.Rows();
    const ScreenState state = h.logic.screen().state();
    h.socket.held = "later";
    h.window.calls.clear();

    h.socket.nextResult = result;
    h.logic.OnSocketEvent(SocketEvent::Readable, 0);
    EXPECT_EQ(h.socket.receives.size(), 2u);
    EXPECT_TRUE(h.window.calls.empty());  // no title, drawing, caret or close request
    EXPECT_EQ(h.Rows(), rows);
    EXPECT_EQ(h.logic.screen().state().cursorCol, state.cursorCol);
    EXPECT_EQ(h.logic.screen().state().cursorRow, state.cursorRow);
    EXPECT_EQ(h.window.title, kHost);
    EXPECT_TRUE(h.logic.IsConnected());
    EXPECT_EQ(h.socket.held, "later");  // the bytes behind it wait for the next event

    // The connection goes on as before.
    h.logic.OnSocketEvent(SocketEvent::Readable, 0);
    EXPECT_EQ(h.Rows()[0], "shownlater");
  }
}

TEST(Lifecycle, BytesArrivingWithTheCloseAreShownBeforeTheTitleChanges) {
  // More than one read's worth of text, the last line without a line end, then the close.
  std::string text;
  std::vector<std::string> lines;
  for (int i = 0; i < 10; ++i) {
    lines.push_back("line " + std::to_string(i) + " " + std::string(60, static_cast<char>('a' + i)));
    text += lines.back() + "\r\n";
  }
  lines.push_back("last words");
  text += lines.back();
  ASSERT_GT(text.size(), 512u);

  for (const bool eventFirst : {false, true}) {
    SCOPED_TRACE(eventFirst ? "close event before any read" : "events as polled");
    LoopbackHost peer;
    Terminal h(peer.port);
    Start(h);
    DialogChooses(h, "127.0.0.1", 1, false, false);
    Connect(h, peer);
    peer.Send(text);
    peer.CloseConnection();
    if (eventFirst) {
      // The window system may report the close while data still waits: it is read first.
      pollfd p{h.socket.fd(), POLLRDHUP, 0};
      ASSERT_EQ(poll(&p, 1, 30000), 1);
      h.logic.OnSocketEvent(SocketEvent::Closed, 0);
    } else {
      ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kIdle; }));
    }
    ASSERT_FALSE(h.window.snapshots.empty());
    const TitleWatchWindow::Snapshot& atClose = h.window.snapshots.back();
    EXPECT_EQ(atClose.title, kIdle);
    ASSERT_EQ(atClose.rows.size(), 12u);
    for (size_t r = 0; r < lines.size(); ++r) EXPECT_EQ(atClose.rows[r], lines[r]) << r;
    EXPECT_FALSE(h.logic.IsConnected());
  }
}

TEST(Lifecycle, CloseResetsTelnetOptionsAndKanjiMode) {
  LoopbackHost peer;
  Terminal h(peer.port);
  Start(h);
  DialogChooses(h, "127.0.0.1", 1, false, false);
  Connect(h, peer);
  TerminalSession& t = h.logic.session();
  ASSERT_TRUE(t.negotiator().localEcho);
  // The host echoes, asks for the environment and shifts into JIS kanji.
  peer.Send("\xff\xfb\x01" "\xff\xfd\x27" "\x1b$B");
  ASSERT_TRUE(h.PumpUntil([&] {
    return !t.negotiator().localEcho && t.negotiator().environOption == EnvironOption::New && t.stream().kanjiMode;
  }, &peer));
  peer.CloseConnection();
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kIdle; }));
  EXPECT_TRUE(t.negotiator().localEcho);
  EXPECT_EQ(t.negotiator().environOption, EnvironOption::None);
  EXPECT_FALSE(t.stream().kanjiMode);

  // On the next connection plain text is plain again and typing is echoed.
  Connect(h, peer);
  peer.Send("plain");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(0) == "plain"; }));
  h.logic.OnChar('!');
  EXPECT_EQ(h.Row(0), "plain!");
  ASSERT_TRUE(h.PumpUntil([&] { return peer.received == "!"; }, &peer));
  // The environment option can be offered again.
  peer.Take();
  peer.Send("\xff\xfd\x24");
  ASSERT_TRUE(h.PumpUntil([&] { return peer.received.size() >= 3; }, &peer));
  EXPECT_EQ(peer.received, "\xff\xfb\x24");
}

TEST(Lifecycle, AutoCloseAfterHostLogoutButNotAfterUserDisconnect) {
  LoopbackHost peer;
  Terminal h(peer.port);
  Start(h);
  DialogChooses(h, "127.0.0.1", 1, false, true);
  Connect(h, peer);
  ASSERT_NE(h.store.Get(kKey, "auto close"), nullptr);
  EXPECT_EQ(h.store.Get(kKey, "auto close")->bytes, Le32(1));  // the box was saved
  peer.CloseConnection();  // the host logs the user out
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kIdle; }));
  EXPECT_EQ(h.window.closeRequests, 1);
  EXPECT_EQ(h.window.calls.back(), "post close");  // after everything else of the close

  // The posted close finds no connection: no question. (The test keeps the window.)
  EXPECT_TRUE(h.logic.OnQueryEndSession());

  Connect(h, peer);
  h.logic.OnCommand(kCmdDisconnect);
  ASSERT_TRUE(h.PumpUntil([&] { return peer.sawEnd; }, &peer));
  peer.CloseConnection();
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kIdle; }));
  EXPECT_EQ(h.window.closeRequests, 1);  // the user's own disconnect

  Connect(h, peer);
  peer.CloseConnection();
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kIdle; }));
  EXPECT_EQ(h.window.closeRequests, 2);  // a later logout closes again

  // Unchecking the box turns it off for the next logout.
  DialogChooses(h, "127.0.0.1", 1, false, false);
  Connect(h, peer);
  peer.CloseConnection();
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kIdle; }));
  EXPECT_EQ(h.window.closeRequests, 2);
}

TEST(Lifecycle, AutoCloseFromStoredSettingOnStartupConnection) {
  LoopbackHost peer;
  Terminal h(peer.port);
  h.store.Put(kKey, "auto close", kRegDword, Le32(1));
  h.logic.LoadSettingsAndCommandLine("/H 127.0.0.1");
  ASSERT_TRUE(h.logic.OnCreate());
  h.logic.ConnectAtStart();
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kHost; }));
  peer.CloseConnection();
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kIdle; }));
  EXPECT_EQ(h.window.closeRequests, 1);

  // The posted close request, as the window system delivers it: no connection is left, so
  // the window goes without a question and the program ends.
  h.window.calls.clear();
  h.logic.OnClose();
  EXPECT_TRUE(h.window.questions.empty());
  EXPECT_TRUE(h.window.destroyed);
  EXPECT_EQ(h.window.exitCode, 0);
  EXPECT_EQ(h.window.calls, (std::vector<std::string>{"destroy", "quit 0"}));
}

TEST(Lifecycle, CancelledConnectionDialogKeepsEverything) {
  struct Case {
    const char* commandLine;
    int32_t autoClose;
  };
  const Case cases[] = {
      {"", 0},
      {"/H keep.example /C utf8 /T vt52", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine);
    LoopbackHost peer;
    Terminal h(peer.port);
    ASSERT_TRUE(AddHost(h.store, HistoryEntry::Make("other", HostEncoding::SJIS, "vt100")));
    ASSERT_TRUE(AddHost(h.store, HistoryEntry::Make("recent", HostEncoding::EUC, "vt52")));
    h.store.Put(kKey, "auto close", kRegDword, Le32(static_cast<uint32_t>(c.autoClose)));
    h.logic.LoadSettingsAndCommandLine(c.commandLine);
    ASSERT_TRUE(h.logic.OnCreate());
    const std::string hostName = h.logic.hostName();
    const HostEncoding encoding = h.logic.session().options().hostEncoding;
    const std::string terminalType = h.logic.session().options().terminalType;
    h.store.writes.clear();
    h.window.calls.clear();

    // Everything in the dialog changed, another history entry picked, then Cancel.
    h.window.connectDialog = [](ConnectDialogModel& model, ConnectDialogState& state) {
      model.OnSelectionChanged(state, 1);
      state.autoClose = !state.autoClose;
      state.hostField = "127.0.0.1";
      state.encodingButton = state.encodingButton == 2 ? 1 : 2;
      state.vt52 = !state.vt52;
      return false;
    };
    h.logic.OnCommand(kCmdConnect);
    EXPECT_EQ(h.window.calls, std::vector<std::string>{"connect dialog"});
    EXPECT_EQ(h.logic.hostName(), hostName);
    EXPECT_EQ(h.logic.session().options().hostEncoding, encoding);
    EXPECT_EQ(h.logic.session().options().terminalType, terminalType);
    EXPECT_EQ(h.logic.settings().autoClose, c.autoClose);
    EXPECT_TRUE(h.store.writes.empty());
    EXPECT_FALSE(h.logic.IsConnected());
    EXPECT_EQ(h.window.title, kIdle);
  }
}

// The bytes of a long paste: numbered lines, so that a lost or repeated piece shows.
std::string LongText(size_t size) {
  std::string text;
  text.reserve(size + 64);
  char line[64];
  for (int i = 0; text.size() < size; ++i) {
    std::snprintf(line, sizeof line, "%07d the quick brown fox jumps over the lazy dog\r\n", i);
    text += line;
  }
  return text;
}

// Where two texts first differ, for a readable failure on megabytes.
std::string FirstDifference(const std::string& got, const std::string& want) {
  size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  if (i == got.size() && i == want.size()) return "equal";
  return "differ at " + std::to_string(i) + " of " + std::to_string(got.size()) + " (want " +
         std::to_string(want.size()) + "): got \"" + got.substr(i, 40) + "\" want \"" + want.substr(i, 40) + "\"";
}

TEST(Lifecycle, LongPasteToASlowReaderArrivesWholeAndInOrder) {
  LoopbackHost peer(16384);
  Terminal h(peer.port);
  Start(h);
  DialogChooses(h, "127.0.0.1", 1, false, false);  // Shift-JIS: the text goes out as it is
  Connect(h, peer);

  const std::string first = LongText(4u << 20);
  h.window.clipboard = first;
  h.logic.OnCommand(kCmdPaste);
  ASSERT_GT(h.logic.connection().queuedBytes(), 0u);  // the socket could not take it at once

  // A second paste and typing while the first still waits go behind it.
  h.window.clipboard = std::string("second \xff paste\r\n");
  h.logic.OnCommand(kCmdPaste);
  h.logic.OnChar('Z');
  h.logic.OnChar('\n');
  EXPECT_EQ(h.Row(0), "Z");  // echoed at once
  const std::string want = first + "second \xff\xff paste\r\n" + "Z\r\n";

  // The host reads slowly: a little at a time.
  PumpUntil([&] { return peer.received.size() >= want.size(); }, [&] {
    h.socket.PollOnce(2);
    peer.ReadAvailable(8192);
    return true;
  });
  EXPECT_EQ(FirstDifference(peer.received, want), "equal");
  EXPECT_EQ(h.logic.connection().queuedBytes(), 0u);
  EXPECT_TRUE(h.logic.IsConnected());
}

TEST(Lifecycle, ResetByTheHostDropsWaitingOutput) {
  LoopbackHost peer(16384);
  Terminal h(peer.port);
  Start(h);
  DialogChooses(h, "127.0.0.1", 1, false, false);
  Connect(h, peer);
  h.window.clipboard = LongText(8u << 20);
  h.logic.OnCommand(kCmdPaste);
  ASSERT_GT(h.logic.connection().queuedBytes(), 0u);
  peer.CloseConnection();  // unread data: the connection is reset, not closed in order
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kIdle; }));
  EXPECT_FALSE(h.logic.IsConnected());
  EXPECT_EQ(h.logic.connection().queuedBytes(), 0u);
  EXPECT_EQ(h.window.closeRequests, 0);
}

TEST(Lifecycle, PasteInEachHostEncoding) {
  LoopbackHost peer;
  Terminal h(peer.port);
  Start(h);
  DialogChooses(h, "127.0.0.1", 0, false, false);
  Connect(h, peer);
  struct Case {
    int command;
    std::string clipboard;
    std::string sent;
  };
  // あ, CR LF, A, half-width ｱ, CR LF
  const std::string text = "\x82\xa0\r\nA\xb1\r\n";
  const Case cases[] = {
      {kCmdEncodingEuc, text, "\xa4\xa2\rA\x8e\xb1\r"},
      {kCmdEncodingSjis, text, text},
      {kCmdEncodingUtf8, text, "\xe3\x81\x82\rA\xef\xbd\xb1\r"},
      {kCmdEncodingEuc, std::string("ab\0cd", 5), "ab"},  // the text ends at a NUL
      {kCmdEncodingEuc, "\xff", "\xff\xff"},               // a data byte 0xFF never reads as a command
  };
  for (const Case& c : cases) {
    h.logic.OnCommand(c.command);
    h.window.clipboard = c.clipboard;
    h.logic.OnCommand(kCmdPaste);
    ASSERT_TRUE(h.PumpUntil([&] { return peer.received.size() >= c.sent.size(); }, &peer));
    EXPECT_EQ(peer.Take(), c.sent);
  }
  EXPECT_EQ(h.Row(0), "");  // pasted text is not echoed

  // No text on the clipboard: nothing is sent.
  h.window.clipboard.reset();
  h.logic.OnCommand(kCmdPaste);
  h.logic.OnChar('.');
  ASSERT_TRUE(h.PumpUntil([&] { return !peer.received.empty(); }, &peer));
  EXPECT_EQ(peer.Take(), ".");
}

}  // namespace
}  // namespace velmora::testing

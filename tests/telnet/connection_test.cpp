// The connection and the POSIX socket against a scripted host on 127.0.0.1: a listening socket
// in this process whose accepted connection is driven by a script on a thread of its own with
// plain blocking-style I/O. The terminal side runs the way the main window runs it: one
// thread, PosixSocket::PollOnce dispatching socket events to a handler that owns the socket.
//
// Every wait is bounded: the host's I/O polls in short slices against a 30 s deadline and
// gives up when the test ends early; the terminal's pump stops at the same kind of deadline.
// Nothing here measures time.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "emulation/key_encoder.h"
#include "platform/posix/posix_socket.h"
#include "screen/screen_observer.h"
#include "telnet/connection.h"
#include "telnet/terminal_session.h"
#include "support/host_io.h"
#include "support/loopback_terminal.h"
#include "support/recording_sinks.h"
#include "support/scripted_host.h"

namespace velmora {
namespace {

using testing::Deadline;
using testing::ReadExactly;
using testing::ReadToEnd;
using testing::ScriptedHost;
using testing::WaitFor;
using testing::WaitForFlag;
using testing::WriteAll;


// Small socket buffers on both ends make a paste wait in the connection's queue for certain:
// the kernel then holds at most some tens of kilobytes of it.
constexpr int kSmallBuffer = 8192;

std::string Bytes(std::initializer_list<uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

// A paste whose every 16-byte record names its own offset in hex, so that a lost, doubled or
// reordered piece shows where it happened.
std::string Pattern(size_t size) {
  std::string out;
  out.reserve(size + 16);
  char record[32];
  for (size_t offset = 0; offset < size; offset += 16) {
    std::snprintf(record, sizeof record, "%015zx\n", offset);
    out.append(record, 16);
  }
  out.resize(size);
  return out;
}

// Compares two large byte strings without printing megabytes: sizes, then the first
// difference with a little context.
::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  auto hex = [](const std::string& s, size_t from) {
    std::string out;
    char buf[4];
    for (size_t i = from; i < s.size() && i < from + 24; ++i) {
      std::snprintf(buf, sizeof buf, "%02X ", static_cast<uint8_t>(s[i]));
      out += buf;
    }
    return out.empty() ? std::string("(end)") : out;
  };
  const size_t from = at >= 8 ? at - 8 : 0;
  return ::testing::AssertionFailure()
         << "expected " << expected.size() << " bytes, got " << actual.size()
         << "; first difference at offset " << at << "\n  expected from " << from << ": "
         << hex(expected, from) << "\n  actual   from " << from << ": " << hex(actual, from);
}

// The POSIX socket, optionally taking at most `sendLimit` bytes a send. The kernel takes all of
// those, so no writable event follows a short send: the rule of Winsock, which posts FD_WRITE
// only after a send has failed with WSAEWOULDBLOCK.
class ShortSendSocket : public PosixSocket {
 public:
  using PosixSocket::PosixSocket;
  long Send(const uint8_t* data, size_t size) override {
    return PosixSocket::Send(data, sendLimit > 0 ? std::min(size, sendLimit) : size);
  }
  size_t sendLimit = 0;
};

// The terminal as the main window runs it, over a socket that may take few bytes a send.
using Terminal = testing::LoopbackTerminal<ShortSendSocket>;

// Keeps the terminal's events going until the host's script has ended (its close may end the
// terminal's socket first), then joins the host.
void FinishHost(Terminal& terminal, ScriptedHost& host) {
  terminal.PumpUntil([&] { return host.done(); });
  host.Finish();
}

// What the host received while `send` ran on a fresh connection; the terminal then ends its
// output and the host reads to the end of the stream, so nothing extra can hide.
std::string BytesOnTheWire(const std::function<void(Terminal&)>& send) {
  std::string got;
  bool ended = false;
  ScriptedHost host;
  EXPECT_TRUE(host.ok());
  host.ServeOne([&](int fd, const Deadline& clock) { ended = ReadToEnd(fd, got, 4096, clock); });
  Terminal terminal(host.port());
  EXPECT_TRUE(terminal.Connect());
  send(terminal);
  EXPECT_TRUE(terminal.FlushAndEndOutput());
  FinishHost(terminal, host);
  EXPECT_TRUE(ended) << "the host did not see the end of the stream";
  return got;
}

// ---- Connecting -------------------------------------------------------------------------

TEST(ConnectionConnectTest, ConnectsAndSendsWhatWasTypedMeanwhile) {
  std::string got;
  ScriptedHost host;
  ASSERT_TRUE(host.ok());
  host.ServeOne([&](int fd, const Deadline& clock) { ReadToEnd(fd, got, 4096, clock); });
  Terminal terminal(host.port());

  ASSERT_EQ(terminal.connection.ConnectToHost("127.0.0.1"), 0);
  EXPECT_TRUE(terminal.connection.IsConnected()) << "a connect under way counts as a connection";
  // Typed before the connect finished: waits, then goes out first.
  terminal.connection.SendChar('o');
  terminal.connection.SendChar('k');
  EXPECT_EQ(terminal.connection.queuedBytes(), 2u);

  ASSERT_TRUE(terminal.PumpUntil([&] { return terminal.connectError.has_value(); }));
  EXPECT_EQ(*terminal.connectError, 0);
  ASSERT_FALSE(terminal.events.empty());
  EXPECT_EQ(terminal.events.front(), SocketEvent::Connected);
  EXPECT_TRUE(terminal.connection.IsConnected());
  // Connecting again while connected changes nothing: output still flows.
  EXPECT_EQ(terminal.connection.ConnectToHost("127.0.0.1"), 0);
  terminal.connection.SendChar('!');
  EXPECT_EQ(terminal.connection.queuedBytes(), 0u);

  EXPECT_TRUE(terminal.FlushAndEndOutput());
  FinishHost(terminal, host);
  EXPECT_TRUE(host.accepted());
  EXPECT_EQ(got, "ok!");
}

TEST(ConnectionConnectTest, RefusedConnectIsReportedWithTheSystemText) {
  // A port bound but not listening: the connect is refused, and nothing else can take the port
  // while the test runs.
  const int reserved = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(reserved, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(reserved, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(getsockname(reserved, reinterpret_cast<sockaddr*>(&address), &length), 0);

  Terminal terminal(ntohs(address.sin_port));
  int error = terminal.connection.ConnectToHost("127.0.0.1");
  if (error == 0) {
    terminal.connection.SendChar('x');  // typed while connecting: dropped with the failure
    ASSERT_TRUE(terminal.PumpUntil([&] { return terminal.connectError.has_value(); }));
    error = *terminal.connectError;
    EXPECT_EQ(terminal.events, std::vector<SocketEvent>{SocketEvent::Connected});
  }
  ::close(reserved);

  EXPECT_EQ(error, ECONNREFUSED);
  EXPECT_EQ(terminal.socket.ErrorText(error), std::string(std::strerror(ECONNREFUSED)));
  EXPECT_FALSE(terminal.socket.ErrorText(error).empty());
  EXPECT_FALSE(terminal.connection.IsConnected());
  EXPECT_EQ(terminal.socket.fd(), -1);
  EXPECT_EQ(terminal.connection.queuedBytes(), 0u);
  // Typing after the failure goes nowhere and keeps nothing.
  terminal.connection.SendChar('y');
  EXPECT_EQ(terminal.connection.queuedBytes(), 0u);
}

TEST(ConnectionConnectTest, UnresolvableNameFailsAtOnceWithoutASocket) {
  Terminal terminal(9);
  const int error = terminal.connection.ConnectToHost("no-such-host.invalid");
  EXPECT_NE(error, 0);
  EXPECT_FALSE(terminal.socket.ErrorText(error).empty());
  EXPECT_FALSE(terminal.connection.IsConnected());
  EXPECT_EQ(terminal.socket.fd(), -1);
  EXPECT_FALSE(terminal.socket.PollOnce(0)) << "no socket, so nothing to wait for";
  EXPECT_TRUE(terminal.events.empty());
}

// ---- Bytes on the wire --------------------------------------------------------------------

TEST(ConnectionWireTest, KeySequencesOfBothTerminals) {
  const std::string got = BytesOnTheWire([](Terminal& t) {
    const TerminalOptions& options = t.session.options();
    t.session.SetTerminalType("vt100");
    for (const uint32_t key : {kVkUp, kVkDown, kVkRight, kVkLeft, kVkF1}) {
      EXPECT_EQ(EncodeKey(t.connection, options, key, 0), 1) << "vt100 key " << key;
    }
    t.session.SetTerminalType("vt52");
    for (const uint32_t key : {kVkUp, kVkDown, kVkRight, kVkLeft}) {
      EXPECT_EQ(EncodeKey(t.connection, options, key, 0), 1) << "vt52 key " << key;
    }
    EXPECT_EQ(EncodeKey(t.connection, options, kVkF1, 0), 0) << "the VT52 has no F1 sequence";
  });
  EXPECT_EQ(got, "\x1BOA\x1BOB\x1BOC\x1BOD\x1BOP"
                 "\x1B" "A\x1B" "B\x1B" "C\x1B" "D");
}

TEST(ConnectionWireTest, TypedTextLineEndsAndDataByteFF) {
  const std::string got = BytesOnTheWire([](Terminal& t) {
    for (const uint8_t b : Bytes({'a', '\n', 'b', '\r', 0xFF, 'c', 0xFE})) t.connection.SendChar(b);
    t.connection.SendData(Bytes({'p', 0xFF, '\r', 0xFF, 0xFF}));  // pasted text: no CR added
  });
  EXPECT_EQ(got, Bytes({'a', '\r', '\n', 'b', '\r', 0xFF, 0xFF, 'c', 0xFE,
                        'p', 0xFF, 0xFF, '\r', 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(ConnectionWireTest, NegotiationAnswersGoOutOnTheConnection) {
  const std::string expected = Bytes({0xFF, 0xFB, 0x18}) +                                     // WILL TTYPE
                               Bytes({0xFF, 0xFA, 0x18, 0x00}) + "vt100" + Bytes({0xFF, 0xF0}) +  // IS vt100
                               Bytes({0xFF, 0xFB, 0x1F}) +                                     // WILL NAWS
                               Bytes({0xFF, 0xFA, 0x1F, 0x00, 0x50, 0x00, 0x18, 0xFF, 0xF0});   // 80x24
  std::string got;
  std::atomic<bool> answered{false};
  bool ended = false;
  ScriptedHost host;
  ASSERT_TRUE(host.ok());
  host.ServeOne([&](int fd, const Deadline& clock) {
    const std::string requests = Bytes({0xFF, 0xFD, 0x18, 0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xF0, 0xFF, 0xFD, 0x1F});
    if (!WriteAll(fd, requests, clock)) return;
    if (!ReadExactly(fd, expected.size(), got, 4096, clock)) return;
    answered = true;
    ended = ReadToEnd(fd, got, 4096, clock);  // anything more would be extra
  });
  Terminal terminal(host.port());
  ASSERT_TRUE(terminal.Connect());
  EXPECT_TRUE(terminal.PumpUntil([&] { return answered.load() || host.done(); }));
  EXPECT_TRUE(terminal.FlushAndEndOutput());
  FinishHost(terminal, host);
  EXPECT_TRUE(ended);
  EXPECT_TRUE(SameBytes(expected, got));
}

// Every reply reaches the host in one piece. A host like BusyBox's telnetd drops a NUL that ends
// one of its reads, so a window-size report read in two parts after one of its zero bytes
// would lose that byte. The host here rests before each read so that single-byte sends would
// pile up and be read cut at arbitrary places; every read must end where a reply ends.
TEST(ConnectionWireTest, EachReplyReachesTheHostInOnePiece) {
  const std::vector<std::string> replies = {
      Bytes({0xFF, 0xFB, 0x01}),                                       // WILL ECHO
      Bytes({0xFF, 0xFB, 0x1F}),                                       // WILL NAWS
      Bytes({0xFF, 0xFA, 0x1F, 0x00, 0x50, 0x00, 0x18, 0xFF, 0xF0}),   // 80x24
      Bytes({0xFF, 0xFD, 0x01}),                                       // DO ECHO
      Bytes({0xFF, 0xFD, 0x03}),                                       // DO SGA
  };
  std::string expected;
  std::vector<size_t> ends;
  for (const std::string& reply : replies) {
    expected += reply;
    ends.push_back(expected.size());
  }
  std::string got;
  std::vector<size_t> readEnds;
  ScriptedHost host;
  ASSERT_TRUE(host.ok());
  host.ServeOne([&](int fd, const Deadline& clock) {
    // The offers BusyBox's telnetd opens every session with, in one write.
    if (!WriteAll(fd, Bytes({0xFF, 0xFD, 0x01, 0xFF, 0xFD, 0x1F, 0xFF, 0xFB, 0x01, 0xFF, 0xFB, 0x03}), clock)) return;
    while (got.size() < expected.size()) {
      if (!WaitFor(fd, POLLIN, clock)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      char buf[64];
      const ssize_t r = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      if (r == 0) return;
      if (r < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
        return;
      }
      got.append(buf, static_cast<size_t>(r));
      readEnds.push_back(got.size());
    }
  });
  Terminal terminal(host.port());
  ASSERT_TRUE(terminal.Connect());
  EXPECT_TRUE(terminal.PumpUntil([&] { return host.done(); }));
  host.Finish();
  EXPECT_TRUE(SameBytes(expected, got));
  for (const size_t end : readEnds) {
    EXPECT_NE(std::find(ends.begin(), ends.end(), end), ends.end()) << "a read ended inside a reply, at byte " << end;
  }
}

// ---- Pastes into a slow host --------------------------------------------------------------

TEST(ConnectionPasteTest, LargePasteArrivesWholeWithTypingBehindIt) {
  std::string got;
  bool ended = false;
  ScriptedHost host(kSmallBuffer);
  ASSERT_TRUE(host.ok());
  host.ServeOne([&](int fd, const Deadline& clock) { ended = ReadToEnd(fd, got, 700, clock, /*slow=*/true); });
  Terminal terminal(host.port());
  ASSERT_TRUE(terminal.Connect());
  terminal.UseSmallSendBuffer();

  const std::string paste = Pattern(4u << 20);
  terminal.connection.SendData(paste);
  ASSERT_GT(terminal.connection.queuedBytes(), 0u) << "the paste should have to wait";
  for (const char c : std::string("ls\n")) terminal.connection.SendChar(static_cast<uint8_t>(c));
  // More typing once some of the paste has gone out.
  ASSERT_TRUE(terminal.PumpUntil([&] { return terminal.connection.queuedBytes() < (2u << 20); }));
  for (const char c : std::string("pwd\n")) terminal.connection.SendChar(static_cast<uint8_t>(c));

  EXPECT_TRUE(terminal.FlushAndEndOutput());
  FinishHost(terminal, host);
  EXPECT_TRUE(ended);
  EXPECT_TRUE(SameBytes(paste + "ls\r\npwd\r\n", got));
}

// A socket that takes only part of each send gets the rest offered at once, again and again,
// until it would block; a writable event is awaited only then. Typing, a telnet reply and a
// paste larger than the socket buffers all arrive, in order.
TEST(ConnectionPasteTest, ShortSendsAreOfferedAgainUntilTheSocketWouldBlock) {
  struct Case {
    size_t sendLimit;
    size_t pasteSize;
  };
  for (const Case c : {Case{1, 64u << 10}, Case{3, 256u << 10}, Case{1000, 4u << 20}}) {
    SCOPED_TRACE(c.sendLimit);
    std::string got;
    bool ended = false;
    ScriptedHost host(kSmallBuffer);
    ASSERT_TRUE(host.ok());
    host.ServeOne([&](int fd, const Deadline& clock) { ended = ReadToEnd(fd, got, 4096, clock); });
    Terminal terminal(host.port());
    ASSERT_TRUE(terminal.Connect());
    terminal.UseSmallSendBuffer();
    terminal.socket.sendLimit = c.sendLimit;

    const std::string paste = Pattern(c.pasteSize);
    for (const char ch : std::string("ls\n")) terminal.connection.SendChar(static_cast<uint8_t>(ch));
    terminal.Feed(Bytes({0xFF, 0xFD, 0x18}));
    terminal.connection.SendData(paste);
    for (const char ch : std::string("pwd\n")) terminal.connection.SendChar(static_cast<uint8_t>(ch));

    EXPECT_TRUE(terminal.FlushAndEndOutput()) << terminal.connection.queuedBytes() << " bytes never left";
    FinishHost(terminal, host);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(SameBytes("ls\r\n" + Bytes({0xFF, 0xFB, 0x18}) + paste + "pwd\r\n", got));
  }
}

// The host stops reading twice: first at the start, while more than 1 MiB of the paste waits,
// then with less than 1 MiB of it left. A telnet request answered in each pause shows where
// replies go: refused in the first, queued behind the paste in the second. Typed bytes are
// kept in both.
TEST(ConnectionPasteTest, RepliesQueueBehindAPasteAndAreRefusedAboveTheLimit) {
  const size_t pasteSize = 4u << 20;
  const size_t leftAtSecondPause = 768u << 10;  // well below the limit, well above the kernel's share
  std::atomic<bool> startReading{false};
  std::atomic<bool> paused{false};
  std::atomic<bool> resume{false};
  std::string got;
  bool ended = false;
  ScriptedHost host(kSmallBuffer);
  ASSERT_TRUE(host.ok());
  host.ServeOne([&](int fd, const Deadline& clock) {
    if (!WaitForFlag(startReading, clock)) return;
    if (!ReadExactly(fd, pasteSize - leftAtSecondPause, got, 1000, clock)) return;
    paused = true;
    if (!WaitForFlag(resume, clock)) return;
    ended = ReadToEnd(fd, got, 1000, clock, /*slow=*/true);
  });
  Terminal terminal(host.port());
  ASSERT_TRUE(terminal.Connect());
  terminal.UseSmallSendBuffer();
  const std::string doTtype = Bytes({0xFF, 0xFD, 0x18});

  const std::string paste = Pattern(pasteSize);
  terminal.connection.SendData(paste);
  size_t waiting = terminal.connection.queuedBytes();
  ASSERT_GT(waiting, Connection::kReplyQueueLimit);
  terminal.Feed(doTtype);
  EXPECT_EQ(terminal.connection.queuedBytes(), waiting) << "a reply above the limit is refused";
  for (const char c : std::string("typed\n")) terminal.connection.SendChar(static_cast<uint8_t>(c));
  EXPECT_EQ(terminal.connection.queuedBytes(), waiting + 7) << "typed bytes are kept above the limit";

  startReading = true;
  ASSERT_TRUE(terminal.PumpUntil([&] { return paused.load() || host.done(); }));
  ASSERT_TRUE(paused.load());
  waiting = terminal.connection.queuedBytes();
  ASSERT_LE(waiting, leftAtSecondPause + 7);
  ASSERT_GT(waiting, 0u) << "the kernel took the whole rest of the paste; the socket buffers are larger than asked";
  terminal.Feed(doTtype);
  EXPECT_EQ(terminal.connection.queuedBytes(), waiting + 3) << "a reply below the limit waits behind the paste";
  for (const char c : std::string("after\n")) terminal.connection.SendChar(static_cast<uint8_t>(c));

  resume = true;
  EXPECT_TRUE(terminal.FlushAndEndOutput());
  FinishHost(terminal, host);
  EXPECT_TRUE(ended);
  EXPECT_TRUE(SameBytes(paste + "typed\r\n" + Bytes({0xFF, 0xFB, 0x18}) + "after\r\n", got));
}

// A reply is several bytes; the host must get all of them or none. With exactly the limit
// waiting, a cut after the first byte would leave an IAC on the wire that swallows the next
// typed byte as a telnet command (or, for a window-size report cut after IAC SB, everything
// typed until some later IAC SE).
TEST(ConnectionPasteTest, ReplyIsNeverCutAtTheLimit) {
  std::atomic<bool> startReading{false};
  std::string got;
  bool ended = false;
  ScriptedHost host(kSmallBuffer);
  ASSERT_TRUE(host.ok());
  host.ServeOne([&](int fd, const Deadline& clock) {
    if (!WaitForFlag(startReading, clock)) return;
    ended = ReadToEnd(fd, got, 4096, clock);
  });
  Terminal terminal(host.port());
  ASSERT_TRUE(terminal.Connect());
  terminal.UseSmallSendBuffer();

  // The host reads nothing yet, so the queue only grows: fill it to exactly the limit.
  const std::string paste = Pattern(Connection::kReplyQueueLimit);
  terminal.connection.SendData(paste);
  const size_t waiting = terminal.connection.queuedBytes();
  ASSERT_LE(waiting, Connection::kReplyQueueLimit);
  const std::string fill = Pattern(Connection::kReplyQueueLimit - waiting);
  terminal.connection.SendData(fill);
  ASSERT_EQ(terminal.connection.queuedBytes(), Connection::kReplyQueueLimit);

  terminal.Feed(Bytes({0xFF, 0xFD, 0x18}));
  const size_t added = terminal.connection.queuedBytes() - Connection::kReplyQueueLimit;
  EXPECT_TRUE(added == 0 || added == 3) << "the reply put " << added << " of its 3 bytes in the queue";
  terminal.connection.SendChar('x');

  startReading = true;
  EXPECT_TRUE(terminal.FlushAndEndOutput());
  FinishHost(terminal, host);
  EXPECT_TRUE(ended);
  const std::string sent = paste + fill;
  ASSERT_GE(got.size(), sent.size());
  EXPECT_TRUE(SameBytes(sent, got.substr(0, sent.size())));
  const std::string tail = got.substr(sent.size());
  EXPECT_TRUE(tail == "x" || tail == Bytes({0xFF, 0xFB, 0x18, 'x'}))
      << "after the paste: " << ::testing::PrintToString(tail);
}

// ---- The host ends the connection --------------------------------------------------------

TEST(ConnectionCloseTest, ResetDuringAPasteDropsTheQueueAndClosesTheSocket) {
  std::atomic<bool> startReading{false};
  ScriptedHost host(kSmallBuffer);
  ASSERT_TRUE(host.ok());
  host.ServeOne([&](int fd, const Deadline& clock) {
    std::string some;
    // Reading only once the paste waits: the socket is offered the paste until it would block.
    if (!WaitForFlag(startReading, clock)) return;
    ReadExactly(fd, 64u << 10, some, 1000, clock);
    const linger abort{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);  // unread data and linger 0: a reset
    host.MarkClosed();
  });
  Terminal terminal(host.port());
  ASSERT_TRUE(terminal.Connect());
  terminal.UseSmallSendBuffer();
  terminal.connection.SendData(Pattern(4u << 20));
  ASSERT_GT(terminal.connection.queuedBytes(), 0u);
  startReading = true;

  EXPECT_TRUE(terminal.PumpUntil([&] { return !terminal.socket.IsOpen(); }))
      << "the reset was never reported; " << terminal.connection.queuedBytes() << " bytes still waiting";
  host.Finish();
  EXPECT_TRUE(terminal.Saw(SocketEvent::Closed));
  EXPECT_FALSE(terminal.connection.IsConnected());
  EXPECT_EQ(terminal.connection.queuedBytes(), 0u);
  // Anything typed or answered afterwards is dropped quietly.
  terminal.connection.SendChar('a');
  terminal.connection.SendData("more");
  terminal.Feed(Bytes({0xFF, 0xFD, 0x1F}));
  terminal.connection.OnWritable();
  EXPECT_EQ(terminal.connection.queuedBytes(), 0u);
  EXPECT_FALSE(terminal.socket.PollOnce(0));
}

TEST(ConnectionCloseTest, EverythingSentIsReadBeforeTheClose) {
  std::string lines;
  const int count = 20000;  // far more than the socket buffers hold
  char line[32];
  for (int i = 1; i <= count; ++i) {
    std::snprintf(line, sizeof line, "line %05d\r\n", i);
    lines += line;
  }
  bool written = false;
  ScriptedHost host;
  ASSERT_TRUE(host.ok());
  host.ServeOne([&](int fd, const Deadline& clock) { written = WriteAll(fd, lines, clock); });
  Terminal terminal(host.port());
  ASSERT_TRUE(terminal.Connect());

  EXPECT_TRUE(terminal.PumpUntil([&] { return terminal.closeError.has_value(); }));
  host.Finish();
  EXPECT_TRUE(written);
  EXPECT_EQ(terminal.closeError.value_or(-1), 0) << "an orderly close";
  EXPECT_EQ(terminal.receivedAtClose, lines.size()) << "the close was reported before all data was read";
  EXPECT_EQ(terminal.drainedAtClose, 0u);
  EXPECT_TRUE(SameBytes(lines, terminal.received));
  EXPECT_EQ(terminal.events.back(), SocketEvent::Closed);
  EXPECT_FALSE(terminal.connection.IsConnected());
  // The data went through the pipeline: the last line sits above the cursor's empty row.
  EXPECT_EQ(terminal.Row(22), "line 20000");
  EXPECT_EQ(terminal.session.screen().state().cursorRow, 23);
}

}  // namespace
}  // namespace velmora

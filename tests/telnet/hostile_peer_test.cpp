// A hostile or faulty host against the whole terminal: sequences and subnegotiations that never
// end or carry megabytes of parameters, lead bytes followed by control bytes, double-byte
// characters cut by a change of the terminal size, a host that floods requests and never reads,
// one that sends a byte at a time, and one that resets in the middle of a paste. Each test
// checks that what comes after the bad input still arrives (on the screen or on the wire) and
// that everything ends; the socket tests run against a host on 127.0.0.1 driven from a thread
// of its own, with every wait bounded and nothing measured in time.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/posix_socket.h"
#include "screen/screen_test_support.h"
#include "settings/terminal_size_dialog.h"
#include "telnet/connection.h"
#include "telnet/terminal_session.h"
#include "support/host_io.h"
#include "support/loopback_terminal.h"
#include "support/offline_session.h"
#include "support/recording_sinks.h"
#include "support/scripted_host.h"

namespace velmora {
namespace {

using testing::NoTrace;
using testing::RecordingReplies;
using testing::LiveObserver;
using testing::ScriptedHost;

using testing::Deadline;
using testing::WaitFor;
using testing::WaitForFlag;
using testing::WriteAll;

using namespace std::string_literals;

// A terminal without a connection: host bytes go straight into its pipeline.
struct Offline {
  LiveObserver observer;
  NoTrace trace;
  RecordingReplies replies;
  TerminalSession session{observer, trace, replies};

  explicit Offline(HostEncoding encoding = HostEncoding::EUC, int32_t columns = 80, int32_t rows = 24,
                   uint32_t backlogMax = 1000) {
    observer.model = &session.screen();
    testing::PrepareOffline(session, columns, rows, backlogMax, encoding);
  }
  void Feed(std::string_view bytes) {
    for (const char c : bytes) session.pipeline().ReceiveByte(static_cast<uint8_t>(c));
  }
  // Feeds `count` copies of `filler` in reads of 64 KiB, as the socket would deliver them.
  void Flood(char filler, size_t count) {
    const std::string read(64u << 10, filler);
    for (size_t left = count; left > 0;) {
      const size_t n = std::min(left, read.size());
      Feed(std::string_view(read.data(), n));
      left -= n;
    }
  }
  std::string Row(int32_t r) const { return testing::TestScreen::Trim(session.screen().ScreenLine(r)); }
  std::string Cells(int32_t r, int32_t from, int32_t count) const {
    return std::string(reinterpret_cast<const char*>(session.screen().ScreenLine(r)->text()) + from,
                       static_cast<size_t>(count));
  }
};

constexpr size_t kTenMegabytes = 10u << 20;

// ---- Sequences without end ----------------------------------------------------------------

TEST(HostilePeer, TenMegabytesOfParameterCharacters) {
  const struct {
    const char* what;
    const char* type;
    std::string before;
    char filler;
    std::string after;
    size_t count = kTenMegabytes;
  } cases[] = {
      {"a count", "vt100", "\x1b[", '9', "A"},
      {"a column", "vt100", "\x1b[5;", '7', "H"},
      {"leading zeros", "vt100", "\x1b[", '0', "7B"},
      {"a region", "vt100", "\x1b[2;", '8', "r"},
      {"semicolons", "vt100", "\x1b[1", ';', "m"},
      // Sequences of a fixed length: what follows is text, a megabyte of it.
      {"a private mode", "vt100", "\x1b[?", '1', "h", 1u << 20},
      {"a cursor address", "vt52", "\x1bY", ' ', "", 1u << 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Offline t;
    t.Feed("\x1b[5;1H");
    t.session.SetTerminalType(c.type);
    t.Feed(c.before);
    t.Flood(c.filler, c.count);
    t.Feed(c.after);
    t.Feed("\r\nEND");
    const ScreenModel& s = t.session.screen();
    EXPECT_EQ(t.session.stream().receiveState, ReceiveState::Text);
    EXPECT_EQ(s.state().cursorCol, 3);
    EXPECT_EQ(t.Row(s.state().cursorRow), "END");
    EXPECT_LE(s.store().lineCount, s.backlogMax() + static_cast<uint32_t>(s.rows()));
    testing::ExpectConsistent(s);
  }
}

// The environment options' subnegotiation lasts until IAC: a host that never sends one keeps
// the terminal in the command, answering nothing and showing nothing, for as long as it likes.
// The IAC and the byte after it end it, with one reply.
TEST(HostilePeer, EndlessSubnegotiationEndsAtItsIac) {
  for (const uint8_t option : {uint8_t{kTelOptNewEnviron}, uint8_t{kTelOptOldEnviron}}) {
    SCOPED_TRACE(static_cast<int>(option));
    Offline t;
    t.Feed("\xff\xfa"s + static_cast<char>(option) + "\x01");
    t.Flood('x', kTenMegabytes);
    t.Flood('\n', 1000);
    EXPECT_EQ(t.session.stream().receiveState, ReceiveState::Command);
    EXPECT_TRUE(t.replies.replies.empty());
    EXPECT_EQ(t.Row(0), "");
    EXPECT_EQ(t.session.screen().state().cursorRow, 0);
    t.Feed("\xff\xf0" "after");
    EXPECT_EQ(t.session.stream().receiveState, ReceiveState::Text);
    ASSERT_EQ(t.replies.replies.size(), 1u);
    EXPECT_EQ(t.replies.replies[0], "\xff\xfa"s + static_cast<char>(option) + '\0' + "\xff\xf0");
    EXPECT_EQ(t.Row(0), "after");
  }
}

// Every other option's subnegotiation is three bytes after the option, whatever they are: a
// host that means to send more cannot hold the terminal, and its bytes are text again.
TEST(HostilePeer, FixedLengthSubnegotiationCannotBeHeldOpen) {
  Offline t;
  t.Feed("\xff\xfa\x18" "abcdef");
  EXPECT_EQ(t.session.stream().receiveState, ReceiveState::Text);
  EXPECT_EQ(t.Row(0), "def");
  ASSERT_EQ(t.replies.replies.size(), 1u);
  EXPECT_EQ(t.replies.replies[0], "\xff\xfa\x18\0vt100\xff\xf0"s);
}

// ---- Lead bytes interrupted ---------------------------------------------------------------

// A control byte between the halves of a character is carried out first and the character
// still completes; ESC runs its whole sequence in between; IAC is taken as the second byte.
TEST(HostilePeer, LeadByteFollowedByEveryControlByte) {
  const struct {
    const char* name;
    HostEncoding encoding;
    std::string before;  // the character up to the interruption
    std::string rest;    // and its remaining bytes
  } encodings[] = {
      {"euc", HostEncoding::EUC, "\xa4", "\xa2"},
      {"sjis", HostEncoding::SJIS, "\x82", "\xa0"},
      {"utf8 after the lead", HostEncoding::UTF8, "\xe3", "\x81\x82"},
      {"utf8 after the middle", HostEncoding::UTF8, "\xe3\x81", "\x82"},
  };
  std::vector<std::string> interruptions;
  for (int c = 0; c < 0x20; ++c) {
    if (c != 0x1b) interruptions.push_back(std::string(1, static_cast<char>(c)));
  }
  interruptions.push_back("\x1b[C");
  interruptions.push_back("\x1b[2;5H");
  interruptions.push_back("\x1b" "7");
  for (const auto& e : encodings) {
    for (const std::string& between : interruptions) {
      SCOPED_TRACE(::testing::Message() << e.name << ", byte " << static_cast<int>(static_cast<uint8_t>(between[0]))
                                        << " (" << between.size() << " bytes)");
      Offline t(e.encoding);
      t.Feed("\x1b[6;11H");
      t.Feed(e.before);
      t.Feed(between);
      t.Feed(e.rest);
      const ScreenModel& s = t.session.screen();
      const ReceivePipeline& p = t.session.pipeline();
      EXPECT_EQ(p.decoder().pendingLead(), 0);
      EXPECT_EQ(p.decoder().utf8Middle(), 0);
      EXPECT_EQ(t.session.stream().receiveState, ReceiveState::Text);
      ASSERT_GE(s.state().cursorCol, 2);
      EXPECT_EQ(t.Cells(s.state().cursorRow, s.state().cursorCol - 2, 2), "\x82\xa0") << "あ before the cursor";
      t.Feed("z");
      EXPECT_EQ(t.Cells(s.state().cursorRow, s.state().cursorCol - 1, 1), "z");
    }
  }
}

// IAC after a lead byte is a telnet command, answered at once; the character completes after it
// (in UTF-8 also between the second and third bytes).
TEST(HostilePeer, LeadByteFollowedByIac) {
  const struct {
    HostEncoding encoding;
    const char* before;
    const char* after;
  } cases[] = {{HostEncoding::EUC, "\xa4", "\xa2"},
               {HostEncoding::SJIS, "\x82", "\xa0"},
               {HostEncoding::UTF8, "\xe3", "\x81\x82"},
               {HostEncoding::UTF8, "\xe3\x81", "\x82"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.before));
    Offline t(c.encoding);
    t.Feed(std::string(c.before) + "\xff");
    t.Feed("\xfd\x18");
    EXPECT_EQ(t.session.stream().receiveState, ReceiveState::Text);
    EXPECT_NE(t.session.pipeline().decoder().pendingLead(), 0);
    ASSERT_EQ(t.replies.replies.size(), 1u) << "the request inside the character is answered";
    EXPECT_EQ(t.replies.replies[0], "\xff\xfb\x18");
    t.Feed(std::string(c.after) + "ok");
    EXPECT_EQ(t.session.pipeline().decoder().pendingLead(), 0);
    EXPECT_EQ(t.Cells(0, 0, 4), "\x82\xa0ok");
  }
}

// ---- Double-byte characters and a size change ----------------------------------------------

// The terminal size command as the main window carries it out: the dialog resizes the screen,
// which also fixes the bar, the region and the cursor.
void ChangeSize(TerminalSession& session, int32_t columns, int32_t rows) {
  ScreenModel& s = session.screen();
  int32_t newColumns = s.columns(), newRows = s.rows();
  uint32_t backlogMax = s.backlogMax();
  TerminalSizeDialogModel dialog(newColumns, newRows, backlogMax,
                                 [&](int32_t) { return s.Resize(newColumns, newRows); });
  ASSERT_TRUE(dialog.OnOk(std::to_string(columns), std::to_string(rows), std::to_string(s.backlogMax())));
  s.SetBacklogMax(backlogMax);
}

TEST(HostilePeer, DoubleByteCharactersAcrossASizeChange) {
  Offline t(HostEncoding::SJIS, 80, 24, 5);
  std::string kana;
  for (int i = 0; i < 40; ++i) kana += "\x82\xa0";
  // Five backlog lines of 80 columns; then row 0: a character over columns 39 and 40; row 1 full
  // of characters; the cursor far right.
  for (int i = 0; i < 30; ++i) t.Feed("line\r\n");
  t.Feed("\x1b[H\x1b[2J" + std::string(39, 'x') + "\x82\xa2" + "\r\n" + kana + "\x1b[3;77H");
  ChangeSize(t.session, 40, 12);
  ScreenModel& s = t.session.screen();
  testing::ExpectConsistent(s);
  // The cut character leaves its lead half in the last cell; nothing is written past it.
  EXPECT_EQ(t.Cells(0, 38, 2), "x\x82");
  EXPECT_EQ(t.Cells(1, 0, 40), kana.substr(0, 40));
  EXPECT_EQ(s.state().cursorCol, 39);

  // A character at the last column wraps whole; one over the lone lead half replaces it.
  t.Feed("\x82\xa4");
  EXPECT_EQ(t.Cells(3, 0, 2), "\x82\xa4");
  t.Feed("\x1b[1;40Hy\x1b[1;39H\x82\xa6");
  EXPECT_EQ(t.Cells(0, 38, 2), "\x82\xa6");
  // On the trail half of the row's last character.
  t.Feed("\x1b[2;40Hq");
  EXPECT_EQ(t.Cells(1, 38, 2), " q");
  testing::ExpectConsistent(s);

  // Wider again: the narrow rows come back blank beyond their old width, and the backlog lines
  // of the older widths are let go as output reuses lines.
  ChangeSize(t.session, 163, 107);
  testing::ExpectConsistent(s);
  EXPECT_EQ(t.Cells(0, 38, 3), "\x82\xa6 ");
  t.Feed("\x1b[107;163H\x82\xa8");
  EXPECT_EQ(s.state().cursorRow, 106);
  EXPECT_EQ(t.Cells(106, 0, 2), "\x82\xa8");
  for (int i = 0; i < 300; ++i) t.Feed(kana + "\r\n");
  testing::ExpectConsistent(s);
  for (const TerminalLine* l = s.store().firstLine; l != nullptr; l = l->next) EXPECT_EQ(l->width, 163);
  EXPECT_EQ(s.store().lineCount, 107u + 5u);
}

// ---- On the wire: a host on 127.0.0.1 --------------------------------------------------------

// Reads until `enough` bytes arrived (0: until the end of the stream). False on an error, the
// deadline, or an end before `enough`.
bool Read(int fd, std::string& out, size_t enough, const Deadline& deadline) {
  char buf[4096];
  while (enough == 0 || out.size() < enough) {
    if (!WaitFor(fd, POLLIN, deadline)) return false;
    const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0) return enough == 0;
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return false;
    }
    out.append(buf, static_cast<size_t>(n));
  }
  return true;
}

// The terminal wired as the main window wires it, a closed connection resetting the session.
// Once the terminal has closed its socket there is nothing to poll, but what is awaited may
// still come from the host's thread: the pump waits on.
class Terminal : public testing::LoopbackTerminal<> {
 public:
  explicit Terminal(uint16_t port) : LoopbackTerminal(port) { resetSessionOnClose = true; }

  bool PumpUntil(const std::function<bool()>& done) {
    return testing::PumpUntil(done, [this] {
      if (!socket.PollOnce(20)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      return true;
    });
  }
};

// The host asks for the terminal type again and again and never reads. The answers wait in the
// outgoing queue until it reaches its cap; after that they are refused, whole. What the user
// types still goes out, behind them, once the host reads.
TEST(HostilePeer, SubnegotiationFloodFromAHostThatNeverReads) {
  const std::string request = "\xff\xfa\x18\x01\xff\xf0";
  const std::string reply = "\xff\xfa\x18\0vt100\xff\xf0"s;
  const size_t requests = 3 * Connection::kReplyQueueLimit / reply.size();
  std::string flood;
  for (size_t i = 0; i < requests; ++i) flood += request;

  std::atomic<bool> written{false}, startReading{false};
  std::string got;
  bool ended = false;
  ScriptedHost host(8192);
  host.Run([&](ScriptedHost& h, const Deadline& deadline) {
    const int fd = h.Accept(deadline);
    if (fd < 0) return;
    written = WriteAll(fd, flood, deadline);
    if (WaitForFlag(startReading, deadline)) ended = Read(fd, got, 0, deadline);
    close(fd);
  });
  Terminal t(host.port());
  ASSERT_TRUE(t.Connect());
  t.UseSmallSendBuffer();
  size_t mostQueued = 0;
  t.afterEvent = [&] { mostQueued = std::max(mostQueued, t.connection.queuedBytes()); };
  ASSERT_TRUE(t.PumpUntil([&] { return written.load() && t.receivedCount.load() == flood.size(); }));
  EXPECT_LE(mostQueued, Connection::kReplyQueueLimit + reply.size()) << "the queue went past its cap";
  EXPECT_GT(mostQueued, Connection::kReplyQueueLimit - reply.size()) << "the flood never filled the queue";
  t.Type("typed\n");
  EXPECT_EQ(t.session.screen().state().cursorCol, 0) << "requests are not text";

  startReading = true;
  EXPECT_TRUE(t.FlushAndEndOutput());
  t.PumpUntil([&] { return host.done(); });
  host.Finish();
  ASSERT_TRUE(ended);
  // Whole answers, then the typed line.
  ASSERT_GE(got.size(), 7u);
  EXPECT_EQ(got.substr(got.size() - 7), "typed\r\n");
  const size_t answers = (got.size() - 7) / reply.size();
  ASSERT_EQ(answers * reply.size(), got.size() - 7) << "an answer was cut";
  for (size_t i = 0; i < answers; ++i) {
    if (got.compare(i * reply.size(), reply.size(), reply) != 0) {
      ADD_FAILURE() << "answer " << i << " is not whole";
      break;
    }
  }
  EXPECT_LT(answers, requests);
  EXPECT_GE(answers, Connection::kReplyQueueLimit / reply.size());
}

// A host that sends one byte per second: every byte of its escape sequences, telnet commands
// and multi-byte characters arrives in a read of its own, with the user typing and scrolling
// in between. The screen ends as if all had come at once, and no typed byte gets inside an
// answer.
TEST(HostilePeer, OneByteAtATimeInsideSequences) {
  const std::string stream =
      "ab\x1b[3;5Hc\x1b[1;7md\x1b[m\xff\xfd\x18" "e\xff\xfa\x18\x01\xff\xf0\x1b[5;10r\x1bM"
      "\x1b$B$\"\x1b(B\xa4\xa2\xff\xfb\x01\x1b[?1h\x1b[20Bf\xff\xfd\x1f\x1bY%%g\x1b[;H\x1b[2Jh\xff\xfe\x01"s;
  Offline reference;
  reference.Feed(stream);
  std::vector<size_t> boundaries{0};  // where each answer ends in the answers' stream
  std::string answers;
  for (const std::string& r : reference.replies.replies) {
    answers += r;
    boundaries.push_back(answers.size());
  }

  std::string got;
  bool ended = false;
  ScriptedHost host;
  std::atomic<Terminal*> terminal{nullptr};
  host.Run([&](ScriptedHost& h, const Deadline& deadline) {
    const int fd = h.Accept(deadline);
    if (fd < 0) return;
    for (size_t i = 0; i < stream.size(); ++i) {
      if (!WriteAll(fd, std::string_view(stream).substr(i, 1), deadline)) break;
      // The next byte only once the terminal has taken this one.
      while (terminal.load()->receivedCount.load() <= i && !deadline.Passed()) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
    ended = Read(fd, got, 0, deadline);
    close(fd);
  });
  Terminal t(host.port());
  terminal = &t;
  ASSERT_TRUE(t.Connect());
  size_t seen = 0;
  ScreenModel& s = t.session.screen();
  t.afterEvent = [&] {
    if (t.receivedCount.load() == seen) return;
    seen = t.receivedCount.load();
    t.Type("k");  // never inside an answer: 'k' is in none of them
    if (seen % 3 == 0) {
      MutableView(s).thumbTracking = !s.view().thumbTracking;
      s.ScrollView(s.view().thumbTracking ? -2 : s.ViewBottom());
    }
  };
  ASSERT_TRUE(t.PumpUntil([&] { return t.receivedCount.load() == stream.size(); }));
  t.afterEvent = nullptr;
  EXPECT_EQ(t.session.negotiator().localEcho, reference.session.negotiator().localEcho);  // before the close resets it
  EXPECT_TRUE(t.FlushAndEndOutput());
  t.PumpUntil([&] { return host.done(); });
  host.Finish();
  ASSERT_TRUE(ended);

  size_t answered = 0, typed = 0;
  std::string without;
  for (const char c : got) {
    if (c != 'k') {
      without += c;
      continue;
    }
    ++typed;
    EXPECT_NE(std::find(boundaries.begin(), boundaries.end(), without.size()), boundaries.end())
        << "a typed byte inside an answer, after " << without.size() << " bytes of answers";
  }
  answered = without.size();
  EXPECT_EQ(without, answers);
  EXPECT_EQ(typed, stream.size());
  EXPECT_EQ(answered, answers.size());

  const ScreenModel& r = reference.session.screen();
  EXPECT_EQ(s.state().cursorCol, r.state().cursorCol);
  EXPECT_EQ(s.state().cursorRow, r.state().cursorRow);
  EXPECT_EQ(s.state().regionTop, r.state().regionTop);
  EXPECT_EQ(s.state().regionBottom, r.state().regionBottom);
  EXPECT_EQ(s.state().currentAttr, r.state().currentAttr);
  ASSERT_EQ(s.store().lineCount, r.store().lineCount);
  for (const TerminalLine *a = s.store().firstLine, *b = r.store().firstLine; a != nullptr; a = a->next, b = b->next) {
    EXPECT_EQ(testing::TestScreen::Trim(a), testing::TestScreen::Trim(b));
    EXPECT_EQ(0, std::memcmp(a->attrs(), b->attrs(), static_cast<size_t>(a->width)));
  }
  testing::ExpectConsistent(s);
}

// The host resets the connection while a paste waits to go out, and the user pastes and types
// more before the terminal has seen the reset. Nothing of it reaches the next connection,
// which carries exactly what was sent on it.
TEST(HostilePeer, ResetDuringAPasteLeavesNothingForTheNextConnection) {
  std::atomic<bool> reset{false};
  std::atomic<bool> queued{false};
  std::string second;
  bool ended = false;
  ScriptedHost host(8192);
  host.Run([&](ScriptedHost& h, const Deadline& deadline) {
    const int first = h.Accept(deadline);
    if (first < 0) return;
    // Nothing is read before the paste waits in the queue: the terminal offers it until the
    // socket would block, and a reset during that offer would leave nothing waiting.
    if (!WaitForFlag(queued, deadline)) return;
    std::string some;
    Read(first, some, 64u << 10, deadline);
    const linger abort{1, 0};
    setsockopt(first, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(first);  // with unread data and no linger: a reset
    reset = true;
    const int next = h.Accept(deadline);
    if (next < 0) return;
    ended = Read(next, second, 0, deadline);
    close(next);
  });
  Terminal t(host.port());
  ASSERT_TRUE(t.Connect());
  t.UseSmallSendBuffer();
  const std::string paste(4u << 20, 'p');
  t.connection.SendData(paste);
  ASSERT_GT(t.connection.queuedBytes(), 0u);
  queued = true;
  ASSERT_TRUE(t.PumpUntil([&] { return reset.load(); }));
  // Before the reset is seen: more paste, a key, an answer to a request.
  t.connection.SendData(std::string(1u << 20, 'q'));
  t.Type("lost\n");
  t.Feed("\xff\xfd\x18");
  ASSERT_TRUE(t.PumpUntil([&] { return t.closes == 1; }));
  EXPECT_FALSE(t.connection.IsConnected());
  EXPECT_EQ(t.connection.queuedBytes(), 0u);

  ASSERT_TRUE(t.Connect());
  t.connection.SendData("pasted");
  t.Type("typed\n");
  EXPECT_TRUE(t.FlushAndEndOutput());
  t.PumpUntil([&] { return host.done(); });
  host.Finish();
  EXPECT_TRUE(ended);
  EXPECT_EQ(second, "pastedtyped\r\n");
}

}  // namespace
}  // namespace velmora

// Once the backlog is full, output reuses the oldest line for every new one: a long session
// runs in constant memory and allocates nothing per line. This executable replaces the global
// operator new with one that counts, and counts while host output of several kinds goes
// through the receive path of a terminal whose backlog is already full.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <new>
#include <string>

#include "screen/screen_test_support.h"
#include "telnet/terminal_session.h"
#include "support/recording_sinks.h"
#include "support/replaced_new.h"

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
}  // namespace

void* velmora::testing::AllocateForTest(std::size_t size) noexcept {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size != 0 ? size : 1);
}

namespace velmora {
namespace {

using testing::LiveObserver;
using testing::NoTrace;

struct SteadyCase {
  const char* name;
  HostEncoding encoding;
  const char* type;
  std::string line;     // one line of output, ending in a line feed
  bool holdView;        // the user holds the view in the backlog (the thumb dragged)
  bool select;          // a selection is made in the backlog
};

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

class SteadyAllocation : public ::testing::TestWithParam<SteadyCase> {};

TEST_P(SteadyAllocation, NoAllocationPerLineOnceTheBacklogIsFull) {
  const SteadyCase& c = GetParam();
  LiveObserver observer;
  NoTrace trace;
  TerminalSession session(observer, trace);
  ScreenModel& s = session.screen();
  observer.model = &s;
  s.SetBacklogMax(100);
  ASSERT_TRUE(s.CreateLineStore());
  s.ResetForConnection();
  session.SetHostEncoding(c.encoding);
  session.SetTerminalType(c.type);
  auto feed = [&](int lines) {
    for (int i = 0; i < lines; ++i) {
      for (const char b : c.line) session.pipeline().ReceiveByte(static_cast<uint8_t>(b));
    }
  };
  const uint32_t full = s.backlogMax() + static_cast<uint32_t>(s.rows());
  for (int i = 0; i < 10000 && s.store().lineCount < full; ++i) feed(1);
  ASSERT_EQ(s.store().lineCount, full) << "the backlog never filled";
  if (c.holdView) {
    MutableView(s).thumbTracking = true;
    s.ScrollView(-50);
  }
  if (c.select) MutableSelection(s) = Selection{3, 60, 10, 80};
  feed(50);  // settles anything made once, on first use

  gAllocations = 0;
  gCounting = true;
  feed(2000);
  gCounting = false;
  EXPECT_EQ(gAllocations.load(), 0) << "allocations while 2000 lines went into a full backlog";
  EXPECT_EQ(s.store().lineCount, full);
}

INSTANTIATE_TEST_SUITE_P(
    Output, SteadyAllocation,
    ::testing::Values(
        SteadyCase{"ascii", HostEncoding::EUC, "vt100", "a log line of plain text, 0123456789\r\n", false, false},
        SteadyCase{"euc", HostEncoding::EUC, "vt100", "\xa4\xb3\xa4\xf3\xa4\xcb\xa4\xc1\xa4\xcf \xb4\xc1\xbb\xfa\r\n",
                   false, false},
        SteadyCase{"utf8", HostEncoding::UTF8, "vt100", "\xe3\x81\x93\xe3\x82\x93 \xf0\x9f\x98\x80 \xc2\xa7\r\n", false,
                   false},
        SteadyCase{"sjis_wrapping", HostEncoding::SJIS, "vt100", Repeat("\x82\xa0", 41) + "\r\n", false, false},
        SteadyCase{"escapes", HostEncoding::EUC, "vt100",
                   "\x1b[1;7mbold\x1b[m \x1b[5;20r\x1b[20;1H\n\x1b[1;24r\x1b[24;1H\x1b[2L\x1b[1M\x1b[3P\x1b[K\r\n",
                   false, false},
        SteadyCase{"vt52", HostEncoding::EUC, "vt52", "\x1bY7 text\x1bK\x1b" "B\r", false, false},
        SteadyCase{"jis", HostEncoding::EUC, "vt100", "\x1b$B$3$s\x1b(B jis\r\n", false, false},
        SteadyCase{"view_held", HostEncoding::EUC, "vt100", "text while the view is held\r\n", true, false},
        SteadyCase{"selection", HostEncoding::EUC, "vt100", "text under a selection\r\n", false, true}),
    [](const ::testing::TestParamInfo<SteadyCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora

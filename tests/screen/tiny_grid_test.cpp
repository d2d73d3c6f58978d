// Grids of one row or one column. The terminal size dialog never makes them, but a settings
// file may hold any size from 1 to 999 and start-up takes it as stored, so the model has to
// work there too: scrolling the only row into the backlog (or away, with no backlog), and a
// double-byte character that has no room on a one-column row.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "screen/screen_test_support.h"
#include "telnet/terminal_session.h"
#include "support/offline_session.h"
#include "support/recording_sinks.h"

namespace velmora {
namespace {

using testing::NoTrace;

struct TinySession {
  testing::RecordingObserver observer;
  NoTrace trace;
  TerminalSession session{observer, trace};

  TinySession(int32_t columns, int32_t rows, uint32_t backlogMax, HostEncoding encoding) {
    observer.model = &session.screen();
    testing::PrepareOffline(session, columns, rows, backlogMax, encoding);
  }
  // Every byte on its own, the model checked after each; stops at the first byte that breaks it.
  void Feed(const std::string& bytes) {
    const int before = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    for (const char c : bytes) {
      session.pipeline().ReceiveByte(static_cast<uint8_t>(c));
      testing::ExpectConsistent(session.screen());
      const ScreenState& st = session.screen().state();
      EXPECT_TRUE(st.cursorCol >= 0 && st.cursorCol < session.screen().columns() && st.cursorRow >= 0 &&
                  st.cursorRow < session.screen().rows())
          << "cursor " << st.cursorCol << "," << st.cursorRow;
      if (::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() != before) return;
    }
  }
  std::vector<std::string> AllLines() const {
    std::vector<std::string> out;
    for (const TerminalLine* l = session.screen().store().firstLine; l != nullptr; l = l->next) {
      out.push_back(testing::TestScreen::Trim(l));
    }
    return out;
  }
};

constexpr uint32_t kNoLimit = 2147483647u;

struct TinyCase {
  const char* what;
  int32_t columns, rows;
  uint32_t backlogMax;
  HostEncoding encoding;
  std::string input;
  std::vector<std::string> lines;  // the whole store afterwards, oldest first
};

TEST(TinyGrid, WhatEachGridKeeps) {
  const TinyCase cases[] = {
      {"one row keeps every line", 5, 1, kNoLimit, HostEncoding::EUC, "a\r\nb\r\nc", {"a", "b", "c"}},
      {"one row, backlog of two", 5, 1, 2, HostEncoding::EUC, "a\r\nb\r\nc\r\nd", {"b", "c", "d"}},
      {"one row, no backlog", 5, 1, 0, HostEncoding::EUC, "a\r\nb\r\nc", {"c"}},
      {"one cell, no backlog", 1, 1, 0, HostEncoding::EUC, "abc", {"c"}},
      {"one cell wraps each character", 1, 1, kNoLimit, HostEncoding::EUC, "abc", {"a", "b", "c"}},
      {"one row, region scrolls", 5, 1, 1, HostEncoding::EUC, "a\eDb\eMc", {"  c"}},
      // A double-byte character needs two cells: on one column it is shown as '?'.
      {"one column, double-byte", 1, 3, kNoLimit, HostEncoding::SJIS, "\x82\xa0x", {"?", "x", ""}},
      {"one column, EUC and JIS", 1, 2, 0, HostEncoding::EUC, "\xa4\xa2\e$B$\"\e(B", {"?", "?"}},
      {"two columns, double-byte fills the row", 2, 2, 0, HostEncoding::SJIS, "\x82\xa0\x82\xa2",
       {"\x82\xa0", "\x82\xa2"}},
  };
  for (const TinyCase& c : cases) {
    SCOPED_TRACE(c.what);
    TinySession t(c.columns, c.rows, c.backlogMax, c.encoding);
    t.Feed(c.input);
    EXPECT_EQ(t.AllLines(), c.lines);
  }
}

// Every byte of a busy stream on every tiny grid, with the view held in the backlog now and
// then (the thumb dragged), so that the lines that leave the store are sometimes the shown ones.
TEST(TinyGrid, StaysConsistentUnderOutput) {
  const std::string stream =
      "ab\r\ncd\n\x82\xa0\x82\xa2x\x83\x5c\r\n\e[2;1r\e[L\e[M\e[99B\e[P\eM\eD\tq\b\b\e[1;1H\x82" "\r\n\xa0zz";
  for (const int32_t columns : {1, 2, 3}) {
    for (const int32_t rows : {1, 2, 3}) {
      for (const uint32_t backlogMax : {0u, 1u, 3u, kNoLimit}) {
        SCOPED_TRACE(::testing::Message() << columns << "x" << rows << " backlog " << backlogMax);
        TinySession t(columns, rows, backlogMax, HostEncoding::SJIS);
        ScreenModel& s = t.session.screen();
        for (int round = 0; round < 6 && !::testing::Test::HasFailure(); ++round) {
          MutableView(s).thumbTracking = round % 2 == 1;
          if (s.view().thumbTracking) s.ScrollView(-round);
          t.Feed(stream);
        }
        if (::testing::Test::HasFailure()) return;
      }
    }
  }
}

}  // namespace
}  // namespace velmora

// The trace file: nothing while off, each record complete on disk, appended across switch-ons.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "screen/screen_observer.h"
#include "telnet/debug_trace.h"
#include "telnet/terminal_session.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

class DebugTraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("velmora-trace-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  fs::path dir_;
};

TEST_F(DebugTraceTest, FileNameIsTheProcessIdentifier) {
  EXPECT_EQ(TraceFileName(1234), "1234.log");
  EXPECT_NE(TraceFileName(1234), TraceFileName(1235));
}

TEST_F(DebugTraceTest, OffWritesNothingOnAppendsAndEachRecordIsOnDiskAtOnce) {
  const fs::path file = dir_ / "77.log";
  DebugTrace trace(file.string());
  trace.Trace("[IAC]");
  EXPECT_FALSE(fs::exists(file));
  trace.traceEnabled = true;
  trace.Trace("[IAC]");
  trace.Trace("%s", "[DO]");
  EXPECT_EQ(Read(file), "[IAC][DO]");  // readable before any further call
  trace.traceEnabled = false;
  trace.Trace("[lost]");
  trace.traceEnabled = true;
  trace.Trace("[%03d]\n", 24);
  trace.Trace("%c%c", 0x82, 0xA0);
  trace.Trace("\\%d", 234);
  EXPECT_EQ(Read(file), "[IAC][DO][024]\n\x82\xA0\\234");
}

TEST_F(DebugTraceTest, LongRecordsAreWrittenWhole) {
  const fs::path file = dir_ / "long.log";
  DebugTrace trace(file.string());
  trace.traceEnabled = true;
  const std::string display(5000, 'x');
  trace.Trace("<IAC><SB><TELOPT_XDISPLOC><TELQUAL_IS><%s>", display.c_str());
  EXPECT_EQ(Read(file), "<IAC><SB><TELOPT_XDISPLOC><TELQUAL_IS><" + display + ">");
}

TEST_F(DebugTraceTest, UnwritableFileDropsTheRecordSilently) {
  DebugTrace trace((dir_ / "no" / "such" / "dir.log").string());
  trace.traceEnabled = true;
  trace.Trace("[IAC]");
  EXPECT_FALSE(fs::exists(dir_ / "no"));
}

TEST_F(DebugTraceTest, ReceivedLineIsRecordedInOrder) {
  const fs::path file = dir_ / "line.log";
  NullScreenObserver observer;
  DebugTrace trace(file.string());
  trace.traceEnabled = true;
  TerminalSession session(observer, trace);
  ASSERT_TRUE(session.screen().CreateLineStore());
  session.screen().ResetForConnection();
  for (uint8_t b : std::string("ok\r\n\xFF\xF6")) session.pipeline().ReceiveByte(b);
  EXPECT_EQ(Read(file), "ok[CR][LF]\n[IAC][AYT]");
  // Two traces write to two files.
  DebugTrace other((dir_ / "other.log").string());
  other.traceEnabled = true;
  other.Trace("x");
  EXPECT_EQ(Read(file), "ok[CR][LF]\n[IAC][AYT]");
  EXPECT_EQ(Read(dir_ / "other.log"), "x");
}

}  // namespace
}  // namespace velmora

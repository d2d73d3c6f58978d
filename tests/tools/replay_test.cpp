// Runs the built velmora-replay program: argument errors, the screen dump in its forms, input
// from a file and from standard input, and the trace file.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

std::string ShellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class ReplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "velmora_replay_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern + "/";
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return dir_ + name; }
  std::string Input(const std::string& data) {
    const std::string path = Path("input" + std::to_string(++inputs_));
    WriteFile(path, data);
    return path;
  }

  // The program with `args`, standard input from `stdinData`.
  Result Run(const std::vector<std::string>& args, const std::string& stdinData = "") {
    WriteFile(Path("stdin"), stdinData);
    std::string command = ShellQuoted(VELMORA_REPLAY_PATH);
    for (const auto& a : args) command += " " + ShellQuoted(a);
    command += " <" + ShellQuoted(Path("stdin")) + " >" + ShellQuoted(Path("stdout")) + " 2>" + ShellQuoted(Path("stderr"));
    const int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(Path("stdout"));
    r.err = ReadFile(Path("stderr"));
    return r;
  }

  std::string dir_;
  int inputs_ = 0;
};

TEST_F(ReplayTest, BadArgumentsExitWith2AndAMessage) {
  const std::string in = Input("x");
  const struct { std::vector<std::string> args; std::string message; } cases[] = {
      {{}, "no INPUT given"},
      {{"--cursor"}, "no INPUT given"},
      {{in, in}, "more than one INPUT given"},
      {{"--frob", in}, "unknown option '--frob'"},
      {{"-x", in}, "unknown option '-x'"},
      {{"--encoding", "latin1", in}, "unknown encoding 'latin1'"},
      {{"--encoding", "EUC", in}, "unknown encoding 'EUC'"},
      {{"--type", "vt220", in}, "unknown terminal type 'vt220'"},
      {{"--size", "80", in}, "bad size '80'"},
      {{"--size", "80x", in}, "bad size '80x'"},
      {{"--size", "x24", in}, "bad size 'x24'"},
      {{"--size", "1x24", in}, "bad size '1x24'"},
      {{"--size", "80x1", in}, "bad size '80x1'"},
      {{"--size", "1001x24", in}, "bad size '1001x24'"},
      {{"--size", "80X24", in}, "bad size '80X24'"},
      {{"--size", "80x24x", in}, "bad size '80x24x'"},
      {{"--size", "+80x24", in}, "bad size '+80x24'"},
      {{"--backlog-max", "-1", in}, "bad backlog size '-1'"},
      {{"--backlog-max", "2147483648", in}, "bad backlog size '2147483648'"},
      {{"--backlog-max", "1e3", in}, "bad backlog size '1e3'"},
      {{"--trace", "", in}, "--trace needs a file name"},
      {{in, "--encoding"}, "--encoding needs a value"},
      {{in, "--type"}, "--type needs a value"},
      {{in, "--size"}, "--size needs a value"},
      {{in, "--backlog-max"}, "--backlog-max needs a value"},
      {{in, "--trace"}, "--trace needs a value"},
      {{Path("missing")}, "cannot read '" + Path("missing") + "'"},
      {{dir_}, "cannot read '" + dir_ + "'"},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += " [" + a + "]";
    SCOPED_TRACE("args:" + joined);
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("velmora-replay: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

TEST_F(ReplayTest, ScreenDump) {
  const struct { std::vector<std::string> args; std::string input; std::string out; } cases[] = {
      // Every cell of every row, raw code page 932; EUC is the default encoding.
      {{"--size", "4x2"}, "\xa4\xa2", "\x82\xa0  \n    \n"},
      {{"--size", "4x2", "--encoding", "euc"}, "\xa4\xa2", "\x82\xa0  \n    \n"},
      {{"--size", "4x2", "--encoding", "sjis"}, "\xa4\xa2", "\xa4\xa2  \n    \n"},
      {{"--size", "4x2", "--encoding", "utf8"}, "\xe3\x81\x82", "\x82\xa0  \n    \n"},
      {{"--size", "4x2", "--utf8"}, "\xa4\xa2", "\xe3\x81\x82  \n    \n"},
      {{"--size", "4x2", "--utf8", "--encoding", "sjis"}, "\xb1\x82", "\xef\xbd\xb1   \n    \n"},
      // A cell that starts no character: U+FFFD.
      {{"--size", "4x2", "--utf8"}, "abc\x8f", "abc\xef\xbf\xbd\n    \n"},
      {{"--size", "4x2", "--cursor"}, "ab\r\nc", "ab  \nc   \ncursor 1 1\n"},
      {{"--size", "3x2", "--attrs"}, "ab", "ab \n000\n   \n000\n"},
      {{"--size", "3x2", "--attrs", "--cursor", "--utf8"}, "\xa4\xa2", "\xe3\x81\x82 \n000\n   \n000\ncursor 2 0\n"},
      // The backlog, oldest first, only with --all-lines.
      {{"--size", "2x2"}, "a\r\nb\r\nc", "b \nc \n"},
      {{"--size", "2x2", "--all-lines"}, "a\r\nb\r\nc", "a \nb \nc \n"},
      {{"--size", "2x2", "--all-lines", "--backlog-max", "1"}, "a\r\nb\r\nc\r\nd", "b \nc \nd \n"},
      {{"--size", "2x2", "--all-lines", "--backlog-max", "0"}, "a\r\nb\r\nc", "b \nc \n"},
      {{"--size", "2x2", "--all-lines", "--backlog-max", "2147483647"}, "a\r\nb\r\nc", "a \nb \nc \n"},
      {{"--size", "4x2", "--type", "vt100"}, "\x1b[1mA", "A   \n    \n"},
      {{"--size", "4x2", "--type", "vt52"}, "\x1b[1mA", "1mA \n    \n"},
      // Options may follow the input; the narrowest and the widest grids are accepted.
      {{"INPUT", "--size", "2x2", "--cursor"}, "", "  \n  \ncursor 0 0\n"},
      {{"--size", "1000x2"}, "", std::string(1000, ' ') + "\n" + std::string(1000, ' ') + "\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    if (args[0] != "INPUT") args.push_back(Input(c.input));
    else args[0] = Input(c.input);
    std::string joined;
    for (const auto& a : c.args) joined += " " + a;
    SCOPED_TRACE("args:" + joined);
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(ReplayTest, DefaultGridAndWholeInput) {
  const Result r = Run({Input("x"), "--cursor"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string blank = std::string(80, ' ') + "\n";
  std::string expected = "x" + std::string(79, ' ') + "\n";
  for (int i = 1; i < 24; ++i) expected += blank;
  EXPECT_EQ(r.out, expected + "cursor 1 0\n");

  // A large input, longer than one read: every byte arrives, in order.
  const Result big = Run({Input(std::string(100000, 'a') + "Z"), "--cursor", "--all-lines"});
  ASSERT_EQ(big.status, 0) << big.err;
  EXPECT_EQ(std::count(big.out.begin(), big.out.end(), 'a'), 100000);
  EXPECT_EQ(big.out.size(), 1251u * 81u + 12u);
  const std::string tail = "\nZ" + std::string(79, ' ') + "\ncursor 1 23\n";
  EXPECT_EQ(big.out.substr(big.out.size() - tail.size()), tail);
}

// Without --all-lines the replay keeps no line above the screen; the screen it prints is the
// last rows of what it prints with every line kept, whatever the host did on the way.
TEST_F(ReplayTest, TheScreenDoesNotDependOnTheLinesKept) {
  std::string stream;
  for (int i = 0; i < 300; ++i) {
    stream += "line " + std::to_string(i) + (i % 7 == 0 ? " \xa4\xa2\xb4\xc1 wraps past the right margin of a narrow grid" : "");
    stream += i % 11 == 0 ? "\x1b" "7\x1b[2;3r\x1b[3;1H\n\n\x1bM\x1b[r\x1b" "8" : "";
    stream += i % 97 == 0 ? "\x1b[H\x1b[2J" : "";
    stream += i % 5 == 0 ? "\n" : "\r\n";
  }
  const std::string in = Input(stream);
  for (const char* size : {"80x24", "7x3", "2x5", "2x2"}) {
    SCOPED_TRACE(size);
    const auto rows = static_cast<size_t>(std::atoi(std::strchr(size, 'x') + 1));
    const Result screen = Run({"--size", size, "--cursor", in});
    const Result all = Run({"--size", size, "--cursor", "--all-lines", in});
    ASSERT_EQ(screen.status, 0) << screen.err;
    ASSERT_EQ(all.status, 0) << all.err;
    size_t start = all.out.size() - 1;
    for (size_t n = 0; n <= rows; ++n) start = all.out.rfind('\n', start - 1);  // rows lines and the cursor's
    EXPECT_EQ(all.out.substr(start + 1), screen.out);
    EXPECT_GT(all.out.size(), screen.out.size());
  }
}

TEST_F(ReplayTest, StandardInputAsDash) {
  const Result r = Run({"--size", "3x2", "--cursor", "-"}, "\xa4\xa2z");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "\x82\xa0z\n   \ncursor 2 0\n");
  const Result empty = Run({"--size", "2x2", "-"}, "");
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_EQ(empty.out, "  \n  \n");
}

TEST_F(ReplayTest, TraceFile) {
  const std::string trace = Path("trace.log");
  const Result r = Run({"--size", "4x2", "--trace", trace, Input("a\r\n\xff\xf6\x07\x1b[m\xa4\xa2")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "a   \n\x82\xa0  \n");
  EXPECT_EQ(ReadFile(trace), "a[CR][LF]\n[IAC][AYT][BEEP][ESC][[][m]\x82\xa0");
}

TEST_F(ReplayTest, SentFileHoldsTheNegotiationReplies) {
  const std::string sent = Path("sent.bin");
  const Result r = Run({"--size", "100x30", "--type", "vt52", "--sent", sent,
                        Input("\xff\xfd\x18\xff\xfa\x18\x01\xff\xf0\xff\xfd\x1fok")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(sent), std::string("\xff\xfb\x18\xff\xfa\x18\x00vt52\xff\xf0\xff\xfb\x1f"
                                        "\xff\xfa\x1f\x00\x64\x00\x1e\xff\xf0", 25));
  const Result none = Run({"--sent", sent, Input("plain text")});
  EXPECT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(ReadFile(sent), "");
  const Result bad = Run({"--sent", Path("no/such/dir/sent.bin"), Input("x")});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("cannot write"), std::string::npos);
}

}  // namespace

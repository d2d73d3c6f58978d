// Throughput of the receive path: every byte through ReceiveBytes into the screen model, with a
// window interface that does nothing, side by side with libvterm (when it was found
// at build time) on the same generated host streams, and memcpy of the same bytes as the ceiling.
//
//   velmora-bench-receive              MB/s, best of five, and the ratio to libvterm
//   velmora-bench-receive --callgrind  instructions per byte under valgrind's callgrind, which
//                                      do not depend on how busy the machine is
//   velmora-bench-receive --feed ENGINE STREAM [BYTES]
//                                      (used by --callgrind) one pass, nothing printed
//   velmora-bench-receive --processes [REPLAY]
//                                      whole processes, as users run them: velmora-replay
//                                      (by default the one beside this program) against
//                                      --vterm-replay on the same streams in files, MB/s
//                                      from start to exit, best of five (POSIX only)
//   velmora-bench-receive --vterm-replay FILE
//                                      (used by --processes) what velmora-replay does, with
//                                      libvterm: the file fed to an 80x24 screen, whose rows
//                                      are printed as UTF-8
//
// The window interface is reached through genuine virtual calls, as the windows' are: the
// program holds two kinds of it (one that does nothing and, with --counting-observer after the
// other arguments of any mode, one that counts the requests) and picks one at run time, so
// link-time optimisation cannot bind the calls to either.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
extern char** environ;
#endif

#include "encoding/code_converter.h"
#include "telnet/terminal_session.h"

#ifdef VELMORA_HAVE_VTERM
#include <vterm.h>
#endif

using namespace velmora;

// The measured functions stay functions of their own, so that callgrind can count them.
#ifdef _MSC_VER
#define VELMORA_NOINLINE __declspec(noinline)
#else
#define VELMORA_NOINLINE __attribute__((noinline))
#endif

namespace {

constexpr size_t kStreamBytes = 20u * 1000u * 1000u;

// A window that counts every request: each request then also waits for the previous one's
// count, which a window that notes its requests in flags does not.
class CountingObserver : public ScreenObserver {
 public:
  void ShowLiveScreen() override { ++requests; }
  void InvalidateCells(const CellRect&) override { ++requests; }
  void InvalidateAll() override { ++requests; }
  void RepaintNow() override { ++requests; }
  void ScrollCells(const CellRect&, int32_t, int32_t) override { ++requests; }
  void SetScrollBar(const ScrollBarInfo&, unsigned) override { ++requests; }
  void UpdateCaret() override { ++requests; }
  void AlertSound() override { ++requests; }
  uint64_t requests = 0;
};

bool g_countingObserver = false;

std::unique_ptr<ScreenObserver> MakeObserver() {
  if (g_countingObserver) return std::make_unique<CountingObserver>();
  return std::make_unique<NullScreenObserver>();
}

class NoTrace : public TraceWriter {
 protected:
  void WriteRecord(const char*, va_list) override {}
};

void Append(std::vector<uint8_t>& s, const std::string& text) { s.insert(s.end(), text.begin(), text.end()); }

std::vector<uint8_t> AsciiStream(size_t bytes) {
  std::vector<uint8_t> s;
  s.reserve(bytes + 128);
  for (uint32_t n = 0; s.size() < bytes; ++n) {
    Append(s, "line " + std::to_string(n) + ": the quick brown fox jumps over the lazy dog 0123456789\r\n");
  }
  return s;
}

// What full-screen programs send: colours and attributes, cursor addressing and erasing, with
// short runs of text in between.
std::vector<uint8_t> EscapeStream(size_t bytes) {
  std::vector<uint8_t> s;
  s.reserve(bytes + 128);
  for (uint32_t n = 0; s.size() < bytes; ++n) {
    const unsigned row = 1 + n % 24, col = 1 + (n * 7) % 70;
    Append(s, "\x1b[" + std::to_string(row) + ";" + std::to_string(col) + "H");
    Append(s, (n % 3 == 0) ? "\x1b[1;7m" : (n % 3 == 1) ? "\x1b[4m" : "\x1b[0m");
    Append(s, "item " + std::to_string(n % 1000));
    Append(s, "\x1b[m\x1b[K");
    if (n % 50 == 0) Append(s, "\x1b[2J");
    if (n % 17 == 0) Append(s, "\x1b[5;20r\x1b[20;1H\n\n\x1b[r");
  }
  return s;
}

enum class JapaneseForm { kEuc, kUtf8, kSjis, kJis };

// Hiragana and common kanji of JIS X 0208 rows 4 and 16-47, in the host's form; 7-bit JIS
// shifts into kanji before each line's characters and out again before its CR LF.
std::vector<uint8_t> JapaneseStream(size_t bytes, JapaneseForm form) {
  std::vector<uint8_t> s;
  s.reserve(bytes + 128);
  uint32_t n = 0;
  while (s.size() < bytes) {
    if (form == JapaneseForm::kJis) Append(s, "\x1b$B");
    for (int i = 0; i < 36; ++i, ++n) {
      const uint8_t j1 = (n % 3 == 0) ? 0x24 : static_cast<uint8_t>(0x30 + (n / 3) % 16);
      const uint8_t j2 = static_cast<uint8_t>(0x21 + n % 83);
      if (form == JapaneseForm::kEuc || form == JapaneseForm::kJis) {
        const uint8_t high = form == JapaneseForm::kEuc ? 0x80 : 0;
        s.push_back(static_cast<uint8_t>(j1 | high));
        s.push_back(static_cast<uint8_t>(j2 | high));
        continue;
      }
      uint8_t p1 = j1, p2 = j2, p3 = 0;
      JisToSjis(p1, p2);
      if (form == JapaneseForm::kSjis) {
        s.push_back(p1);
        s.push_back(p2);
        continue;
      }
      const int k = SjisToUtf8(p1, p2, p3);
      const uint8_t out[3] = {p1, p2, p3};
      if (k > 0) s.insert(s.end(), out, out + k);
    }
    if (form == JapaneseForm::kJis) Append(s, "\x1b(B");
    s.push_back('\r');
    s.push_back('\n');
  }
  return s;
}

struct Stream {
  const char* name;
  const char* label;
  HostEncoding encoding;
  bool vterm;  // libvterm reads it too (it has no EUC-JP)
  std::vector<uint8_t> (*make)(size_t);
};

const Stream kStreams[] = {
    {"ascii", "ASCII lines, CR LF", HostEncoding::EUC, true, AsciiStream},
    {"escapes", "SGR, addressing, erasing", HostEncoding::EUC, true, EscapeStream},
    {"euc", "EUC-JP Japanese", HostEncoding::EUC, false, [](size_t b) { return JapaneseStream(b, JapaneseForm::kEuc); }},
    {"utf8", "UTF-8 Japanese", HostEncoding::UTF8, true, [](size_t b) { return JapaneseStream(b, JapaneseForm::kUtf8); }},
    {"sjis", "Shift-JIS Japanese", HostEncoding::SJIS, false,
     [](size_t b) { return JapaneseStream(b, JapaneseForm::kSjis); }},
    {"jis", "7-bit JIS Japanese", HostEncoding::EUC, false, [](size_t b) { return JapaneseStream(b, JapaneseForm::kJis); }},
};

// The figures the receive path is held to, printed beside each measurement: a lowest ratio to
// libvterm, a lowest throughput (what the Japanese streams reached before they were written as
// runs) and a highest count of instructions per byte. 0: none.
struct Goal {
  const char* stream;
  double leastRatio;
  double leastMegabytes;
  double mostInstructions;
};
const Goal kGoals[] = {
    {"ascii", 10, 0, 60},
    {"escapes", 3, 0, 75},
    {"euc", 0, 140, 106.6},
    {"utf8", 6, 169, 88.9},
};
int g_goalsMissed = 0;

const Goal* GoalOf(const Stream& s) {
  for (const Goal& g : kGoals) {
    if (std::strcmp(g.stream, s.name) == 0) return &g;
  }
  return nullptr;
}

// "met" or "MISSED" after the goal's text, and the count of missed goals kept.
std::string Verdict(bool met, const std::string& goal) {
  if (!met) ++g_goalsMissed;
  return goal + (met ? " met" : " MISSED");
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// The goals of a row with a throughput and, when libvterm ran, a ratio.
std::string SpeedVerdicts(const Stream& s, double megabytes, double ratio, bool withFloor) {
  const Goal* g = GoalOf(s);
  if (g == nullptr) return "";
  std::string out;
  if (g->leastRatio > 0 && ratio > 0) out += Verdict(ratio >= g->leastRatio, ">=" + Number(g->leastRatio) + "x");
  if (withFloor && g->leastMegabytes > 0) {
    out += (out.empty() ? "" : ", ") + Verdict(megabytes >= g->leastMegabytes, ">=" + Number(g->leastMegabytes) + " MB/s");
  }
  return out;
}

void PrintGoalSummary() {
  if (g_goalsMissed == 0) {
    std::printf("\nevery goal met\n");
  } else {
    std::printf("\n%d goal%s missed\n", g_goalsMissed, g_goalsMissed == 1 ? "" : "s");
  }
}

// The measured work of each engine, in functions of their own so that callgrind can count
// exactly them.
extern "C" VELMORA_NOINLINE void velmora_bench_feed(TerminalSession& session, const std::vector<uint8_t>& data) {
  // In reads of 512 bytes, as the window takes them from the socket.
  for (size_t at = 0; at < data.size(); at += 512) {
    session.pipeline().ReceiveBytes(data.data() + at, std::min<size_t>(512, data.size() - at));
  }
}

double RunVelmora(const Stream& stream, const std::vector<uint8_t>& data) {
  const std::unique_ptr<ScreenObserver> observer = MakeObserver();
  NoTrace trace;
  auto session = std::make_unique<TerminalSession>(*observer, trace);
  session->SetHostEncoding(stream.encoding);
  session->screen().SetBacklogMax(10000);
  session->screen().CreateLineStore();
  session->screen().ResetForConnection();
  const auto start = std::chrono::steady_clock::now();
  velmora_bench_feed(*session, data);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return static_cast<double>(data.size()) / 1e6 / took.count();
}

#ifdef VELMORA_HAVE_VTERM
// libvterm with its screen layer and callbacks that do nothing, fed 512 bytes at a time.
int NoDamage(VTermRect, void*) { return 1; }
int NoMoveRect(VTermRect, VTermRect, void*) { return 1; }
int NoMoveCursor(VTermPos, VTermPos, int, void*) { return 1; }
int NoProp(VTermProp, VTermValue*, void*) { return 1; }
int NoBell(void*) { return 1; }
int NoResize(int, int, void*) { return 1; }
int NoPushLine(int, const VTermScreenCell*, void*) { return 1; }
int NoPopLine(int, VTermScreenCell*, void*) { return 0; }
const VTermScreenCallbacks kNoCallbacks = {NoDamage, NoMoveRect, NoMoveCursor, NoProp, NoBell, NoResize, NoPushLine, NoPopLine};

extern "C" VELMORA_NOINLINE void vterm_bench_feed(VTerm* vt, const std::vector<uint8_t>& data) {
  for (size_t i = 0; i < data.size(); i += 512) {
    vterm_input_write(vt, reinterpret_cast<const char*>(data.data() + i), std::min<size_t>(512, data.size() - i));
  }
}

double RunVterm(const std::vector<uint8_t>& data) {
  VTerm* vt = vterm_new(24, 80);
  vterm_set_utf8(vt, 1);
  VTermScreen* screen = vterm_obtain_screen(vt);
  vterm_screen_set_callbacks(screen, &kNoCallbacks, nullptr);
  vterm_screen_reset(screen, 1);
  const auto start = std::chrono::steady_clock::now();
  vterm_bench_feed(vt, data);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  vterm_free(vt);
  return static_cast<double>(data.size()) / 1e6 / took.count();
}

void AppendUtf8(std::string& s, uint32_t c) {
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | c >> 6);
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | c >> 12);
    s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | c >> 18);
    s += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// What velmora-replay does, with libvterm: the whole file read as the replay tool reads it (in
// 64 KiB pieces), fed to an 80x24 screen as in the in-process comparison, and the screen's rows
// printed as UTF-8, each padded to 80 columns as velmora-replay --utf8 prints them (a wide
// character once, for its two columns). libvterm takes it in 512-byte writes: the whole file
// in one write crashes libvterm 0.1.4.
int VtermReplay(const char* name) {
  std::vector<uint8_t> data;
  std::FILE* f = std::fopen(name, "rb");
  if (f == nullptr) {
    std::fprintf(stderr, "velmora-bench-receive: cannot read '%s'\n", name);
    return 2;
  }
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    std::fprintf(stderr, "velmora-bench-receive: cannot read '%s'\n", name);
    return 2;
  }

  constexpr int kRows = 24, kColumns = 80;
  VTerm* vt = vterm_new(kRows, kColumns);
  vterm_set_utf8(vt, 1);
  VTermScreen* screen = vterm_obtain_screen(vt);
  vterm_screen_set_callbacks(screen, &kNoCallbacks, nullptr);
  vterm_screen_reset(screen, 1);
  vterm_bench_feed(vt, data);

  std::string text;
  for (int row = 0; row < kRows; ++row) {
    for (int col = 0; col < kColumns;) {
      VTermScreenCell cell;
      VTermPos pos;
      pos.row = row;
      pos.col = col;
      vterm_screen_get_cell(screen, pos, &cell);
      if (cell.chars[0] == 0) text += ' ';
      for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && cell.chars[i] != 0; ++i) AppendUtf8(text, cell.chars[i]);
      col += cell.width > 1 ? cell.width : 1;
    }
    text += '\n';
  }
  vterm_free(vt);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
#endif

double RunMemcpy(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> to(data.size());
  const auto start = std::chrono::steady_clock::now();
  std::memcpy(to.data(), data.data(), data.size());
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  volatile uint8_t keep = to[data.size() / 2];
  (void)keep;
  return static_cast<double>(data.size()) / 1e6 / took.count();
}

template <class F>
double Best(int runs, F f) {
  double best = 0;
  for (int i = 0; i < runs; ++i) best = std::max(best, f());
  return best;
}

int Throughput() {
  std::printf("receive path into the screen model (80x24, backlog 10000, %s window through virtual calls)\n"
              "against libvterm (80x24, screen layer, no-op callbacks); 512-byte reads, about 20 MB per\n"
              "stream, best of five\n\n",
              g_countingObserver ? "a request-counting" : "a no-op");
  std::printf("%-26s %12s %12s %8s %12s  %s\n", "stream", "Velmora", "libvterm", "ratio", "memcpy", "goal");
  for (const Stream& s : kStreams) {
    const std::vector<uint8_t> data = s.make(kStreamBytes);
    const double ours = Best(5, [&] { return RunVelmora(s, data); });
    double theirs = 0;
#ifdef VELMORA_HAVE_VTERM
    if (s.vterm) theirs = Best(5, [&] { return RunVterm(data); });
#endif
    const double ceiling = Best(5, [&] { return RunMemcpy(data); });
    const std::string goal = SpeedVerdicts(s, ours, theirs > 0 ? ours / theirs : 0, true);
    if (theirs > 0) {
      std::printf("%-26s %7.1f MB/s %7.1f MB/s %7.2fx %7.0f MB/s  %s\n", s.label, ours, theirs, ours / theirs, ceiling,
                  goal.c_str());
    } else {
      std::printf("%-26s %7.1f MB/s %12s %8s %7.0f MB/s  %s\n", s.label, ours, "-", "-", ceiling, goal.c_str());
    }
    std::fflush(stdout);
  }
  PrintGoalSummary();
#ifndef VELMORA_HAVE_VTERM
  std::printf("\n(libvterm was not found when this was built: install libvterm-dev for the comparison)\n");
#endif
  return 0;
}

// One pass of one engine over one stream, for callgrind.
int Feed(const std::string& engine, const std::string& name, size_t bytes) {
  for (const Stream& s : kStreams) {
    if (name != s.name) continue;
    const std::vector<uint8_t> data = s.make(bytes);
    if (engine == "velmora") {
      RunVelmora(s, data);
      return 0;
    }
#ifdef VELMORA_HAVE_VTERM
    if (engine == "libvterm" && s.vterm) {
      RunVterm(data);
      return 0;
    }
#endif
  }
  return 2;
}

// The instructions callgrind counted inside `function`, from its output file.
long long CountedInstructions(const std::string& command, const std::string& function) {
  const std::string out = "/tmp/velmora-callgrind." + std::to_string(getpid());
  const std::string full = "valgrind --tool=callgrind --callgrind-out-file=" + out + " --toggle-collect=" + function +
                           " " + command + " >/dev/null 2>&1";
  if (std::system(full.c_str()) != 0) return -1;
  std::ifstream in(out);
  std::string line;
  long long total = -1;
  while (std::getline(in, line)) {
    if (line.rfind("summary:", 0) == 0 || line.rfind("totals:", 0) == 0) total = std::atoll(line.c_str() + line.find(':') + 1);
  }
  std::remove(out.c_str());
  return total;
}

int Callgrind(const char* self) {
  constexpr size_t kBytes = 2u * 1000u * 1000u;
  std::printf("instructions per byte under callgrind (2 MB per stream; the feeding function only)\n\n");
  std::printf("%-26s %10s %10s %8s  %s\n", "stream", "Velmora", "libvterm", "ratio", "goal");
  for (const Stream& s : kStreams) {
    const std::string base = std::string(self) + " --feed ";
    const std::string size = " " + std::to_string(kBytes) + (g_countingObserver ? " --counting-observer" : "");
    const long long ours = CountedInstructions(base + "velmora " + s.name + size, "velmora_bench_feed");
    long long theirs = -1;
#ifdef VELMORA_HAVE_VTERM
    if (s.vterm) theirs = CountedInstructions(base + "libvterm " + s.name + size, "vterm_bench_feed");
#endif
    if (ours < 0) {
      std::printf("valgrind did not run (install valgrind)\n");
      return 1;
    }
    const double a = static_cast<double>(ours) / kBytes;
    const Goal* g = GoalOf(s);
    const std::string goal =
        g != nullptr ? Verdict(a <= g->mostInstructions, "<=" + Number(g->mostInstructions) + " per byte") : "";
    if (theirs > 0) {
      const double b = static_cast<double>(theirs) / kBytes;
      std::printf("%-26s %10.1f %10.1f %7.2fx  %s\n", s.label, a, b, b / a, goal.c_str());
    } else {
      std::printf("%-26s %10.1f %10s %8s  %s\n", s.label, a, "-", "-", goal.c_str());
    }
    std::fflush(stdout);
  }
  PrintGoalSummary();
  return 0;
}

#ifndef _WIN32
// The whole-process comparison: each stream written to a file in a directory of its own, which
// is removed afterwards with everything in it.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velmora-bench-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDirectory() {
    for (const std::string& f : files_) std::remove(f.c_str());
    if (!path_.empty()) rmdir(path_.c_str());
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  // The path of a file in the directory, to be removed with it.
  std::string File(const std::string& name) {
    files_.push_back(path_ + "/" + name);
    return files_.back();
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

bool WriteFile(const std::string& name, const std::vector<uint8_t>& data) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && written;
}

bool ReadWholeFile(const std::string& name, std::string& text) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  text = all.str();
  return true;
}

// Runs a program with its standard output into `out` and waits for it; the wall-clock seconds
// from before the start to after the exit, or -1 (after a message) when it could not start or
// did not exit with status 0.
double RunProcess(const std::vector<std::string>& args, const std::string& out) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (error == 0) {
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  if (error != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string command;
    for (const std::string& a : args) command += (command.empty() ? "" : " ") + a;
    if (error != 0) {
      std::fprintf(stderr, "velmora-bench-receive: cannot start %s: %s\n", command.c_str(), std::strerror(error));
    } else {
      std::fprintf(stderr, "velmora-bench-receive: %s did not exit with status 0\n", command.c_str());
    }
    return -1;
  }
  return took.count();
}

// This program's own file, to run it again as the libvterm side and to find velmora-replay.
std::string SelfPath(const char* argv0) {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
  return argv0;
}

int Processes(const std::string& self, std::string replay) {
  if (replay.empty()) {
    const size_t slash = self.rfind('/');
    replay = (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/velmora-replay";
  }
  if (access(replay.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "velmora-bench-receive: cannot run '%s' (build the velmora-replay target, or give its path)\n",
                 replay.c_str());
    return 2;
  }
  ScratchDirectory dir;
  if (!dir.ok()) {
    std::fprintf(stderr, "velmora-bench-receive: cannot make a temporary directory\n");
    return 1;
  }

  std::printf("whole processes, stdout to /dev/null: velmora-replay --encoding utf8 FILE (the streams\n"
              "libvterm does not read in their own encoding), which reads the file a block at a time and\n"
              "prints the screen, against this program's --vterm-replay FILE (reads the file, libvterm\n"
              "80x24 with its screen layer and no-op callbacks, 512-byte writes, prints the screen as\n"
              "UTF-8); about 20 MB per stream in a file, wall clock from start to exit, best of five\n\n");
  std::printf("%-26s %16s %12s %8s  %s\n", "stream", "velmora-replay", "libvterm", "ratio", "goal");
  std::string differing;
  for (const Stream& s : kStreams) {
    const std::string input = dir.File(std::string(s.name) + ".in");
    if (!WriteFile(input, s.make(kStreamBytes))) {
      std::fprintf(stderr, "velmora-bench-receive: cannot write '%s'\n", input.c_str());
      return 1;
    }
    struct stat st;
    if (stat(input.c_str(), &st) != 0) return 1;
    const double megabytes = static_cast<double>(st.st_size) / 1e6;
    // As a UTF-8 host sends them where libvterm reads the stream too; otherwise in the stream's own encoding.
    const char* encoding = s.vterm ? "utf8" : s.encoding == HostEncoding::SJIS ? "sjis" : "euc";
    const std::vector<std::string> ours = {replay, "--encoding", encoding, input};
    std::vector<std::string> theirs;
#ifdef VELMORA_HAVE_VTERM
    if (s.vterm) theirs = {self, "--vterm-replay", input};
#endif

    // One run of each first, untimed, with the screens kept: both must have reached the same
    // screen, so that both did the same work (velmora-replay prints it as UTF-8 for this).
    std::vector<std::string> oursUtf8 = ours;
    oursUtf8.insert(oursUtf8.begin() + 1, "--utf8");
    if (RunProcess(oursUtf8, dir.File(std::string(s.name) + ".velmora")) < 0) return 1;
    if (!theirs.empty()) {
      if (RunProcess(theirs, dir.File(std::string(s.name) + ".libvterm")) < 0) return 1;
      std::string a, b;
      if (!ReadWholeFile(dir.path() + "/" + s.name + ".velmora", a) ||
          !ReadWholeFile(dir.path() + "/" + s.name + ".libvterm", b) || a != b) {
        differing += std::string(differing.empty() ? "" : ", ") + s.name;
      }
    }

    // The two taken in turn, so that a change in the machine's load falls on both.
    double oursBest = 0, theirsBest = 0;
    for (int run = 0; run < 5; ++run) {
      const double a = RunProcess(ours, "/dev/null");
      if (a < 0) return 1;
      oursBest = std::max(oursBest, megabytes / a);
      if (theirs.empty()) continue;
      const double b = RunProcess(theirs, "/dev/null");
      if (b < 0) return 1;
      theirsBest = std::max(theirsBest, megabytes / b);
    }
    const std::string goal = SpeedVerdicts(s, oursBest, theirsBest > 0 ? oursBest / theirsBest : 0, false);
    if (theirsBest > 0) {
      std::printf("%-26s %11.1f MB/s %7.1f MB/s %7.2fx  %s\n", s.label, oursBest, theirsBest, oursBest / theirsBest,
                  goal.c_str());
    } else {
      std::printf("%-26s %11.1f MB/s %12s %8s  %s\n", s.label, oursBest, "-", "-", goal.c_str());
    }
    std::fflush(stdout);
  }
  PrintGoalSummary();
#ifdef VELMORA_HAVE_VTERM
  if (!differing.empty()) std::printf("\nthe final screens differ for: %s\n", differing.c_str());
#else
  std::printf("\n(libvterm was not found when this was built: install libvterm-dev for the comparison)\n");
#endif
  return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[argc - 1], "--counting-observer") == 0) {
    g_countingObserver = true;
    --argc;
  }
  if (argc >= 2 && std::strcmp(argv[1], "--callgrind") == 0) return Callgrind(argv[0]);
  if (argc >= 4 && std::strcmp(argv[1], "--feed") == 0) {
    return Feed(argv[2], argv[3], argc >= 5 ? std::strtoul(argv[4], nullptr, 10) : kStreamBytes);
  }
  if (argc >= 2 && std::strcmp(argv[1], "--processes") == 0) {
#ifdef _WIN32
    std::fprintf(stderr, "velmora-bench-receive: --processes runs on POSIX systems only\n");
    return 2;
#else
    return Processes(SelfPath(argv[0]), argc >= 3 ? argv[2] : "");
#endif
  }
  if (argc >= 3 && std::strcmp(argv[1], "--vterm-replay") == 0) {
#ifdef VELMORA_HAVE_VTERM
    return VtermReplay(argv[2]);
#else
    std::fprintf(stderr, "velmora-bench-receive: libvterm was not found when this was built\n");
    return 2;
#endif
  }
  return Throughput();
}

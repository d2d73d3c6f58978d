// Throughput of the whole program on Qt: a host on 127.0.0.1 sends a large file as `cat` would,
// and the real window (offscreen platform) receives, interprets and draws it. Prints MB/s
// beside the figure of the receive path alone for the same bytes, fed as the window feeds it
// (reads of 512 bytes through ReceiveBytes, a window interface that does nothing).
//
//   velmora-bench-qt [MEGABYTES]     (default 8) by the wall clock and by the processor time
//                                    of the thread that does the work (the window's, whose
//                                    event loop waits for the host's bytes as the program's
//                                    does; the wait is not in it), best of three each
//   velmora-bench-qt --callgrind [MEGABYTES]
//                                    (default 2) instructions per byte under valgrind's
//                                    callgrind, which do not depend on how busy the machine
//                                    is: the window from the connection to the drawn image
//                                    (event loop, socket, receive path, the window's requests,
//                                    frames), its reading alone, and the receive path alone
//   velmora-bench-qt --feed window|core MEGABYTES
//                                    (used by --callgrind) one pass; the window's prints how
//                                    often the view was painted
//   velmora-bench-qt --soak [MEGABYTES]
//                                    (default 100) the host runs `yes` into a window at the
//                                    default settings, with the line budget the program takes
//                                    on this machine; every second the resident size, the
//                                    lines kept and how late a 100 ms timer of the window's
//                                    event loop fired at worst
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <time.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "app/main_window.h"
#include "platform/posix/process_memory.h"
#include "frontends/qt/qt_socket.h"
#include "frontends/qt/qt_window.h"
#include "platform/posix/reg_file_store.h"
#include "telnet/terminal_session.h"

using namespace velmora;

namespace {

class NoTrace : public TraceWriter {
 protected:
  void WriteRecord(const char*, va_list) override {}
};

// Lines of ASCII and of Shift-JIS Japanese, as a text file on the host would hold them.
std::string FileText(size_t bytes) {
  std::string s;
  s.reserve(bytes + 200);
  const std::string japanese = "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67\x82\xc5\x82\xb7\x81\x42";
  for (unsigned n = 0; s.size() < bytes; ++n) {
    s += std::to_string(n) + ": ";
    s += (n % 2 == 0) ? std::string("the quick brown fox jumps over the lazy dog 0123456789") : japanese + japanese;
    s += "\r\n";
  }
  return s;
}

// Seconds of wall clock and of the calling thread's processor time (user and system) between
// two points.
struct Took {
  double wall = 0;
  double cpu = 0;
};

class Stopwatch {
 public:
  Stopwatch() : wall_(std::chrono::steady_clock::now()), cpu_(ThreadSeconds()) {}
  Took Read() const {
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall_;
    return Took{wall.count(), ThreadSeconds() - cpu_};
  }

 private:
  static double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
  }
  std::chrono::steady_clock::time_point wall_;
  double cpu_;
};

// The measured work, in functions of their own so that callgrind can count exactly them.
#define VELMORA_NOINLINE __attribute__((noinline))

// The receive path alone, fed as the window feeds it: reads of 512 bytes.
extern "C" VELMORA_NOINLINE void velmora_bench_core(TerminalSession& session, const std::string& data) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  for (size_t at = 0; at < data.size(); at += 512) {
    session.pipeline().ReceiveBytes(bytes + at, std::min<size_t>(512, data.size() - at));
  }
}

Took CoreOnly(const std::string& data) {
  NullScreenObserver observer;
  NoTrace trace;
  TerminalSession session(observer, trace);
  session.SetHostEncoding(HostEncoding::SJIS);
  session.screen().CreateLineStore();
  session.screen().ResetForConnection();
  const Stopwatch watch;
  velmora_bench_core(session, data);
  return watch.Read();
}

// Whether the last line of the file, "END" in reverse video, is on the screen.
bool EndShown(const ScreenModel& s) {
  for (int r = 0; r < s.rows(); ++r) {
    const TerminalLine* l = s.ScreenLine(r);
    if (l->width >= 3 && std::memcmp(l->text(), "END", 3) == 0 && l->attrs()[0] != 0) return true;
  }
  return false;
}

// The window at work from the connection until the last line is on the screen and drawn into
// its image. The event loop waits when it has nothing to do, as the program's does.
extern "C" VELMORA_NOINLINE void velmora_bench_window(QtMainWindow& window, MainWindow& logic) {
  while (!EndShown(logic.screen())) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  (void)window.image();  // everything drawn into the window's image
}

// Counts the paint events of the terminal view: the frames that showed something.
class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

// A socket listening on a free port of 127.0.0.1, whose address `a` receives.
int ListenOnLoopback(sockaddr_in& a) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  a = sockaddr_in{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(listener, 1);
  socklen_t len = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  return listener;
}

// One run: a fresh window connects to a host that sends `data`; the time from the connection to
// the last line on the screen, drawn into the window's image (the processor time is the window
// thread's: the host's thread and the waits for its bytes are not in it). Negative when the
// window fails. `paints`, when given, receives the number of times the view was painted
// meanwhile.
Took WindowRun(const std::string& data, int* paints = nullptr) {
  // The host: one connection, the whole file, then the connection stays open.
  sockaddr_in a{};
  const int listener = ListenOnLoopback(a);
  int host = -1;
  std::thread sender([&] {
    host = accept(listener, nullptr, nullptr);
    size_t sent = 0;
    while (sent < data.size()) {
      const ssize_t n = send(host, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
  });

  const std::string dir = QDir::tempPath().toStdString() + "/velmora-bench.reg";
  Took took{-1, -1};
  {
    RegFileStore store(dir);
    QtSocket sock(ntohs(a.sin_port));
    QtMainWindow window;
    MainWindow& logic = window.MakeLogic(sock, store, 1);
    logic.LoadSettingsAndCommandLine("/H 127.0.0.1 /C sjis");
    if (window.Create()) {
      logic.FitWindowToGrid(false);
      QtStartupPlatform(window).ShowMainWindow();
      logic.ConnectAtStart();

      while (!logic.IsConnected() || window.windowTitle().startsWith(QString::fromUtf8("接続中"))) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      }
      // From the connection to the last line on the screen, drawn.
      PaintCounter counter;
      window.view()->installEventFilter(&counter);
      const Stopwatch watch;
      velmora_bench_window(window, logic);
      took = watch.Read();
      window.view()->removeEventFilter(&counter);
      if (paints != nullptr) *paints = counter.paints;
    }
    sender.join();
    close(host);
    close(listener);
  }
  std::remove(dir.c_str());
  return took;
}

// `yes` from a host into a window at the default settings, as the program runs it.
int Soak(size_t megabytes) {
  sockaddr_in a{};
  const int listener = ListenOnLoopback(a);
  std::string yes;
  while (yes.size() < (1u << 16)) yes += "y\r\n";
  const std::string end = "\x1b[7mEND\x1b[m";
  int host = -1;
  std::thread sender([&] {
    host = accept(listener, nullptr, nullptr);
    for (size_t sent = 0; sent < megabytes * 1000 * 1000;) {
      const ssize_t n = send(host, yes.data(), yes.size(), MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
    send(host, end.data(), end.size(), MSG_NOSIGNAL);
  });

  const std::string dir = QDir::tempPath().toStdString() + "/velmora-bench-soak.reg";
  const uint64_t residentAtStart = ResidentMemoryBytes();
  int status = 1;
  {
    RegFileStore store(dir);
    QtSocket sock(ntohs(a.sin_port));
    QtMainWindow window;
    MainWindow& logic = window.MakeLogic(sock, store, 1);
    const LineStore& lines = logic.screen().store();
    logic.screen().SetLineByteBudget(LineStore::ByteBudgetFor(PhysicalMemoryBytes()));
    logic.LoadSettingsAndCommandLine("/H 127.0.0.1");
    if (window.Create()) {
      logic.FitWindowToGrid(false);
      QtStartupPlatform(window).ShowMainWindow();
      logic.ConnectAtStart();
      std::printf("`yes` through the Qt window (80x24, offscreen), backlog limit %u lines, line budget %.0f MiB\n\n",
                  logic.screen().backlogMax(), static_cast<double>(lines.byteBudget()) / 1048576.0);
      std::printf("%8s %10s %12s %18s\n", "seconds", "lines", "resident MiB", "timer late, ms");
      using Clock = std::chrono::steady_clock;
      const auto start = Clock::now();
      auto due = start + std::chrono::milliseconds(100);
      double worstLate = 0, worstEver = 0;
      int ticks = 0;
      uint64_t highest = 0;
      QTimer timer;
      timer.setTimerType(Qt::PreciseTimer);
      QObject::connect(&timer, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        worstLate = std::max(worstLate, std::chrono::duration<double, std::milli>(now - due).count());
        due = now + std::chrono::milliseconds(100);
        highest = std::max(highest, ResidentMemoryBytes());
        if (++ticks % 10 == 0) {
          std::printf("%8.1f %10u %12.1f %18.1f\n", std::chrono::duration<double>(now - start).count(),
                      lines.lineCount, static_cast<double>(ResidentMemoryBytes()) / 1048576.0, worstLate);
          std::fflush(stdout);
          worstEver = std::max(worstEver, worstLate);
          worstLate = 0;
        }
      });
      timer.start(100);
      auto ended = [&] {
        const TerminalLine* l = logic.screen().ScreenLine(logic.screen().state().cursorRow);
        return std::string(reinterpret_cast<const char*>(l->text()), 3) == "END" && l->attrs()[0] != 0;
      };
      while (!ended()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      std::printf("\nhighest resident %.1f MiB (%.1f MiB before the window), the line store %.1f MiB by its "
                  "count; the timer at worst %.1f ms late\n",
                  static_cast<double>(highest) / 1048576.0, static_cast<double>(residentAtStart) / 1048576.0,
                  static_cast<double>(lines.bytesInUse()) / 1048576.0, std::max(worstEver, worstLate));
      status = 0;
    }
    sender.join();
    close(host);
    close(listener);
  }
  std::remove(dir.c_str());
  return status;
}

// One pass, for callgrind: the window (printing how often its view was painted) or the
// receive path alone.
int Feed(const std::string& what, const std::string& data) {
  if (what == "window") {
    int paints = 0;
    if (WindowRun(data, &paints).wall < 0) return 1;
    std::printf("paints %d\n", paints);
    return 0;
  }
  if (what == "core") {
    CoreOnly(data);
    return 0;
  }
  return 2;
}

// The instructions callgrind counted inside `function` (a pattern of valgrind's
// --toggle-collect), from its output file; what the command printed goes to `printed`.
long long CountedInstructions(const std::string& command, const std::string& function, std::string* printed = nullptr) {
  const std::string out = "/tmp/velmora-qt-callgrind." + std::to_string(getpid());
  const std::string text = out + ".txt";
  const std::string full = "valgrind --tool=callgrind --callgrind-out-file=" + out + " '--toggle-collect=" + function +
                           "' " + command + " >" + text + " 2>/dev/null";
  const int status = std::system(full.c_str());
  std::ifstream in(out);
  std::string line;
  long long total = -1;
  while (status == 0 && std::getline(in, line)) {
    if (line.rfind("summary:", 0) == 0 || line.rfind("totals:", 0) == 0) total = std::atoll(line.c_str() + line.find(':') + 1);
  }
  if (printed != nullptr) {
    std::ifstream p(text);
    printed->assign(std::istreambuf_iterator<char>(p), std::istreambuf_iterator<char>());
  }
  std::remove(out.c_str());
  std::remove(text.c_str());
  return total;
}

// Under callgrind the window runs some fifty times slower than it does, and frames come every
// 16 ms of that time: far more frames per byte than in a real run. So the reading (the
// socket's activations: the reads, the receive path, the window's requests, the caret) is
// counted on its own, apart from the frames and the event loop.
int Callgrind(const char* self, size_t megabytes, size_t bytes) {
  const std::string base = std::string(self) + " --feed ";
  const std::string size = " " + std::to_string(megabytes);
  std::string printed;
  const long long window = CountedInstructions(base + "window" + size, "velmora_bench_window", &printed);
  const long long reading = CountedInstructions(base + "window" + size, "velmora::QtSocket::Activated()");
  const long long core = CountedInstructions(base + "core" + size, "velmora_bench_core");
  if (window < 0 || reading < 0 || core < 0) {
    std::printf("valgrind did not run (install valgrind)\n");
    return 1;
  }
  const int paints = printed.rfind("paints ", 0) == 0 ? std::atoi(printed.c_str() + 7) : 0;
  const double perByte = 1.0 / static_cast<double>(bytes);
  const double w = static_cast<double>(window) * perByte, r = static_cast<double>(reading) * perByte;
  const double c = static_cast<double>(core) * perByte;
  std::printf("cat of a %zu MB Shift-JIS/ASCII file through the Qt window (80x24, offscreen), instructions per\n"
              "byte under callgrind (the reading counted in a run of its own; frames come far more often\n"
              "per byte than outside callgrind, which runs the window some fifty times slower)\n\n",
              megabytes);
  std::printf("%-42s %8.1f\n", "Qt window, socket to image", w);
  std::printf("%-42s %8.1f\n", "  reading: socket, receive path, requests", r);
  std::printf("%-42s %8.1f  (%d paints of the view)\n", "  the rest: frames, event loop", w - r, paints);
  std::printf("%-42s %8.1f\n", "receive path alone (same bytes)", c);
  std::printf("%-42s %8.2f\n", "receive path / window's reading", c / r);
  std::printf("%-42s %8.2f\n", "receive path / window", c / w);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const bool soak = mode == "--soak", callgrind = mode == "--callgrind", feed = mode == "--feed";
  const int countAt = soak || callgrind ? 2 : feed ? 3 : 1;
  const char* count = argc > countAt ? argv[countAt] : nullptr;
  const size_t megabytes = count != nullptr ? std::strtoul(count, nullptr, 10) : soak ? 100 : callgrind ? 2 : 8;
  const std::string data = soak ? std::string() : FileText(megabytes * 1000 * 1000) + "\x1b[7mEND\x1b[m";
  if (callgrind) return Callgrind(argv[0], megabytes, data.size());
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  if (soak) return Soak(megabytes);
  if (feed) return argc > 2 ? Feed(argv[2], data) : 2;

  // Best of three of each, on the wall clock and in processor time.
  Took window{}, core{};
  for (int i = 0; i < 3; ++i) {
    const Took run = WindowRun(data);
    if (run.wall < 0) return 1;
    window.wall = i == 0 ? run.wall : std::min(window.wall, run.wall);
    window.cpu = i == 0 ? run.cpu : std::min(window.cpu, run.cpu);
  }
  for (int i = 0; i < 3; ++i) {
    const Took run = CoreOnly(data);
    core.wall = i == 0 ? run.wall : std::min(core.wall, run.wall);
    core.cpu = i == 0 ? run.cpu : std::min(core.cpu, run.cpu);
  }

  const double mb = static_cast<double>(data.size()) / 1e6;
  std::printf("cat of a %zu MB Shift-JIS/ASCII file through the Qt window (80x24, offscreen); best of three\n\n",
              megabytes);
  std::printf("%-34s %14s %14s\n", "", "wall clock", "processor");
  std::printf("%-34s %9.1f MB/s %9.1f MB/s\n", "Qt window, socket to image", mb / window.wall, mb / window.cpu);
  std::printf("%-34s %9.1f MB/s %9.1f MB/s\n", "receive path alone (same bytes)", mb / core.wall, mb / core.cpu);
  std::printf("%-34s %14.2f %14.2f\n", "window / receive path", core.wall / window.wall, core.cpu / window.cpu);
  return 0;
}

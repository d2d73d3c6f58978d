// Throughput of the whole program on Qt: a host on 127.0.0.1 sends a large file as `cat` would,
// and the real window (offscreen platform) receives, interprets and draws it. Prints MB/s
// beside the figure of the receive path alone for the same bytes.
//
//   velmora-bench-qt [MEGABYTES]     (default 8)
//   velmora-bench-qt --soak [MEGABYTES]
//                                    (default 100) the host runs `yes` into a window at the
//                                    default settings, with the line budget the program takes
//                                    on this machine; every second the resident size, the
//                                    lines kept and how late a 100 ms timer of the window's
//                                    event loop fired at worst
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
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

double CoreOnly(const std::string& data) {
  NullScreenObserver observer;
  NoTrace trace;
  TerminalSession session(observer, trace);
  session.SetHostEncoding(HostEncoding::SJIS);
  session.screen().CreateLineStore();
  session.screen().ResetForConnection();
  const auto start = std::chrono::steady_clock::now();
  for (const char c : data) session.pipeline().ReceiveByte(static_cast<uint8_t>(c));
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return static_cast<double>(data.size()) / 1e6 / took.count();
}

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

// One run: a fresh window connects to a host that sends `data`; seconds from the connection to
// the last line on the screen, drawn into the window's image. Negative when the window fails.
double WindowRun(const std::string& data) {
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
  double seconds = -1;
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

      // From the connection to the last line on the screen.
      auto ended = [&] {
        const ScreenModel& s = logic.screen();
        for (int r = 0; r < s.rows(); ++r) {
          const TerminalLine* l = s.ScreenLine(r);
          if (l->width >= 3 && std::string(reinterpret_cast<const char*>(l->text()), 3) == "END" && l->attrs()[0] != 0) {
            return true;
          }
        }
        return false;
      };
      while (!logic.IsConnected() || window.windowTitle().startsWith(QString::fromUtf8("接続中"))) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      }
      const auto start = std::chrono::steady_clock::now();
      while (!ended()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      (void)window.image();  // everything drawn into the window's image
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      seconds = took.count();
    }
    sender.join();
    close(host);
    close(listener);
  }
  std::remove(dir.c_str());
  return seconds;
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

}  // namespace

int main(int argc, char** argv) {
  const bool soak = argc > 1 && std::string(argv[1]) == "--soak";
  const char* count = argc > (soak ? 2 : 1) ? argv[soak ? 2 : 1] : nullptr;
  const size_t megabytes = count != nullptr ? std::strtoul(count, nullptr, 10) : soak ? 100 : 8;
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  if (soak) return Soak(megabytes);

  const std::string data = FileText(megabytes * 1000 * 1000) + "\x1b[7mEND\x1b[m";
  double seconds = 0;
  for (int i = 0; i < 3; ++i) {
    const double run = WindowRun(data);
    if (run < 0) return 1;
    if (i == 0 || run < seconds) seconds = run;
  }
  double core_mbps = 0;
  for (int i = 0; i < 3; ++i) core_mbps = std::max(core_mbps, CoreOnly(data));

  const double window_mbps = static_cast<double>(data.size()) / 1e6 / seconds;
  std::printf("cat of a %zu MB Shift-JIS/ASCII file through the Qt window (80x24, offscreen); best of three\n",
              megabytes);
  std::printf("%-34s %8.1f MB/s  (%.2f s)\n", "Qt window, socket to image", window_mbps, seconds);
  std::printf("%-34s %8.1f MB/s\n", "receive path alone (same bytes)", core_mbps);
  std::printf("%-34s %8.2f\n", "window / receive path", window_mbps / core_mbps);
  return 0;
}

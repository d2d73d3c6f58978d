// Soak run of the receive path: a long stream of host output (1 GB unless told otherwise) into
// an 80 x 24 terminal with a window interface that does nothing, printing the resident set size
// as it goes. Once the backlog is full every new line reuses the oldest one, so the resident
// size must stay flat from then on; the last line says by how much it moved after the backlog
// filled.
//
//   velmora-bench-soak [MB]     mixed output into a backlog of 10000 lines
//   velmora-bench-soak --default [--budget-mib N] [MB]
//                               `yes` output ("y" CR LF) at the program's default settings: a
//                               backlog limit of 2147483647 lines, so that only the line store's
//                               byte budget stops its growth (the program's budget for this
//                               machine's memory, or N MiB)
//
// MB megabytes of output (default 1000). Exit status 1 when the resident size grew by more
// than 1 MiB after the backlog filled, or ended above the budget plus what the process held
// before the first line.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/process_memory.h"
#include "telnet/terminal_session.h"

using namespace velmora;

namespace {

class NoTrace : public TraceWriter {
 protected:
  void WriteRecord(const char*, va_list) override {}
};

double Mib(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// A megabyte or so of what a busy session shows, repeated: log lines, a full-screen program's
// addressing, attributes and erasing, a scroll region, and EUC-JP text, so that lines of every
// kind pass into the backlog.
std::vector<uint8_t> Chunk() {
  std::string s;
  for (uint32_t n = 0; s.size() < (1u << 20); ++n) {
    s += "2024-05-01 12:00:" + std::to_string(n % 60) + " worker[" + std::to_string(n % 97) +
         "] request handled in " + std::to_string(n % 1000) + " ms\r\n";
    if (n % 7 == 0) {
      s += "\x1b[1;7m status \x1b[m \xa4\xb3\xa4\xf3\xa4\xcb\xa4\xc1\xa4\xcf \xb4\xc1\xbb\xfa\r\n";
    }
    if (n % 31 == 0) s += "\x1b[12;30Hcursor\x1b[K\x1b[24;1H\r\n";
    if (n % 53 == 0) s += "\x1b[5;20r\x1b[20;1H\n\n\n\x1b[1;24r\x1b[24;1H";
    if (n % 101 == 0) s += "\x1b[3L\x1b[2M\x1b[5P\r\n";
  }
  return std::vector<uint8_t>(s.begin(), s.end());
}

// What `yes` prints, a megabyte of it.
std::vector<uint8_t> YesChunk() {
  std::string s;
  while (s.size() < (1u << 20)) s += "y\r\n";
  return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace

int main(int argc, char** argv) {
  bool defaults = false;
  uint64_t budgetMib = 0, megabytes = 1000;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--default") {
      defaults = true;
    } else if (arg == "--budget-mib" && i + 1 < argc) {
      budgetMib = std::strtoull(argv[++i], nullptr, 10);
    } else {
      megabytes = std::strtoull(argv[i], nullptr, 10);
    }
  }
  if (megabytes == 0) {
    std::fprintf(stderr, "usage: velmora-bench-soak [--default [--budget-mib N]] [MB]\n");
    return 2;
  }
  const uint64_t total = megabytes * 1000u * 1000u;
  const std::vector<uint8_t> chunk = defaults ? YesChunk() : Chunk();
  const uint64_t residentAtStart = ResidentMemoryBytes();

  NullScreenObserver observer;
  NoTrace trace;
  auto session = std::make_unique<TerminalSession>(observer, trace);
  ScreenModel& screen = session->screen();
  if (defaults) {
    screen.SetLineByteBudget(budgetMib > 0 ? budgetMib << 20 : LineStore::ByteBudgetFor(PhysicalMemoryBytes()));
  } else {
    screen.SetBacklogMax(10000);
  }
  if (!screen.CreateLineStore()) return 2;
  screen.ResetForConnection();
  const uint64_t residentWithScreen = ResidentMemoryBytes();  // the session and the screen's lines
  const uint64_t fullCount = static_cast<uint64_t>(screen.backlogMax()) + static_cast<uint64_t>(screen.rows());
  // Full: at the line limit, or the next line would pass the byte budget.
  const LineStore& store = screen.store();
  auto isFull = [&] {
    const uint64_t next = store.bytesInUse() + LineStore::LineBytes(screen.columns());
    return store.lineCount >= fullCount || next > store.byteBudget();
  };

  std::printf("%llu MB of %s, 80 x 24, backlog of %u lines, line budget %.0f MiB\n\n",
              static_cast<unsigned long long>(megabytes), defaults ? "\"y\" lines" : "mixed output",
              screen.backlogMax(), Mib(store.byteBudget()));
  std::printf("%10s %10s %12s\n", "MB fed", "lines", "resident MiB");
  // While the backlog fills, every 64 KiB; after that, every twentieth of the run.
  constexpr size_t kSlice = 64u << 10;
  const uint64_t reportEvery = std::max<uint64_t>(total / 20, kSlice);
  uint64_t fed = 0, nextReport = reportEvery;
  size_t at = 0;  // where in the chunk the next slice starts
  uint64_t residentWhenFull = 0, lowest = UINT64_MAX, highest = 0;
  const auto start = std::chrono::steady_clock::now();
  while (fed < total) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>({kSlice, chunk.size() - at, total - fed}));
    for (size_t i = 0; i < n; ++i) session->pipeline().ReceiveByte(chunk[at + i]);
    fed += n;
    at = (at + n) % chunk.size();
    const uint64_t resident = ResidentMemoryBytes();
    const bool full = isFull();
    const bool report = !full || residentWhenFull == 0 || fed >= nextReport || fed == total;
    if (full) {
      lowest = std::min(lowest, resident);
      highest = std::max(highest, resident);
    }
    if (report) {
      std::printf("%10.2f %10u %12.2f%s\n", static_cast<double>(fed) / 1e6, screen.store().lineCount, Mib(resident),
                  full && residentWhenFull == 0 ? "  backlog full" : "");
      std::fflush(stdout);
    }
    if (full && residentWhenFull == 0) residentWhenFull = resident;
    if (fed >= nextReport) nextReport += reportEvery;
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("\n%.0f MB/s\n", static_cast<double>(total) / 1e6 / took.count());
  if (residentWhenFull == 0) {
    std::printf("the backlog never filled: feed more output\n");
    return 0;
  }
  const double growth = Mib(highest) - Mib(residentWhenFull);
  std::printf("resident after the backlog filled: %.2f MiB, lowest %.2f, highest %.2f (growth %.3f MiB)\n",
              Mib(residentWhenFull), Mib(lowest), Mib(highest), growth);
  const uint64_t lines = store.lineCount;
  const uint64_t backlogLines = lines - static_cast<uint64_t>(screen.rows());
  std::printf("%llu lines; line store %.2f MiB by its count (%.0f bytes a line), resident %.0f bytes a backlog line\n",
              static_cast<unsigned long long>(lines), Mib(store.bytesInUse()),
              static_cast<double>(store.bytesInUse()) / static_cast<double>(lines),
              static_cast<double>(highest - std::min(highest, residentWithScreen)) /
                  static_cast<double>(std::max<uint64_t>(backlogLines, 1)));
  const bool overBudget = highest > residentAtStart + store.byteBudget() + (uint64_t{1} << 20);
  if (overBudget) std::printf("the resident size passed the budget\n");
  return growth > 1.0 || overBudget ? 1 : 0;
}

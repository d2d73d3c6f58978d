// Throughput of the receive path: every byte through ReceiveByte into the screen model, with a
// window interface that records nothing. Prints MB/s for three generated host streams.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "encoding/code_converter.h"
#include "telnet/terminal_session.h"

using namespace velmora;

namespace {

constexpr size_t kStreamBytes = 20u * 1000u * 1000u;

class NoTrace : public TraceWriter {
 protected:
  void WriteRecord(const char*, va_list) override {}
};

std::vector<uint8_t> AsciiStream() {
  std::vector<uint8_t> s;
  s.reserve(kStreamBytes + 128);
  for (uint32_t n = 0; s.size() < kStreamBytes; ++n) {
    std::string line = "line " + std::to_string(n) + ": the quick brown fox jumps over the lazy dog 0123456789";
    s.insert(s.end(), line.begin(), line.end());
    s.push_back('\r');
    s.push_back('\n');
  }
  return s;
}

// Hiragana and common kanji of JIS X 0208 rows 4 and 16-47, in the host's form.
std::vector<uint8_t> JapaneseStream(bool utf8) {
  std::vector<uint8_t> s;
  s.reserve(kStreamBytes + 128);
  uint32_t n = 0;
  while (s.size() < kStreamBytes) {
    for (int i = 0; i < 36; ++i, ++n) {
      uint8_t j1 = (n % 3 == 0) ? 0x24 : static_cast<uint8_t>(0x30 + (n / 3) % 16);
      uint8_t j2 = static_cast<uint8_t>(0x21 + n % 83);
      if (!utf8) {
        s.push_back(static_cast<uint8_t>(j1 | 0x80));
        s.push_back(static_cast<uint8_t>(j2 | 0x80));
        continue;
      }
      uint8_t p1 = j1, p2 = j2, p3 = 0;
      JisToSjis(p1, p2);
      const int k = SjisToUtf8(p1, p2, p3);
      const uint8_t out[3] = {p1, p2, p3};
      if (k > 0) s.insert(s.end(), out, out + k);
    }
    s.push_back('\r');
    s.push_back('\n');
  }
  return s;
}

double Measure(const char* name, const std::vector<uint8_t>& data, HostEncoding encoding) {
  NullScreenObserver observer;
  NoTrace trace;
  double best = 0;
  for (int run = 0; run < 3; ++run) {
    auto session = std::make_unique<TerminalSession>(observer, trace);
    session->options.hostEncoding = encoding;
    session->screen.backlogMax = 10000;
    session->screen.CreateLineStore();
    session->screen.ResetForConnection();
    const auto start = std::chrono::steady_clock::now();
    for (uint8_t b : data) session->pipeline.ReceiveByte(b);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const double mbps = static_cast<double>(data.size()) / 1e6 / took.count();
    if (mbps > best) best = mbps;
  }
  std::printf("%-28s %8.1f MB/s  (%zu bytes, best of 3)\n", name, best, data.size());
  return best;
}

}  // namespace

int main() {
  std::printf("ReceiveByte into the screen model, 80x24, backlog 10000 lines\n");
  Measure("ASCII lines, CR LF", AsciiStream(), HostEncoding::EUC);
  Measure("EUC-JP Japanese text", JapaneseStream(false), HostEncoding::EUC);
  Measure("UTF-8 Japanese text", JapaneseStream(true), HostEncoding::UTF8);
  return 0;
}

#include "replay.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "encoding/code_converter.h"
#include "encoding/cp932.h"
#include "telnet/debug_trace.h"
#include "telnet/terminal_session.h"

namespace velmora {

namespace {

constexpr const char* kUsage =
    "usage: velmora-replay [--encoding euc|sjis|utf8] [--type vt100|vt52] [--size COLSxROWS]\n"
    "                      [--backlog-max N] [--all-lines] [--utf8] [--cursor] [--attrs]\n"
    "                      [--trace FILE] [--sent FILE] INPUT\n";

struct ReplayOptions {
  HostEncoding encoding = HostEncoding::EUC;
  std::string type = "vt100";
  int32_t columns = 80;
  int32_t rows = 24;
  uint32_t backlogMax = 2147483647u;
  bool allLines = false;
  bool utf8 = false;
  bool cursor = false;
  bool attrs = false;
  std::string traceFile;
  std::string sentFile;
  std::string input;
};

// A whole decimal number in [lo, hi].
bool ParseNumber(const std::string& s, long long lo, long long hi, long long& value) {
  if (s.empty() || s.size() > 12) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  value = std::strtoll(s.c_str(), nullptr, 10);
  return value >= lo && value <= hi;
}

bool ParseArgs(const std::vector<std::string>& args, ReplayOptions& o, std::string& error) {
  bool haveInput = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--encoding") {
      if (!value(v)) return false;
      if (v == "euc") o.encoding = HostEncoding::EUC;
      else if (v == "sjis") o.encoding = HostEncoding::SJIS;
      else if (v == "utf8") o.encoding = HostEncoding::UTF8;
      else return error = "unknown encoding '" + v + "' (euc, sjis or utf8)", false;
    } else if (a == "--type") {
      if (!value(v)) return false;
      if (v != "vt100" && v != "vt52") return error = "unknown terminal type '" + v + "' (vt100 or vt52)", false;
      o.type = v;
    } else if (a == "--size") {
      if (!value(v)) return false;
      const size_t x = v.find('x');
      long long c = 0, r = 0;
      if (x == std::string::npos || !ParseNumber(v.substr(0, x), 2, 1000, c) ||
          !ParseNumber(v.substr(x + 1), 2, 1000, r)) {
        return error = "bad size '" + v + "' (COLSxROWS, each 2 to 1000)", false;
      }
      o.columns = static_cast<int32_t>(c);
      o.rows = static_cast<int32_t>(r);
    } else if (a == "--backlog-max") {
      if (!value(v)) return false;
      long long n = 0;
      if (!ParseNumber(v, 0, 2147483647, n)) return error = "bad backlog size '" + v + "' (0 to 2147483647)", false;
      o.backlogMax = static_cast<uint32_t>(n);
    } else if (a == "--trace") {
      if (!value(o.traceFile)) return false;
      if (o.traceFile.empty()) return error = "--trace needs a file name", false;
    } else if (a == "--sent") {
      if (!value(o.sentFile)) return false;
      if (o.sentFile.empty()) return error = "--sent needs a file name", false;
    } else if (a == "--all-lines") {
      o.allLines = true;
    } else if (a == "--utf8") {
      o.utf8 = true;
    } else if (a == "--cursor") {
      o.cursor = true;
    } else if (a == "--attrs") {
      o.attrs = true;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      return error = "unknown option '" + a + "'", false;
    } else {
      if (haveInput) return error = "more than one INPUT given", false;
      o.input = a;
      haveInput = true;
    }
  }
  if (!haveInput) return error = "no INPUT given", false;
  return true;
}

// The input, read and fed to the receive path a block at a time as a connection's reads would
// be, so that the whole file is never held. False, with the message in `error`, when it cannot
// be opened or read.
class Input {
 public:
  explicit Input(const std::string& name) : name_(name), file_(name == "-" ? stdin : std::fopen(name.c_str(), "rb")) {
    if (file_ == nullptr) error_ = "cannot read '" + name + "': " + std::strerror(errno);
  }
  ~Input() {
    if (file_ != nullptr && file_ != stdin) std::fclose(file_);
  }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  bool opened() const { return file_ != nullptr; }
  const std::string& error() const { return error_; }

  bool FeedTo(ReceivePipeline& pipeline) {
    std::vector<uint8_t> buf(65536);
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), file_)) > 0) pipeline.ReceiveBytes(buf.data(), n);
    if (std::ferror(file_) == 0) return true;
    error_ = "cannot read '" + name_ + "'";
    return false;
  }

 private:
  std::string name_;
  std::FILE* file_;
  std::string error_;
};

// The cells of a line as UTF-8: each code page 932 character converted, anything that is not
// one (a lead byte without its trail, an unassigned code) shown as U+FFFD.
std::string CellsToUtf8(const TerminalLine& line) {
  std::string s;
  const uint8_t* t = line.text();
  for (int32_t c = 0; c < line.width;) {
    const uint8_t b = t[c];
    if (b < 0x80) {
      s += static_cast<char>(b);
      ++c;
      continue;
    }
    const bool pair = IsSjisLeadByte(b) && c + 1 < line.width;
    uint8_t p1 = b, p2 = pair ? t[c + 1] : 0, p3 = 0;
    const int n = SjisToUtf8(p1, p2, p3);
    if (n > 0) {
      const char out[3] = {static_cast<char>(p1), static_cast<char>(p2), static_cast<char>(p3)};
      s.append(out, static_cast<size_t>(n));
      c += pair ? 2 : 1;
    } else {
      s += "\xEF\xBF\xBD";
      ++c;
    }
  }
  return s;
}

void PrintLine(const TerminalLine& line, const ReplayOptions& o, std::FILE* out) {
  if (o.utf8) {
    const std::string s = CellsToUtf8(line);
    std::fwrite(s.data(), 1, s.size(), out);
  } else {
    std::fwrite(line.text(), 1, static_cast<size_t>(line.width), out);
  }
  std::fputc('\n', out);
  if (o.attrs) {
    for (int32_t c = 0; c < line.width; ++c) std::fputc("0123456789abcdef"[line.attrs()[c] & 0x0F], out);
    std::fputc('\n', out);
  }
}

// Keeps every byte the terminal sends in reply, in order.
class RecordedReplies : public ReplySink {
 public:
  bool SendReply(std::string_view reply) override {
    bytes.append(reply);
    return true;
  }
  std::string bytes;
};

}  // namespace

int RunReplay(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  ReplayOptions o;
  std::string error;
  if (!ParseArgs(args, o, error)) {
    std::fprintf(err, "velmora-replay: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  Input input(o.input);
  if (!input.opened()) {
    std::fprintf(err, "velmora-replay: %s\n", input.error().c_str());
    return 2;
  }

  NullScreenObserver observer;
  DebugTrace trace(o.traceFile);
  trace.traceEnabled = !o.traceFile.empty();
  RecordedReplies replies;
  auto session = std::make_unique<TerminalSession>(observer, trace, replies);
  session->SetHostEncoding(o.encoding);
  session->SetTerminalType(o.type);
  ScreenModel& screen = session->screen();
  // Lines above the screen are printed only with --all-lines, and what the screen shows never
  // depends on how many are kept; without it none are kept, which spares making and touching a
  // line for every one that scrolls away.
  screen.SetGridSize(o.columns, o.rows, o.allLines ? o.backlogMax : 0);
  if (!screen.CreateLineStore()) {
    std::fprintf(err, "velmora-replay: out of memory\n");
    return 2;
  }
  screen.ResetForConnection();

  if (!input.FeedTo(session->pipeline())) {
    std::fprintf(err, "velmora-replay: %s\n", input.error().c_str());
    return 2;
  }
  if (!o.sentFile.empty()) {
    bool written = false;
    if (std::FILE* f = std::fopen(o.sentFile.c_str(), "wb")) {
      written = std::fwrite(replies.bytes.data(), 1, replies.bytes.size(), f) == replies.bytes.size();
      written = std::fclose(f) == 0 && written;
    }
    if (!written) {
      std::fprintf(err, "velmora-replay: cannot write '%s'\n", o.sentFile.c_str());
      return 2;
    }
  }

  const TerminalLine* line = o.allLines ? screen.store().firstLine : screen.store().screenTop;
  for (; line != nullptr; line = line->next) PrintLine(*line, o, out);
  if (o.cursor) std::fprintf(out, "cursor %d %d\n", screen.state().cursorCol, screen.state().cursorRow);
  std::fflush(out);
  return 0;
}

}  // namespace velmora

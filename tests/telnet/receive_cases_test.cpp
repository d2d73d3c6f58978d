// Table-driven receive cases: every tests/data/receive/*.txt file holds cases that push host
// bytes through ReceivePipeline::ReceiveByte (or, as one read, ReceiveBytes) of a fresh
// TerminalSession and check the screen, the cursor, the trace and the pipeline's state between
// the pushes. Each case is its own test, named <file>__<case>; a failed check is reported at
// the file and line it came from.
//
// Case file format (tests/data/receive/README.md has the long form):
//
//   # comment                    '#' starting a word ends the line; blank lines are ignored
//   case NAME                    starts a case ([A-Za-z0-9_]+, unique in the file)
//
//   Options, before the first push or check of the case:
//   size COLSxROWS               grid size (80x24)
//   backlog-max N                backlog limit (2147483647)
//   Options that may also change between pushes:
//   encoding euc|sjis|utf8       host encoding (euc)
//   type vt100|vt52              terminal type (vt100)
//   tracing on|off               whether the trace is written (on)
//   display TEXT|unset           the DISPLAY environment variable seen by the terminal
//   known-fault REASON...        the case shows a known wrong behaviour: its failed checks
//                                skip the test instead of failing it, and a case that passes
//                                fails so that the mark gets removed
//
//   Pushing bytes:
//   send BYTES...                each word is a quoted string or a hex byte (1B); escapes in
//                                strings: \r \n \t \a \b \e (ESC) \0 \\ \" \xHH; *N after a word
//                                repeats it ("x"*80, 41*3); strings are taken byte for byte,
//                                so UTF-8 text in a string sends its UTF-8 bytes
//   read BYTES...                the same bytes as one read: a single ReceiveBytes call
//
//   Checks:
//   trace BYTES...               exact trace text recorded since the previous trace check
//   sent BYTES...                exact bytes the terminal sent in reply since the previous
//                                sent check ("" for none)
//   row R TEXT...                screen row R as UTF-8 (words as for send), trailing spaces
//                                ignored; R < 0 is a backlog line, -1 the newest
//   cells R BYTES...             the first cells of row R as raw code page 932 bytes
//   attrs R DIGITS               the first cells' attributes, one hex digit each
//   cursor COL ROW
//   region TOP BOTTOM            the scroll region's first and last rows (0-based, inclusive)
//   wrap yes|no                  the pending wrap flag
//   backlog N                    number of lines above screen row 0
//   state KEY=VALUE...           pipeline state, only the keys given: lead=HH middle=HH
//                                held=N (bytes of a four-byte UTF-8 character gathered)
//                                kanji=0|1 shift=0|1 recv=text|escape|command
//                                echo=0|1 (local echo) environ=none|old|new
//   alerts N                     bell sounds since the case began
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "encoding/code_converter.h"
#include "encoding/cp932.h"
#include "telnet/terminal_session.h"
#include "support/recording_sinks.h"

namespace velmora {
namespace {

using testing::RecordingTrace;
using testing::RecordingReplies;

// One word of a case line: a quoted string (escapes decoded) or a bare word, and its repeat.
struct Token {
  bool quoted = false;
  std::string text;
  int repeat = 1;
};

struct CaseLine {
  int number = 0;
  std::vector<Token> tokens;  // tokens[0] is the directive
};

struct ReceiveCaseData {
  std::string path;
  std::string name;
  std::string testName;
  int line = 0;  // the "case" line
  std::vector<CaseLine> lines;
  // A fault of the file found while loading, reported when the case runs.
  std::string loadError;
  int loadErrorLine = 0;
};

void PrintTo(const ReceiveCaseData& c, std::ostream* os) { *os << c.path << ':' << c.line << ' ' << c.name; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseInt(const std::string& s, long long& value) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, value);
  return ec == std::errc() && p == end && !s.empty();
}

// Splits a line into tokens; false with `error` set on a malformed word.
bool Tokenize(const std::string& line, std::vector<Token>& out, std::string& error) {
  size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size() || line[i] == '#') return true;
    Token t;
    if (line[i] == '"') {
      t.quoted = true;
      ++i;
      while (true) {
        if (i >= line.size()) return error = "unterminated string", false;
        const char c = line[i++];
        if (c == '"') break;
        if (c != '\\') {
          t.text += c;
          continue;
        }
        if (i >= line.size()) return error = "unterminated string", false;
        const char e = line[i++];
        switch (e) {
          case 'r': t.text += '\r'; break;
          case 'n': t.text += '\n'; break;
          case 't': t.text += '\t'; break;
          case 'e': t.text += '\x1b'; break;
          case 'a': t.text += '\x07'; break;
          case 'b': t.text += '\x08'; break;
          case '0': t.text += '\0'; break;
          case '\\': t.text += '\\'; break;
          case '"': t.text += '"'; break;
          case 'x': {
            const int hi = i < line.size() ? HexValue(line[i]) : -1;
            const int lo = i + 1 < line.size() ? HexValue(line[i + 1]) : -1;
            if (hi < 0 || lo < 0) return error = "\\x needs two hex digits", false;
            t.text += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
          }
          default:
            return error = std::string("unknown escape \\") + e, false;
        }
      }
      if (i < line.size() && line[i] == '*') {
        size_t j = ++i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
        long long n = 0;
        if (!ParseInt(line.substr(i, j - i), n) || n < 1 || n > 100000) return error = "bad repeat count", false;
        t.repeat = static_cast<int>(n);
        i = j;
      } else if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
        return error = "text after a closing quote", false;
      }
    } else {
      size_t j = i;
      while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
      t.text = line.substr(i, j - i);
      i = j;
    }
    out.push_back(std::move(t));
  }
}

std::string SanitizedName(const std::string& s) {
  std::string r;
  for (char c : s) r += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return r;
}

std::vector<ReceiveCaseData> LoadCases() {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(VELMORA_TEST_DATA_DIR "/receive", ec)) {
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());

  std::vector<ReceiveCaseData> cases;
  std::set<std::string> testNames;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string stem = SanitizedName(file.stem().string());
    std::set<std::string> names;
    ReceiveCaseData* current = nullptr;
    auto fileError = [&](int number, const std::string& message) {
      // Outside any case: carried by a case of its own so that it fails.
      ReceiveCaseData c;
      c.path = file.string();
      c.name = "file_error_" + std::to_string(number);
      c.line = number;
      c.loadError = message;
      c.loadErrorLine = number;
      cases.push_back(c);
      current = nullptr;
    };
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
      std::vector<Token> tokens;
      std::string error;
      if (!Tokenize(text, tokens, error)) {
        if (current == nullptr) {
          fileError(number, error);
        } else if (current->loadError.empty()) {
          current->loadError = error;
          current->loadErrorLine = number;
        }
        continue;
      }
      if (tokens.empty()) continue;
      if (!tokens[0].quoted && tokens[0].text == "case") {
        ReceiveCaseData c;
        c.path = file.string();
        c.line = number;
        c.name = tokens.size() == 2 ? tokens[1].text : "";
        if (c.name.empty() || SanitizedName(c.name) != c.name) {
          fileError(number, "a case line is 'case NAME' with NAME of letters, digits and '_'");
          continue;
        }
        if (!names.insert(c.name).second) {
          c.loadError = "case name used twice in this file";
          c.loadErrorLine = number;
        }
        cases.push_back(c);
        current = &cases.back();
        continue;
      }
      if (current == nullptr) {
        fileError(number, "directive outside a case");
        continue;
      }
      current->lines.push_back(CaseLine{number, std::move(tokens)});
    }
  }
  for (auto& c : cases) {
    std::string name = SanitizedName(std::filesystem::path(c.path).stem().string()) + "__" + c.name;
    while (!testNames.insert(name).second) name += "_";
    c.testName = name;
  }
  return cases;
}

const std::vector<ReceiveCaseData>& AllCases() {
  static const std::vector<ReceiveCaseData> cases = LoadCases();
  return cases;
}

class BellCountingObserver : public NullScreenObserver {
 public:
  int alerts = 0;
  void AlertSound() override { ++alerts; }
};

// Bytes in the escape notation of the case files.
std::string Quoted(const std::string& bytes) {
  std::string s = "\"";
  for (unsigned char c : bytes) {
    switch (c) {
      case '\r': s += "\\r"; break;
      case '\n': s += "\\n"; break;
      case '\t': s += "\\t"; break;
      case 0x07: s += "\\a"; break;
      case 0x08: s += "\\b"; break;
      case 0x1B: s += "\\e"; break;
      case '\\': s += "\\\\"; break;
      case '"': s += "\\\""; break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          s += static_cast<char>(c);
        } else {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02x", c);
          s += hex;
        }
    }
  }
  return s + "\"";
}

std::string HexBytes(const uint8_t* p, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", p[i]);
    if (i > 0) s += ' ';
    s += hex;
  }
  return s;
}

// A row's cells as UTF-8: each code page 932 character converted, a cell that starts none
// (a lone lead byte, an unassigned code) as U+FFFD.
std::string RowText(const TerminalLine& line) {
  std::string s;
  const uint8_t* t = line.text();
  for (int32_t c = 0; c < line.width;) {
    if (t[c] < 0x80) {
      s += static_cast<char>(t[c++]);
      continue;
    }
    const bool pair = IsSjisLeadByte(t[c]) && c + 1 < line.width;
    uint8_t p1 = t[c], p2 = pair ? t[c + 1] : 0, p3 = 0;
    const int n = SjisToUtf8(p1, p2, p3);
    if (n <= 0) {
      s += "\xEF\xBF\xBD";
      ++c;
      continue;
    }
    const char out[3] = {static_cast<char>(p1), static_cast<char>(p2), static_cast<char>(p3)};
    s.append(out, static_cast<size_t>(n));
    c += pair ? 2 : 1;
  }
  return s;
}

std::string WithoutTrailingSpaces(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

const char* ReceiveStateName(ReceiveState s) {
  switch (s) {
    case ReceiveState::Text: return "text";
    case ReceiveState::Escape: return "escape";
    case ReceiveState::Command: return "command";
  }
  return "?";
}

class CaseRunner {
 public:
  explicit CaseRunner(const ReceiveCaseData& c) : case_(c) {}

  void Run() {
    if (!case_.loadError.empty()) {
      ADD_FAILURE_AT(case_.path.c_str(), case_.loadErrorLine) << "case " << case_.name << ": " << case_.loadError;
      return;
    }
    for (const auto& line : case_.lines) {
      line_ = &line;
      if (!Directive(line)) {
        ADD_FAILURE_AT(case_.path.c_str(), line.number) << "case " << case_.name << ": " << malformed_;
        return;
      }
    }
    if (checks_ == 0) {
      ADD_FAILURE_AT(case_.path.c_str(), case_.line) << "case " << case_.name << " checks nothing";
      return;
    }
    if (knownFault_.empty()) {
      for (const auto& m : mismatches_) {
        ADD_FAILURE_AT(case_.path.c_str(), m.first) << "case " << case_.name << ": " << m.second;
      }
      return;
    }
    if (mismatches_.empty()) {
      ADD_FAILURE_AT(case_.path.c_str(), case_.line)
          << "case " << case_.name << " is marked known-fault but passes: remove the mark";
      return;
    }
    std::string details;
    for (const auto& m : mismatches_) details += "\n  line " + std::to_string(m.first) + ": " + m.second;
    GTEST_SKIP() << case_.path << ':' << case_.line << ": known fault (" << knownFault_ << "):" << details;
  }

 private:
  bool Malformed(const std::string& message) {
    malformed_ = message;
    return false;
  }
  void Mismatch(const std::string& message) { mismatches_.emplace_back(line_->number, message); }

  // DISPLAY is the process's: a case that sets it puts the old value back when it ends.
  void SaveDisplay() {
    if (displaySaved_) return;
    displaySaved_ = true;
    if (const char* v = std::getenv("DISPLAY")) savedDisplay_ = v; else savedDisplayUnset_ = true;
  }

 public:
  ~CaseRunner() {
    if (!displaySaved_) return;
    if (savedDisplayUnset_) unsetenv("DISPLAY"); else setenv("DISPLAY", savedDisplay_.c_str(), 1);
  }

 private:

  TerminalSession& Session() {
    if (session_ == nullptr) {
      session_ = std::make_unique<TerminalSession>(observer_, trace_, replies_);
      session_->SetHostEncoding(encoding_);
      session_->SetTerminalType(type_);
      ScreenModel& screen = session_->screen();
      screen.SetGridSize(columns_, rows_, backlogMax_);
      if (!screen.CreateLineStore()) ADD_FAILURE() << "cannot create the line store";
      screen.ResetForConnection();
      trace_.traceEnabled = tracing_;
    }
    return *session_;
  }

  // The bytes of the words from `from` on: strings and hex bytes, each with its repeat.
  bool Bytes(size_t from, std::string& out) {
    for (size_t i = from; i < line_->tokens.size(); ++i) {
      const Token& t = line_->tokens[i];
      std::string one = t.text;
      int repeat = t.repeat;
      if (!t.quoted) {
        const size_t star = one.find('*');
        long long n = 1;
        if (star != std::string::npos && (!ParseInt(one.substr(star + 1), n) || n < 1 || n > 100000)) {
          return Malformed("bad repeat in '" + t.text + "'");
        }
        one.resize(std::min(star, one.size()));
        if (one.size() != 2 || HexValue(one[0]) < 0 || HexValue(one[1]) < 0) {
          return Malformed("'" + t.text + "' is neither a string nor a hex byte");
        }
        one = std::string(1, static_cast<char>(HexValue(one[0]) * 16 + HexValue(one[1])));
        repeat = static_cast<int>(n);
      }
      for (int r = 0; r < repeat; ++r) out += one;
    }
    return true;
  }

  bool Args(size_t n) {
    if (line_->tokens.size() != n + 1) {
      return Malformed(line_->tokens[0].text + " takes " + std::to_string(n) + " argument" + (n == 1 ? "" : "s"));
    }
    return true;
  }

  bool Number(size_t index, long long lo, long long hi, long long& value) {
    const Token& t = line_->tokens[index];
    if (t.quoted || !ParseInt(t.text, value) || value < lo || value > hi) {
      return Malformed("'" + t.text + "' is not a number from " + std::to_string(lo) + " to " + std::to_string(hi));
    }
    return true;
  }

  // The line at row r: a screen row, or for r < 0 a backlog line counted back from the newest.
  bool RowLine(size_t index, const TerminalLine*& line) {
    long long r = 0;
    if (!Number(index, -1000000, 1000000, r)) return false;
    ScreenModel& screen = Session().screen();
    if (r >= screen.rows()) return Malformed("row " + std::to_string(r) + " is off the screen");
    if (r >= 0) {
      line = screen.ScreenLine(static_cast<int32_t>(r));
      return true;
    }
    line = screen.store().screenTop;
    for (long long i = 0; i > r && line != nullptr; --i) line = line->prev;
    if (line == nullptr) Mismatch("there is no backlog line " + std::to_string(r));
    return true;
  }

  bool Directive(const CaseLine& line) {
    const std::string& d = line.tokens[0].text;
    const auto& tk = line.tokens;
    if (line.tokens[0].quoted) return Malformed("a line starts with a directive");
    if (d == "encoding") {
      if (!Args(1)) return false;
      if (tk[1].text == "euc") encoding_ = HostEncoding::EUC;
      else if (tk[1].text == "sjis") encoding_ = HostEncoding::SJIS;
      else if (tk[1].text == "utf8") encoding_ = HostEncoding::UTF8;
      else return Malformed("encoding is euc, sjis or utf8");
      if (session_ != nullptr) session_->SetHostEncoding(encoding_);
      return true;
    }
    if (d == "type") {
      if (!Args(1)) return false;
      if (tk[1].text != "vt100" && tk[1].text != "vt52") return Malformed("type is vt100 or vt52");
      type_ = tk[1].text;
      if (session_ != nullptr) session_->SetTerminalType(type_);
      return true;
    }
    if (d == "tracing") {
      if (!Args(1)) return false;
      if (tk[1].text != "on" && tk[1].text != "off") return Malformed("tracing is on or off");
      tracing_ = tk[1].text == "on";
      if (session_ != nullptr) trace_.traceEnabled = tracing_;
      return true;
    }
    if (d == "display") {
      if (!Args(1)) return false;
      SaveDisplay();
      if (tk[1].text == "unset" && !tk[1].quoted) {
        unsetenv("DISPLAY");
      } else {
        setenv("DISPLAY", tk[1].text.c_str(), 1);
      }
      return true;
    }
    if (d == "known-fault") {
      if (tk.size() < 2) return Malformed("known-fault needs a reason");
      for (size_t i = 1; i < tk.size(); ++i) knownFault_ += (i > 1 ? " " : "") + tk[i].text;
      return true;
    }
    if (d == "size" || d == "backlog-max") {
      if (session_ != nullptr) return Malformed(d + " must come before the first push or check");
      if (!Args(1)) return false;
      if (d == "backlog-max") {
        long long n = 0;
        if (!Number(1, 0, 2147483647, n)) return false;
        backlogMax_ = static_cast<uint32_t>(n);
        return true;
      }
      const std::string& v = tk[1].text;
      const size_t x = v.find('x');
      long long c = 0, r = 0;
      if (x == std::string::npos || !ParseInt(v.substr(0, x), c) || !ParseInt(v.substr(x + 1), r) || c < 2 ||
          r < 1 || c > 1000 || r > 1000) {
        return Malformed("size is COLSxROWS");
      }
      columns_ = static_cast<int32_t>(c);
      rows_ = static_cast<int32_t>(r);
      return true;
    }

    TerminalSession& s = Session();
    ScreenModel& screen = s.screen();
    if (d == "send") {
      std::string bytes;
      if (!Bytes(1, bytes)) return false;
      for (unsigned char b : bytes) s.pipeline().ReceiveByte(b);
      return true;
    }
    if (d == "read") {
      std::string bytes;
      if (!Bytes(1, bytes)) return false;
      s.pipeline().ReceiveBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      return true;
    }
    if (d == "reset") {
      // What the window does to the session when a connection closes.
      s.OnConnectionClosed();
      return true;
    }
    ++checks_;
    if (d == "sent") {
      std::string expected;
      if (tk.size() < 2) return Malformed("sent needs its bytes (\"\" for none)");
      if (!Bytes(1, expected)) return false;
      if (replies_.bytes != expected) {
        Mismatch("sent\n    expected " + Quoted(expected) + "\n    actual   " + Quoted(replies_.bytes));
      }
      replies_.bytes.clear();
      return true;
    }
    if (d == "trace") {
      std::string expected;
      if (tk.size() < 2) return Malformed("trace needs its text (\"\" for none)");
      if (!Bytes(1, expected)) return false;
      if (trace_.text != expected) Mismatch("trace\n    expected " + Quoted(expected) + "\n    actual   " + Quoted(trace_.text));
      trace_.text.clear();
      return true;
    }
    if (d == "row") {
      if (tk.size() < 3) return Malformed("row R \"TEXT\"");
      const TerminalLine* row = nullptr;
      if (!RowLine(1, row)) return false;
      std::string text;
      if (!Bytes(2, text)) return false;
      if (row == nullptr) return true;
      const std::string expected = WithoutTrailingSpaces(text);
      const std::string actual = WithoutTrailingSpaces(RowText(*row));
      if (actual != expected) {
        size_t used = static_cast<size_t>(row->width);
        while (used > 0 && row->text()[used - 1] == ' ') --used;
        Mismatch("row " + tk[1].text + "\n    expected " + Quoted(expected) + "\n    actual   " + Quoted(actual) +
                 "\n    cells    " + HexBytes(row->text(), used));
      }
      return true;
    }
    if (d == "cells") {
      if (tk.size() < 3) return Malformed("cells R HH...");
      const TerminalLine* row = nullptr;
      if (!RowLine(1, row)) return false;
      std::string expected;
      if (!Bytes(2, expected)) return false;
      if (row == nullptr) return true;
      const size_t n = std::min(expected.size(), static_cast<size_t>(row->width));
      const std::string actual(reinterpret_cast<const char*>(row->text()), n);
      if (actual != expected) {
        Mismatch("cells of row " + tk[1].text + "\n    expected " +
                 HexBytes(reinterpret_cast<const uint8_t*>(expected.data()), expected.size()) + "\n    actual   " +
                 HexBytes(row->text(), n));
      }
      return true;
    }
    if (d == "attrs") {
      if (!Args(2)) return false;
      const TerminalLine* row = nullptr;
      if (!RowLine(1, row)) return false;
      const std::string& expected = tk[2].text;
      for (char c : expected) {
        if (HexValue(c) < 0) return Malformed("attrs R DIGITS, one hex digit per cell");
      }
      if (row == nullptr) return true;
      std::string actual;
      for (int32_t c = 0; c < row->width && actual.size() < expected.size(); ++c) {
        actual += "0123456789abcdef"[row->attrs()[c] & 0x0F];
      }
      std::string lower = expected;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (actual != lower) Mismatch("attrs of row " + tk[1].text + ": expected " + lower + ", actual " + actual);
      return true;
    }
    if (d == "cursor") {
      long long col = 0, row = 0;
      if (!Args(2) || !Number(1, 0, 100000, col) || !Number(2, 0, 100000, row)) return false;
      if (screen.state().cursorCol != col || screen.state().cursorRow != row) {
        Mismatch("cursor: expected " + std::to_string(col) + " " + std::to_string(row) + ", actual " +
                 std::to_string(screen.state().cursorCol) + " " + std::to_string(screen.state().cursorRow));
      }
      return true;
    }
    if (d == "region") {
      long long top = 0, bottom = 0;
      if (!Args(2) || !Number(1, 0, 100000, top) || !Number(2, 0, 100000, bottom)) return false;
      if (screen.state().regionTop != top || screen.state().regionBottom != bottom) {
        Mismatch("region: expected " + std::to_string(top) + " " + std::to_string(bottom) + ", actual " +
                 std::to_string(screen.state().regionTop) + " " + std::to_string(screen.state().regionBottom));
      }
      return true;
    }
    if (d == "wrap") {
      if (!Args(1)) return false;
      if (tk[1].text != "yes" && tk[1].text != "no") return Malformed("wrap yes|no");
      const bool expected = tk[1].text == "yes";
      if (screen.state().pendingWrap != expected) Mismatch(std::string("pending wrap: expected ") + tk[1].text);
      return true;
    }
    if (d == "backlog") {
      long long n = 0;
      if (!Args(1) || !Number(1, 0, 2147483647, n)) return false;
      long long actual = 0;
      for (const TerminalLine* l = screen.store().firstLine; l != nullptr && l != screen.store().screenTop; l = l->next) {
        ++actual;
      }
      if (actual != n) Mismatch("backlog lines: expected " + std::to_string(n) + ", actual " + std::to_string(actual));
      return true;
    }
    if (d == "alerts") {
      long long n = 0;
      if (!Args(1) || !Number(1, 0, 1000000, n)) return false;
      if (observer_.alerts != n) {
        Mismatch("alerts: expected " + std::to_string(n) + ", actual " + std::to_string(observer_.alerts));
      }
      return true;
    }
    if (d == "state") {
      if (tk.size() < 2) return Malformed("state KEY=VALUE...");
      for (size_t i = 1; i < tk.size(); ++i) {
        const std::string& kv = tk[i].text;
        const size_t eq = kv.find('=');
        if (tk[i].quoted || eq == std::string::npos) return Malformed("state KEY=VALUE...");
        const std::string key = kv.substr(0, eq), value = kv.substr(eq + 1);
        std::string actual;
        char hex[4];
        if (key == "lead" || key == "middle") {
          if (value.size() != 2 || HexValue(value[0]) < 0 || HexValue(value[1]) < 0) return Malformed(key + "=HH");
          std::snprintf(hex, sizeof hex, "%02X", key == "lead" ? s.pipeline().decoder().pendingLead() : s.pipeline().decoder().utf8Middle());
          actual = hex;
          std::string upper = value;
          for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
          if (actual != upper) Mismatch(key + ": expected " + upper + ", actual " + actual);
          continue;
        }
        if (key == "held") actual = std::to_string(s.pipeline().decoder().heldLongBytes());
        else if (key == "kanji") actual = s.stream().kanjiMode ? "1" : "0";
        else if (key == "shift") actual = s.pipeline().katakanaShift() ? "1" : "0";
        else if (key == "recv") actual = ReceiveStateName(s.stream().receiveState);
        else if (key == "echo") actual = s.negotiator().localEcho ? "1" : "0";
        else if (key == "environ") {
          const EnvironOption e = s.negotiator().environOption;
          actual = e == EnvironOption::None ? "none" : e == EnvironOption::Old ? "old" : "new";
        } else return Malformed("unknown state key '" + key + "' (lead middle held kanji shift recv echo environ)");
        if (actual != value) Mismatch(key + ": expected " + value + ", actual " + actual);
      }
      return true;
    }
    --checks_;
    return Malformed("unknown directive '" + d + "'");
  }

  const ReceiveCaseData& case_;
  const CaseLine* line_ = nullptr;
  BellCountingObserver observer_;
  RecordingTrace trace_;
  RecordingReplies replies_;
  std::unique_ptr<TerminalSession> session_;
  bool displaySaved_ = false;
  bool savedDisplayUnset_ = false;
  std::string savedDisplay_;
  HostEncoding encoding_ = HostEncoding::EUC;
  std::string type_ = "vt100";
  bool tracing_ = true;
  int32_t columns_ = 80;
  int32_t rows_ = 24;
  uint32_t backlogMax_ = 2147483647u;
  std::string knownFault_;
  int checks_ = 0;
  std::string malformed_;
  std::vector<std::pair<int, std::string>> mismatches_;
};

class ReceiveCase : public ::testing::TestWithParam<ReceiveCaseData> {};

TEST_P(ReceiveCase, Run) { CaseRunner(GetParam()).Run(); }

INSTANTIATE_TEST_SUITE_P(Data, ReceiveCase, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<ReceiveCaseData>& info) { return info.param.testName; });

// A wrong data directory or an empty file would otherwise pass by running nothing.
TEST(ReceiveCaseFiles, EveryFileHoldsCases) {
  std::set<std::string> withCases;
  for (const auto& c : AllCases()) withCases.insert(c.path);
  EXPECT_GE(withCases.size(), 5u) << "case files found in " VELMORA_TEST_DATA_DIR "/receive";
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(VELMORA_TEST_DATA_DIR "/receive", ec)) {
    if (entry.path().extension() == ".txt") {
      EXPECT_TRUE(withCases.count(entry.path().string())) << entry.path();
    }
  }
}

}  // namespace
}  // namespace velmora

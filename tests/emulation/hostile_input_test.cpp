// Random byte streams from a hostile or broken host, pushed one byte at a time through the whole
// receive path of a fresh terminal. After every byte the cursor must be inside the grid, the
// scroll region must be a valid range of screen rows, and the line list must hold together
// (links, anchors, counts, view). The streams are biased towards the bytes that steer the
// escape interpreters and the pipeline, and sometimes carry whole sequence shapes with random
// contents (huge counts, bytes below 32 in cursor addresses, overlong parameters). The
// terminal type and the host encoding change now and then, even in the middle of a sequence.
// Everything is seeded, so a failure names the run and the byte that broke it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "screen/screen_test_support.h"
#include "telnet/terminal_session.h"
#include "support/offline_session.h"
#include "support/random.h"
#include "support/recording_sinks.h"

namespace velmora {
namespace {

using testing::DiscardingTrace;
using testing::Random;

// Answers the request for the live screen the way the window does.
class LiveObserver : public NullScreenObserver {
 public:
  ScreenModel* model = nullptr;
  void ShowLiveScreen() override {
    if (model != nullptr) model->ScrollView(model->ViewBottom() - model->view().scrollBar.position);
  }
};

struct HostileRun {
  const char* type;
  HostEncoding encoding;
  int32_t columns;
  int32_t rows;
  uint32_t backlogMax;
  uint64_t seed;
  size_t bytes;
};

const char* EncodingName(HostEncoding e) {
  switch (e) {
    case HostEncoding::EUC: return "euc";
    case HostEncoding::SJIS: return "sjis";
    case HostEncoding::UTF8: return "utf8";
  }
  return "?";
}

void PrintTo(const HostileRun& r, std::ostream* os) {
  *os << r.type << ' ' << EncodingName(r.encoding) << ' ' << r.columns << 'x' << r.rows << " backlog-max "
      << r.backlogMax << " seed " << r.seed;
}

void AppendNumber(Random& rng, std::string& out) {
  switch (rng.Below(5)) {
    case 0: return;  // none
    case 1: out += static_cast<char>('0' + rng.Below(10)); return;
    case 2:
      for (uint32_t n = 1 + rng.Below(3); n > 0; --n) out += static_cast<char>('0' + rng.Below(10));
      return;
    case 3: out += "0"; return;
    default:  // far beyond any grid, often beyond 32 and 64 bits
      for (uint32_t n = 8 + rng.Below(33); n > 0; --n) out += static_cast<char>('0' + rng.Below(10));
      return;
  }
}

void AppendUtf8(uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// A character a Japanese host sends in `encoding`: mostly kana and kanji, now and then
// half-width katakana, a sound mark, a character code page 932 lacks or one beyond 16 bits.
void AppendJapaneseChar(Random& rng, HostEncoding encoding, std::string& out) {
  const uint32_t r = rng.Below(100);
  switch (encoding) {
    case HostEncoding::SJIS:
      if (r < 90) {
        out += static_cast<char>(rng.Below(2) == 0 ? 0x81 + rng.Below(0x1F) : 0xE0 + rng.Below(0x1D));
        out += static_cast<char>(0x40 + rng.Below(0xBD));  // 0x7F included
      } else {
        out += static_cast<char>(0xA1 + rng.Below(0x3F));  // half-width katakana
      }
      return;
    case HostEncoding::UTF8: {
      static const uint32_t kOthers[] = {0x3099, 0x309A, 0xFF76, 0xFF9E, 0x00A7, 0x00D7, 0x00E9, 0x0391, 0x0416,
                                         0x2212, 0x301C, 0xAC00, 0x20AC, 0x1F600, 0x0041, 0x00A5, 0xFFFD, 0x2460};
      if (r < 50) {
        AppendUtf8(0x3041 + rng.Below(0xBA), out);  // hiragana and katakana
      } else if (r < 82) {
        AppendUtf8(0x4E00 + rng.Below(0x5200), out);  // kanji, some without a code page 932 form
      } else if (r < 95) {
        AppendUtf8(kOthers[rng.Below(sizeof kOthers / sizeof kOthers[0])], out);
      } else {
        AppendUtf8(0x10000 + rng.Below(0x100000), out);  // beyond 16 bits
      }
      return;
    }
    default:
      if (r < 92) {
        out += static_cast<char>(0xA1 + rng.Below(0x5E));
        out += static_cast<char>(0xA1 + rng.Below(0x5E));
      } else if (r < 97) {
        out += '\x8e';
        out += static_cast<char>(0xA1 + rng.Below(0x3F));
      } else {
        out += static_cast<char>(0xA1 + rng.Below(0x5E));
        out += static_cast<char>(0x21 + rng.Below(0x5E));  // a second byte below 0x80
      }
      return;
  }
}

// Japanese text: a run of characters, mostly in the host's encoding, or JIS X 0208 pairs
// inside a kanji shift; sometimes with ASCII, a control or a character cut short inside.
void AppendJapanese(Random& rng, HostEncoding encoding, std::string& out) {
  const uint32_t count = rng.Below(4) == 0 ? 1 + rng.Below(400) : 1 + rng.Below(40);
  if (rng.Below(6) == 0) {
    out += rng.Below(2) == 0 ? "\x1b$B" : "\x1b$@";
    for (uint32_t n = count; n > 0; --n) {
      out += static_cast<char>(0x21 + rng.Below(0x5E));
      out += static_cast<char>(rng.Below(30) == 0 ? 0x20 + rng.Below(0xE0) : 0x21 + rng.Below(0x5E));
    }
    if (rng.Below(4) != 0) out += "\x1b(B";
    return;
  }
  if (rng.Below(5) == 0) encoding = static_cast<HostEncoding>(rng.Below(3));
  static const char kControls[] = "\r\n\b\x07\x0e\x0f\x1b\xff";
  for (uint32_t n = count; n > 0; --n) {
    const uint32_t r = rng.Below(100);
    if (r < 2) {
      out += rng.Pick(kControls);
    } else if (r < 3) {
      out += 'a';
    } else if (r < 5) {
      std::string c;
      AppendJapaneseChar(rng, encoding, c);
      out += c.substr(0, 1 + rng.Below(static_cast<uint32_t>(c.size())));  // perhaps cut short
      if (rng.Below(2) == 0) out += rng.Pick(kControls);
    } else {
      AppendJapaneseChar(rng, encoding, out);
    }
  }
}

// One piece of input: a single byte drawn with a bias, a run of text, or a sequence shape.
void AppendPiece(Random& rng, HostEncoding encoding, std::string& out) {
  static const char kFinals[] = "ABCDHJKLMPmrhlIY78O$(;?=>EcZ~@";
  static const char kShort[] = "78DMEc=>ABCDHIJKY[O";
  static const uint8_t kLeads[] = {0x81, 0x82, 0x88, 0x8E, 0x9F, 0xA1, 0xA4, 0xB0, 0xC3,
                                   0xDF, 0xE0, 0xE3, 0xEF, 0xF0, 0xF4, 0xFC, 0xFE};
  static const uint8_t kControls[] = {'\r', '\n', '\b', '\t', 0x00, 0x07, 0x0E, 0x0F, 0x0B, 0x7F};
  const uint32_t r = rng.Below(100);
  if (r < 14) {
    out += '\x1b';
  } else if (r < 21) {
    out += '[';
  } else if (r < 33) {
    out += static_cast<char>('0' + rng.Below(10));
  } else if (r < 38) {
    out += ';';
  } else if (r < 41) {
    out += '?';
  } else if (r < 43) {
    out += 'Y';
  } else if (r < 46) {
    out += '\xff';
  } else if (r < 48) {
    out += static_cast<char>(0xF0 + rng.Below(15));  // telnet verbs and their neighbours
  } else if (r < 54) {
    out += static_cast<char>(kLeads[rng.Below(sizeof kLeads)]);
  } else if (r < 57) {
    out += static_cast<char>(0x80 + rng.Below(0x40));
  } else if (r < 63) {
    out += static_cast<char>(kControls[rng.Below(sizeof kControls)]);
  } else if (r < 74) {
    out += rng.Pick(kFinals);
  } else if (r < 80) {
    out += static_cast<char>(rng.Below(256));
  } else if (r < 84) {
    for (uint32_t n = 1 + rng.Below(12); n > 0; --n) out += static_cast<char>('a' + rng.Below(26));
  } else if (r < 90) {
    AppendJapanese(rng, encoding, out);
  } else {
    switch (rng.Below(12)) {
      case 0:  // a parameterised sequence
        out += "\x1b[";
        AppendNumber(rng, out);
        if (rng.Below(2) == 0) {
          out += ';';
          AppendNumber(rng, out);
        }
        out += rng.Pick(kFinals);
        break;
      case 1:  // a cursor address, any bytes
        out += "\x1bY";
        out += static_cast<char>(rng.Below(256));
        out += static_cast<char>(rng.Below(256));
        break;
      case 2:  // a private mode, any bytes
        out += "\x1b[?";
        for (uint32_t n = 1 + rng.Below(5); n > 0; --n) out += static_cast<char>(rng.Below(256));
        break;
      case 3:  // home and clear, any bytes
        out += "\x1b[;";
        out += rng.Below(4) == 0 ? static_cast<char>(rng.Below(256)) : 'H';
        for (uint32_t n = rng.Below(6); n > 0; --n) out += static_cast<char>(rng.Below(256));
        break;
      case 4:  // a short escape or a designation
        out += '\x1b';
        if (rng.Below(3) == 0) {
          out += rng.Below(2) == 0 ? '$' : '(';
          out += static_cast<char>(rng.Below(256));
        } else {
          out += rng.Pick(kShort);
        }
        break;
      case 5:  // overlong parameters
        out += "\x1b[";
        for (uint32_t n = 20 + rng.Below(40); n > 0; --n) out += rng.Below(6) == 0 ? ';' : '9';
        out += rng.Pick(kFinals);
        break;
      case 6:  // a cursor key
        out += "\x1bO";
        out += rng.Pick("ABCDxO");
        break;
      case 7:  // a control sequence with private or intermediate bytes, any bytes before its end
        out += "\x1b[";
        if (rng.Below(2) == 0) AppendNumber(rng, out);
        out += rng.Pick("?<=>: !#$%");
        for (uint32_t n = rng.Below(6); n > 0; --n) out += static_cast<char>(0x20 + rng.Below(0x20));
        if (rng.Below(4) == 0) out += static_cast<char>(rng.Below(256));
        out += rng.Pick(kFinals);
        break;
      case 8:  // an escape with intermediates
        out += '\x1b';
        for (uint32_t n = 1 + rng.Below(3); n > 0; --n) out += static_cast<char>(0x20 + rng.Below(0x10));
        out += static_cast<char>(rng.Below(8) == 0 ? rng.Below(256) : 0x30 + rng.Below(0x4F));
        break;
      case 9: {  // a control string: any bytes, sometimes thousands, an ESC inside, or no end
        out += '\x1b';
        out += rng.Pick("]PX^_");
        const uint32_t length = rng.Below(10) == 0 ? 1000 + rng.Below(3000) : rng.Below(40);
        for (uint32_t n = length; n > 0; --n) {
          const char c = static_cast<char>(rng.Below(4) == 0 ? rng.Below(256) : 0x20 + rng.Below(0x5F));
          out += c == '\x1b' || c == '\x07' || c == '\x18' || c == '\x1a' || c == '\xff' ? ';' : c;
        }
        switch (rng.Below(6)) {
          case 0: out += "\x1b\\"; break;
          case 1: out += rng.Pick("\x07\x18\x1a\xff"); break;
          case 2: out += "\x1b["; break;  // a sequence opened inside the string
          case 3: break;                  // no end: the pieces after it are its contents
          default: out += '\x07'; break;
        }
        break;
      }
      case 11: {  // parameters around the 31 characters kept, any digits, ';' anywhere
        out += "\x1b[";
        for (uint32_t n = 24 + rng.Below(14); n > 0; --n) {
          out += rng.Below(5) == 0 ? ';' : static_cast<char>('0' + rng.Below(10));
        }
        out += rng.Pick("ABCDHJKLMPmr");
        break;
      }
      default:  // a region
        out += "\x1b[";
        AppendNumber(rng, out);
        out += ';';
        AppendNumber(rng, out);
        out += 'r';
        break;
    }
  }
}

std::string Hex(const std::deque<uint8_t>& bytes) {
  std::string s;
  for (uint8_t b : bytes) {
    char h[4];
    std::snprintf(h, sizeof h, "%02X ", b);
    s += h;
  }
  return s;
}

class HostileInput : public ::testing::TestWithParam<HostileRun> {};

TEST_P(HostileInput, StateStaysValidAfterEveryByte) {
  const HostileRun& run = GetParam();
  LiveObserver observer;
  DiscardingTrace trace;
  TerminalSession session(observer, trace);
  ScreenModel& screen = session.screen();
  observer.model = &screen;
  session.SetTerminalType(run.type);
  testing::PrepareOffline(session, run.columns, run.rows, run.backlogMax, run.encoding);
  ASSERT_FALSE(HasFailure());
  trace.traceEnabled = true;

  Random rng(run.seed);
  std::deque<uint8_t> recent;  // the last bytes fed, for the failure message
  std::string piece;
  size_t fed = 0;
  while (fed < run.bytes) {
    piece.clear();
    AppendPiece(rng, session.options().hostEncoding, piece);
    // Now and then the user changes the terminal type or the encoding, or scrolls back.
    if (rng.Below(100) == 0) session.SetTerminalType(session.options().IsVt52() ? "vt100" : "vt52");
    if (rng.Below(300) == 0) session.SetHostEncoding(static_cast<HostEncoding>(rng.Below(3)));
    if (rng.Below(200) == 0) screen.ScrollView(-static_cast<int32_t>(rng.Below(static_cast<uint32_t>(run.rows) * 2)));
    for (unsigned char b : piece) {
      session.pipeline().ReceiveByte(b);
      ++fed;
      recent.push_back(b);
      if (recent.size() > 48) recent.pop_front();
      const ScreenState& s = screen.state();
      const bool cursorInside =
          s.cursorCol >= 0 && s.cursorCol < screen.columns() && s.cursorRow >= 0 && s.cursorRow < screen.rows();
      const bool regionValid = 0 <= s.regionTop && s.regionTop <= s.regionBottom && s.regionBottom <= screen.rows() - 1;
      EXPECT_TRUE(cursorInside) << "cursor " << s.cursorCol << ' ' << s.cursorRow;
      EXPECT_TRUE(regionValid) << "region " << s.regionTop << ' ' << s.regionBottom;
      testing::ExpectConsistent(screen);
      if (HasFailure()) {
        ADD_FAILURE() << "after byte " << fed << " of the stream (type " << session.options().terminalType
                      << ", encoding " << EncodingName(session.options().hostEncoding) << "); last bytes: "
                      << Hex(recent);
        return;
      }
    }
  }
}

// One terminal of the comparison below: a session whose window records every call.
struct Recorded {
  testing::RecordingObserver observer;
  testing::RecordingTrace trace;
  TerminalSession session{observer, trace};

  explicit Recorded(const HostileRun& run) {
    observer.model = &session.screen();
    session.SetTerminalType(run.type);
    testing::PrepareOffline(session, run.columns, run.rows, run.backlogMax, run.encoding);
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const TerminalLine* l = session.screen().store().firstLine; l != nullptr; l = l->next) {
      out.emplace_back(reinterpret_cast<const char*>(l->text()), static_cast<size_t>(l->width));
      out.back().append(reinterpret_cast<const char*>(l->attrs()), static_cast<size_t>(l->width));
    }
    return out;
  }
};

// The same stream through ReceiveByte one byte at a time and through ReceiveBytes in reads of
// random lengths: the window sees the same calls in the same order, the trace is the same, and
// so are the lines, the cursor, the view and the selection. Between reads, now and then, tracing
// is switched, the terminal type or the encoding changes, the view is scrolled back, the thumb is
// held, the window leaves the request for the live screen unanswered, or the user selects.
TEST_P(HostileInput, ReadsOfAnyLengthAreTheBytesOneByOne) {
  const HostileRun& run = GetParam();
  Recorded single(run), reads(run);
  Random rng(run.seed);
  std::string piece;
  for (size_t fed = 0; fed < run.bytes;) {
    piece.clear();
    AppendPiece(rng, single.session.options().hostEncoding, piece);
    if (rng.Below(200) == 0) {
      single.trace.traceEnabled = reads.trace.traceEnabled = !single.trace.traceEnabled;
    }
    if (rng.Below(100) == 0) {
      const char* type = single.session.options().IsVt52() ? "vt100" : "vt52";
      single.session.SetTerminalType(type);
      reads.session.SetTerminalType(type);
    }
    if (rng.Below(150) == 0) {
      const auto encoding = static_cast<HostEncoding>(rng.Below(3));
      single.session.SetHostEncoding(encoding);
      reads.session.SetHostEncoding(encoding);
    }
    if (rng.Below(100) == 0) {
      const auto back = -static_cast<int32_t>(rng.Below(static_cast<uint32_t>(run.rows) * 2));
      single.session.screen().ScrollView(back);
      reads.session.screen().ScrollView(back);
    }
    if (rng.Below(100) == 0) {
      const bool tracking = !single.session.screen().view().thumbTracking;
      single.session.screen().SetThumbTracking(tracking);
      reads.session.screen().SetThumbTracking(tracking);
    }
    if (rng.Below(100) == 0) single.observer.followLive = reads.observer.followLive = !single.observer.followLive;
    if (rng.Below(150) == 0) {
      const auto line = [&] { return static_cast<int32_t>(rng.Below(single.session.screen().store().lineCount)); };
      const auto col = [&] { return static_cast<int32_t>(rng.Below(static_cast<uint32_t>(run.columns) + 1)); };
      const Selection selection{col(), line(), col(), line()};
      single.session.screen().SetSelection(selection);
      reads.session.screen().SetSelection(selection);
    }
    for (const unsigned char b : piece) single.session.pipeline().ReceiveByte(b);
    const auto* bytes = reinterpret_cast<const uint8_t*>(piece.data());
    for (size_t at = 0; at < piece.size();) {
      const size_t n = std::min<size_t>(piece.size() - at, 1 + rng.Below(rng.Below(2) == 0 ? 4 : 600));
      reads.session.pipeline().ReceiveBytes(bytes + at, n);
      at += n;
    }
    fed += piece.size();
    ASSERT_EQ(single.observer.calls, reads.observer.calls) << "after byte " << fed;
    single.observer.calls.clear();
    reads.observer.calls.clear();
  }
  EXPECT_EQ(single.trace.text, reads.trace.text);
  EXPECT_EQ(single.Lines(), reads.Lines());
  const ScreenState &a = single.session.screen().state(), &b = reads.session.screen().state();
  EXPECT_EQ(std::vector<int32_t>({a.cursorCol, a.cursorRow, a.pendingWrap, a.regionTop, a.regionBottom, a.currentAttr}),
            std::vector<int32_t>({b.cursorCol, b.cursorRow, b.pendingWrap, b.regionTop, b.regionBottom, b.currentAttr}));
  EXPECT_EQ(single.session.screen().view().viewIndex, reads.session.screen().view().viewIndex);
  const Selection &sa = single.session.screen().selection(), &sb = reads.session.screen().selection();
  EXPECT_EQ(std::vector<int32_t>({sa.anchorCol, sa.anchorLine, sa.activeCol, sa.activeLine}),
            std::vector<int32_t>({sb.anchorCol, sb.anchorLine, sb.activeCol, sb.activeLine}));
}

std::vector<HostileRun> Runs() {
  struct Size {
    int32_t columns, rows;
  };
  const Size sizes[] = {{1, 1}, {2, 2}, {1, 4}, {3, 7}, {4, 1}, {5, 3}, {10, 5}, {80, 24}, {163, 107}};
  const HostEncoding encodings[] = {HostEncoding::EUC, HostEncoding::SJIS, HostEncoding::UTF8};
  const uint32_t backlogs[] = {0, 3, 100};
  std::vector<HostileRun> runs;
  uint64_t seed = 1;
  for (const char* type : {"vt100", "vt52"}) {
    for (HostEncoding e : encodings) {
      for (const Size& size : sizes) {
        // Large grids cost more per byte (the consistency walk covers every line).
        const size_t bytes = size.rows > 50 ? 5000 : 12000;
        runs.push_back(HostileRun{type, e, size.columns, size.rows, backlogs[seed % 3], seed, bytes});
        ++seed;
      }
    }
  }
  return runs;
}

INSTANTIATE_TEST_SUITE_P(Streams, HostileInput, ::testing::ValuesIn(Runs()),
                         [](const ::testing::TestParamInfo<HostileRun>& info) {
                           const HostileRun& r = info.param;
                           return std::string(r.type) + "_" + EncodingName(r.encoding) + "_" +
                                  std::to_string(r.columns) + "x" + std::to_string(r.rows);
                         });

}  // namespace
}  // namespace velmora

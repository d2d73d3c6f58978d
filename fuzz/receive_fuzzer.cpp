// libFuzzer target for the receive path: host bytes through a whole TerminalSession, with the
// user's actions (terminal size dialog, clearing the backlog, scrolling the view, selecting,
// switching encoding or terminal type, tracing on and off, a new connection) falling between
// the reads.
//
// Input layout: an 8-byte header, then the host's bytes.
//   byte 0  bits 0-1: host encoding (EUC, SJIS, UTF-8; 3 is SJIS); bit 2: VT52; bit 3: no trace
//   byte 1  columns: 40..163, or 1..12 when bit 7 is set (a stored size, never through the dialog)
//   byte 2  rows: 12..107, or 1..12 when bit 7 is set
//   byte 3  backlog limit, one of kBacklogs
//   bytes 4-7  seed of the generator that cuts the stream into reads and picks the actions
// Shorter inputs are padded with zeros.
//
// After every read the model is checked the way tests/screen/screen_test_support.h checks it
// (links, anchors, counts, the view and the scroll bar, every screen row), plus the cursor, the
// scroll region, each line's terminating NUL, the selection and the pipeline's own state. The
// observer checks every area the model reports while it is reported, and answers the request
// for the live screen as the main window does. The trace formats every record, after checking
// its arguments against its format. Any broken rule aborts with a message.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz_check.h"
#include "settings/terminal_size_dialog.h"
#include "telnet/terminal_session.h"
#include "support/random.h"

const char* const velmora::fuzzing::kTargetName = "receive_fuzzer";

namespace {

using velmora::testing::Random;

using namespace velmora;

using fuzzing::Fail;

// Walks a record's format and its arguments together: every conversion must be one the trace
// uses, and every %s must have a string. Then formats the record into a buffer that is kept
// small by dropping it now and then.
class FormattingTrace : public TraceWriter {
 public:
  std::string text;

 protected:
  void WriteRecord(const char* format, va_list args) override {
    va_list check;
    va_copy(check, args);
    CheckArguments(format, check);
    va_end(check);
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    REQUIRE(n >= 0, "trace record \"%s\" could not be formatted", format);
    if (static_cast<size_t>(n) < sizeof small) {
      text.append(small, static_cast<size_t>(n));
    } else {
      std::string large(static_cast<size_t>(n) + 1, '\0');
      std::vsnprintf(large.data(), large.size(), format, args);
      text.append(large.data(), static_cast<size_t>(n));
    }
    if (text.size() > (1u << 16)) text.clear();
  }

 private:
  static void CheckArguments(const char* format, va_list args) {
    for (const char* p = format; *p != '\0'; ++p) {
      if (*p != '%') continue;
      ++p;
      while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') ++p;
      while (*p >= '0' && *p <= '9') ++p;
      switch (*p) {
        case '%': break;
        case 'c':
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X': (void)va_arg(args, int); break;
        case 's': REQUIRE(va_arg(args, const char*) != nullptr, "trace record \"%s\" given a null string", format); break;
        default: Fail("trace record \"%s\" uses a conversion the trace never should", format);
      }
    }
  }
};

// Telnet replies: each is a whole command.
class CheckingReplies : public ReplySink {
 public:
  bool SendReply(std::string_view bytes) override {
    REQUIRE(bytes.size() >= 3 && static_cast<uint8_t>(bytes[0]) == 0xFF, "a reply that is no telnet command");
    if (static_cast<uint8_t>(bytes[1]) == 250) {
      REQUIRE(static_cast<uint8_t>(bytes[bytes.size() - 2]) == 0xFF && static_cast<uint8_t>(bytes.back()) == 240,
              "a subnegotiation reply without IAC SE at its end");
    } else {
      REQUIRE(bytes.size() == 3, "an option reply of %zu bytes", bytes.size());
    }
    return true;
  }
};

// The window as far as the screen model can see it. Cell writes invalidate a fixed width from
// the cursor (two cells for a character, three for a double-byte one), so an area may reach
// two cells past the last column; the window clips those. Nothing else may leave the grid.
class CheckingObserver : public ScreenObserver {
 public:
  ScreenModel* model = nullptr;

  // The main window's answer: the scroll-bar request SB_BOTTOM, which scrolls by the bottom
  // position and lets ScrollView's clamp make it the distance from where the view is.
  void ShowLiveScreen() override { model->ScrollView(model->ViewBottom()); }
  void InvalidateCells(const CellRect& r) override { CheckArea(r, 2, "invalidated"); }
  void InvalidateAll() override {}
  void RepaintNow() override {}
  void ScrollCells(const CellRect& r, int32_t dx, int32_t dy) override {
    CheckArea(r, 0, "scrolled");
    // A view scroll moves the whole grid by its distance, which may exceed the grid (the
    // window then redraws the whole area); a character deletion moves cells within the row.
    REQUIRE(dx >= -model->columns() && dx <= model->columns(), "scroll by %d,%d on a %dx%d grid", dx, dy,
            model->columns(), model->rows());
  }
  void SetScrollBar(const ScrollBarInfo& bar, unsigned parts) override {
    REQUIRE(parts != 0 && (parts & ~7u) == 0, "scroll bar parts %u", parts);
    REQUIRE(bar.minimum == 0 && bar.maximum >= 0, "scroll bar range %d..%d", bar.minimum, bar.maximum);
    REQUIRE(bar.position >= 0 && bar.position <= bar.maximum, "scroll bar position %d of %d", bar.position,
            bar.maximum);
  }
  void UpdateCaret() override {}
  void AlertSound() override {}

 private:
  void CheckArea(const CellRect& r, int32_t overhang, const char* what) const {
    REQUIRE(r.left >= 0 && r.left < r.right && r.right <= model->columns() + overhang && r.top >= 0 &&
                r.top < r.bottom && r.bottom <= model->rows(),
            "%s cells %d,%d-%d,%d outside the %dx%d grid", what, r.left, r.top, r.right, r.bottom, model->columns(),
            model->rows());
  }
};

constexpr uint32_t kBacklogs[] = {0, 1, 2, 3, 10, 100, 1000, 2147483647u};

// Where the selection may point, and how many lines the store may hold. Lines the model drops
// renumber the selection; a terminal size change that removes screen rows or columns leaves it
// where it was (the window clips what it draws and copies), so its bounds grow by what such a
// change took away until the next selection. A smaller backlog limit from the dialog does not
// shrink the store; it only stops it growing.
struct Bounds {
  int64_t extraLines = 0;
  int32_t widestColumns = 0;
  uint64_t linesKept = 0;  // the store's size when the limit last changed
};

void CheckModel(const TerminalSession& session, const Bounds& bounds) {
  const ScreenModel& m = session.screen();
  const LineStore& s = m.store();
  const ScreenState& st = m.state();
  REQUIRE(st.cursorCol >= 0 && st.cursorCol < m.columns() && st.cursorRow >= 0 && st.cursorRow < m.rows(),
          "cursor %d,%d outside the %dx%d grid", st.cursorCol, st.cursorRow, m.columns(), m.rows());
  REQUIRE(0 <= st.regionTop && st.regionTop <= st.regionBottom && st.regionBottom < m.rows(),
          "scroll region %d..%d on %d rows", st.regionTop, st.regionBottom, m.rows());
  REQUIRE(s.firstLine != nullptr && s.firstLine->prev == nullptr, "no first line, or one with a predecessor");
  uint32_t count = 0;
  int64_t screenTopIndex = -1, viewTopIndex = -1;
  const TerminalLine* last = nullptr;
  for (const TerminalLine* l = s.firstLine; l != nullptr; l = l->next) {
    REQUIRE(l->prev == last, "line %u: broken back link", count);
    REQUIRE(l->width >= 1 && l->text()[l->width] == 0, "line %u (width %d) lost its terminator", count, l->width);
    if (l == s.screenTop) screenTopIndex = count;
    if (l == m.view().viewTop) viewTopIndex = count;
    if (screenTopIndex >= 0) REQUIRE(l->width == m.columns(), "screen line %u of width %d", count, l->width);
    last = l;
    REQUIRE(++count <= s.lineCount, "more lines linked than counted (%u)", s.lineCount);
  }
  REQUIRE(last == s.lastLine, "the last line is not the list's end");
  REQUIRE(count == s.lineCount, "%u lines linked, %u counted", count, s.lineCount);
  REQUIRE(screenTopIndex == static_cast<int64_t>(count) - m.rows(), "screen top at %lld of %u lines, %d rows",
          static_cast<long long>(screenTopIndex), count, m.rows());
  REQUIRE(viewTopIndex >= 0 && viewTopIndex <= screenTopIndex, "view top at %lld, screen top at %lld",
          static_cast<long long>(viewTopIndex), static_cast<long long>(screenTopIndex));
  REQUIRE(viewTopIndex == m.view().viewIndex, "view top at %lld, view index %d", static_cast<long long>(viewTopIndex),
          m.view().viewIndex);
  REQUIRE(m.view().scrollBar.position == m.view().viewIndex, "scroll bar at %d, view at %d", m.view().scrollBar.position,
          m.view().viewIndex);
  REQUIRE(m.view().scrollBar.maximum == static_cast<int32_t>(count) - 1, "scroll bar maximum %d of %u lines",
          m.view().scrollBar.maximum, count);
  REQUIRE(count <= std::max(static_cast<uint64_t>(m.backlogMax()) + static_cast<uint64_t>(m.rows()), bounds.linesKept),
          "%u lines kept for a backlog of %u and %d rows", count, m.backlogMax(), m.rows());
  const TerminalLine* walked = s.screenTop;
  for (int32_t r = 0; r < m.rows(); ++r, walked = walked->next) {
    REQUIRE(m.ScreenLine(r) == walked, "screen row %d is not the line %d links below the top", r, r);
  }
  const Selection& sel = m.selection();
  const int64_t lineBound = static_cast<int64_t>(count) + bounds.extraLines;
  const int32_t columnBound = std::max(m.columns(), bounds.widestColumns);
  for (const auto& [col, line] : {std::pair{sel.anchorCol, sel.anchorLine}, std::pair{sel.activeCol, sel.activeLine}}) {
    REQUIRE(line >= 0 && line < lineBound && col >= 0 && col <= columnBound,
            "selection point %d,%d outside %lld lines of %d columns", col, line, static_cast<long long>(lineBound),
            columnBound);
  }
  const ReceivePipeline& p = session.pipeline();
  const int held = p.decoder().heldLongBytes();
  REQUIRE(held >= 0 && held <= 3, "%d bytes of a four-byte character held", held);
  REQUIRE(session.stream().sequenceLength <= session.stream().sequenceBuffer.size(), "sequence length %u",
          session.stream().sequenceLength);
}

// A field of the terminal size dialog as a user (or a paste) may leave it.
std::string FieldText(Random& rng, uint32_t typical) {
  switch (rng.Below(8)) {
    case 0: return "";
    case 1: return std::to_string(rng.Below(1000));
    case 2: return "4294967296";
    case 3: return " " + std::to_string(typical) + "x";
    case 4: return std::to_string(rng.Next());
    default: return std::to_string(typical);
  }
}

// The terminal size command as the main window carries it out: the dialog's OK resizes the
// screen, which also sets the scroll bar, the region and the cursor.
void ChangeTerminalSize(TerminalSession& session, Random& rng, Bounds& bounds) {
  ScreenModel& s = session.screen();
  const int32_t oldColumns = s.columns();
  const uint32_t oldLines = s.store().lineCount;
  int32_t newColumns = s.columns(), newRows = s.rows();
  uint32_t backlogMax = s.backlogMax();
  TerminalSizeDialogModel dialog(newColumns, newRows, backlogMax,
                                 [&](int32_t) { return s.Resize(newColumns, newRows); });
  (void)dialog.Init();
  const std::string columns = FieldText(rng, 40 + rng.Below(124));
  const std::string rows = FieldText(rng, 12 + rng.Below(96));
  const std::string backlog = rng.Below(3) == 0 ? dialog.OnMaximum() : FieldText(rng, rng.Below(50));
  if (!dialog.OnOk(columns, rows, backlog)) return;
  s.SetBacklogMax(backlogMax);
  if (s.store().lineCount < oldLines) bounds.extraLines += oldLines - s.store().lineCount;
  bounds.widestColumns = std::max(bounds.widestColumns, oldColumns);
  bounds.linesKept = s.store().lineCount;
  session.negotiator().SendWindowSize();
}

// The scroll-bar requests of the main window (OnVScroll), by their effect.
void ScrollRequest(ScreenModel& s, Random& rng) {
  const auto& bar = s.view().scrollBar;
  int64_t d = 0;
  switch (rng.Below(8)) {
    case 0: d = -1; break;
    case 1: d = 1; break;
    case 2: d = -bar.page; break;
    case 3: d = bar.page; break;
    case 4: s.SetThumbTracking(false); break;
    case 5:
      s.SetThumbTracking(true);
      d = static_cast<int64_t>(rng.Below(static_cast<uint32_t>(bar.maximum) + 2)) - bar.position;
      break;
    case 6: d = -static_cast<int64_t>(bar.position); break;
    default: d = s.ViewBottom(); break;
  }
  d = std::clamp<int64_t>(d, INT32_MIN, INT32_MAX);
  s.ScrollView(static_cast<int32_t>(d));
}

// A selection made as the mouse makes it (a cell boundary of a shown row), select all, or none.
void Select(ScreenModel& s, Random& rng, Bounds& bounds) {
  auto point = [&](int32_t& col, int32_t& line) {
    const auto row = static_cast<int32_t>(rng.Below(static_cast<uint32_t>(s.rows())));
    const TerminalLine* shown = s.view().viewTop;
    for (int32_t i = 0; i < row && shown->next != nullptr; ++i) shown = shown->next;
    col = std::min(static_cast<int32_t>(rng.Below(static_cast<uint32_t>(s.columns()) + 1)), shown->width);
    if (IsInsideDoubleByte(shown->text(), col)) --col;
    line = s.view().viewIndex + row;
  };
  Selection sel = s.selection();
  switch (rng.Below(4)) {
    case 0: sel = Selection{}; break;
    case 1: sel = Selection{0, 0, s.columns(), static_cast<int32_t>(s.store().lineCount) - 1}; break;
    case 2:  // a drag goes on
      point(sel.activeCol, sel.activeLine);
      s.SetSelection(sel);
      return;
    default:
      point(sel.anchorCol, sel.anchorLine);
      sel.activeCol = sel.anchorCol;
      sel.activeLine = sel.anchorLine;
      break;
  }
  s.SetSelection(sel);
  bounds.extraLines = 0;
  bounds.widestColumns = 0;
}

void UserAction(TerminalSession& session, FormattingTrace& trace, Random& rng, Bounds& bounds) {
  ScreenModel& s = session.screen();
  switch (rng.Below(9)) {
    case 0: ChangeTerminalSize(session, rng, bounds); break;
    case 1:
      s.ClearBacklog();
      bounds = Bounds{};  // the selection went with the backlog
      break;
    case 2:
    case 3: ScrollRequest(s, rng); break;
    case 4: Select(s, rng, bounds); break;
    case 5: session.SetHostEncoding(static_cast<HostEncoding>(rng.Below(3))); break;
    case 6: session.SetTerminalType(session.options().IsVt52() ? "vt100" : "vt52"); break;
    case 7: trace.traceEnabled = !trace.traceEnabled; break;
    default:
      // The host closed and the user connected again: what the main window resets.
      session.OnConnectionClosed();
      s.ResetForConnection();
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t header[8] = {};
  const size_t headerSize = std::min<size_t>(size, sizeof header);
  std::copy(data, data + headerSize, header);
  const uint8_t* stream = data + headerSize;
  const size_t streamSize = size - headerSize;

  CheckingObserver observer;
  FormattingTrace trace;
  CheckingReplies replies;
  TerminalSession session(observer, trace, replies);
  ScreenModel& screen = session.screen();
  observer.model = &screen;
  session.SetHostEncoding(static_cast<HostEncoding>((header[0] & 3) % 3));
  session.SetTerminalType((header[0] & 4) != 0 ? "vt52" : "vt100");
  trace.traceEnabled = (header[0] & 8) == 0;
  screen.SetGridSize((header[1] & 0x80) != 0 ? 1 + (header[1] & 0x7F) % 12 : 40 + header[1] % 124,
                     (header[2] & 0x80) != 0 ? 1 + (header[2] & 0x7F) % 12 : 12 + header[2] % 96,
                     kBacklogs[header[3] % 8]);
  if (!screen.CreateLineStore()) Fail("no line store for %dx%d", screen.columns(), screen.rows());
  screen.ResetForConnection();
  Bounds bounds;
  CheckModel(session, bounds);

  Random rng(static_cast<uint64_t>(header[4]) | static_cast<uint64_t>(header[5]) << 8 |
             static_cast<uint64_t>(header[6]) << 16 | static_cast<uint64_t>(header[7]) << 24);
  size_t at = 0;
  while (at < streamSize) {
    // One read: mostly short, now and then a single byte or a long run.
    size_t n = 0;
    switch (rng.Below(4)) {
      case 0: n = 1; break;
      case 1: n = 1 + rng.Below(512); break;
      default: n = 1 + rng.Below(24); break;
    }
    n = std::min(n, streamSize - at);
    session.pipeline().ReceiveBytes(stream + at, n);
    at += n;
    CheckModel(session, bounds);
    if (rng.Below(6) == 0) {
      UserAction(session, trace, rng, bounds);
      CheckModel(session, bounds);
    }
  }
  return 0;
}

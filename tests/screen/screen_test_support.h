#pragma once
// A window that records what the screen model asks of it, and helpers to build and inspect a
// screen in tests.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "screen/screen_model.h"

namespace velmora {

// The model's state written directly, to set up a situation in one step.
struct ScreenModelTestAccess {
  static ScreenState& State(ScreenModel& m) { return m.state_; }
  static ViewState& View(ScreenModel& m) { return m.view_; }
  static Selection& Selected(ScreenModel& m) { return m.selection_; }
  // The lines may be relinked through it: the model finds its screen rows anew.
  static LineStore& Store(ScreenModel& m) {
    m.ForgetRows();
    return m.store_;
  }
};

inline ScreenState& MutableState(ScreenModel& m) { return ScreenModelTestAccess::State(m); }
inline ViewState& MutableView(ScreenModel& m) { return ScreenModelTestAccess::View(m); }
inline Selection& MutableSelection(ScreenModel& m) { return ScreenModelTestAccess::Selected(m); }
inline LineStore& MutableStore(ScreenModel& m) { return ScreenModelTestAccess::Store(m); }

}  // namespace velmora

namespace velmora::testing {

class RecordingObserver : public ScreenObserver {
 public:
  // When set, the request for the live screen is answered the way the window does: by moving
  // the view to the bottom through the model.
  ScreenModel* model = nullptr;
  bool followLive = true;
  std::vector<std::string> calls;

  void ShowLiveScreen() override {
    calls.push_back("live");
    if (model != nullptr && followLive) model->ScrollView(model->ViewBottom() - model->view().scrollBar.position);
  }
  void InvalidateCells(const CellRect& r) override { calls.push_back("inval " + Rect(r)); }
  void InvalidateAll() override { calls.push_back("all"); }
  void RepaintNow() override { calls.push_back("paint"); }
  void ScrollCells(const CellRect& r, int32_t dx, int32_t dy) override {
    calls.push_back("scroll " + Rect(r) + " " + std::to_string(dx) + "," + std::to_string(dy));
  }
  void SetScrollBar(const ScrollBarInfo& b, unsigned parts) override {
    std::string s = "bar";
    if (parts & kScrollRange) s += " max=" + std::to_string(b.maximum);
    if (parts & kScrollPage) s += " page=" + std::to_string(b.page);
    if (parts & kScrollPosition) s += " pos=" + std::to_string(b.position);
    calls.push_back(s);
  }
  void UpdateCaret() override { calls.push_back("caret"); }
  void AlertSound() override { calls.push_back("beep"); }

  // The calls of one kind ("inval", "scroll", ...), in order.
  std::vector<std::string> Only(const std::string& kind) const {
    std::vector<std::string> out;
    for (const auto& c : calls) {
      if (c.rfind(kind, 0) == 0) out.push_back(c);
    }
    return out;
  }

 private:
  static std::string Rect(const CellRect& r) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d,%d-%d,%d", r.left, r.top, r.right, r.bottom);
    return buf;
  }
};

// A screen of the given size with its store created and the region the whole screen.
struct TestScreen {
  RecordingObserver observer;
  ScreenModel model;

  TestScreen(int32_t columns, int32_t rows, uint32_t backlogMax = 2147483647u,
             uint32_t lineLimit = LineStore::kMaxLines)
      : model(observer, lineLimit) {
    observer.model = &model;
    model.SetGridSize(columns, rows, backlogMax);
    EXPECT_TRUE(model.CreateLineStore());
    model.ResetForConnection();
    observer.calls.clear();
  }

  void Type(const std::string& s) {
    for (unsigned char c : s) model.PutChar(c);
  }
  // Writes `label` at the start of the cursor row then feeds a line.
  void Line(const std::string& label) {
    model.CarriageReturn();
    Type(label);
    model.LineFeed();
  }
  // Screen row r's text with trailing spaces removed.
  std::string Row(int32_t r) const { return Trim(model.ScreenLine(r)); }
  // Every line of the store, oldest first, trailing spaces removed.
  std::vector<std::string> AllLines() const {
    std::vector<std::string> out;
    for (const TerminalLine* l = model.store().firstLine; l != nullptr; l = l->next) out.push_back(Trim(l));
    return out;
  }
  static std::string Trim(const TerminalLine* l) {
    std::string s(reinterpret_cast<const char*>(l->text()), static_cast<size_t>(l->width));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
  }
};

// Checks the list links, the anchors, the counts and the view against each other.
inline void ExpectConsistent(const ScreenModel& m) {
  const LineStore& s = m.store();
  ASSERT_NE(s.firstLine, nullptr);
  EXPECT_EQ(s.firstLine->prev, nullptr);
  uint32_t count = 0;
  uint64_t bytes = 0;
  int32_t screenTopIndex = -1, viewTopIndex = -1;
  const TerminalLine* last = nullptr;
  for (const TerminalLine* l = s.firstLine; l != nullptr; l = l->next) {
    EXPECT_EQ(l->prev, last);
    bytes += LineStore::LineBytes(l->width);
    EXPECT_EQ(l->text()[l->width], 0) << "line " << count << " lost its terminator";
    if (l == s.screenTop) screenTopIndex = static_cast<int32_t>(count);
    if (l == m.view().viewTop) viewTopIndex = static_cast<int32_t>(count);
    if (screenTopIndex >= 0) {
      EXPECT_EQ(l->width, m.columns()) << "screen line of another width";
    }
    last = l;
    ++count;
  }
  EXPECT_EQ(last, s.lastLine);
  EXPECT_EQ(count, s.lineCount);
  EXPECT_EQ(bytes, s.bytesInUse());
  EXPECT_EQ(screenTopIndex, static_cast<int32_t>(count) - m.rows());
  EXPECT_GE(viewTopIndex, 0);
  EXPECT_LE(viewTopIndex, screenTopIndex);
  EXPECT_EQ(viewTopIndex, m.view().viewIndex);
  EXPECT_EQ(m.view().scrollBar.position, m.view().viewIndex);
  EXPECT_EQ(m.view().scrollBar.maximum, static_cast<int32_t>(count) - 1);
  // Each screen row is the line that many links below the screen's top.
  const TerminalLine* walked = s.screenTop;
  for (int32_t r = 0; r < m.rows() && walked != nullptr; ++r, walked = walked->next) {
    EXPECT_EQ(m.ScreenLine(r), walked) << "screen row " << r;
  }
}

}  // namespace velmora::testing

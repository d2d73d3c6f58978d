// The caret follows the cursor through the view, widens on a lead byte, stays untouched
// without the focus and keeps its hide and show calls paired.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "screen/caret.h"
#include "screen_test_support.h"

namespace velmora::testing {
namespace {

class RecordingCaret : public CaretPort {
 public:
  bool focus = true;
  std::vector<std::string> calls;
  bool HasFocus() const override { return focus; }
  void CreateSolidCaret(int w, int h) override { calls.push_back("create " + std::to_string(w) + "x" + std::to_string(h)); }
  void DestroyCaret() override { calls.push_back("destroy"); }
  void ShowCaret() override { calls.push_back("show"); }
  void HideCaret() override { calls.push_back("hide"); }
  void MoveCaret(int x, int y) override { calls.push_back("move " + std::to_string(x) + "," + std::to_string(y)); }
};

// A 10x4 screen with 6 backlog lines and the double-byte character 0x82A0 in columns 2-3 of
// row 1; cells are 8x16 pixels. The caret starts focused and shown at column 0 of row 1.
struct CaretScreen {
  TestScreen t{10, 4};
  RecordingCaret port;
  CaretTracker caret;
  CaretScreen() {
    for (int i = 0; i < 9; ++i) t.Line("L");
    t.model.MoveCursor(2, 1);
    t.model.PutDoubleChar(0x82, 0xA0);
    t.model.MoveCursor(0, 1);
    caret.OnSetFocus(t.model, port, 8, 16);
    EXPECT_EQ(port.calls, (std::vector<std::string>{"create 8x16", "show", "move 0,16"}));
  }
  void Update() { caret.UpdateCaret(t.model, port, 8, 16); }
  void Go(int32_t col, int32_t back) {  // cursor to (col, row 1), view `back` lines above the live screen
    t.model.MoveCursor(col, 1);
    t.model.ScrollView(t.model.ViewBottom() - back - t.model.view().viewIndex);
    Update();
  }
  void Lose() { port.focus = false, caret.OnKillFocus(port); }
  void Gain() { port.focus = true, caret.OnSetFocus(t.model, port, 8, 16); }
};

struct Step {
  const char* what;
  std::function<void(CaretScreen&)> act;
  std::vector<std::string> calls;
  bool hidden;
  int32_t cells;
};

void RunSteps(const std::vector<Step>& steps) {
  CaretScreen s;
  for (const Step& step : steps) {
    s.port.calls.clear();
    step.act(s);
    EXPECT_EQ(s.port.calls, step.calls) << step.what;
    EXPECT_EQ(s.caret.caretHidden, step.hidden) << step.what;
    EXPECT_EQ(s.caret.caretCells, step.cells) << step.what;
  }
}

TEST(Caret, FollowsTheViewAndTheCellWidth) {
  RunSteps({{"one line back: window row 2", [](CaretScreen& s) { s.Go(0, 1); }, {"move 0,32"}, false, 1},
       {"three back: below the window", [](CaretScreen& s) { s.Go(0, 3); }, {"hide"}, true, 1},
       {"still below: no second hide", [](CaretScreen& s) { s.Update(); }, {}, true, 1},
       {"live again", [](CaretScreen& s) { s.Go(0, 0); }, {"show", "move 0,16"}, false, 1},
       {"lead half", [](CaretScreen& s) { s.Go(2, 0); }, {"hide", "destroy", "create 16x16", "show", "move 16,16"}, false, 2},
       {"same cell again", [](CaretScreen& s) { s.Go(2, 0); }, {"move 16,16"}, false, 2},
       {"trail half", [](CaretScreen& s) { s.Go(3, 0); }, {"hide", "destroy", "create 8x16", "show", "move 24,16"}, false, 1},
       {"lead half below the window", [](CaretScreen& s) { s.Go(2, 3); }, {"hide"}, true, 1},
       {"back on it at the live screen", [](CaretScreen& s) { s.Go(2, 0); },
        {"destroy", "create 16x16", "show", "move 16,16"}, false, 2},
       {"font change", [](CaretScreen& s) { s.caret.ForceRecreate(), s.caret.UpdateCaret(s.t.model, s.port, 10, 20); },
        {"hide", "destroy", "create 20x20", "show", "move 20,20"}, false, 2}});
}

TEST(Caret, FocusChangesKeepHideAndShowPaired) {
  RunSteps({{"lose while shown", [](CaretScreen& s) { s.Lose(); }, {"hide", "destroy"}, true, 1},
       {"no focus: moves leave it alone", [](CaretScreen& s) { s.Go(2, 0), s.Go(0, 3), s.caret.ForceRecreate(), s.Update(); },
        {}, true, 0},
       {"gain below the window: created, hidden", [](CaretScreen& s) { s.Gain(); }, {"create 0x16"}, true, 0},
       {"lead half at the live screen", [](CaretScreen& s) { s.Go(2, 0); },
        {"destroy", "create 16x16", "show", "move 16,16"}, false, 2},
       {"lose, then move to one cell", [](CaretScreen& s) { s.Lose(), s.Go(0, 0); }, {"hide", "destroy"}, true, 2},
       {"gain: two cells, then narrowed without a hide", [](CaretScreen& s) { s.Gain(); },
        {"create 16x16", "destroy", "create 8x16", "show", "move 0,16"}, false, 1},
       {"lose while hidden: no hide", [](CaretScreen& s) { s.Go(0, 3), s.port.calls.clear(), s.Lose(); }, {"destroy"}, true, 1}});
}

}  // namespace
}  // namespace velmora::testing

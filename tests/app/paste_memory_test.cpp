// Paste and copy when memory runs out, in the headless window against a host played on
// 127.0.0.1. This executable replaces the global operator new with one that, while armed,
// refuses every request of at least a given size, as a system out of memory refuses a large
// block while small ones still succeed.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "app/ui_text.h"
#include "headless.h"
#include "support/replaced_new.h"

namespace {
std::atomic<std::size_t> gRefuseFrom{SIZE_MAX};
}  // namespace

void* velmora::testing::AllocateForTest(std::size_t size) noexcept {
  if (size >= gRefuseFrom.load(std::memory_order_relaxed)) return nullptr;
  return std::malloc(size != 0 ? size : 1);
}

namespace velmora::testing {
namespace {

const std::string kConnected = "127.0.0.1 - Velmora";

// Refuses requests of `from` bytes or more while it lives.
struct RefuseLargeBlocks {
  explicit RefuseLargeBlocks(std::size_t from) { gRefuseFrom = from; }
  ~RefuseLargeBlocks() { gRefuseFrom = SIZE_MAX; }
};

void StartAndConnect(Headless& h, LoopbackHost& peer) {
  h.logic.LoadSettingsAndCommandLine("");
  ASSERT_TRUE(h.logic.OnCreate());
  h.window.connectDialog = [](ConnectDialogModel& model, ConnectDialogState& state) {
    state.hostField = "127.0.0.1";
    model.OnOk(state);
    return true;
  };
  h.logic.OnCommand(kCmdConnect);
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kConnected; }));
}

int Beeps(const Headless& h) {
  return static_cast<int>(std::count(h.window.calls.begin(), h.window.calls.end(), "beep"));
}

// Each paste needs a block its memory cannot give: the conversion (up to three times the text
// for UTF-8, twice for EUC-JP) or, for Shift-JIS, the copy of the clipboard itself. The paste
// is abandoned whole with the alert; the terminal goes on, and what is typed next is the first
// thing the host receives.
TEST(PasteOutOfMemory, AbandonedWholeWithTheAlertAndTypingGoesOn) {
  struct Case {
    int encodingCommand;
    std::size_t refuseFrom;
  };
  const std::size_t size = 1u << 20;
  LoopbackHost peer;
  Headless h(peer.port);
  StartAndConnect(h, peer);
  h.window.clipboard = std::string(size / 2, 'a') + std::string(size / 4, '\xb1') + std::string(size / 8, '\x82') +
                       std::string(size / 8, '\xa0');
  for (const Case c : {Case{kCmdEncodingUtf8, 2 * size}, Case{kCmdEncodingEuc, size + size / 2},
                       Case{kCmdEncodingSjis, size / 2}}) {
    SCOPED_TRACE(c.encodingCommand);
    h.logic.OnCommand(c.encodingCommand);
    const int beeps = Beeps(h);
    {
      RefuseLargeBlocks refuse(c.refuseFrom);
      h.logic.OnCommand(kCmdPaste);
    }
    EXPECT_EQ(Beeps(h), beeps + 1);
    EXPECT_EQ(h.logic.connection().queuedBytes(), 0u);
    h.logic.OnChar('x');
    ASSERT_TRUE(h.PumpUntil([&] { return !peer.received.empty(); }, &peer));
    EXPECT_EQ(peer.Take(), "x") << "the host received part of an abandoned paste";
  }

  // With memory again, the same paste goes out whole.
  h.logic.OnCommand(kCmdPaste);
  ASSERT_TRUE(h.PumpUntil([&] { return peer.received.size() >= size; }, &peer));
  EXPECT_EQ(peer.Take(), *h.window.clipboard);
  EXPECT_TRUE(h.logic.IsConnected());
}

// Copying a selection larger than the memory left keeps the clipboard as it was.
TEST(PasteOutOfMemory, CopyTooLargeLeavesTheClipboard) {
  LoopbackHost peer;
  Headless h(peer.port);
  StartAndConnect(h, peer);
  std::string lines;
  for (int i = 0; i < 1500; ++i) lines += "a line of the backlog, " + std::to_string(i) + "\r\n";
  peer.Send(lines);
  ASSERT_TRUE(h.PumpUntil([&] { return h.logic.screen().store().lineCount > 1500; }));
  h.window.clipboard = "before";
  h.logic.OnCommand(kCmdSelectAll);
  {
    RefuseLargeBlocks refuse(16u << 10);
    h.logic.OnCommand(kCmdCopy);
  }
  EXPECT_EQ(h.window.clipboard, "before");
  h.logic.OnCommand(kCmdCopy);
  EXPECT_GT(h.window.clipboard->size(), 1500u * 25);
}

// A host's request whose answer needs a block the memory cannot give (the display location, when
// DISPLAY is long) costs that answer and an alert, not the program: the read is dropped, the
// connection goes on and what follows is shown.
TEST(PasteOutOfMemory, ReadThatRunsOutOfMemoryIsDroppedWithTheAlert) {
  const char* saved = std::getenv("DISPLAY");
  const std::string savedDisplay = saved != nullptr ? saved : "";
  ASSERT_EQ(setenv("DISPLAY", std::string(256u << 10, 'd').c_str(), 1), 0);
  LoopbackHost peer;
  Headless h(peer.port);
  StartAndConnect(h, peer);
  const int beeps = Beeps(h);
  {
    RefuseLargeBlocks refuse(128u << 10);
    peer.Send(std::string("\xff\xfa\x23\x01\xff\xf0", 6));
    ASSERT_TRUE(h.PumpUntil([&] { return Beeps(h) > beeps; }));
  }
  peer.Send("after");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(0).find("after") != std::string::npos; }));
  EXPECT_TRUE(h.logic.IsConnected());
  if (saved != nullptr) setenv("DISPLAY", savedDisplay.c_str(), 1); else unsetenv("DISPLAY");
}

}  // namespace
}  // namespace velmora::testing

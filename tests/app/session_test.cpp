// One whole session as a user lives it, in the headless window against a host played on
// 127.0.0.1: connect through the dialog, negotiate, read Japanese in each host encoding, pick a
// word with a double click, copy it, paste it back, look through the backlog, disconnect, and
// see the host close.
#include <gtest/gtest.h>

#include "app/ui_text.h"
#include "headless.h"

namespace velmora::testing {
namespace {

const std::string kIdle = "未接続 - Velmora";
const std::string kConnected = "127.0.0.1 - Velmora";

// 日本語 in the three host encodings and in Shift-JIS as the screen keeps it.
const std::string kNihongoEuc = "\xc6\xfc\xcb\xdc\xb8\xec";
const std::string kNihongoUtf8 = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e";
const std::string kNihongoSjis = "\x93\xfa\x96\x7b\x8c\xea";

TEST(Session, ConnectReadSelectCopyPasteScrollDisconnect) {
  LoopbackHost peer;
  Headless h(peer.port);
  h.logic.LoadSettingsAndCommandLine("");
  ASSERT_TRUE(h.logic.OnCreate());
  ASSERT_EQ(h.window.title, kIdle);

  // The connection dialog: host typed, EUC-JP and VT100 chosen, OK.
  h.window.connectDialog = [](ConnectDialogModel& model, ConnectDialogState& state) {
    state.hostField = "127.0.0.1";
    state.encodingButton = 0;
    state.vt52 = false;
    state.autoClose = false;
    model.OnOk(state);
    return true;
  };
  h.logic.OnCommand(kCmdConnect);
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kConnected; }));

  // Negotiation: the host asks for the terminal type and the window size, and offers to echo.
  peer.Send("\xff\xfd\x18" "\xff\xfd\x1f" "\xff\xfb\x01");
  const std::string agreed = std::string("\xff\xfb\x18") + "\xff\xfb\x1f" + std::string("\xff\xfa\x1f\x00\x50\x00\x18\xff\xf0", 9) +
                             "\xff\xfd\x01";
  ASSERT_TRUE(h.PumpUntil([&] { return peer.received.size() >= agreed.size(); }, &peer));
  EXPECT_EQ(peer.Take(), agreed);
  peer.Send(std::string("\xff\xfa\x18\x01\xff\xf0", 6));
  const std::string terminalType = std::string("\xff\xfa\x18\x00", 4) + "vt100" + "\xff\xf0";
  ASSERT_TRUE(h.PumpUntil([&] { return peer.received.size() >= terminalType.size(); }, &peer));
  EXPECT_EQ(peer.Take(), terminalType);
  EXPECT_FALSE(h.logic.session().negotiator().localEcho);  // the host echoes from now on

  // Japanese output in each host encoding, chosen from the Encoding menu in between.
  peer.Send("EUC " + kNihongoEuc + " word\r\n");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(0) == "EUC " + kNihongoSjis + " word"; }));
  h.logic.OnCommand(kCmdEncodingSjis);
  peer.Send("SJIS " + kNihongoSjis + "\r\n");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(1) == "SJIS " + kNihongoSjis; }));
  h.logic.OnCommand(kCmdEncodingUtf8);
  peer.Send("UTF8 " + kNihongoUtf8 + "\r\n");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(2) == "UTF8 " + kNihongoSjis; }));

  // A double click on the middle kanji of row 0 selects the whole word (columns 4 to 10).
  const int cellW = h.logic.metrics().cellWidth;
  const int cellH = h.logic.metrics().cellHeight;
  h.logic.OnLButtonDown(7 * cellW + 1, cellH / 2);
  h.logic.OnLButtonUp();
  h.logic.OnLButtonDblClk();
  h.logic.OnLButtonUp();
  EXPECT_FALSE(h.window.captured);
  h.logic.OnCommand(kCmdCopy);
  ASSERT_TRUE(h.window.clipboard.has_value());
  EXPECT_EQ(*h.window.clipboard, kNihongoSjis);

  // Pasted back, it reaches the host in the host encoding (now UTF-8), and the host's echo shows.
  h.logic.OnCommand(kCmdPaste);
  ASSERT_TRUE(h.PumpUntil([&] { return peer.received.size() >= kNihongoUtf8.size(); }, &peer));
  EXPECT_EQ(peer.Take(), kNihongoUtf8);
  peer.Send(kNihongoUtf8 + "\r\n");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(3) == kNihongoSjis; }));

  // Enough output to push the first lines into the backlog; the view then goes back to them.
  std::string many;
  for (int i = 0; i < 30; ++i) many += "line " + std::to_string(i) + "\r\n";
  peer.Send(many);
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(22) == "line 29"; }));
  ScreenModel& s = h.logic.screen();
  ASSERT_EQ(s.view().scrollBar.position, 11);  // 4 + 30 lines written, 23 of them on the screen
  h.logic.OnVScroll(kSbTop, 0);
  EXPECT_EQ(s.view().viewIndex, 0);
  RecordingPainter painter;
  h.logic.Paint(painter, PixelRect{0, 0, 80 * cellW, cellH});
  // The top row drawn is the first line the host wrote (the kanji in a run of their own).
  const std::vector<std::string> drawn = painter.Texts();
  ASSERT_GE(drawn.size(), 3u);
  EXPECT_EQ(drawn[0], "0,0 EUC ");
  EXPECT_EQ(drawn[1], std::to_string(4 * cellW) + ",0 " + kNihongoSjis);
  h.logic.OnMouseWheel(-120, 0);  // a notch toward the user: three lines on
  EXPECT_EQ(s.view().viewIndex, 3);
  // New output brings the live screen back.
  peer.Send("live\r\n");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(22) == "live"; }));
  EXPECT_EQ(s.view().viewIndex, s.view().scrollBar.position);
  EXPECT_EQ(s.view().viewIndex, 12);

  // The user disconnects: the host sees the end of input but may still write.
  h.logic.OnCommand(kCmdDisconnect);
  ASSERT_TRUE(h.PumpUntil([&] { return peer.sawEnd; }, &peer));
  EXPECT_EQ(h.window.title, kConnected);
  peer.Send("logout\r\n");
  ASSERT_TRUE(h.PumpUntil([&] { return h.Row(22) == "logout"; }));

  // Then the host closes: not connected, and no automatic close of the window.
  peer.CloseConnection();
  ASSERT_TRUE(h.PumpUntil([&] { return h.window.title == kIdle; }));
  EXPECT_FALSE(h.logic.IsConnected());
  EXPECT_EQ(h.window.closeRequests, 0);
  EXPECT_EQ(h.Row(21), "live");  // what the host said stays on the screen
}

}  // namespace
}  // namespace velmora::testing

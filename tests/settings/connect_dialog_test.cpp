// The connection dialog's logic: what it offers when it opens, how the buttons follow the list,
// and what OK and Cancel leave behind.
#include <gtest/gtest.h>

#include "settings/connect_dialog.h"
#include "settings/host_history.h"
#include "support/connect_dialog_values.h"

namespace velmora::testing {
namespace {

const std::string kKey = "SOFTWARE\\ostrin\\Velmora";
const std::string kHistory = "SOFTWARE\\ostrin\\Velmora\\most recently used";

// The values the dialog works on, and a store holding the history.
struct Dialog : ConnectDialogValues {
  // A model over the values (it keeps nothing of its own, so a copy is as good as a new one).
  ConnectDialogModel Model() { return model; }
  // Slot 0 holds a (UTF-8, vt52), slot 1 b (EUC, vt100).
  void RememberAB() {
    ASSERT_TRUE(AddHost(store, HistoryEntry::Make("b", HostEncoding::EUC, "vt100")));
    ASSERT_TRUE(AddHost(store, HistoryEntry::Make("a", HostEncoding::UTF8, "vt52")));
  }
};

TEST(ConnectDialog, OpeningOffersTheRightHostAndButtons) {
  struct Case {
    const char* name;
    bool history;
    std::string hostName;
    HostEncoding encoding;
    std::string terminalType;
    int selected;
    std::string field;
    std::optional<int32_t> button;
    bool vt52;
  };
  const Case cases[] = {
      {"first run", false, "", HostEncoding::EUC, "vt100", -1, "", 0, false},
      {"empty history keeps current settings", false, "", HostEncoding::UTF8, "vt52", -1, "", 2, true},
      {"no host named: the most recent", true, "", HostEncoding::SJIS, "vt100", 0, "a", 2, true},
      {"named host from the history wins over SJIS", true, "b", HostEncoding::SJIS, "vt52", 1, "b", 0, false},
      {"host not in the history", true, "c", HostEncoding::SJIS, "vt52", -1, "c", 1, true},
      {"host unknown, empty history", false, "c", HostEncoding::UTF8, "vt100", -1, "c", 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dialog d;
    if (c.history) d.RememberAB();
    d.hostName = c.hostName;
    d.encoding = c.encoding;
    d.terminalType = c.terminalType;
    ConnectDialogModel model = d.Model();
    const ConnectDialogState state = model.Open();
    EXPECT_EQ(state.hosts, c.history ? (std::vector<std::string>{"a", "b"}) : std::vector<std::string>{});
    EXPECT_EQ(state.selected, c.selected);
    EXPECT_EQ(state.hostField, c.field);
    EXPECT_EQ(state.encodingButton, c.button);
    EXPECT_EQ(state.vt52, c.vt52);
    // Opening changes nothing.
    EXPECT_EQ(d.hostName, c.hostName);
    EXPECT_EQ(d.encoding, c.encoding);
    EXPECT_EQ(d.store.writes.size(), c.history ? 20u : 0u);  // only the two AddHost calls
  }
}

TEST(ConnectDialog, AutoCloseBoxShowsTheSetting) {
  Dialog d;
  d.settings.autoClose = 1;
  EXPECT_TRUE(d.Model().Open().autoClose);
  d.settings.autoClose = 0;
  EXPECT_FALSE(d.Model().Open().autoClose);
}

TEST(ConnectDialog, ChoosingAnotherEntrySetsItsButtons) {
  Dialog d;
  d.RememberAB();
  ConnectDialogModel model = d.Model();
  ConnectDialogState state = model.Open();
  ASSERT_EQ(state.hostField, "a");
  state.hostField = "typed";  // typing changes no button
  EXPECT_EQ(state.encodingButton, std::optional<int32_t>(2));
  model.OnSelectionChanged(state, 1);
  EXPECT_EQ(state.selected, 1);
  EXPECT_EQ(state.hostField, "b");
  EXPECT_EQ(state.encodingButton, std::optional<int32_t>(0));
  EXPECT_FALSE(state.vt52);
  model.OnSelectionChanged(state, 0);
  EXPECT_EQ(state.hostField, "a");
  EXPECT_EQ(state.encodingButton, std::optional<int32_t>(2));
  EXPECT_TRUE(state.vt52);
  const ConnectDialogState before = state;
  model.OnSelectionChanged(state, 2);  // past the list: nothing happens
  model.OnSelectionChanged(state, -1);
  EXPECT_EQ(state.selected, before.selected);
  EXPECT_EQ(state.hostField, before.hostField);
}

TEST(ConnectDialog, BadEncodingDigitChecksNoButtonAndOkGivesEuc) {
  Dialog d;
  // host "x", encoding digit '7', type "vt100"
  d.store.Put(kHistory, "host 0", kRegExpandSz, std::string("x\0" "7\0" "vt100\0\0", 12));
  d.encoding = HostEncoding::UTF8;
  ConnectDialogModel model = d.Model();
  const ConnectDialogState state = model.Open();
  EXPECT_EQ(state.hostField, "x");
  EXPECT_EQ(state.selected, 0);
  EXPECT_FALSE(state.encodingButton.has_value());
  model.OnOk(state);
  EXPECT_EQ(d.encoding, HostEncoding::EUC);
  EXPECT_EQ(d.hostName, "x");
  EXPECT_EQ(d.terminalType, "vt100");
}

TEST(ConnectDialog, OkTakesTheShownValues) {
  struct Case {
    std::optional<int32_t> button;
    bool vt52;
    HostEncoding encoding;
    const char* type;
  };
  const Case cases[] = {
      {0, false, HostEncoding::EUC, "vt100"},
      {1, true, HostEncoding::SJIS, "vt52"},
      {2, false, HostEncoding::UTF8, "vt100"},
      {std::nullopt, true, HostEncoding::EUC, "vt52"},
  };
  for (const Case& c : cases) {
    Dialog d;
    d.encoding = HostEncoding::UTF8;
    ConnectDialogModel model = d.Model();
    ConnectDialogState state = model.Open();
    state.hostField = "host.example";
    state.encodingButton = c.button;
    state.vt52 = c.vt52;
    model.OnOk(state);
    EXPECT_EQ(d.hostName, "host.example");
    EXPECT_EQ(d.encoding, c.encoding);
    EXPECT_EQ(d.terminalType, c.type);
  }
}

TEST(ConnectDialog, AutoCloseSavedOnlyWhenOkChangesIt) {
  {
    // Everything changed, another entry picked, then Cancel (OnOk is never called): nothing
    // is kept or saved.
    Dialog d;
    d.RememberAB();
    d.store.writes.clear();
    d.settings.autoClose = 1;
    d.hostName = "c";
    d.encoding = HostEncoding::SJIS;
    ConnectDialogModel model = d.Model();
    ConnectDialogState state = model.Open();
    model.OnSelectionChanged(state, 1);
    ASSERT_EQ(state.hostField, "b");
    state.autoClose = false;
    state.hostField = "cancelled";
    state.encodingButton = 2;
    state.vt52 = true;
    EXPECT_EQ(d.settings.autoClose, 1);
    EXPECT_EQ(d.hostName, "c");
    EXPECT_EQ(d.encoding, HostEncoding::SJIS);
    EXPECT_EQ(d.terminalType, "vt100");
    EXPECT_TRUE(d.store.writes.empty());
  }
  {
    Dialog d;
    d.settings.autoClose = 1;
    ConnectDialogModel model = d.Model();
    ConnectDialogState state = model.Open();
    state.autoClose = false;
    model.OnOk(state);
    EXPECT_EQ(d.settings.autoClose, 0);
    EXPECT_EQ(d.store.writes, std::vector<std::string>{kKey + "|auto close"});
    ASSERT_NE(d.store.Get(kKey, "auto close"), nullptr);
    EXPECT_EQ(d.store.Get(kKey, "auto close")->bytes, Le32(0));
    EXPECT_EQ(d.store.Get(kKey, "auto close")->type, kRegDword);
  }
  {
    Dialog d;
    ConnectDialogModel model = d.Model();
    ConnectDialogState state = model.Open();
    state.autoClose = true;
    model.OnOk(state);
    EXPECT_EQ(d.settings.autoClose, 1);
    EXPECT_EQ(d.store.Get(kKey, "auto close")->bytes, Le32(1));
  }
  for (const int32_t setting : {0, 1}) {
    // OK with the box as it was: nothing is written.
    Dialog d;
    d.settings.autoClose = setting;
    ConnectDialogModel model = d.Model();
    ConnectDialogState state = model.Open();
    state.hostField = "h";
    model.OnOk(state);
    EXPECT_EQ(d.settings.autoClose, setting);
    EXPECT_TRUE(d.store.writes.empty()) << setting;
  }
}

TEST(ConnectDialog, HostCutTo63Bytes) {
  Dialog d;
  ConnectDialogModel model = d.Model();
  ConnectDialogState state = model.Open();
  state.hostField = std::string(63, 'h') + "tail";
  model.OnOk(state);
  EXPECT_EQ(d.hostName, std::string(63, 'h'));
  state.hostField = std::string(63, 'k');
  model.OnOk(state);
  EXPECT_EQ(d.hostName, std::string(63, 'k'));
  state.hostField = "";
  model.OnOk(state);  // any text is taken, an empty one too
  EXPECT_EQ(d.hostName, "");
  // The cut falls between characters: 40 x "あ" keeps 31 of them (62 bytes), never a lone lead.
  std::string kana;
  for (int i = 0; i < 40; ++i) kana += "\x82\xA0";
  const struct { std::string field, host; } cuts[] = {
      {kana, kana.substr(0, 62)},
      {"h" + kana, "h" + kana.substr(0, 62)},   // 63 bytes end on a whole character
      {std::string(62, 'h') + "\x82", std::string(62, 'h')},  // a lead byte alone at the end
      {std::string(61, 'h') + "\x82\xA0", std::string(61, 'h') + "\x82\xA0"},
  };
  for (const auto& c : cuts) {
    state.hostField = c.field;
    model.OnOk(state);
    EXPECT_EQ(d.hostName, c.host) << c.field.size();
    EXPECT_EQ(CutHostField(c.field), c.host);
  }
}

}  // namespace
}  // namespace velmora::testing

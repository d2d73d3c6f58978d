// The command line, the title, the window size and the texts, menu and dialog data the
// front-ends build from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/title.h"
#include "app/ui_text.h"
#include "app/window_size.h"
#include "render/color_scheme.h"
#include "settings/terminal_size_dialog.h"

namespace velmora {
namespace {

// --- command line ---

struct CommandLineCase {
  const char* name;
  std::string line;
  std::string host;
  HostEncoding encoding;
  std::string type;
};

TEST(CommandLine, OptionsFromDefaults) {
  const std::string host63(63, 'h');
  const std::string host64(64, 'h');
  const CommandLineCase cases[] = {
      {"empty", "", "", HostEncoding::EUC, "vt100"},
      {"all three in lower case", "/h example /c utf8 /t VT52", "example", HostEncoding::UTF8, "vt52"},
      {"glued values, slash ends a value", "/Hexample/Csjis", "example", HostEncoding::SJIS, "vt100"},
      {"glued host then type", "/Hhost/Tvt52", "host", HostEncoding::EUC, "vt52"},
      {"bare first word ignored", "example /Csjis", "", HostEncoding::SJIS, "vt100"},
      {"word after a value ignored", "/H a b", "a", HostEncoding::EUC, "vt100"},
      {"words after a value up to the next slash", "/Hhost x y /Cutf8", "host", HostEncoding::UTF8, "vt100"},
      {"unknown option selects nothing", "/X foo /Hhost", "host", HostEncoding::EUC, "vt100"},
      {"unknown option glued", "/Xfoo/Hhost", "host", HostEncoding::EUC, "vt100"},
      {"repeated host overrides", "/Hfirst /Hsecond", "second", HostEncoding::EUC, "vt100"},
      {"repeated encoding overrides", "/Csjis /Ceuc", "", HostEncoding::EUC, "vt100"},
      {"repeated type overrides", "/Tvt52 /Tvt100", "", HostEncoding::EUC, "vt100"},
      {"63 bytes are a host", "/H" + host63, host63, HostEncoding::EUC, "vt100"},
      {"64 bytes are ignored", "/H" + host64, "", HostEncoding::EUC, "vt100"},
      {"64 bytes leave the earlier host", "/Hold /H " + host64, "old", HostEncoding::EUC, "vt100"},
      {"host at the very end has no value", "/H", "", HostEncoding::EUC, "vt100"},
      {"host with only blanks after it", "/H  \t ", "", HostEncoding::EUC, "vt100"},
      {"host without value keeps the earlier one", "/Hfirst /H", "first", HostEncoding::EUC, "vt100"},
      {"a slash takes the next option from an empty one", "/H /Cutf8", "", HostEncoding::UTF8, "vt100"},
      {"tabs separate like blanks", "\t/H\thost\t/C\t\tsjis\t/T\tvt52", "host", HostEncoding::SJIS, "vt52"},
      {"option letters in either case", "/cSJIS /tvt52 /hHost", "Host", HostEncoding::SJIS, "vt52"},
      {"encoding in mixed case", "/CuTf8", "", HostEncoding::UTF8, "vt100"},
      {"type stored in lower case", "/TVT100", "", HostEncoding::EUC, "vt100"},
      {"host kept in its case", "/HExample.COM", "Example.COM", HostEncoding::EUC, "vt100"},
      {"letter after the slash starts the value", "/help", "elp", HostEncoding::EUC, "vt100"},
      {"doubled slash still selects", "//Hhost", "host", HostEncoding::EUC, "vt100"},
      {"slash then blank selects nothing", "/ Hhost", "", HostEncoding::EUC, "vt100"},
      {"unknown option ends an option still waiting", "/H /X foo", "", HostEncoding::EUC, "vt100"},
      {"lone slash ends an option still waiting", "/H / host", "", HostEncoding::EUC, "vt100"},
      {"slash at the end", "/Hhost/", "host", HostEncoding::EUC, "vt100"},
      {"quotation marks are value bytes", "/H\"my host\"", "\"my", HostEncoding::EUC, "vt100"},
      {"code page 932 bytes are value bytes", "/H\x83\x7a\x83\x58\x83\x67", "\x83\x7a\x83\x58\x83\x67",
       HostEncoding::EUC, "vt100"},
      {"UTF-8 bytes are value bytes", "/H\xe3\x81\x82.jp /Csjis", "\xe3\x81\x82.jp", HostEncoding::SJIS, "vt100"},
      {"byte 0xA0 is not a blank", "/H\xa0host", "\xa0host", HostEncoding::EUC, "vt100"},
      {"byte 0x85 ends nothing", "/Hab\x85 /Csjis", "ab\x85", HostEncoding::SJIS, "vt100"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LaunchOptions options;
    ParseCommandLine(c.line, options);
    EXPECT_EQ(options.hostName, c.host);
    EXPECT_EQ(options.hostEncoding, c.encoding);
    EXPECT_EQ(options.terminalType, c.type);
  }
}

TEST(CommandLine, RejectedValuesKeepWhatWasThere) {
  const std::string lines[] = {
      "/Cutf-8", "/Cshift-jis", "/Tvt220", "/Tansi", "/Ceu",  "/Ceucx", "/CSJIS2", "/Cutf",
      "/Tvt5",   "/Tvt1000",    "/Tvt52x", "/C",     "/T",    "/H",     "/H /C /T", "/H" + std::string(64, 'x'),
      "/H" + std::string(200, 'x'), "host /Cfoo", "/Xeuc",
  };
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    LaunchOptions options{"old", HostEncoding::SJIS, "vt52"};
    ParseCommandLine(line, options);
    EXPECT_EQ(options.hostName, "old");
    EXPECT_EQ(options.hostEncoding, HostEncoding::SJIS);
    EXPECT_EQ(options.terminalType, "vt52");
  }
}

// --- title and string table ---

TEST(Title, StatusBeforeProgramName) {
  const struct {
    const char* status;
    const char* title;
  } cases[] = {
      {"未接続", "未接続 - Velmora"},
      {"", " - Velmora"},
      {"a%1b", "a%1b - Velmora"},  // an insert is never scanned again
      {"%2", "%2 - Velmora"},
      {"100%", "100% - Velmora"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    EXPECT_EQ(FormatTitle(c.status), c.title);
  }
}

TEST(UiText, FillInsertsOnlyScansTheFormat) {
  EXPECT_EQ(FillInserts("%2 - %1", {"A", "B"}), "B - A");
  EXPECT_EQ(FillInserts("%1%1", {"x"}), "xx");
  EXPECT_EQ(FillInserts("%3 %1", {"x"}), "%3 x");  // no third insert: left as it is
  EXPECT_EQ(FillInserts("50% %0 %", {"x"}), "50% %0 %");
  EXPECT_EQ(FillInserts("%1", {"%1%2"}), "%1%2");
}

TEST(UiText, HostRemovalQuestionQuotesTheHostLiterally) {
  // The quotation marks around %1 are ASCII quotes that belong to the text.
  EXPECT_NE(UiString(kStrRemoveHostQuestion).find("\"%1\""), std::string_view::npos);
  EXPECT_EQ(FormatHostRemovalQuestion("example.jp"), "ホスト\"example.jp\"を接続履歴から削除しますか?");
  EXPECT_EQ(FormatHostRemovalQuestion("a%1b"), "ホスト\"a%1b\"を接続履歴から削除しますか?");
  EXPECT_EQ(FormatHostRemovalQuestion(""), "ホスト\"\"を接続履歴から削除しますか?");
}

// Each unreadable host text gets its own reason, with the text quoted as typed (a '%' in it
// stays), then the forms a host text may take.
TEST(UiText, HostTextErrorsSayWhatIsWrongAndShowTheForms) {
  std::set<std::string> reasons;
  for (int e = static_cast<int>(HostTextError::kEmptyHost); e <= static_cast<int>(HostTextError::kAfterBracket); ++e) {
    SCOPED_TRACE(e);
    const std::string text = FormatHostTextError(static_cast<HostTextError>(e), "h%1:x");
    EXPECT_NE(text.find("接続先\"h%1:x\""), std::string::npos) << text;
    EXPECT_NE(text.find("[::1]:2323"), std::string::npos) << text;
    reasons.insert(text.substr(0, text.find('\n')));
  }
  EXPECT_EQ(reasons.size(), 8u);
  EXPECT_EQ(FormatHostTextError(HostTextError::kNone, "host"), "");
}

TEST(UiText, StringTableHasExactlyEntriesOneToSix) {
  EXPECT_TRUE(UiString(0).empty());
  EXPECT_TRUE(UiString(7).empty());
  EXPECT_TRUE(UiString(-1).empty());
  for (int id = 1; id <= 6; ++id) EXPECT_FALSE(UiString(id).empty()) << id;
  EXPECT_EQ(UiString(kStrTitleFormat), "%2 - %1");
  EXPECT_EQ(UiString(kStrNotConnected), "未接続");
  EXPECT_EQ(UiString(kStrConnecting), "接続中...");
  // The title format must fit the 32-byte buffer the window system reads it into.
  EXPECT_LT(UiString(kStrTitleFormat).size(), 32u);
}

// Every text reaches the front-ends as UTF-8; a source saved in another encoding would break it.
bool IsUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t trail = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      trail = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      trail = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
      trail = 3;
    } else if (b >= 0x80) {
      return false;
    }
    if (i + trail >= s.size() && trail > 0) return false;
    for (size_t k = 1; k <= trail; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += trail + 1;
  }
  return true;
}

std::vector<std::string_view> AllTexts() {
  std::vector<std::string_view> texts{kProgramName};
  for (int id = 1; id <= 6; ++id) texts.push_back(UiString(id));
  for (const MenuPopup& popup : MainMenu()) {
    texts.push_back(popup.text);
    for (const MenuEntry& e : popup.entries) {
      texts.push_back(e.text);
      texts.push_back(e.acceleratorLabel);
      for (const MenuEntry& s : e.submenu) texts.push_back(s.text);
    }
  }
  for (const DialogLayout* d :
       {&ConnectDialogLayout(), &TerminalSizeDialogLayout(), &AboutDialogLayout(), &ColorDialogLayout()}) {
    texts.push_back(d->title);
    texts.push_back(d->fontName);
    for (const DialogControl& c : d->controls) texts.push_back(c.text);
  }
  return texts;
}

TEST(UiText, EveryTextIsUtf8WithoutControlCharacters) {
  ASSERT_FALSE(IsUtf8("\x83\x7a"));  // the check itself rejects code page 932
  for (std::string_view text : AllTexts()) {
    SCOPED_TRACE(std::string(text));
    EXPECT_TRUE(IsUtf8(text));
    EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }));
  }
}

// --- window size ---

TEST(WindowSize, GridPlusFrame) {
  const FrameMetrics none{};
  const FrameMetrics typical{17, 2, 4, 23, 20, 2, 4};
  // Distinct primes, so that a metric used on the wrong axis or counted once too often shows.
  const FrameMetrics distinct{3, 5, 7, 11, 13, 17, 19};
  const struct {
    const char* name;
    int columns, rows, cellWidth, cellHeight;
    FrameMetrics frame;
    OuterSize size;
  } cases[] = {
      {"80x24 of 8x16, no frame", 80, 24, 8, 16, none, {640, 384}},
      {"80x24 of 8x16", 80, 24, 8, 16, typical, {640 + 17 + 2 * (2 + 4), 384 + 23 + 20 + 2 * (2 + 4)}},
      {"each metric in its place", 80, 24, 8, 16, distinct, {640 + 3 + 2 * (5 + 7), 384 + 11 + 13 + 2 * (17 + 19)}},
      {"largest grid", 163, 107, 10, 20, none, {1630, 2140}},
      {"columns and rows on their own axes", 40, 12, 7, 15, none, {280, 180}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WindowSizeForGrid(c.columns, c.rows, c.cellWidth, c.cellHeight, c.frame), c.size);
  }
}

// --- menu and accelerators ---

std::vector<int> AllMenuCommands() {
  std::vector<int> ids;
  for (const MenuPopup& popup : MainMenu()) {
    for (const MenuEntry& e : popup.entries) {
      if (e.kind == MenuEntryKind::kCommand) ids.push_back(e.command);
      for (const MenuEntry& s : e.submenu) ids.push_back(s.command);
    }
  }
  return ids;
}

TEST(Menu, EveryCommandOnceAndNothingElse) {
  std::vector<int> ids = AllMenuCommands();
  std::sort(ids.begin(), ids.end());
  std::vector<int> expected;
  for (int id = kCmdConnect; id <= kCmdEncodingUtf8; ++id) expected.push_back(id);
  EXPECT_EQ(ids, expected);
  for (int id : expected) {
    const MenuEntry* entry = FindMenuCommand(id);
    ASSERT_NE(entry, nullptr) << id;
    EXPECT_EQ(entry->command, id);
  }
  EXPECT_EQ(FindMenuCommand(kCmdConnect - 1), nullptr);
  EXPECT_EQ(FindMenuCommand(kCmdEncodingUtf8 + 1), nullptr);
  EXPECT_EQ(FindMenuCommand(0), nullptr);  // separators and submenus carry no command
}

// Each popup in order: command ids, 0 for a separator, -1 for the Encoding submenu.
TEST(Menu, PopupsInOrder) {
  const std::vector<std::pair<std::string_view, std::vector<int>>> expected = {
      {"コネクション(&O)", {kCmdConnect, kCmdDisconnect, 0, -1, 0, kCmdExit}},
      {"編集(&E)", {kCmdCopy, kCmdPaste, 0, kCmdSelectAll, 0, kCmdClearBacklog}},
      {"表示(&I)", {kCmdFont, kCmdTerminalSize, kCmdColors}},
      {"ヘルプ(&H)", {kCmdDebugTrace, 0, kCmdAbout}},
  };
  const auto menu = MainMenu();
  ASSERT_EQ(menu.size(), expected.size());
  for (size_t p = 0; p < menu.size(); ++p) {
    SCOPED_TRACE(p);
    EXPECT_EQ(menu[p].text, expected[p].first);
    std::vector<int> got;
    for (const MenuEntry& e : menu[p].entries) {
      got.push_back(e.kind == MenuEntryKind::kCommand ? e.command : e.kind == MenuEntryKind::kSubmenu ? -1 : 0);
      if (e.kind != MenuEntryKind::kSubmenu) {
        EXPECT_TRUE(e.submenu.empty());
      }
    }
    EXPECT_EQ(got, expected[p].second);
  }
}

TEST(Menu, EncodingSubmenuIsTheFourthEntryOfConnection) {
  const MenuEntry& sub = MainMenu()[kEncodingSubmenuPopup].entries[kEncodingSubmenuEntry];
  EXPECT_EQ(kEncodingSubmenuPopup, 0);
  EXPECT_EQ(kEncodingSubmenuEntry, 3);
  ASSERT_EQ(sub.kind, MenuEntryKind::kSubmenu);
  EXPECT_EQ(sub.text, "文字コード(&E)");
  ASSERT_EQ(sub.submenu.size(), 3u);
  // The items are in HostEncoding order, which the encoding command relies on.
  const HostEncoding order[] = {HostEncoding::EUC, HostEncoding::SJIS, HostEncoding::UTF8};
  const char* texts[] = {"&EUC", "&Shift-JIS", "&UTF-8"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(sub.submenu[i].kind, MenuEntryKind::kCommand);
    EXPECT_EQ(sub.submenu[i].command - kCmdEncodingEuc, static_cast<int>(order[i]));
    EXPECT_EQ(sub.submenu[i].text, texts[i]);
  }
}

TEST(Menu, CaptionsAndAcceleratorLabels) {
  const struct {
    int command;
    const char* caption;
  } cases[] = {
      {kCmdConnect, "接続(&O)...\tAlt+N"},
      {kCmdExit, "終了(&X)\tAlt+F4"},
      {kCmdDisconnect, "切断(&D)"},
      {kCmdEncodingSjis, "&Shift-JIS"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const MenuEntry* entry = FindMenuCommand(c.command);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(MenuItemCaption(*entry), c.caption);
  }
}

TEST(Menu, AcceleratorTableMatchesTheLabels) {
  const std::map<char, int> expected = {
      {'A', kCmdSelectAll}, {'C', kCmdCopy}, {'N', kCmdConnect}, {'V', kCmdPaste}};
  std::map<char, int> table;
  for (const AcceleratorEntry& a : AcceleratorTable()) {
    EXPECT_TRUE(table.emplace(a.key, a.command).second) << a.key;
    const MenuEntry* entry = FindMenuCommand(a.command);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->acceleratorLabel, std::string("Alt+") + a.key);
  }
  EXPECT_EQ(table, expected);
  // Every label but the system's own close key has a table entry.
  for (int id : AllMenuCommands()) {
    const MenuEntry* entry = FindMenuCommand(id);
    if (entry->acceleratorLabel.empty() || entry->acceleratorLabel == "Alt+F4") continue;
    const bool found = std::any_of(AcceleratorTable().begin(), AcceleratorTable().end(),
                                   [&](const AcceleratorEntry& a) { return a.command == id; });
    EXPECT_TRUE(found) << id;
  }
}

// The letter after '&' in a text, upper-cased; 0 when there is none.
char Mnemonic(std::string_view text) {
  const size_t at = text.find('&');
  if (at == std::string_view::npos || at + 1 >= text.size()) return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(text[at + 1])));
}

TEST(Menu, MnemonicsAreUniqueWithinEachMenu) {
  std::set<char> bar;
  for (const MenuPopup& popup : MainMenu()) {
    SCOPED_TRACE(std::string(popup.text));
    EXPECT_TRUE(bar.insert(Mnemonic(popup.text)).second);
    std::set<char> items;
    for (const MenuEntry& e : popup.entries) {
      if (e.kind == MenuEntryKind::kSeparator) continue;
      EXPECT_NE(Mnemonic(e.text), 0);
      EXPECT_TRUE(items.insert(Mnemonic(e.text)).second) << std::string(e.text);
      std::set<char> sub;
      for (const MenuEntry& s : e.submenu) {
        EXPECT_TRUE(sub.insert(Mnemonic(s.text)).second);
      }
    }
  }
}

// --- dialogs ---

struct NamedLayout {
  const char* name;
  const DialogLayout& layout;
};

std::vector<NamedLayout> Layouts() {
  return {{"connect", ConnectDialogLayout()},
          {"terminal size", TerminalSizeDialogLayout()},
          {"about", AboutDialogLayout()},
          {"colors", ColorDialogLayout()}};
}

TEST(Dialogs, ControlsAreUniqueInsideAndWellFormed) {
  for (const auto& [name, layout] : Layouts()) {
    SCOPED_TRACE(name);
    std::set<int> ids;
    std::set<char> mnemonics;
    int defaults = 0;
    const DialogControl* previous = nullptr;
    for (const DialogControl& c : layout.controls) {
      SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.id));
      if (c.id != kIdNone) {
        EXPECT_TRUE(ids.insert(c.id).second);
      }
      EXPECT_GE(c.x, 0);
      EXPECT_GE(c.y, 0);
      EXPECT_GT(c.width, 0);
      EXPECT_GT(c.height, 0);
      EXPECT_LE(c.x + c.width, layout.width);
      EXPECT_LE(c.y + c.height, layout.height);
      if (char m = Mnemonic(c.text)) {
        EXPECT_TRUE(mnemonics.insert(m).second);
      }
      if (c.kind == ControlKind::kDefaultPushButton) {
        ++defaults;
        EXPECT_EQ(c.id, kIdDialogOk);
        EXPECT_EQ(c.text, "OK");
      }
      if (c.id == kIdDialogCancel) {
        EXPECT_EQ(c.text, "キャンセル");
      }
      // An up-down control attaches to the field right before it.
      if (c.kind == ControlKind::kUpDown) {
        ASSERT_NE(previous, nullptr);
        EXPECT_EQ(previous->kind, ControlKind::kEdit);
      }
      // A run of radio buttons starts a group.
      if (c.kind == ControlKind::kRadioButton && (previous == nullptr || previous->kind != ControlKind::kRadioButton)) {
        EXPECT_TRUE(c.flags & kCtlGroup);
      }
      previous = &c;
    }
    EXPECT_EQ(defaults, 1);
    EXPECT_EQ(FindDialogControl(layout, kIdNone), nullptr);
  }
}

TEST(Dialogs, TerminalSizeFieldsExistWithTheirArrows) {
  const DialogLayout& d = TerminalSizeDialogLayout();
  int32_t columns = 80, rows = 24;
  uint32_t backlog = 100;
  const TerminalSizeDialogModel model(columns, rows, backlog, nullptr);
  for (const TerminalSizeField& field : model.Init()) {
    SCOPED_TRACE(field.editId);
    const DialogControl* edit = FindDialogControl(d, field.editId);
    const DialogControl* arrows = FindDialogControl(d, field.upDownId);
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(arrows, nullptr);
    EXPECT_EQ(edit->kind, ControlKind::kEdit);
    EXPECT_TRUE(edit->flags & kCtlNumber);
    EXPECT_EQ(arrows->kind, ControlKind::kUpDown);
    EXPECT_EQ(arrows - edit, 1);  // the arrows follow their own field
  }
  // The columns field is the first to take the focus.
  const auto first = std::find_if(d.controls.begin(), d.controls.end(),
                                  [](const DialogControl& c) { return c.flags & kCtlTabStop; });
  EXPECT_EQ(first->id, model.Init()[0].editId);
  const DialogControl* maximum = FindDialogControl(d, kIdSizeMaximum);
  ASSERT_NE(maximum, nullptr);
  EXPECT_EQ(maximum->text, "最大(&M)");
}

TEST(Dialogs, AboutShowsNameAndVersion) {
  const DialogLayout& d = AboutDialogLayout();
  int labels = 0;
  bool icon = false, version = false;
  for (const DialogControl& c : d.controls) {
    if (c.kind == ControlKind::kLabel) {
      ++labels;
      EXPECT_FALSE(c.text.empty());
      version |= c.text == "Velmora Version 1.3";
    }
    icon |= c.kind == ControlKind::kIcon;
  }
  EXPECT_EQ(labels, 3);
  EXPECT_TRUE(icon);
  EXPECT_TRUE(version);
  EXPECT_EQ(FindDialogControl(d, kIdDialogCancel), nullptr);  // Escape and the close box still cancel
}

// The ids the dialogs' logic addresses exist, with the kind of control that logic expects.
TEST(Dialogs, ControlsTheLogicAddresses) {
  const struct {
    const DialogLayout& layout;
    int id;
    ControlKind kind;
  } cases[] = {
      {ConnectDialogLayout(), kIdConnectHost, ControlKind::kDropDownCombo},
      {ConnectDialogLayout(), kIdConnectEuc + static_cast<int>(HostEncoding::EUC), ControlKind::kRadioButton},
      {ConnectDialogLayout(), kIdConnectEuc + static_cast<int>(HostEncoding::SJIS), ControlKind::kRadioButton},
      {ConnectDialogLayout(), kIdConnectEuc + static_cast<int>(HostEncoding::UTF8), ControlKind::kRadioButton},
      {ConnectDialogLayout(), kIdConnectVt52, ControlKind::kRadioButton},
      {ConnectDialogLayout(), kIdConnectVt100, ControlKind::kRadioButton},
      {ConnectDialogLayout(), kIdConnectAutoClose, ControlKind::kCheckBox},
      {ConnectDialogLayout(), kIdDialogCancel, ControlKind::kPushButton},
      {TerminalSizeDialogLayout(), kIdSizeMaximum, ControlKind::kPushButton},
      {TerminalSizeDialogLayout(), kIdDialogCancel, ControlKind::kPushButton},
      {ColorDialogLayout(), kIdColorSample, ControlKind::kOwnerDrawButton},
      {ColorDialogLayout(), kIdColorDefault, ControlKind::kCheckBox},
      {ColorDialogLayout(), kIdTextForeground, ControlKind::kPushButton},
      {ColorDialogLayout(), kIdTextBackground, ControlKind::kPushButton},
      {ColorDialogLayout(), kIdSelectedForeground, ControlKind::kPushButton},
      {ColorDialogLayout(), kIdSelectedBackground, ControlKind::kPushButton},
      {ColorDialogLayout(), kIdDialogCancel, ControlKind::kPushButton},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.layout.title) + " " + std::to_string(c.id));
    const DialogControl* control = FindDialogControl(c.layout, c.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->kind, c.kind);
  }
  // The sample only shows colours; it never takes a click.
  EXPECT_TRUE(FindDialogControl(ColorDialogLayout(), kIdColorSample)->flags & kCtlDisabled);
  // The host field is the first control of the connection dialog that takes the focus.
  const auto& controls = ConnectDialogLayout().controls;
  const auto first =
      std::find_if(controls.begin(), controls.end(), [](const DialogControl& c) { return c.flags & kCtlTabStop; });
  ASSERT_NE(first, controls.end());
  EXPECT_EQ(first->id, kIdConnectHost);
}

}  // namespace
}  // namespace velmora

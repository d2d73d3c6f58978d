// The Windows program's resources and dialogs under Wine: the menu, accelerators, strings, icon
// and manifest as the program loads them; each dialog built from its template with the core's
// ids, texts, styles and places; what the user does passes through the core's dialog models,
// and OK and Cancel end each dialog with the models' results.
#include <gtest/gtest.h>
#include <windows.h>
#include <colordlg.h>
#include <commctrl.h>
#include <dlgs.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

#include "app/ui_text.h"
#include "frontends/win32/win32_dialogs.h"
#include "frontends/win32/win32_test_support.h"
#include "frontends/win32/win32_text.h"
#include "settings/host_history.h"
#include "support/connect_dialog_values.h"
#include "support/memory_store.h"

namespace velmora::testing {
namespace {

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// --- resources ---

void ExpectMenuMatches(HMENU menu, std::span<const MenuEntry> entries, const std::string& where) {
  ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(entries.size())) << where;
  for (size_t i = 0; i < entries.size(); ++i) {
    const MenuEntry& entry = entries[i];
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU;
    ASSERT_TRUE(GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info));
    const std::string at = where + " item " + std::to_string(i);
    EXPECT_EQ((info.fType & MFT_SEPARATOR) != 0, entry.kind == MenuEntryKind::kSeparator) << at;
    if (entry.kind == MenuEntryKind::kSeparator) continue;
    wchar_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), Utf8ToWide(MenuItemCaption(entry))) << at;
    if (entry.kind == MenuEntryKind::kSubmenu) {
      ASSERT_NE(info.hSubMenu, nullptr) << at;
      ExpectMenuMatches(info.hSubMenu, entry.submenu, at);
    } else {
      EXPECT_EQ(info.hSubMenu, nullptr) << at;
      EXPECT_EQ(static_cast<int>(info.wID), entry.command) << at;
    }
  }
}

TEST(Win32Resources, MenuHasTheCoreTextsAndCommands) {
  HMENU bar = LoadMenuW(Instance(), MAKEINTRESOURCEW(kResMainMenu));
  ASSERT_NE(bar, nullptr);
  const auto popups = MainMenu();
  ASSERT_EQ(GetMenuItemCount(bar), static_cast<int>(popups.size()));
  for (size_t p = 0; p < popups.size(); ++p) {
    wchar_t text[64] = {};
    GetMenuStringW(bar, static_cast<UINT>(p), text, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), Utf8ToWide(popups[p].text));
    ExpectMenuMatches(GetSubMenu(bar, static_cast<int>(p)), popups[p].entries, "popup " + std::to_string(p));
  }
  // The window tells the Encoding submenu apart by its handle, at this place.
  HMENU encoding = GetSubMenu(GetSubMenu(bar, kEncodingSubmenuPopup), kEncodingSubmenuEntry);
  EXPECT_EQ(GetMenuItemID(encoding, 0), static_cast<UINT>(kCmdEncodingEuc));
  DestroyMenu(bar);
}

TEST(Win32Resources, StringTableIsUiString) {
  for (int id = 1; id <= 7; ++id) {
    wchar_t text[256] = {};
    const int length = LoadStringW(Instance(), static_cast<UINT>(id), text, 256);
    EXPECT_EQ(std::wstring(text, static_cast<size_t>(length)), Utf8ToWide(UiString(id))) << id;
  }
}

TEST(Win32Resources, AcceleratorsAreAltLettersThatDoNotFlashTheMenu) {
  HACCEL table = LoadAcceleratorsW(Instance(), MAKEINTRESOURCEW(kResAccelerators));
  ASSERT_NE(table, nullptr);
  const auto expected = AcceleratorTable();
  ASSERT_EQ(CopyAcceleratorTableW(table, nullptr, 0), static_cast<int>(expected.size()));
  std::vector<ACCEL> entries(expected.size());
  CopyAcceleratorTableW(table, entries.data(), static_cast<int>(entries.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(entries[i].fVirt & 0x7F, FVIRTKEY | FALT | FNOINVERT) << i;
    EXPECT_EQ(entries[i].key, static_cast<WORD>(expected[i].key)) << i;
    EXPECT_EQ(entries[i].cmd, static_cast<WORD>(expected[i].command)) << i;
  }
  DestroyAcceleratorTable(table);
}

TEST(Win32Resources, IconComesInFourSizes) {
  HRSRC group = FindResourceW(Instance(), MAKEINTRESOURCEW(kResIcon), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_NE(group, nullptr);
  const auto* directory = static_cast<const uint8_t*>(LockResource(LoadResource(Instance(), group)));
  ASSERT_NE(directory, nullptr);
  ASSERT_EQ(directory[4], 4);  // images in the group, each described in 14 bytes after 6
  for (const int size : {16, 32, 48, 256}) {
    bool listed = false;
    for (int i = 0; i < 4; ++i) listed |= directory[6 + 14 * i] == (size & 0xFF);
    EXPECT_TRUE(listed) << size;
    HICON icon = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(kResIcon), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

TEST(Win32Resources, ManifestBringsCommonControls6) {
  HRSRC manifest = FindResourceW(Instance(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(manifest, nullptr);
  const std::string text(static_cast<const char*>(LockResource(LoadResource(Instance(), manifest))),
                         SizeofResource(Instance(), manifest));
  EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  // No DPI awareness is declared: the system scales the whole window on a high-density screen.
  EXPECT_EQ(text.find("dpiAware"), std::string::npos);
  // The program's activation context resolves comctl32 to the side-by-side version 6.
  HMODULE comctl = LoadLibraryW(L"comctl32.dll");
  ASSERT_NE(comctl, nullptr);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(comctl, path, MAX_PATH);
  std::wstring loaded(path);
  std::transform(loaded.begin(), loaded.end(), loaded.begin(), towlower);
  EXPECT_NE(loaded.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos)
      << WideToCp932(loaded);
}

// --- dialog templates ---

// A control's rectangle in its dialog's client coordinates.
RECT PlaceOf(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// A place in dialog units as the dialog manager makes it pixels: position and size each
// converted on their own.
RECT DialogUnits(HWND dialog, int x, int y, int width, int height) {
  RECT r{x, y, width, height};
  MapDialogRect(dialog, &r);
  return RECT{r.left, r.top, r.left + r.right, r.top + r.bottom};
}

struct Expected {
  const wchar_t* className;
  LONG typeMask;
  LONG type;
};

Expected ExpectedOf(const DialogControl& c) {
  switch (c.kind) {
    case ControlKind::kLabel: return {L"Static", SS_TYPEMASK, SS_LEFT};
    case ControlKind::kIcon: return {L"Static", SS_TYPEMASK, SS_ICON};
    case ControlKind::kGroupBox: return {L"Button", BS_TYPEMASK, BS_GROUPBOX};
    case ControlKind::kRadioButton: return {L"Button", BS_TYPEMASK, BS_AUTORADIOBUTTON};
    case ControlKind::kCheckBox: return {L"Button", BS_TYPEMASK, BS_AUTOCHECKBOX};
    case ControlKind::kPushButton: return {L"Button", BS_TYPEMASK, BS_PUSHBUTTON};
    case ControlKind::kDefaultPushButton: return {L"Button", BS_TYPEMASK, BS_DEFPUSHBUTTON};
    case ControlKind::kOwnerDrawButton: return {L"Button", BS_TYPEMASK, BS_OWNERDRAW};
    case ControlKind::kEdit: return {L"Edit", ES_NUMBER | ES_AUTOHSCROLL, ES_NUMBER | ES_AUTOHSCROLL};
    case ControlKind::kDropDownCombo: return {L"ComboBox", 3 | CBS_SORT, CBS_DROPDOWN};
    case ControlKind::kUpDown: {
      const LONG arrows = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS;
      return {UPDOWN_CLASSW, arrows | UDS_NOTHOUSANDS, arrows | ((c.flags & kCtlNoThousands) ? UDS_NOTHOUSANDS : 0)};
    }
  }
  return {L"", 0, 0};
}

// The dialog against its layout: title, font, size, and every control in tab order with its
// class, style, text and place.
void ExpectDialogMatches(HWND dialog, const DialogLayout& layout) {
  EXPECT_EQ(TextOf(dialog), Utf8ToWide(layout.title));
  const LONG style = GetWindowLongW(dialog, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME), WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(font), &font);
  EXPECT_EQ(std::wstring(font.lfFaceName), Utf8ToWide(layout.fontName));
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(font.lfHeight, -MulDiv(layout.fontPointSize, GetDeviceCaps(screen, LOGPIXELSY), 72));
  ReleaseDC(nullptr, screen);
  RECT client{};
  GetClientRect(dialog, &client);
  const RECT size = DialogUnits(dialog, 0, 0, layout.width, layout.height);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);

  HWND control = GetWindow(dialog, GW_CHILD);
  for (size_t i = 0; i < layout.controls.size(); ++i, control = GetWindow(control, GW_HWNDNEXT)) {
    const DialogControl& c = layout.controls[i];
    const std::string at = std::string(layout.title) + " control " + std::to_string(i);
    ASSERT_NE(control, nullptr) << at;
    if (c.id != kIdNone) {
      EXPECT_EQ(GetDlgCtrlID(control), c.id) << at;
    }
    const Expected expected = ExpectedOf(c);
    EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), expected.className), 0) << at;
    const LONG s = GetWindowLongW(control, GWL_STYLE);
    EXPECT_EQ(s & expected.typeMask, expected.type) << at;
    if (c.kind == ControlKind::kRadioButton) {
      // A radio button takes the tab stop of its group while it is the checked one.
      EXPECT_EQ((s & WS_TABSTOP) != 0, SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) << at;
    } else {
      EXPECT_EQ((s & WS_TABSTOP) != 0, (c.flags & kCtlTabStop) != 0) << at;
    }
    EXPECT_EQ((s & WS_GROUP) != 0, (c.flags & kCtlGroup) != 0) << at;
    if (c.flags & kCtlDisabled) {
      EXPECT_FALSE(IsWindowEnabled(control)) << at;
    }
    if (c.kind == ControlKind::kEdit) {
      EXPECT_TRUE((s & WS_BORDER) || (GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)) << at;
    }
    if (c.kind != ControlKind::kEdit && c.kind != ControlKind::kDropDownCombo && c.kind != ControlKind::kIcon) {
      EXPECT_EQ(TextOf(control), Utf8ToWide(c.text)) << at;
    }
    const RECT want = DialogUnits(dialog, c.x, c.y, c.width, c.height);
    const RECT have = PlaceOf(control);
    if (c.kind == ControlKind::kUpDown) {
      // Attached inside the right edge of the field before it, which gives it the room.
      const DialogControl& field = layout.controls[i - 1];
      const RECT fieldWant = DialogUnits(dialog, field.x, field.y, field.width, field.height);
      EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(control, UDM_GETBUDDY, 0, 0)), GetWindow(control, GW_HWNDPREV));
      EXPECT_NEAR(have.right, fieldWant.right, 2) << at;
      EXPECT_EQ(have.top, fieldWant.top) << at;
      continue;
    }
    if (i + 1 < layout.controls.size() && layout.controls[i + 1].kind == ControlKind::kUpDown) {
      EXPECT_EQ(have.left, want.left) << at;  // narrowed by its arrows
      EXPECT_EQ(have.top, want.top) << at;
      continue;
    }
    if (c.kind == ControlKind::kIcon) {  // the icon takes its own size
      EXPECT_EQ(have.left, want.left) << at;
      EXPECT_EQ(have.top, want.top) << at;
      EXPECT_NE(SendMessageW(control, STM_GETICON, 0, 0), 0) << at;
      continue;
    }
    EXPECT_EQ(have.left, want.left) << at;
    EXPECT_EQ(have.top, want.top) << at;
    EXPECT_EQ(have.right, want.right) << at;
    // A drop-down combo box is as high as its field; the layout's height includes the list.
    if (c.kind != ControlKind::kDropDownCombo) {
      EXPECT_EQ(have.bottom, want.bottom) << at;
    }
  }
  EXPECT_EQ(control, nullptr) << layout.title << ": more controls than the layout has";
}

class FixedSystemColors : public SystemColors {
 public:
  ColorRef SystemColor(int index) const override {
    switch (index) {
      case kColorWindow: return Rgb(0xF0, 0xF0, 0xE0);
      case kColorWindowText: return Rgb(0x10, 0x20, 0x30);
      case kColorHighlight: return Rgb(0x00, 0x40, 0x80);
      case kColorHighlightText: return Rgb(0xFF, 0xFF, 0x00);
      default: return 0;
    }
  }
};

// The values the connection dialog works on, with a history in a memory store.
struct ConnectFixture : ConnectDialogValues {
  // Puts a host into the next history slot (the first is the most recent), with the encoding
  // digit as stored.
  void Remember(const std::string& host, char encodingDigit, const std::string& type) {
    std::string data = host + '\0' + encodingDigit + '\0' + type + '\0' + '\0';
    store.Put(std::string(kHistoryKey), "host " + std::to_string(slots++), kRegExpandSz, data);
  }
  int slots = 0;
};

TEST(Win32Dialogs, TemplatesFollowTheCoreLayouts) {
  ConnectFixture connect;
  ConnectDialogState state = connect.model.Open();
  WithModal([&](HWND d) { ExpectDialogMatches(d, ConnectDialogLayout()); PostCommand(d, IDCANCEL); },
            [&] { return RunWin32ConnectDialog(nullptr, connect.model, state); });

  int32_t columns = 80, rows = 24;
  uint32_t backlog = 1000;
  TerminalSizeDialogModel size(columns, rows, backlog, [](int32_t) { return true; });
  WithModal([&](HWND d) { ExpectDialogMatches(d, TerminalSizeDialogLayout()); PostCommand(d, IDCANCEL); },
            [&] { return RunWin32TerminalSizeDialog(nullptr, size); });

  WithModal([&](HWND d) { ExpectDialogMatches(d, AboutDialogLayout()); PostCommand(d, IDCANCEL); },
            [&] { RunWin32AboutDialog(nullptr); });

  ColorDialogModel colors{ColorScheme{}};
  CustomColors custom{};
  FixedSystemColors system;
  WithModal([&](HWND d) { ExpectDialogMatches(d, ColorDialogLayout()); PostCommand(d, IDCANCEL); },
            [&] { return RunWin32ColorDialog(nullptr, colors, custom, system); });
}

// --- connection dialog ---

struct ShownConnect {
  std::vector<std::wstring> list;
  int selected = -1;
  std::wstring field;
  int encodingButton = -1;  // none checked
  bool vt52 = false;
  bool autoClose = false;
};

ShownConnect ReadConnect(HWND d) {
  ShownConnect shown;
  HWND host = GetDlgItem(d, kIdConnectHost);
  const auto count = SendMessageW(host, CB_GETCOUNT, 0, 0);
  for (int i = 0; i < count; ++i) {
    wchar_t item[128] = {};
    SendMessageW(host, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
    shown.list.push_back(item);
  }
  shown.selected = static_cast<int>(SendMessageW(host, CB_GETCURSEL, 0, 0));
  shown.field = TextOf(host);
  for (int i = 0; i < 3; ++i) {
    if (IsDlgButtonChecked(d, kIdConnectEuc + i) == BST_CHECKED) shown.encodingButton = i;
  }
  shown.vt52 = IsDlgButtonChecked(d, kIdConnectVt52) == BST_CHECKED;
  EXPECT_NE(shown.vt52, IsDlgButtonChecked(d, kIdConnectVt100) == BST_CHECKED);
  shown.autoClose = IsDlgButtonChecked(d, kIdConnectAutoClose) == BST_CHECKED;
  return shown;
}

TEST(Win32ConnectDialog, OpensWithTheHistoryAndTheSettings) {
  struct Case {
    const char* name;
    std::string hostName;
    HostEncoding encoding;
    std::string terminalType;
    bool autoClose;
    ShownConnect shown;
  };
  const std::vector<std::wstring> both = {L"a.example", L"\x3042.example"};
  const Case cases[] = {
      {"first run", "", HostEncoding::EUC, "vt100", false, {{}, -1, L"", 0, false, false}},
      {"empty host: the most recent", "", HostEncoding::SJIS, "vt100", true, {both, 0, L"a.example", 2, true, true}},
      {"host in history", "\x82\xa0.example", HostEncoding::SJIS, "vt52", false, {both, 1, L"\x3042.example", 0, false, false}},
      {"host not in history", "c", HostEncoding::SJIS, "vt52", false, {both, -1, L"c", 1, true, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConnectFixture f;
    if (!c.shown.list.empty()) {
      f.Remember("a.example", '2', "vt52");
      f.Remember("\x82\xa0.example", '0', "vt100");  // あ.example in code page 932
    }
    f.hostName = c.hostName;
    f.encoding = c.encoding;
    f.terminalType = c.terminalType;
    f.settings.autoClose = c.autoClose;
    ConnectDialogState state = f.model.Open();
    const DWORD thread = GetCurrentThreadId();
    WithModal(
        [&](HWND d) {
          const ShownConnect shown = ReadConnect(d);
          EXPECT_EQ(shown.list, c.shown.list);
          EXPECT_EQ(shown.selected, c.shown.selected);
          EXPECT_EQ(shown.field, c.shown.field);
          EXPECT_EQ(shown.encodingButton, c.shown.encodingButton);
          EXPECT_EQ(shown.vt52, c.shown.vt52);
          EXPECT_EQ(shown.autoClose, c.shown.autoClose);
          // The focus is in the host field, which takes at most 63 characters.
          HWND field = FindWindowExW(GetDlgItem(d, kIdConnectHost), nullptr, L"Edit", nullptr);
          EXPECT_EQ(FocusOf(thread), field);
          EXPECT_EQ(SendMessageW(field, EM_GETLIMITTEXT, 0, 0), 63);
          PostCommand(d, IDCANCEL);
        },
        [&] { return RunWin32ConnectDialog(nullptr, f.model, state); });
  }
}

TEST(Win32ConnectDialog, ListChoiceSetsTheButtonsAndOkTakesTheControls) {
  ConnectFixture f;
  f.Remember("a.example", '2', "vt52");
  f.Remember("b.example", '7', "vt100");  // an encoding digit no button has
  f.encoding = HostEncoding::SJIS;
  ConnectDialogState state = f.model.Open();
  const bool ok = WithModal(
      [&](HWND d) {
        HWND host = GetDlgItem(d, kIdConnectHost);
        SetWindowTextW(host, L"typed");  // typing changes no button
        EXPECT_EQ(ReadConnect(d).encodingButton, 2);
        SendMessageW(host, CB_SETCURSEL, 1, 0);
        SendCommand(d, kIdConnectHost, CBN_SELCHANGE);
        const ShownConnect shown = ReadConnect(d);
        EXPECT_EQ(shown.encodingButton, -1);
        EXPECT_FALSE(shown.vt52);
        EXPECT_EQ(shown.field, L"b.example");
        CheckDlgButton(d, kIdConnectAutoClose, BST_CHECKED);
        PostCommand(d, IDOK);
      },
      [&] { return RunWin32ConnectDialog(nullptr, f.model, state); });
  EXPECT_TRUE(ok);
  EXPECT_EQ(f.hostName, "b.example");
  EXPECT_EQ(f.encoding, HostEncoding::EUC);  // no button checked
  EXPECT_EQ(f.terminalType, "vt100");
  EXPECT_EQ(f.settings.autoClose, 1);
  const StoredValue* saved = f.store.Get(std::string(kSettingsKey), "auto close");
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->bytes, Le32(1));
}

TEST(Win32ConnectDialog, WaysOfClosing) {
  struct Case {
    const char* name;
    std::wstring host;
    std::function<void(HWND, DWORD)> close;
    bool ok;
    std::string hostName;  // after the dialog
  };
  const std::wstring longAscii(70, L'x');
  const std::wstring longJapanese(40, L'\x3042');  // 80 bytes in code page 932
  std::string cutJapanese;
  for (int i = 0; i < 31; ++i) cutJapanese += "\x82\xa0";
  const auto ok = [](HWND d, DWORD) { PostCommand(d, IDOK); };
  const Case cases[] = {
      {"OK button", L"h1", ok, true, "h1"},
      {"Enter", L"h2", [](HWND, DWORD t) { PressKey(t, VK_RETURN); }, true, "h2"},
      {"Escape", L"h3", [](HWND, DWORD t) { PressKey(t, VK_ESCAPE); }, false, "old"},
      {"close box", L"h4", [](HWND d, DWORD) { PostMessageW(d, WM_CLOSE, 0, 0); }, false, "old"},
      {"Cancel button", L"h5", [](HWND d, DWORD) { PostCommand(d, IDCANCEL); }, false, "old"},
      {"empty host", L"", ok, true, ""},
      {"63 bytes at most", longAscii, ok, true, std::string(63, 'x')},
      {"no half character", longJapanese, ok, true, cutJapanese},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConnectFixture f;
    f.hostName = "old";
    f.settings.autoClose = 1;
    ConnectDialogState state = f.model.Open();
    const DWORD thread = GetCurrentThreadId();
    const bool result = WithModal(
        [&](HWND d) {
          SetWindowTextW(GetDlgItem(d, kIdConnectHost), c.host.c_str());
          CheckRadioButton(d, kIdConnectEuc, kIdConnectUtf8, kIdConnectUtf8);
          CheckRadioButton(d, kIdConnectVt52, kIdConnectVt100, kIdConnectVt52);
          CheckDlgButton(d, kIdConnectAutoClose, BST_UNCHECKED);
          c.close(d, thread);
        },
        [&] { return RunWin32ConnectDialog(nullptr, f.model, state); });
    EXPECT_EQ(result, c.ok);
    EXPECT_EQ(f.hostName, c.hostName);
    EXPECT_EQ(f.encoding, c.ok ? HostEncoding::UTF8 : HostEncoding::EUC);
    EXPECT_EQ(f.terminalType, c.ok ? "vt52" : "vt100");
    EXPECT_EQ(f.settings.autoClose, c.ok ? 0 : 1);
    EXPECT_EQ(f.store.writes.size(), c.ok ? 1u : 0u);  // "auto close", only when it changed
  }
}

// --- terminal size dialog ---

struct SizeFixture {
  int32_t columns = 80;
  int32_t rows = 24;
  uint32_t backlog = 1000;
  bool rebuildWorks = true;
  std::vector<std::pair<int32_t, int32_t>> rebuilds;  // previous columns, new columns
  TerminalSizeDialogModel model{columns, rows, backlog, [this](int32_t previous) {
                                  rebuilds.emplace_back(previous, columns);
                                  return rebuildWorks;
                                }};
};

TEST(Win32TerminalSizeDialog, FieldsLimitsAndArrows) {
  SizeFixture f;
  const DWORD thread = GetCurrentThreadId();
  WithModal(
      [&](HWND d) {
        struct Field {
          int edit, arrows;
          const wchar_t* text;
          int limit;
          int lowest, highest;
        };
        const Field fields[] = {{kIdSizeColumns, kIdSizeColumnsUpDown, L"80", 3, 40, 163},
                                {kIdSizeRows, kIdSizeRowsUpDown, L"24", 3, 12, 107},
                                {kIdSizeBacklog, kIdSizeBacklogUpDown, L"1000", 10, 0, 2147483647}};
        for (const Field& field : fields) {
          EXPECT_EQ(TextOf(GetDlgItem(d, field.edit)), field.text);
          EXPECT_EQ(SendDlgItemMessageW(d, field.edit, EM_GETLIMITTEXT, 0, 0), field.limit);
          INT lowest = -1, highest = -1;
          SendDlgItemMessageW(d, field.arrows, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lowest),
                              reinterpret_cast<LPARAM>(&highest));
          EXPECT_EQ(lowest, field.lowest);
          EXPECT_EQ(highest, field.highest);
        }
        HWND columns = GetDlgItem(d, kIdSizeColumns);
        EXPECT_EQ(FocusOf(thread), columns);
        // The Up key in the field steps its number, and stops at the end of the range.
        SetWindowTextW(columns, L"162");
        for (int i = 0; i < 3; ++i) {
          SendMessageW(columns, WM_KEYDOWN, VK_UP, 1);
          SendMessageW(columns, WM_KEYUP, VK_UP, static_cast<LPARAM>(0xC0000001u));
        }
        EXPECT_EQ(TextOf(columns), L"163");
        // "最大(&M)" fills in the largest backlog and leaves the dialog open.
        SendCommand(d, kIdSizeMaximum);
        EXPECT_EQ(TextOf(GetDlgItem(d, kIdSizeBacklog)), L"2147483647");
        EXPECT_TRUE(IsWindowVisible(d));
        PostCommand(d, IDCANCEL);
      },
      [&] { return RunWin32TerminalSizeDialog(nullptr, f.model); });
  EXPECT_EQ(f.columns, 80);
  EXPECT_EQ(f.backlog, 1000u);
  EXPECT_TRUE(f.rebuilds.empty());
}

TEST(Win32TerminalSizeDialog, OkReadsEachFieldIntoItsValue) {
  struct Case {
    const wchar_t *columns, *rows, *backlog;
    bool rebuildWorks;
    bool result;
    int32_t wantColumns, wantRows;
    uint32_t wantBacklog;
  };
  const Case cases[] = {
      {L"100", L"50", L"300", true, true, 100, 50, 300},
      {L"200", L"5", L"3000000000", true, true, 163, 12, 2147483647u},
      {L"", L"107", L"9999999999", true, true, 40, 107, 0},
      {L"100", L"50", L"300", false, false, 80, 24, 1000},  // the rebuild failed: nothing changes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.columns << " " << c.rows << " " << c.backlog);
    SizeFixture f;
    f.rebuildWorks = c.rebuildWorks;
    const bool result = WithModal(
        [&](HWND d) {
          SetDlgItemTextW(d, kIdSizeColumns, c.columns);
          SetDlgItemTextW(d, kIdSizeRows, c.rows);
          SetDlgItemTextW(d, kIdSizeBacklog, c.backlog);
          PostCommand(d, IDOK);
        },
        [&] { return RunWin32TerminalSizeDialog(nullptr, f.model); });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(f.columns, c.wantColumns);
    EXPECT_EQ(f.rows, c.wantRows);
    EXPECT_EQ(f.backlog, c.wantBacklog);
    ASSERT_EQ(f.rebuilds.size(), 1u);
    EXPECT_EQ(f.rebuilds[0].first, 80);
  }
}

// --- about box ---

TEST(Win32AboutDialog, OpensOnOkAndClosesWithEscape) {
  const DWORD thread = GetCurrentThreadId();
  WithModal(
      [&](HWND d) {
        EXPECT_EQ(FocusOf(thread), GetDlgItem(d, IDOK));
        PressKey(thread, VK_ESCAPE);
      },
      [] { RunWin32AboutDialog(nullptr); });
}

// --- colour dialog ---

// A pixel of a window that the dialog's thread repaints: read until it shows `want` (the
// repaint may still be under way), at most for two seconds.
COLORREF PixelOf(HWND window, int x, int y, COLORREF want) {
  COLORREF pixel = CLR_INVALID;
  for (int tries = 0; tries < 200 && pixel != want; ++tries) {
    if (tries > 0) Sleep(10);
    UpdateWindow(window);
    HDC dc = GetDC(window);
    pixel = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
  }
  return pixel;
}

TEST(Win32ColorDialog, StandardColoursBoxEnablesTheColourButtons) {
  FixedSystemColors system;
  struct Case {
    const char* name;
    bool okAtEnd;
    int32_t wantDefault;
  };
  const Case cases[] = {{"OK", true, 0}, {"Cancel", false, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ColorDialogModel model{ColorScheme{}};
    CustomColors custom{};
    const bool result = WithModal(
        [&](HWND d) {
          auto buttonsEnabled = [d] {
            int enabled = 0;
            for (int id : {kIdTextForeground, kIdTextBackground, kIdSelectedForeground, kIdSelectedBackground}) {
              enabled += IsWindowEnabled(GetDlgItem(d, id)) ? 1 : 0;
            }
            return enabled;
          };
          HWND sample = GetDlgItem(d, kIdColorSample);
          EXPECT_EQ(IsDlgButtonChecked(d, kIdColorDefault), BST_CHECKED);
          EXPECT_EQ(buttonsEnabled(), 0);
          EXPECT_EQ(PixelOf(sample, 1, 1, system.SystemColor(kColorWindow)), system.SystemColor(kColorWindow));
          SendMessageW(GetDlgItem(d, kIdColorDefault), BM_CLICK, 0, 0);
          EXPECT_EQ(IsDlgButtonChecked(d, kIdColorDefault), BST_UNCHECKED);
          EXPECT_EQ(buttonsEnabled(), 4);
          // The sample now shows the scheme's own white background.
          EXPECT_EQ(PixelOf(sample, 1, 1, Rgb(255, 255, 255)), Rgb(255, 255, 255));
          PostCommand(d, c.okAtEnd ? IDOK : IDCANCEL);
        },
        [&] { return RunWin32ColorDialog(nullptr, model, custom, system); });
    EXPECT_EQ(result, c.okAtEnd);
    EXPECT_EQ(model.working.colorDefault, 0);  // the caller takes the working scheme only on OK
  }
}

// The chooser's red, green and blue fields.
COLORREF ChooserColor(HWND chooser) {
  auto value = [chooser](int id) { return static_cast<uint8_t>(GetDlgItemInt(chooser, id, nullptr, FALSE)); };
  return Rgb(value(COLOR_RED), value(COLOR_GREEN), value(COLOR_BLUE));
}

TEST(Win32ColorDialog, ChooserStartsAtTheButtonsColourAndKeepsCustomColours) {
  FixedSystemColors system;
  ColorScheme scheme;
  scheme.colorDefault = 0;
  scheme.colorWindow = Rgb(0x20, 0x40, 0x60);
  ColorDialogModel model{scheme};
  CustomColors custom{};
  custom[3] = Rgb(1, 2, 3);
  const DWORD thread = GetCurrentThreadId();
  COLORREF shownAtStart[2] = {};
  std::vector<COLORREF> customShown;
  const bool ok = WithModal(
      [&](HWND d) {
        // Cancelled: the working colour stays.
        PostCommand(d, kIdTextBackground);
        HWND chooser = WaitForThreadDialog(thread, d);
        ASSERT_NE(chooser, nullptr);
        shownAtStart[0] = ChooserColor(chooser);
        PostCommand(chooser, IDCANCEL);
        ASSERT_TRUE(WaitUntilGone(chooser));
        // Confirmed with a colour typed in and added to the custom colours.
        PostCommand(d, kIdTextBackground);
        chooser = WaitForThreadDialog(thread, d);
        ASSERT_NE(chooser, nullptr);
        shownAtStart[1] = ChooserColor(chooser);
        SetDlgItemInt(chooser, COLOR_RED, 0x11, FALSE);
        SetDlgItemInt(chooser, COLOR_GREEN, 0x22, FALSE);
        SetDlgItemInt(chooser, COLOR_BLUE, 0x33, FALSE);
        SendCommand(chooser, COLOR_ADD);
        PostCommand(chooser, IDOK);
        ASSERT_TRUE(WaitUntilGone(chooser));
        EXPECT_EQ(PixelOf(GetDlgItem(d, kIdColorSample), 1, 1, Rgb(0x11, 0x22, 0x33)), Rgb(0x11, 0x22, 0x33));
        PostCommand(d, IDOK);
      },
      [&] { return RunWin32ColorDialog(nullptr, model, custom, system); });
  EXPECT_TRUE(ok);
  EXPECT_EQ(shownAtStart[0], Rgb(0x20, 0x40, 0x60));
  EXPECT_EQ(shownAtStart[1], Rgb(0x20, 0x40, 0x60));
  EXPECT_EQ(model.working.colorWindow, Rgb(0x11, 0x22, 0x33));
  EXPECT_EQ(model.working.colorWindowText, 0u);
  EXPECT_EQ(custom[3], Rgb(1, 2, 3));
  EXPECT_EQ(std::count(custom.begin(), custom.end(), Rgb(0x11, 0x22, 0x33)), 1);
}

// The sample drawn into a bitmap: background, text and the selected word in the working
// colours, nothing outside the given area.
TEST(Win32ColorDialog, SampleShowsTheWorkingColours) {
  ColorScheme scheme;
  scheme.colorDefault = 0;
  scheme.colorWindow = Rgb(0, 0, 0xFF);
  scheme.colorWindowText = Rgb(0xFF, 0xFF, 0);
  scheme.colorHighlight = Rgb(0xFF, 0, 0);
  scheme.colorHighlightText = Rgb(0, 0xFF, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 200, -100, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bitmap, nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  PatBlt(dc, 0, 0, 200, 100, WHITENESS);
  DrawWin32ColorSample(dc, RECT{10, 5, 190, 95}, scheme, FixedSystemColors());

  TEXTMETRICW metrics{};
  SelectObject(dc, GetStockObject(SYSTEM_FIXED_FONT));
  GetTextMetricsW(dc, &metrics);
  const int w = metrics.tmAveCharWidth, h = metrics.tmHeight;
  auto colours = [&](int left, int top, int right, int bottom) {
    std::set<COLORREF> found;
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x) found.insert(GetPixel(dc, x, y));
    }
    return found;
  };
  EXPECT_EQ(GetPixel(dc, 5, 2), Rgb(255, 255, 255));        // outside the area
  EXPECT_EQ(GetPixel(dc, 189, 94), scheme.colorWindow);  // the area's far corner
  // "mimi" on the second line, and "tama" selected at column 8 of it.
  EXPECT_EQ(colours(10, 5 + h, 10 + 4 * w, 5 + 2 * h), (std::set<COLORREF>{Rgb(0, 0, 0xFF), Rgb(0xFF, 0xFF, 0)}));
  EXPECT_EQ(colours(10 + 8 * w, 5 + h, 10 + 12 * w, 5 + 2 * h),
            (std::set<COLORREF>{Rgb(0xFF, 0, 0), Rgb(0, 0xFF, 0)}));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// --- font chooser ---

TEST(Win32FontChooser, ListsNoVerticalFacesAndWritesTheChoice) {
  LogFont start;
  start.setHeight(-16);
  start.setWeight(FW_NORMAL);
  start.setCharSet(SHIFTJIS_CHARSET);
  start.setPitchAndFamily(FIXED_PITCH | FF_MODERN);
  start.setFaceName("\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e");  // ＭＳ ゴシック, not on this system
  struct Case {
    int button;
    bool result;
  };
  for (const Case c : {Case{IDCANCEL, false}, Case{IDOK, true}}) {
    LogFont font = start;
    std::vector<std::wstring> faces;
    std::wstring chosenFace;
    const bool result = WithModal(
        [&](HWND d) {
          HWND list = GetDlgItem(d, cmb1);
          const auto count = SendMessageW(list, CB_GETCOUNT, 0, 0);
          for (int i = 0; i < count; ++i) {
            wchar_t face[LF_FACESIZE + 1] = {};
            SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(face));
            faces.push_back(face);
          }
          // A Japanese face when there is one, so that its name comes back through code page 932.
          const auto japanese = std::find_if(faces.begin(), faces.end(), [](const std::wstring& face) {
            return std::any_of(face.begin(), face.end(), [](wchar_t ch) { return ch >= 0x3000; });
          });
          const size_t index = japanese == faces.end() ? 0 : static_cast<size_t>(japanese - faces.begin());
          SendMessageW(list, CB_SETCURSEL, index, 0);
          SendCommand(d, cmb1, CBN_SELCHANGE);
          chosenFace = faces.empty() ? L"" : faces[index];
          PostCommand(d, c.button);
        },
        [&] { return ChooseWin32TerminalFont(nullptr, font); });
    EXPECT_EQ(result, c.result);
    EXPECT_FALSE(faces.empty());
    for (const std::wstring& face : faces) EXPECT_NE(face.front(), L'@') << WideToCp932(face);
    if (c.result) {
      EXPECT_EQ(Cp932ToWide(font.faceName()), chosenFace);
    } else {
      EXPECT_EQ(font.bytes, start.bytes);
    }
  }
}

TEST(Win32FontChooser, LogFontConversionsKeepEveryField) {
  struct Case {
    std::string face;  // code page 932
    std::wstring wide;
  };
  std::string longFace;
  for (int i = 0; i < 16; ++i) longFace += "\x83\x53";  // 32 bytes of ゴ: only 15 whole ones fit
  const Case cases[] = {
      {"Courier New", L"Courier New"},
      {"\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e", L"\xff2d\xff33 \x30b4\x30b7\x30c3\x30af"},
      {"", L""},
  };
  for (const Case& c : cases) {
    LogFont font;
    for (size_t i = 0; i < LogFont::kFaceOffset; ++i) font.bytes[i] = static_cast<uint8_t>(0xF0 - 7 * i);
    font.setFaceName(c.face);
    const LOGFONTW wide = ToWin32LogFont(font);
    EXPECT_EQ(std::wstring(wide.lfFaceName), c.wide);
    LOGFONTA narrow{};
    std::memcpy(&narrow, font.bytes.data(), sizeof(narrow));
    EXPECT_EQ(wide.lfHeight, narrow.lfHeight);
    EXPECT_EQ(wide.lfEscapement, narrow.lfEscapement);
    EXPECT_EQ(wide.lfOrientation, narrow.lfOrientation);
    EXPECT_EQ(wide.lfWeight, narrow.lfWeight);
    EXPECT_EQ(wide.lfQuality, narrow.lfQuality);
    EXPECT_EQ(wide.lfPitchAndFamily, narrow.lfPitchAndFamily);
    EXPECT_EQ(FromWin32LogFont(wide).bytes, font.bytes);
  }
  LOGFONTW wide{};
  for (int i = 0; i < 16; ++i) wide.lfFaceName[i] = L'\x30b4';
  EXPECT_EQ(FromWin32LogFont(wide).faceName(), longFace.substr(0, 30));
}

// --- message boxes ---

TEST(Win32MessageBoxes, CaptionTextButtonsAndAnswer) {
  struct Case {
    const char* name;
    std::function<bool()> show;
    std::vector<int> buttons;
    const wchar_t* icon;
    int press;
    bool answer;
  };
  const std::string text = "\xe6\x8e\xa5\xe7\xb6\x9a\xe3\x82\x92\xe5\x88\x87\xe6\x96\xad?";  // 接続を切断?
  const Case cases[] = {
      {"question, yes", [&] { return AskWin32YesNo(nullptr, text, true); }, {IDYES, IDNO}, IDI_QUESTION, IDYES, true},
      {"exclamation, no", [&] { return AskWin32YesNo(nullptr, text, false); }, {IDYES, IDNO}, IDI_EXCLAMATION, IDNO, false},
      {"message", [&] { ShowWin32Message(nullptr, text); return true; }, {IDOK}, IDI_EXCLAMATION, IDOK, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool answer = WithModal(
        [&](HWND box) {
          EXPECT_EQ(TextOf(box), L"Velmora");
          EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), Utf8ToWide(text));
          for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
            const bool wanted = std::find(c.buttons.begin(), c.buttons.end(), id) != c.buttons.end();
            EXPECT_EQ(GetDlgItem(box, id) != nullptr, wanted) << id;
          }
          // The icon is the one static control that shows an icon.
          HICON shown = nullptr;
          for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            if (ClassOf(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
              shown = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
            }
          }
          EXPECT_EQ(shown, LoadIconW(nullptr, c.icon));
          PostCommand(box, c.press);
        },
        c.show);
    EXPECT_EQ(answer, c.answer);
  }
}

}  // namespace
}  // namespace velmora::testing

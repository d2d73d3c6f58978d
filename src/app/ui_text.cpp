#include "app/ui_text.h"
#include "velmora_version.h"

#include "render/color_scheme.h"
#include "settings/terminal_size_dialog.h"

namespace velmora {
namespace {

constexpr MenuEntry Command(int id, std::string_view text, std::string_view label = {}) {
  return {MenuEntryKind::kCommand, id, text, label, {}};
}
constexpr MenuEntry Separator() { return {}; }
constexpr MenuEntry Submenu(std::string_view text, std::span<const MenuEntry> entries) {
  return {MenuEntryKind::kSubmenu, 0, text, {}, entries};
}

constexpr MenuEntry kEncodingEntries[] = {
    Command(kCmdEncodingEuc, "&EUC"),
    Command(kCmdEncodingSjis, "&Shift-JIS"),
    Command(kCmdEncodingUtf8, "&UTF-8"),
};

constexpr MenuEntry kConnectionEntries[] = {
    Command(kCmdConnect, "接続(&O)...", "Alt+N"),
    Command(kCmdDisconnect, "切断(&D)"),
    Separator(),
    Submenu("文字コード(&E)", kEncodingEntries),
    Separator(),
    Command(kCmdExit, "終了(&X)", "Alt+F4"),
};

constexpr MenuEntry kEditEntries[] = {
    Command(kCmdCopy, "コピー(&C)", "Alt+C"),
    Command(kCmdPaste, "貼り付け(&P)", "Alt+V"),
    Separator(),
    Command(kCmdSelectAll, "すべて選択(&L)", "Alt+A"),
    Separator(),
    Command(kCmdClearBacklog, "バックログのクリア(&B)"),
};

constexpr MenuEntry kViewEntries[] = {
    Command(kCmdFont, "フォント(&F)..."),
    Command(kCmdTerminalSize, "ターミナルサイズ(&T)..."),
    Command(kCmdColors, "配色(&C)..."),
};

constexpr MenuEntry kHelpEntries[] = {
    Command(kCmdDebugTrace, "デバッグトレース(&D)"),
    Separator(),
    Command(kCmdAbout, "バージョン情報(&A)..."),
};

constexpr MenuPopup kMenuBar[] = {
    {"コネクション(&O)", kConnectionEntries},
    {"編集(&E)", kEditEntries},
    {"表示(&I)", kViewEntries},
    {"ヘルプ(&H)", kHelpEntries},
};

constexpr AcceleratorEntry kAccelerators[] = {
    {'A', kCmdSelectAll},
    {'C', kCmdCopy},
    {'N', kCmdConnect},
    {'V', kCmdPaste},
};

constexpr std::string_view kDialogFont = "ＭＳ Ｐゴシック";
constexpr std::string_view kOkText = "OK";
constexpr std::string_view kCancelText = "キャンセル";

using K = ControlKind;

constexpr DialogControl kConnectControls[] = {
    {kIdNone, K::kLabel, "接続先(&H):", 5, 5, 45, 8, 0},
    {kIdConnectHost, K::kDropDownCombo, "", 5, 15, 105, 60, kCtlTabStop},
    {kIdNone, K::kGroupBox, "文字コード", 5, 40, 160, 25, 0},
    {kIdConnectEuc, K::kRadioButton, "&EUC", 10, 50, 45, 10, kCtlGroup},
    {kIdConnectSjis, K::kRadioButton, "&Shift-JIS", 60, 50, 45, 10, 0},
    {kIdConnectUtf8, K::kRadioButton, "&UTF-8", 110, 50, 45, 10, 0},
    {kIdNone, K::kGroupBox, "ターミナルタイプ", 5, 70, 105, 25, 0},
    {kIdConnectVt52, K::kRadioButton, "vt&52", 10, 80, 45, 10, kCtlGroup},
    {kIdConnectVt100, K::kRadioButton, "vt&100", 60, 80, 45, 10, 0},
    {kIdConnectAutoClose, K::kCheckBox, "ログアウトでVelmoraを終了する(&L)", 5, 100, 125, 10, kCtlGroup | kCtlTabStop},
    {kIdDialogOk, K::kDefaultPushButton, kOkText, 115, 5, 50, 14, kCtlGroup | kCtlTabStop},
    {kIdDialogCancel, K::kPushButton, kCancelText, 115, 25, 50, 14, kCtlTabStop},
};

constexpr DialogControl kTerminalSizeControls[] = {
    {kIdNone, K::kLabel, "桁数(&C):", 5, 8, 30, 8, 0},
    {kIdSizeColumns, K::kEdit, "", 40, 5, 40, 14, kCtlNumber | kCtlTabStop},
    {kIdSizeColumnsUpDown, K::kUpDown, "", 75, 10, 10, 14, 0},
    {kIdNone, K::kLabel, "行数(&R):", 5, 28, 30, 8, 0},
    {kIdSizeRows, K::kEdit, "", 40, 25, 40, 14, kCtlNumber | kCtlTabStop},
    {kIdSizeRowsUpDown, K::kUpDown, "", 75, 30, 10, 14, 0},
    {kIdNone, K::kGroupBox, "バックログの行数(&B)", 5, 45, 130, 30, 0},
    {kIdSizeBacklog, K::kEdit, "", 10, 55, 70, 14, kCtlNumber | kCtlTabStop},
    {kIdSizeBacklogUpDown, K::kUpDown, "", 75, 60, 9, 14, kCtlNoThousands},
    {kIdSizeMaximum, K::kPushButton, "最大(&M)", 85, 55, 45, 14, kCtlTabStop},
    {kIdDialogOk, K::kDefaultPushButton, kOkText, 85, 5, 50, 14, kCtlTabStop},
    {kIdDialogCancel, K::kPushButton, kCancelText, 85, 25, 50, 14, kCtlTabStop},
};

constexpr DialogControl kAboutControls[] = {
    {kIdDialogOk, K::kDefaultPushButton, kOkText, 113, 8, 35, 12, kCtlGroup | kCtlTabStop},
    {kIdNone, K::kIcon, "", 5, 5, 20, 20, 0},
    {kIdNone, K::kLabel, VELMORA_ABOUT_TEXT, 30, 10, 70, 8, 0},
    {kIdNone, K::kLabel, "日本語対応のtelnetターミナル", 5, 25, 140, 8, 0},
    {kIdNone, K::kLabel, "© Velmora developers", 55, 35, 74, 8, 0},
};

constexpr DialogControl kColorControls[] = {
    {kIdNone, K::kGroupBox, "サンプル", 5, 5, 100, 55, 0},
    {kIdColorSample, K::kOwnerDrawButton, "", 10, 15, 90, 40, kCtlDisabled},
    {kIdDialogOk, K::kDefaultPushButton, kOkText, 110, 10, 50, 14, kCtlGroup | kCtlTabStop},
    {kIdDialogCancel, K::kPushButton, kCancelText, 110, 30, 50, 14, kCtlTabStop},
    {kIdColorDefault, K::kCheckBox, "標準色(&D)", 110, 50, 50, 10, kCtlTabStop},
    {kIdNone, K::kGroupBox, "テキスト", 5, 65, 75, 30, 0},
    {kIdTextForeground, K::kPushButton, "前景(&F)...", 10, 75, 31, 14, kCtlTabStop},
    {kIdTextBackground, K::kPushButton, "背景(&B)...", 45, 75, 31, 14, kCtlTabStop},
    {kIdNone, K::kGroupBox, "選択テキスト", 85, 65, 75, 30, 0},
    {kIdSelectedForeground, K::kPushButton, "前景(&O)...", 90, 75, 31, 14, kCtlTabStop},
    {kIdSelectedBackground, K::kPushButton, "背景(&A)...", 125, 75, 31, 14, kCtlTabStop},
};

constexpr DialogLayout kConnectDialog{kResConnectDialog, "接続", kDialogFont, 9, 169, 115, kConnectControls};
constexpr DialogLayout kTerminalSizeDialog{kResTerminalSizeDialog, "ターミナルサイズ", kDialogFont, 9, 139, 79,
                                           kTerminalSizeControls};
// The about box keeps the window system's "System" font at the size its template gives.
constexpr DialogLayout kAboutDialog{kResAboutDialog, "バージョン情報", "System", 14, 154, 46, kAboutControls};
constexpr DialogLayout kColorDialog{kResColorDialog, "配色", kDialogFont, 9, 163, 99, kColorControls};

}  // namespace

std::string_view UiString(int id) {
  switch (id) {
    case kStrTitleFormat:
      return "%2 - %1";
    case kStrNotConnected:
      return "未接続";
    case kStrConnectFailed:
      return "接続できませんでした。";
    case kStrRemoveHostQuestion:
      return "ホスト\"%1\"を接続履歴から削除しますか?";
    case kStrConnecting:
      return "接続中...";
    case kStrQuitQuestion:
      return "接続を切断してVelmoraを終了しますか?";
    default:
      return {};
  }
}

std::string FillInserts(std::string_view format, std::initializer_list<std::string_view> inserts) {
  std::string out;
  out.reserve(format.size() + 64);
  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c == '%' && i + 1 < format.size() && format[i + 1] >= '1' && format[i + 1] <= '9') {
      const size_t index = static_cast<size_t>(format[i + 1] - '1');
      if (index < inserts.size()) {
        out.append(*(inserts.begin() + index));
        ++i;
        continue;
      }
    }
    out.push_back(c);
  }
  return out;
}

std::string FormatHostRemovalQuestion(std::string_view host) {
  return FillInserts(UiString(kStrRemoveHostQuestion), {host});
}

std::string FormatHostTextError(HostTextError error, std::string_view hostText) {
  std::string_view what;
  switch (error) {
    case HostTextError::kNone: return {};
    case HostTextError::kEmptyHost: what = "接続先\"%1\"にホスト名がありません。"; break;
    case HostTextError::kEmptyPort: what = "接続先\"%1\"のコロン(:)の後にポート番号がありません。"; break;
    case HostTextError::kPortZero:
      what = "接続先\"%1\"のポート番号 0 には接続できません。ポート番号は 1 から 65535 までです。";
      break;
    case HostTextError::kPortTooLarge:
      what = "接続先\"%1\"のポート番号が大きすぎます。ポート番号は 1 から 65535 までです。";
      break;
    case HostTextError::kPortNotNumber:
      what = "接続先\"%1\"のポート番号が数字ではありません。ポート番号は半角数字で書いてください。";
      break;
    case HostTextError::kExtraColon:
      what = "接続先\"%1\"にはコロン(:)が多すぎます。IPv6 アドレスとしても読めません。";
      break;
    case HostTextError::kUnclosedBracket: what = "接続先\"%1\"の [ が ] で閉じられていません。"; break;
    case HostTextError::kAfterBracket:
      what = "接続先\"%1\"の ] の後には、何も書かないか「:ポート番号」を書いてください。";
      break;
  }
  return FillInserts(what, {hostText}) +
         "\n\n接続先の書き方: ホスト名、ホスト名:ポート番号、IPv6 アドレス、[IPv6 アドレス]:ポート番号"
         "\n(例: bbs.example.jp、bbs.example.jp:2323、192.0.2.1:8888、::1、[::1]:2323)";
}

std::string MenuItemCaption(const MenuEntry& entry) {
  std::string caption(entry.text);
  if (!entry.acceleratorLabel.empty()) {
    caption.push_back('\t');
    caption.append(entry.acceleratorLabel);
  }
  return caption;
}

std::span<const MenuPopup> MainMenu() { return kMenuBar; }

const MenuEntry* FindMenuCommand(int command) {
  for (const MenuPopup& popup : kMenuBar) {
    for (const MenuEntry& entry : popup.entries) {
      if (entry.kind == MenuEntryKind::kCommand && entry.command == command) return &entry;
      for (const MenuEntry& inner : entry.submenu) {
        if (inner.kind == MenuEntryKind::kCommand && inner.command == command) return &inner;
      }
    }
  }
  return nullptr;
}

std::span<const AcceleratorEntry> AcceleratorTable() { return kAccelerators; }

const DialogLayout& ConnectDialogLayout() { return kConnectDialog; }
const DialogLayout& TerminalSizeDialogLayout() { return kTerminalSizeDialog; }
const DialogLayout& AboutDialogLayout() { return kAboutDialog; }
const DialogLayout& ColorDialogLayout() { return kColorDialog; }

const DialogControl* FindDialogControl(const DialogLayout& layout, int id) {
  if (id == kIdNone) return nullptr;
  for (const DialogControl& control : layout.controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

}  // namespace velmora

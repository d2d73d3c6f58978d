#pragma once
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "telnet/host_address.h"

namespace velmora {

// Every text the user sees and every id a front-end builds the menu and the dialogs from, kept
// here so that the Qt and the Win32 front-ends show the same words.
//
// Texts are UTF-8, written as plain string literals in UTF-8 sources (MSVC needs /utf-8). A
// front-end converts them to its own text type (QString::fromUtf8, or UTF-16 for the "W" calls
// of the window system). "&" marks the mnemonic letter of menu items and controls, as both
// toolkits expect it.

// The program name: the message box caption, the window class name and the title's %1.
inline constexpr std::string_view kProgramName = "Velmora";

// Resource numbers, for a front-end that builds resources or names things after them.
enum ResourceId : int {
  kResMainMenu = 101,
  kResConnectDialog = 102,
  kResAccelerators = 103,
  kResTerminalSizeDialog = 104,
  kResAboutDialog = 105,
  kResIcon = 106,
  kResColorDialog = 107,
};

// The string table.
enum UiStringId : int {
  kStrTitleFormat = 1,         // "%2 - %1": %1 the program name, %2 the status
  kStrNotConnected = 2,        // title status while there is no connection
  kStrConnectFailed = 3,       // the message after a failed connection
  kStrRemoveHostQuestion = 4,  // %1 the host name
  kStrConnecting = 5,          // title status while a connection is being made
  kStrQuitQuestion = 6,        // asked before closing while connected
};

// The string table's text for an id; empty for an id the table does not have.
std::string_view UiString(int id);

// Fills the inserts %1 to %9 of a string-table format with the given texts, the way the window
// system formats messages: only the format is scanned, so a '%' inside an insert stays as it
// is. A '%' not followed by the number of a given insert is copied unchanged.
std::string FillInserts(std::string_view format, std::initializer_list<std::string_view> inserts);

// String 4 with the host name as %1, asked after a connection to that host failed.
std::string FormatHostRemovalQuestion(std::string_view host);

// The message shown instead of connecting when a host text cannot be read (ParseHostText):
// what is wrong with `hostText`, then the forms a host text may take, with examples. Empty for
// HostTextError::kNone.
std::string FormatHostTextError(HostTextError error, std::string_view hostText);

// The commands of the main window's menu.
enum CommandId : int {
  kCmdConnect = 40001,
  kCmdDisconnect = 40002,
  kCmdCopy = 40003,
  kCmdPaste = 40004,
  kCmdClearBacklog = 40005,
  kCmdFont = 40006,
  kCmdDebugTrace = 40007,
  kCmdAbout = 40008,
  kCmdExit = 40009,
  kCmdTerminalSize = 40010,
  kCmdColors = 40011,
  kCmdSelectAll = 40012,
  kCmdEncodingEuc = 40013,  // the host encoding is the id minus kCmdEncodingEuc
  kCmdEncodingSjis = 40014,
  kCmdEncodingUtf8 = 40015,
};

enum class MenuEntryKind { kCommand, kSeparator, kSubmenu };

// One entry of a popup menu.
struct MenuEntry {
  MenuEntryKind kind = MenuEntryKind::kSeparator;
  int command = 0;                     // commands only
  std::string_view text;               // commands and submenus
  std::string_view acceleratorLabel;   // shown at the right of a command, e.g. "Alt+N"; may be empty
  std::span<const MenuEntry> submenu;  // submenus only
};

// The item text as the window system's menu resource keeps it: the text, then a TAB and the
// accelerator label when there is one.
std::string MenuItemCaption(const MenuEntry& entry);

struct MenuPopup {
  std::string_view text;
  std::span<const MenuEntry> entries;
};

// Positions of the menu bar's popups.
enum MenuPopupIndex : int {
  kPopupConnection = 0,
  kPopupEdit = 1,
  kPopupView = 2,
  kPopupHelp = 3,
};
// The Encoding submenu is entry 3 of the Connection popup. Its position equals the Help popup's
// in the menu bar, so a front-end tells the two apart by the menu itself, not by position.
inline constexpr int kEncodingSubmenuPopup = kPopupConnection;
inline constexpr int kEncodingSubmenuEntry = 3;

// The menu bar, popups in order from the left.
std::span<const MenuPopup> MainMenu();

// The command's menu entry (inside the Encoding submenu too); null for any other id.
const MenuEntry* FindMenuCommand(int command);

// One entry of the accelerator table: Alt with a letter key (the key's virtual-key code is the
// upper-case letter), which does not flash the menu bar. Alt+F4, shown on the exit item, is the
// window system's own close key and has no entry.
struct AcceleratorEntry {
  char key = 0;
  int command = 0;
};
std::span<const AcceleratorEntry> AcceleratorTable();

// --- dialogs ---

inline constexpr int kIdNone = -1;  // labels, group boxes and the icon, which are never addressed
inline constexpr int kIdDialogOk = 1;
inline constexpr int kIdDialogCancel = 2;

// Control ids of the connection dialog.
enum ConnectDialogId : int {
  kIdConnectHost = 1000,  // the host field with the history list
  kIdConnectEuc = 1001,   // the encoding buttons are kIdConnectEuc + HostEncoding
  kIdConnectSjis = 1002,
  kIdConnectUtf8 = 1003,
  kIdConnectVt52 = 1006,
  kIdConnectVt100 = 1007,
  kIdConnectAutoClose = 1019,
};

enum class ControlKind {
  kLabel,              // static text, left-aligned
  kGroupBox,
  kEdit,               // single-line field with a border that scrolls horizontally
  kUpDown,             // arrows attached to the control before it, at that control's right
                       // edge; they set its number and answer the arrow keys
  kDropDownCombo,      // editable field with a list, unsorted, with a vertical scroll bar; the
                       // height includes the open list
  kRadioButton,        // checks itself when clicked, unchecking the others of its group
  kCheckBox,           // toggles itself when clicked
  kPushButton,
  kDefaultPushButton,  // pressed by Enter
  kOwnerDrawButton,    // drawn by the dialog's logic (the colour sample)
  kIcon,               // the program icon (kResIcon)
};

enum ControlFlag : unsigned {
  kCtlGroup = 1u << 0,        // starts a group (radio buttons, arrow-key navigation)
  kCtlTabStop = 1u << 1,
  kCtlDisabled = 1u << 2,
  kCtlNumber = 1u << 3,       // an edit field that takes digits only
  kCtlNoThousands = 1u << 4,  // an up-down control that shows no thousands separators
};

// One control; position and size in dialog units.
struct DialogControl {
  int id = kIdNone;
  ControlKind kind = ControlKind::kLabel;
  std::string_view text;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  unsigned flags = 0;
};

// A modal dialog with a caption, a system menu and a fixed frame. Controls are listed in tab
// order; the first one with a tab stop takes the focus as the dialog opens.
struct DialogLayout {
  int resourceId = 0;
  std::string_view title;
  std::string_view fontName;
  int fontPointSize = 0;
  int width = 0;  // dialog units
  int height = 0;
  std::span<const DialogControl> controls;
};

const DialogLayout& ConnectDialogLayout();
const DialogLayout& TerminalSizeDialogLayout();
const DialogLayout& AboutDialogLayout();
const DialogLayout& ColorDialogLayout();

// The control with an id in a layout; null when there is none (kIdNone is never found).
const DialogControl* FindDialogControl(const DialogLayout& layout, int id);

}  // namespace velmora

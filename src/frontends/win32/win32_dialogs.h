#pragma once
#include <windows.h>

#include <string>

#include "render/color_scheme.h"
#include "settings/connect_dialog.h"
#include "settings/settings_store.h"
#include "settings/terminal_size_dialog.h"

namespace velmora {

// The program's modal dialogs from the resource script (dialogs 102, 104, 105 and 107), with
// their logic in the core's models, and the common dialogs and message boxes. Every text that
// crosses the window system goes through the "W" calls.

// The connection dialog (102), shown from `state`; on OK the controls' values go into `state`
// and to model.OnOk. True for OK.
bool RunWin32ConnectDialog(HWND owner, ConnectDialogModel& model, ConnectDialogState& state);
// The terminal size dialog (104); true when the new size is in force.
bool RunWin32TerminalSizeDialog(HWND owner, TerminalSizeDialogModel& model);
// The about box (105).
void RunWin32AboutDialog(HWND owner);
// The colour dialog (107) on model.working, with its sample; ChooseColor starts at the button's
// colour (CC_RGBINIT) with the run's `customColors`. True for OK.
bool RunWin32ColorDialog(HWND owner, ColorDialogModel& model, CustomColors& customColors, const SystemColors& system);
// ChooseFont with fixed-pitch screen fonts ("@" vertical faces left out), starting from and
// writing into `font`. True when a font was chosen.
bool ChooseWin32TerminalFont(HWND owner, LogFont& font);
// Message boxes captioned "Velmora": Yes/No with a question or exclamation icon (true for
// Yes), and OK with an exclamation icon. Texts are UTF-8.
bool AskWin32YesNo(HWND owner, const std::string& text, bool questionIcon);
void ShowWin32Message(HWND owner, const std::string& text);

// The core's font description (the LOGFONTA layout, face name in code page 932) as the "W"
// calls take it, and back; a face name cut to fit never ends in half a double-byte character.
// For creating the terminal font, reading it back after a cancelled chooser, and the input
// method's composition font.
LOGFONTW ToWin32LogFont(const LogFont& font);
LogFont FromWin32LogFont(const LOGFONTW& font);
// The colour dialog's sample as its owner-drawn control shows it, drawn into `area` of `dc` in
// the system's fixed-pitch font.
void DrawWin32ColorSample(HDC dc, const RECT& area, const ColorScheme& working, const SystemColors& system);

}  // namespace velmora

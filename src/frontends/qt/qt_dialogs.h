#pragma once
#include <QColor>
#include <QString>

#include "render/color_scheme.h"
#include "settings/connect_dialog.h"
#include "settings/settings_store.h"
#include "settings/terminal_size_dialog.h"

class QWidget;

namespace velmora {

// The program's modal dialogs with Qt widgets, built from the layouts in app/ui_text.h: the
// titles, texts, mnemonics, tab order and radio groups come from there, and every control with
// an id carries that id as its objectName ("1000", "1", ...). The logic stays in the core's
// dialog models; these functions only show the controls and pass on what the user did.

// The connection dialog, shown from `state`, which follows the user's work on it. On OK the
// controls' values go into `state` and to model.OnOk; true for OK. Cancel changes nothing the
// model keeps.
bool RunQtConnectDialog(QWidget* parent, ConnectDialogModel& model, ConnectDialogState& state);

// The terminal size dialog; true when the new size is in force (OK with a successful rebuild).
bool RunQtTerminalSizeDialog(QWidget* parent, TerminalSizeDialogModel& model);

// The about box with the program's icon, name and version.
void RunQtAboutDialog(QWidget* parent);

// The colour dialog working on model.working, with its live sample; the colour chooser offers
// `customColors` and writes them back after each use. True for OK (the caller then takes
// model.working), false for Cancel.
bool RunQtColorDialog(QWidget* parent, ColorDialogModel& model, CustomColors& customColors, const SystemColors& system);

// The font chooser with fixed-pitch fonts only (counting the dual-width Japanese fonts, whose
// Latin letters share one width), starting from `font`. When confirmed, `font` becomes the
// choice (character set 128 for a font with Japanese glyphs, else 0); a cancelled chooser
// leaves it as it was.
bool ChooseQtTerminalFont(QWidget* parent, LogFont& font);

// Message boxes captioned with the program name. AskQtYesNo shows Yes and No with a question or
// an exclamation icon and is true for Yes; ShowQtMessage shows OK with an exclamation icon.
bool AskQtYesNo(QWidget* parent, const QString& text, bool questionIcon);
void ShowQtMessage(QWidget* parent, const QString& text);

// Colours as the core keeps them (red in the low byte) and as Qt does.
QColor ToQColor(ColorRef color);
ColorRef FromQColor(const QColor& color);

}  // namespace velmora

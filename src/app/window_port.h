#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "app/window_size.h"
#include "render/color_scheme.h"
#include "render/text_painter.h"
#include "screen/caret_port.h"
#include "screen/screen_observer.h"
#include "settings/settings_store.h"

namespace velmora {

class ColorDialogModel;
class ConnectDialogModel;
struct ConnectDialogState;
class TerminalSizeDialogModel;

// The icon of a message box.
enum class MessageIcon { Exclamation, Question };

// A rectangle of client-area pixels: [left, right) x [top, bottom).
struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// What the window system draws the terminal with while the window paints.
class PaintPort : public TextPainter {
 public:
  // The grid border: a one-pixel line from (x0, y0) to (x1, y1) and on to (x2, y2).
  virtual void DrawBorder(int x0, int y0, int x1, int y1, int x2, int y2, ColorRef color) = 0;
};

// Everything the main window's logic asks of the native window. A front-end implements it in
// a few hundred lines; tests implement it as a recorder. Every call is made on the window's one
// thread, from inside a call of the logic. Unless a method says otherwise it returns without
// calling back into the logic. Texts are UTF-8; terminal text is code page 932 bytes.
class WindowPort : public CaretPort, public SystemColors {
 public:
  // SystemColors: the desktop's colours for window background, window text, selection
  // background and selected text.
  // --- damage and scrolling (client-area pixels) ---
  // The area no longer shows the model; it is erased to the window background and drawn by the
  // next paint.
  virtual void InvalidatePixels(const PixelRect& area) = 0;
  virtual void InvalidateAll() = 0;
  // Moves the pixels of `area` by (dx, dy), clipped to the area; what is uncovered is
  // invalidated and erased.
  virtual void ScrollPixels(const PixelRect& area, int dx, int dy) = 0;
  // Paints whatever is invalid before returning (into the window's image; showing it on the
  // screen may wait for the next frame). May call the logic's Paint.
  virtual void UpdateNow() = 0;
  // True for a window that draws only at its frames: UpdateNow does nothing, and damage is
  // noted until the next frame draws it. While the bytes of a read are interpreted, the logic
  // then leaves out the repaint-now requests and gives the damage of cells joined, each run of
  // areas on the same rows as one area spanning them, before anything else it asks of the
  // window and at the end of the read, instead of once for every character written.
  virtual bool DrawsAtFrames() const { return false; }
  // The vertical scroll bar: applies the given parts; a bar with nothing to scroll is shown
  // disabled rather than hidden.
  virtual void SetScrollBar(const ScrollBarInfo& bar, unsigned parts) = 0;

  // --- the window itself ---
  virtual void SetTitleText(const std::string& title) = 0;
  // The frame sizes of the window system, read anew on every fit of the window to the grid.
  virtual FrameMetrics GetFrameMetrics() = 0;
  // Resizes the outer window keeping its position and stacking order.
  virtual void ResizeWindow(int outerWidth, int outerHeight, bool redraw) = 0;
  // The class background the window system paints where no text is drawn.
  virtual void SetWindowBackground(const ColorScheme& scheme) = 0;
  // Ends the window: the front-end destroys it and then calls the logic's OnDestroy.
  virtual void DestroyNativeWindow() = 0;
  // Ends the event loop with the exit code once the current event is handled.
  virtual void PostQuit(int exitCode) = 0;
  virtual void AlertSound() = 0;
  // Asks the window to close (as the close box does) once the current event is handled; the
  // logic's OnClose follows from the event loop.
  virtual void PostCloseRequest() = 0;

  // --- fonts ---
  // Makes the terminal font and its bold and underlined variants from the description,
  // replacing the old ones; the metrics of the new font come back as FontMetrics.
  virtual FontMetrics CreateTerminalFont(const LogFont& description) = 0;
  // The description of the system's fixed-pitch font, and of the terminal font as it really is.
  virtual LogFont SystemFixedFontDescription() = 0;
  virtual LogFont CurrentFontDescription() = 0;
  // Places the input method's composition window at (x, y) with the terminal font.
  virtual void PlaceComposition(int x, int y, const LogFont& font) = 0;

  // --- modal dialogs and messages (each runs a nested event loop: socket events and text
  // output may reach the logic before it returns) ---
  // The font chooser (fixed-pitch screen fonts), starting from and writing into `font`.
  virtual bool ChooseTerminalFont(LogFont& font) = 0;
  virtual bool RunTerminalSizeDialog(TerminalSizeDialogModel& model) = 0;
  virtual void RunAboutDialog() = 0;
  virtual bool RunColorDialog(ColorDialogModel& model, CustomColors& customColors) = 0;
  // The connection dialog, shown from `state` (which the front-end updates as the user works
  // it, asking the model on a changed list selection). True for OK, after which the front-end
  // has called the model's OnOk with what the dialog showed.
  virtual bool RunConnectDialog(ConnectDialogModel& model, ConnectDialogState& state) = 0;
  // A question with Yes and No, caption "Velmora". True for Yes.
  virtual bool AskYesNo(const std::string& text, MessageIcon icon = MessageIcon::Exclamation) = 0;
  // A message with an OK button, caption "Velmora", exclamation icon.
  virtual void ShowMessage(const std::string& text) = 0;

  // --- clipboard (code page 932 text, lines joined by CR LF) ---
  virtual bool ClipboardHasText() = 0;
  // The clipboard's text, or none when it holds no text or cannot be opened.
  virtual std::optional<std::string> GetClipboardText() = 0;
  // Replaces the clipboard's contents; false when the clipboard could not be opened.
  virtual bool SetClipboardText(const std::string& text) = 0;

  // --- mouse selection ---
  virtual void CaptureMouse() = 0;
  virtual void ReleaseMouse() = 0;
  // The selection's auto-scroll timer: OnSelectionTimer every 100 ms until stopped.
  virtual void StartSelectionTimer() = 0;
  virtual void StopSelectionTimer() = 0;
  // The pointer in client coordinates (negative or beyond the client area while captured),
  // and the client area's size.
  virtual PixelRect ClientArea() = 0;
  virtual void CursorPosition(int& x, int& y) = 0;
  // Lines to scroll per wheel notch, or -1 for a page at a time.
  virtual int WheelScrollLines() = 0;
};

}  // namespace velmora

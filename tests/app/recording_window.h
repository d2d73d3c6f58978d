#pragma once
// A headless window for the main window's logic: it records every request, answers questions
// and dialogs as a test tells it, and paints through a recording painter.
#include <functional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/window_port.h"
#include "render/color_scheme.h"
#include "settings/connect_dialog.h"
#include "settings/terminal_size_dialog.h"

namespace velmora::testing {

class RecordingPainter : public PaintPort {
 public:
  std::vector<std::string> calls;
  void SelectFontVariant(FontVariant v) override { calls.push_back("font " + std::to_string(static_cast<int>(v))); }
  void UseTextColor(ColorRef c) override { calls.push_back("fg " + std::to_string(c)); }
  void UseBackground(bool opaque, ColorRef c) override {
    calls.push_back(std::string(opaque ? "opaque " : "transparent ") + std::to_string(c));
  }
  void UseCharacterExtra(int extra) override { calls.push_back("extra " + std::to_string(extra)); }
  void OutputText(int x, int y, const uint8_t* bytes, size_t count) override {
    calls.push_back("text " + std::to_string(x) + "," + std::to_string(y) + " " +
                    std::string(reinterpret_cast<const char*>(bytes), count));
  }
  void DrawBorder(int x0, int y0, int x1, int y1, int x2, int y2, ColorRef color) override {
    calls.push_back("border " + std::to_string(x0) + "," + std::to_string(y0) + " " + std::to_string(x1) + "," +
                    std::to_string(y1) + " " + std::to_string(x2) + "," + std::to_string(y2) + " " +
                    std::to_string(color));
  }
  // The texts drawn, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& c : calls) {
      if (c.rfind("text ", 0) == 0) out.push_back(c.substr(5));
    }
    return out;
  }
};

class RecordingWindow : public WindowPort {
 public:
  std::vector<std::string> calls;
  bool focus = true;
  bool answerYes = true;
  std::vector<std::string> questions;
  std::string title;
  FontMetrics nextMetrics{8, 16, 0, 0, 0};
  LogFont current;
  // Dialog answers: the font chosen (or none for cancel), the size dialog's field texts.
  std::optional<LogFont> fontChoice;
  std::optional<std::array<std::string, 3>> sizeTexts;
  std::function<bool(ColorDialogModel&)> colorDialog;
  bool clipboardText = false;
  std::optional<std::string> clipboard;  // what the clipboard holds (code page 932)
  bool clipboardOpens = true;
  std::vector<std::string> messages;
  // The connection dialog: called with the model and the state it opened with; returns
  // whether the user pressed OK (the function calls the model's OnOk itself).
  std::function<bool(ConnectDialogModel&, ConnectDialogState&)> connectDialog;
  ConnectDialogState lastConnectState;
  int closeRequests = 0;
  bool captured = false;
  bool timerRunning = false;
  PixelRect client{0, 0, 669, 439};
  int cursorX = 0, cursorY = 0;
  int wheelLines = 3;
  int exitCode = -1;
  bool destroyed = false;
  bool drawsAtFrames = false;   // what DrawsAtFrames answers
  MainWindow* logic = nullptr;  // for UpdateNow and DestroyNativeWindow
  RecordingPainter painter;     // what UpdateNow painted

  std::vector<std::string> Only(const std::string& kind) const {
    std::vector<std::string> out;
    for (const auto& c : calls) {
      if (c.rfind(kind, 0) == 0) out.push_back(c);
    }
    return out;
  }

  // CaretPort
  bool HasFocus() const override { return focus; }
  void CreateSolidCaret(int w, int h) override { Add("caret create " + std::to_string(w) + "x" + std::to_string(h)); }
  void DestroyCaret() override { Add("caret destroy"); }
  void ShowCaret() override { Add("caret show"); }
  void HideCaret() override { Add("caret hide"); }
  void MoveCaret(int x, int y) override { Add("caret move " + std::to_string(x) + "," + std::to_string(y)); }
  // SystemColors
  ColorRef SystemColor(int index) const override { return 0x100000u + static_cast<ColorRef>(index); }
  // WindowPort
  void InvalidatePixels(const PixelRect& r) override {
    Add("inval " + std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
        std::to_string(r.bottom));
  }
  void InvalidateAll() override { Add("inval all"); }
  void ScrollPixels(const PixelRect& r, int dx, int dy) override {
    Add("scroll " + std::to_string(r.top) + "-" + std::to_string(r.bottom) + " " + std::to_string(dx) + "," +
        std::to_string(dy));
  }
  void UpdateNow() override {
    Add("update");
    if (logic != nullptr) logic->Paint(painter, PixelRect{0, 0, 100000, 100000});
  }
  bool DrawsAtFrames() const override { return drawsAtFrames; }
  void SetScrollBar(const ScrollBarInfo& b, unsigned parts) override {
    Add("bar max=" + std::to_string(b.maximum) + " page=" + std::to_string(b.page) + " pos=" +
        std::to_string(b.position) + " parts=" + std::to_string(parts));
  }
  void SetTitleText(const std::string& t) override {
    title = t;
    Add("title " + t);
  }
  FrameMetrics GetFrameMetrics() override { return FrameMetrics{17, 2, 4, 23, 20, 2, 4}; }
  void ResizeWindow(int w, int h, bool redraw) override {
    Add("resize " + std::to_string(w) + "x" + std::to_string(h) + (redraw ? " redraw" : ""));
  }
  void SetWindowBackground(const ColorScheme& s) override { Add("background " + std::to_string(s.colorWindow)); }
  void DestroyNativeWindow() override {
    Add("destroy");
    destroyed = true;
    if (logic != nullptr) logic->OnDestroy();
  }
  void PostQuit(int code) override {
    Add("quit " + std::to_string(code));
    exitCode = code;
  }
  void AlertSound() override { Add("beep"); }
  void PostCloseRequest() override {
    Add("post close");
    ++closeRequests;
  }
  FontMetrics CreateTerminalFont(const LogFont& d) override {
    current = d;
    Add("font " + d.faceName());
    return nextMetrics;
  }
  LogFont SystemFixedFontDescription() override {
    LogFont f;
    f.setFaceName("System Fixed");
    f.setHeight(16);
    return f;
  }
  LogFont CurrentFontDescription() override { return current; }
  void PlaceComposition(int x, int y, const LogFont&) override {
    Add("composition " + std::to_string(x) + "," + std::to_string(y));
  }
  bool ChooseTerminalFont(LogFont& font) override {
    Add("choose font");
    if (!fontChoice) {
      font.setFaceName("scribbled by a cancelled dialog");
      return false;
    }
    font = *fontChoice;
    return true;
  }
  bool RunTerminalSizeDialog(TerminalSizeDialogModel& model) override {
    Add("size dialog");
    return sizeTexts && model.OnOk((*sizeTexts)[0], (*sizeTexts)[1], (*sizeTexts)[2]);
  }
  void RunAboutDialog() override { Add("about"); }
  bool RunColorDialog(ColorDialogModel& model, CustomColors&) override {
    Add("color dialog");
    return colorDialog && colorDialog(model);
  }
  bool RunConnectDialog(ConnectDialogModel& model, ConnectDialogState& state) override {
    Add("connect dialog");
    lastConnectState = state;
    return connectDialog && connectDialog(model, state);
  }
  bool AskYesNo(const std::string& text, MessageIcon icon) override {
    questions.push_back(text);
    Add(icon == MessageIcon::Question ? "ask question" : "ask");
    return answerYes;
  }
  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    Add("message");
  }
  bool ClipboardHasText() override { return clipboardText || clipboard.has_value(); }
  std::optional<std::string> GetClipboardText() override { return clipboardOpens ? clipboard : std::nullopt; }
  bool SetClipboardText(const std::string& text) override {
    Add("clipboard set");
    if (!clipboardOpens) return false;
    clipboard = text;
    return true;
  }
  void CaptureMouse() override {
    Add("capture");
    captured = true;
  }
  void ReleaseMouse() override {
    Add("release");
    captured = false;
  }
  void StartSelectionTimer() override {
    Add("timer start");
    timerRunning = true;
  }
  void StopSelectionTimer() override {
    Add("timer stop");
    timerRunning = false;
  }
  PixelRect ClientArea() override { return client; }
  void CursorPosition(int& x, int& y) override {
    x = cursorX;
    y = cursorY;
  }
  int WheelScrollLines() override { return wheelLines; }

 private:
  void Add(const std::string& c) { calls.push_back(c); }
};

}  // namespace velmora::testing

#pragma once
#include <winsock2.h>
#include <windows.h>

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "app/main_window.h"
#include "app/startup.h"
#include "app/window_port.h"
#include "frontends/win32/win32_socket.h"
#include "render/font_metrics.h"

namespace velmora {

// The main window on Win32: class "Velmora", a Unicode window whose procedure turns messages
// into calls of the main window logic and carries out what the logic asks of its native window
// with USER, GDI and IMM. Terminal text is code page 932 inside the logic and UTF-16 at every
// system call.
class Win32MainWindow : public WindowPort {
 public:
  // The window's class name, registered by Create().
  static constexpr const wchar_t* kClassName = L"Velmora";
  // The selection auto-scroll timer.
  static constexpr UINT_PTR kSelectionTimer = 1;

  explicit Win32MainWindow(HINSTANCE instance);
  ~Win32MainWindow() override;
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  // Makes the window's logic, which the window owns. It takes the window as its port, so it is
  // made after the window object, and it goes before the window's fonts and brush. The socket
  // reports to the window made by Create().
  MainWindow& MakeLogic(Win32Socket& socket, RegistryStore& store, int processId);
  MainWindow& logic() { return *logic_; }
  HWND hwnd() const { return hwnd_; }
  HINSTANCE instance() const { return instance_; }

  // Registers the class with the loaded colour scheme's background and creates the window,
  // whose WM_CREATE runs the logic's OnCreate. False when the window could not be made.
  bool Create();
  // The exit code the logic asked the message loop to end with; -1 before.
  int exitCode() const { return exitCode_; }

  // --- CaretPort ---
  bool HasFocus() const override;
  void CreateSolidCaret(int width, int height) override;
  void DestroyCaret() override;
  void ShowCaret() override;
  void HideCaret() override;
  void MoveCaret(int x, int y) override;
  // --- SystemColors ---
  ColorRef SystemColor(int index) const override;
  // --- WindowPort ---
  void InvalidatePixels(const PixelRect& area) override;
  void InvalidateAll() override;
  void ScrollPixels(const PixelRect& area, int dx, int dy) override;
  void UpdateNow() override;
  void SetScrollBar(const ScrollBarInfo& bar, unsigned parts) override;
  void SetTitleText(const std::string& title) override;
  FrameMetrics GetFrameMetrics() override;
  void ResizeWindow(int outerWidth, int outerHeight, bool redraw) override;
  void SetWindowBackground(const ColorScheme& scheme) override;
  void DestroyNativeWindow() override;
  void PostQuit(int exitCode) override;
  void AlertSound() override;
  void PostCloseRequest() override;
  FontMetrics CreateTerminalFont(const LogFont& description) override;
  LogFont SystemFixedFontDescription() override;
  LogFont CurrentFontDescription() override;
  void PlaceComposition(int x, int y, const LogFont& font) override;
  bool ChooseTerminalFont(LogFont& font) override;
  bool RunTerminalSizeDialog(TerminalSizeDialogModel& model) override;
  void RunAboutDialog() override;
  bool RunColorDialog(ColorDialogModel& model, CustomColors& customColors) override;
  bool RunConnectDialog(ConnectDialogModel& model, ConnectDialogState& state) override;
  bool AskYesNo(const std::string& text, MessageIcon icon) override;
  void ShowMessage(const std::string& text) override;
  bool ClipboardHasText() override;
  std::optional<std::string> GetClipboardText() override;
  bool SetClipboardText(const std::string& text) override;
  void CaptureMouse() override;
  void ReleaseMouse() override;
  void StartSelectionTimer() override;
  void StopSelectionTimer() override;
  PixelRect ClientArea() override;
  void CursorPosition(int& x, int& y) override;
  int WheelScrollLines() override;

 private:
  class GdiPainter;
  class GdiMeasurer;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnPaint();
  // A character of the keyboard (WM_CHAR) or of the input method (WM_IME_CHAR), as UTF-16.
  void OnTypedCharacter(wchar_t c, bool fromInputMethod);
  void OnInitMenuPopup(HMENU popup, int position);
  void OnScrollMessage(int request);
  bool RegisterWindowClass();
  // The brush for the class background of a colour scheme; owned by the window when it is a
  // solid brush of the scheme's own colour.
  HBRUSH MakeBackgroundBrush(const ColorScheme& scheme);
  void ReleaseWindowBrush();
  void DeleteFonts();

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  Win32Socket* socket_ = nullptr;
  std::unique_ptr<MainWindow> ownedLogic_;
  MainWindow* logic_ = nullptr;
  // The terminal font and its variants, indexed by FontVariant.
  std::array<HFONT, 4> fonts_{};
  HBRUSH windowBrush_ = nullptr;  // the solid background brush, while the scheme has its own colours
  int exitCode_ = -1;
  wchar_t pendingSurrogate_ = 0;  // the first half of a character beyond the 16-bit range
};

// Start-up on Win32: Winsock 2.0, the window created and shown with the program's show command,
// and the message loop with the accelerator table 103.
class Win32StartupPlatform : public StartupPlatform {
 public:
  Win32StartupPlatform(Win32MainWindow& window, int showCommand) : window_(window), showCommand_(showCommand) {}
  bool StartNetworking() override;
  void StopNetworking() override;
  bool CreateMainWindow() override { return window_.Create(); }
  // Shows and paints the window, then loads the accelerator table: start-up has it in hand
  // before it connects to the host named on the command line.
  void ShowMainWindow() override;
  int RunEventLoop() override;
  // The accelerator table 103 once the window is shown; null before, or if it cannot be loaded.
  HACCEL accelerators() const { return accelerators_; }

 private:
  Win32MainWindow& window_;
  int showCommand_;
  HACCEL accelerators_ = nullptr;
};

// Runs the thread's message loop until WM_QUIT, offering every message to the accelerator table
// for `window` first; returns the quit message's exit code.
int RunWin32MessageLoop(HWND window, HACCEL accelerators);

// The program's command line without the program's own name (the first word, quoted or not, and
// the blanks after it), as code page 932.
std::string CommandLineArguments(const wchar_t* commandLine);

}  // namespace velmora

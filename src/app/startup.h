#pragma once
#include <string>
#include <string_view>

#include "app/main_window.h"

namespace velmora {

// What start-up needs from the platform besides the window port.
class StartupPlatform {
 public:
  virtual ~StartupPlatform() = default;
  // Starts the socket library; false ends the program with exit code 1.
  virtual bool StartNetworking() = 0;
  virtual void StopNetworking() = 0;
  // Creates the native main window with the background of the loaded colour scheme; creation
  // calls MainWindow::OnCreate. False when the window could not be made.
  virtual bool CreateMainWindow() = 0;
  virtual void ShowMainWindow() = 0;
  // Runs the event loop until the quit request; returns its exit code.
  virtual int RunEventLoop() = 0;
};

// The program from start to end: settings and command line, the window sized to the grid and
// shown, a connection at once when a host was named, the event loop. Returns the exit code:
// 1 when the socket library or the window cannot be started, else the event loop's code.
int RunVelmora(StartupPlatform& platform, MainWindow& window, std::string_view commandLine);

// A platform's argument list as the command line: the arguments joined with blanks.
std::string JoinArguments(int argc, const char* const* argv);

}  // namespace velmora

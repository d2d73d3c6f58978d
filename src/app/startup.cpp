#include "app/startup.h"

namespace velmora {

int RunVelmora(StartupPlatform& platform, MainWindow& window, std::string_view commandLine) {
  if (!platform.StartNetworking()) return 1;
  window.LoadSettingsAndCommandLine(commandLine);
  if (!platform.CreateMainWindow()) {
    platform.StopNetworking();
    return 1;
  }
  window.FitWindowToGrid(false);
  platform.ShowMainWindow();
  window.ConnectAtStart();
  const int exitCode = platform.RunEventLoop();
  platform.StopNetworking();
  return exitCode;
}

std::string JoinArguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace velmora

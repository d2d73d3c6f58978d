// Velmora on Windows: the native window around the terminal's logic, the settings in the
// current user's registry, the connection through Winsock.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <clocale>
#include <cstdint>

#include "app/startup.h"
#include "frontends/win32/win32_registry.h"
#include "frontends/win32/win32_socket.h"
#include "frontends/win32/win32_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // The runtime's multibyte conversions in code page 932; the system's default where the
  // runtime does not know the name.
  if (std::setlocale(LC_ALL, "japanese") == nullptr) std::setlocale(LC_ALL, "");
  // The up-down controls of the terminal size dialog (common controls 6 by the manifest).
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&controls);

  const std::string commandLine = velmora::CommandLineArguments(GetCommandLineW());
  velmora::Win32RegistryStore store(HKEY_CURRENT_USER);
  velmora::Win32Socket socket;
  velmora::Win32MainWindow window(instance);
  velmora::MainWindow& logic = window.MakeLogic(socket, store, static_cast<int>(GetCurrentProcessId()));
  // The backlog's lines may take a share of this machine's memory (0 when it cannot be told).
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  const uint64_t physical = GlobalMemoryStatusEx(&memory) ? memory.ullTotalPhys : 0;
  logic.screen().SetLineByteBudget(velmora::LineStore::ByteBudgetFor(physical));
  velmora::Win32StartupPlatform platform(window, showCommand);
  return velmora::RunVelmora(platform, logic, commandLine);
}

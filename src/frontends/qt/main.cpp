// Velmora on Linux: the Qt window around the terminal's logic.
#include <QApplication>
#include <unistd.h>

#include <cstdint>

#include "platform/posix/process_memory.h"
#include "app/startup.h"
#include "frontends/qt/qt_socket.h"
#include "frontends/qt/qt_window.h"
#include "platform/posix/reg_file_store.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmora"));
  QApplication::setDesktopFileName(QStringLiteral("velmora"));
  QApplication::setWindowIcon(velmora::VelmoraIcon());
  // Qt may have taken options of its own out of argv; what is left is Velmora's command line.
  const std::string commandLine = velmora::JoinArguments(argc, argv);

  velmora::RegFileStore store;
  velmora::QtSocket socket;
  velmora::QtMainWindow window;
  velmora::MainWindow& logic = window.MakeLogic(socket, store, static_cast<int>(getpid()));
  // The backlog's lines may take a share of this machine's memory (0 when it cannot be told).
  logic.screen().SetLineByteBudget(velmora::LineStore::ByteBudgetFor(velmora::PhysicalMemoryBytes()));
  velmora::QtStartupPlatform platform(window);
  return velmora::RunVelmora(platform, logic, commandLine);
}

// Writes the Qt window's icon (VelmoraIcon) as the PNG files of the hicolor icon theme, so that
// the desktop's menu shows the same picture as the window. The committed files in
// data/icons/hicolor/ are made with:
//
//   cmake --build build --target velmora-icon-png
//   QT_QPA_PLATFORM=offscreen build/bin/velmora-icon-png data/icons/hicolor
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QPixmap>
#include <cstdio>

namespace velmora {
QIcon VelmoraIcon();  // the window's icon, from the Qt front-end's library
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: velmora-icon-png FOLDER\n");
    return 2;
  }
  const QIcon icon = velmora::VelmoraIcon();
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
    const QPixmap pixmap = icon.pixmap(size, size);
    if (pixmap.width() != size || !QDir().mkpath(folder) || !pixmap.save(folder + QStringLiteral("/velmora.png"), "PNG", 9)) {
      std::fprintf(stderr, "velmora-icon-png: could not write the %dx%d icon\n", size, size);
      return 1;
    }
  }
  return 0;
}

#include "frontends/qt/qt_icon.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>

namespace velmora {

QIcon VelmoraIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A dark screen with a green prompt and a white kana.
    QPainterPath frame;
    frame.addRoundedRect(QRectF(s * 0.04, s * 0.08, s * 0.92, s * 0.84), s * 0.1, s * 0.1);
    p.fillPath(frame, QColor(0x1d, 0x2b, 0x3a));
    p.setPen(QPen(QColor(0x5f, 0xd3, 0x8d), std::max(1.0, s * 0.07), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(s * 0.18, s * 0.3), QPointF(s * 0.34, s * 0.42), QPointF(s * 0.18, s * 0.54)}));
    p.drawLine(QPointF(s * 0.2, s * 0.74), QPointF(s * 0.4, s * 0.74));
    QFont f;
    f.setPixelSize(std::max(6, static_cast<int>(s * 0.46)));
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(s * 0.42, s * 0.2, s * 0.5, s * 0.6), Qt::AlignCenter, QString::fromUtf8("あ"));
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace velmora

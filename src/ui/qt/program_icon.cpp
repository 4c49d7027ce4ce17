#include "ui/qt/program_icon.h"

#include <QPainter>
#include <QPolygonF>
#include <QString>

#include <vector>

namespace {

struct Shape {
  QRgb colour;
  QPolygonF outline;
};

QPolygonF Box(double x, double y, double w, double h) { return QPolygonF(QRectF(x, y, w, h)); }

// Back to front, in the units of the Windows picture's pixels, and in its
// colours: the standard 16-colour palette.
std::vector<Shape> Design() {
  const QRgb grey = qRgb(128, 128, 128), yellow = qRgb(255, 255, 0);
  std::vector<Shape> shapes;
  shapes.push_back({grey, Box(8, 6, 19, 19)});  // the chip's shadow
  for (double x : {10, 13, 16, 19, 22}) {
    shapes.push_back({grey, Box(x, 2, 1, 2)});
    shapes.push_back({yellow, Box(x, 2, 1, 1)});
    shapes.push_back({grey, Box(x, 25, 1, 2)});
    shapes.push_back({yellow, Box(x, 26, 1, 1)});
  }
  for (double y : {6, 9, 12, 15, 18, 21}) {
    shapes.push_back({grey, Box(4, y, 3, 1)});
    shapes.push_back({yellow, Box(4, y, 1, 1)});
    shapes.push_back({yellow, Box(27, y, 1, 1)});
  }
  shapes.push_back({qRgb(0, 0, 0), Box(7, 4, 18, 20)});
  shapes.push_back({qRgb(0, 0, 128), Box(8, 5, 16, 18)});
  shapes.push_back({qRgb(255, 255, 255),
                    QPolygonF({QPointF(9, 7), QPointF(9, 19.5), QPointF(12.2, 16.3), QPointF(15.5, 22.2),
                               QPointF(18.2, 21), QPointF(15.2, 16), QPointF(17.6, 16)})});
  shapes.push_back({qRgb(255, 0, 0), Box(4, 28, 23, 3)});
  shapes.push_back({qRgb(0, 255, 0), Box(5, 29, 21, 1)});
  return shapes;
}

}  // namespace

QImage ProgramIconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.scale(size / 32.0, size / 32.0);
  for (const Shape& shape : Design()) {
    painter.setBrush(QColor(shape.colour));
    painter.drawPolygon(shape.outline);
  }
  return image;
}

QByteArray ProgramIconSvg() {
  QByteArray svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 32 32\">\n";
  for (const Shape& shape : Design()) {
    QString points;
    for (const QPointF& p : shape.outline) points += QStringLiteral("%1,%2 ").arg(p.x()).arg(p.y());
    svg += QStringLiteral("  <polygon fill=\"%1\" points=\"%2\"/>\n")
               .arg(QColor(shape.colour).name(), points.trimmed())
               .toUtf8();
  }
  return svg + "</svg>\n";
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : kProgramIconSizes) icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
  return icon;
}

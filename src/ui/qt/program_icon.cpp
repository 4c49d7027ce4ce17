#include "ui/qt/program_icon.h"

#include <QPainter>
#include <QVector>

namespace {
// The 16 colours of the classic Windows palette.
QVector<QRgb> SixteenColours() {
  return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
          qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
          qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
          qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}
}  // namespace

// A chip with its pins and a green arrow loading into it.
QImage ProgramIconImage() {
  QImage canvas(32, 32, QImage::Format_ARGB32);
  canvas.fill(Qt::transparent);
  QPainter p(&canvas);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(192, 192, 192));
  for (int i = 0; i < 5; ++i) {
    p.drawRect(7 + i * 4, 9, 2, 3);    // upper pins
    p.drawRect(7 + i * 4, 28, 2, 3);   // lower pins
  }
  p.setBrush(QColor(0, 0, 0));
  p.drawRect(4, 12, 24, 16);
  p.setBrush(QColor(128, 128, 128));
  p.drawRect(6, 14, 3, 3);  // pin-one mark
  p.setBrush(QColor(0, 128, 0));
  p.drawRect(13, 0, 6, 9);
  p.setBrush(QColor(0, 255, 0));
  QPolygon head;
  head << QPoint(9, 8) << QPoint(23, 8) << QPoint(16, 15);
  p.drawPolygon(head);
  p.setBrush(QColor(255, 255, 0));
  p.drawRect(12, 19, 8, 2);
  p.drawRect(12, 23, 8, 2);
  p.end();

  QImage indexed = canvas.convertToFormat(QImage::Format_Indexed8, SixteenColours(), Qt::ThresholdDither);
  // Indexed images lose transparency; give the background back its alpha.
  QImage icon = indexed.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      if (qAlpha(canvas.pixel(x, y)) == 0) icon.setPixel(x, y, qRgba(0, 0, 0, 0));
  return icon;
}

QIcon ProgramIcon() { return QIcon(QPixmap::fromImage(ProgramIconImage())); }

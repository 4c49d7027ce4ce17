// desktop_icons ICO OUTDIR SIZE...: writes the icon of the Windows dialog
// program as OUTDIR/<size>x<size>/apps/orvalo-programmer.png for every SIZE, the
// layout of the freedesktop hicolor icon theme, so that both platforms show
// the same picture. Exit status 0 when every file is written.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // image format plugins (.ico) load through it
  if (argc < 4) {
    std::fprintf(stderr, "usage: desktop_icons ICO OUTDIR SIZE...\n");
    return 2;
  }
  QImage source(QString::fromLocal8Bit(argv[1]));
  if (source.isNull()) {
    std::fprintf(stderr, "desktop_icons: cannot read %s\n", argv[1]);
    return 1;
  }
  source = source.convertToFormat(QImage::Format_ARGB32);
  for (int i = 3; i < argc; ++i) {
    int size = std::atoi(argv[i]);
    if (size <= 0) {
      std::fprintf(stderr, "desktop_icons: bad size %s\n", argv[i]);
      return 2;
    }
    // Enlarged pixel for pixel, so the 16-colour picture stays crisp; only
    // the smaller sizes are averaged, where dropping pixels would lose pins.
    Qt::TransformationMode mode = size >= source.width() ? Qt::FastTransformation : Qt::SmoothTransformation;
    QImage scaled = source.scaled(size, size, Qt::IgnoreAspectRatio, mode);
    QString dir = QString::fromLocal8Bit(argv[2]) + QStringLiteral("/%1x%1/apps").arg(size);
    if (!QDir().mkpath(dir) || !scaled.save(dir + QStringLiteral("/orvalo-programmer.png"), "PNG")) {
      std::fprintf(stderr, "desktop_icons: cannot write %s\n", qPrintable(dir));
      return 1;
    }
  }
  return 0;
}

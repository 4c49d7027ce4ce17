// desktop_icons OUTDIR: writes the program's icon for the freedesktop hicolor
// icon theme: OUTDIR/<size>x<size>/apps/orvalo-programmer.png for every size
// the dialog's window has, and OUTDIR/scalable/apps/orvalo-programmer.svg (last,
// so that the build can take it as the mark of the whole set). Exit status 0
// when every file is written.
#include <QDir>
#include <QFile>
#include <QImage>
#include <cstdio>

#include "ui/qt/program_icon.h"

namespace {
bool WriteInto(const QString& dir, const QString& name, const QByteArray& bytes, const QImage* image) {
  if (!QDir().mkpath(dir)) return false;
  if (image) return image->save(dir + QLatin1Char('/') + name, "PNG");
  QFile file(dir + QLatin1Char('/') + name);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush();
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: desktop_icons OUTDIR\n");
    return 2;
  }
  QString out = QString::fromLocal8Bit(argv[1]);
  const QString name = QStringLiteral("orvalo-programmer");
  for (int size : kProgramIconSizes) {
    QImage image = ProgramIconImage(size);
    QString dir = out + QStringLiteral("/%1x%1/apps").arg(size);
    if (!WriteInto(dir, name + QStringLiteral(".png"), QByteArray(), &image)) {
      std::fprintf(stderr, "desktop_icons: cannot write %s\n", qPrintable(dir));
      return 1;
    }
  }
  QString scalable = out + QStringLiteral("/scalable/apps");
  if (!WriteInto(scalable, name + QStringLiteral(".svg"), ProgramIconSvg(), nullptr)) {
    std::fprintf(stderr, "desktop_icons: cannot write %s\n", qPrintable(scalable));
    return 1;
  }
  return 0;
}

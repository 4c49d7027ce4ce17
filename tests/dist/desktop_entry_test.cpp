// The desktop entry starts the installed dialog program with the file it is
// handed, is offered for Intel-HEX files, and shows the icon the build draws
// in the Windows program's design, at every size, without losing its picture
// or its transparency.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QStringList>
#include <QMimeDatabase>
#include <QCoreApplication>

#include <cstdlib>
#include <map>
#include <string>

namespace {

std::map<QString, QString> DesktopEntry() {
  std::map<QString, QString> keys;
  QFile file(QStringLiteral(ORVALO_DESKTOP_FILE));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return keys;
  bool inEntry = false;
  for (const QByteArray& raw : file.readAll().split('\n')) {
    QString line = QString::fromUtf8(raw).trimmed();
    if (line.startsWith('[')) inEntry = line == QStringLiteral("[Desktop Entry]");
    int eq = line.indexOf('=');
    if (inEntry && eq > 0) keys[line.left(eq)] = line.mid(eq + 1);
  }
  return keys;
}

}  // namespace

TEST(DesktopEntryTest, StartsTheDialogProgramWithItsIcon) {
  std::map<QString, QString> entry = DesktopEntry();
  EXPECT_EQ(entry[QStringLiteral("Type")], QStringLiteral("Application"));
  EXPECT_EQ(entry[QStringLiteral("Exec")].split(' ').first(), QStringLiteral(ORVALO_PROGRAMMER_NAME));
  // The icon name is looked up in the theme: the file name without .png.
  QString icon = entry[QStringLiteral("Icon")];
  ASSERT_FALSE(icon.isEmpty());
  EXPECT_TRUE(QFile::exists(QStringLiteral(ORVALO_ICON_DIR "/48x48/apps/") + icon + QStringLiteral(".png")));
}

// "Open with" offers the program for .hex and .ihx files once the package's
// MIME type is installed in a data folder, as a file manager looks them up,
// and the file chosen reaches it as its argument.
TEST(DesktopEntryTest, IsOfferedForIntelHexFilesAndTakesTheFile) {
  QString data = QDir::tempPath() + QStringLiteral("/orvalo-mime-%1").arg(QCoreApplication::applicationPid());
  ASSERT_TRUE(QDir().mkpath(data + QStringLiteral("/mime/packages")));
  QFile::remove(data + QStringLiteral("/mime/packages/orvalo-programmer.xml"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(ORVALO_MIME_FILE), data + QStringLiteral("/mime/packages/orvalo-programmer.xml")));
  // Before the first look-up, which reads the folders once.
  qputenv("XDG_DATA_DIRS", (data + QStringLiteral(":/usr/share")).toLocal8Bit());
  QMimeDatabase mime;
  std::map<QString, QString> entry = DesktopEntry();
  QStringList offered = entry[QStringLiteral("MimeType")].split(';', Qt::SkipEmptyParts);
  for (const char* name : {"firmware.hex", "board.IHX"}) {
    QMimeType type = mime.mimeTypeForFile(QLatin1String(name), QMimeDatabase::MatchExtension);
    EXPECT_TRUE(offered.contains(type.name())) << name << " is " << type.name().toStdString();
    EXPECT_TRUE(type.inherits(QStringLiteral("text/plain"))) << name;
  }
  EXPECT_EQ(entry[QStringLiteral("Exec")].split(' ').mid(1), QStringList{QStringLiteral("%f")});
  QDir(data).removeRecursively();
}

// Compared with the Windows picture at the middle of each of its pixels, the
// smooth drawing keeps the picture: only the pointer's and the right-hand
// pins' stair-steps differ.
TEST(DesktopEntryTest, IconsAreTheWindowsIconAtEverySize) {
  QImage wanted = QImage(QStringLiteral(ORVALO_WINDOWS_ICON)).convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(wanted.size(), QSize(32, 32));

  QStringList sizes = QDir(QStringLiteral(ORVALO_ICON_DIR)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const char* needed : {"16x16", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256", "scalable"})
    EXPECT_TRUE(sizes.contains(QLatin1String(needed))) << needed << ": " << sizes.join(' ').toStdString();
  QFile svg(QStringLiteral(ORVALO_ICON_DIR "/scalable/apps/orvalo-programmer.svg"));
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  EXPECT_TRUE(svg.readAll().contains("viewBox=\"0 0 32 32\""));
  sizes.removeAll(QStringLiteral("scalable"));
  for (const QString& name : sizes) {
    SCOPED_TRACE(name.toStdString());
    int n = name.section('x', 0, 0).toInt();
    ASSERT_EQ(name, QStringLiteral("%1x%1").arg(n));
    QImage png = QImage(QStringLiteral(ORVALO_ICON_DIR "/") + name + QStringLiteral("/apps/orvalo-programmer.png"))
                     .convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(png.size(), QSize(n, n));
    // The corners are transparent in the picture and must stay so.
    EXPECT_EQ(qAlpha(png.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(png.pixel(n - 1, n - 1)), 0);
    if (n < 32) continue;  // smaller sizes blend neighbouring pixels
    int differing = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        QRgb drawn = png.pixel((2 * x + 1) * n / 64, (2 * y + 1) * n / 64), windows = wanted.pixel(x, y);
        bool same = qAlpha(windows) == 0 ? qAlpha(drawn) < 64
                                          : qAlpha(drawn) > 192 && std::abs(qRed(drawn) - qRed(windows)) < 64 &&
                                                std::abs(qGreen(drawn) - qGreen(windows)) < 64 &&
                                                std::abs(qBlue(drawn) - qBlue(windows)) < 64;
        if (!same) ++differing;
      }
    EXPECT_LE(differing, 32 * 32 / 20);
  }
}

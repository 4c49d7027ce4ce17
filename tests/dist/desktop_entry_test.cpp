// The desktop entry starts the installed dialog program with the file it is
// handed, is offered for Intel-HEX files, and shows the icon the build draws
// in the Windows program's design, at every size, without losing its picture
// or its transparency.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMimeDatabase>
#include <QCoreApplication>
#include <QStringList>

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
  ASSERT_TRUE(QFile::copy(QStringLiteral(ORVALO_MIME_FILE), data + QStringLiteral("/mime/packages/orvalo-programmer.xml")));
  // Before the first look-up, which reads the folders once.
  qputenv("XDG_DATA_DIRS", (data + QStringLiteral(":/usr/share")).toLocal8Bit());
  QMimeDatabase mime;
  std::map<QString, QString> entry = DesktopEntry();
  for (const char* name : {"firmware.hex", "board.IHX"}) {
    QMimeType type = mime.mimeTypeForFile(QLatin1String(name), QMimeDatabase::MatchExtension);
    EXPECT_TRUE(entry[QStringLiteral("MimeType")].split(';').contains(type.name()) && type.inherits(QStringLiteral("text/plain")))
        << name << " is " << type.name().toStdString();
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
        QRgb d = png.pixel((2 * x + 1) * n / 64, (2 * y + 1) * n / 64), w = wanted.pixel(x, y);
        int apart = std::abs(qRed(d) - qRed(w)) + std::abs(qGreen(d) - qGreen(w)) + std::abs(qBlue(d) - qBlue(w));
        differing += qAlpha(w) == 0 ? qAlpha(d) > 64 : qAlpha(d) < 192 || apart > 96;
      }
    EXPECT_LE(differing, 32 * 32 / 20);
  }
}

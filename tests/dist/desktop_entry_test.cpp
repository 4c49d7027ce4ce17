// The desktop entry starts the installed dialog program and shows the icon the
// build draws from the Windows program's icon, at every size, without losing
// its picture or its transparency.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QStringList>

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

TEST(DesktopEntryTest, IconsAreTheWindowsIconAtEverySize) {
  QImage windows = QImage(QStringLiteral(ORVALO_WINDOWS_ICON)).convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(windows.size(), QSize(32, 32));

  QStringList sizes = QDir(QStringLiteral(ORVALO_ICON_DIR)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  // 48x48 is the size every icon theme must have.
  EXPECT_TRUE(sizes.contains(QStringLiteral("48x48"))) << sizes.join(' ').toStdString();
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
    if (n < 32) continue;  // smaller sizes are averaged
    int differing = 0;
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x)
        if (png.pixel(x, y) != windows.pixel(x * 32 / n, y * 32 / n)) ++differing;
    EXPECT_EQ(differing, 0);
  }
}

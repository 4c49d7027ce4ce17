// Helpers for the dialog tests: a fixture with the simulated device, the sample
// firmware on the command line and clean process-wide state; waiting while the
// GUI thread keeps serving the cycle; and reading colours as painted.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <ostream>

class QWidget;

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Installs the simulated device (virtual time) and names the firmware file.
  void UseDevice(const std::string& simConfig);
  void UseFirmwarePath(const std::string& path);
};

// A private copy of the sample image: the program holds its firmware file
// exclusively, so tests running side by side cannot share one.
std::string SampleFirmwarePath();

// Processes events until done() or ms have passed; the result of done().
bool WaitUntil(const std::function<bool()>& done, int ms = 20000);

// Shows the window and waits until it is exposed and active (shortcuts such
// as Alt+S only reach the active window).
bool ShowActive(QWidget* window);

// What a widget paints, rendered now through its paintEvent.
QImage Painted(QWidget* widget);
// Text is antialiased against the grey background, so a glyph's pixels are
// blends of its ink and the background: a pixel counts as ink of a colour when
// it is at least about half covered by it.
enum class Ink { kRed, kBlack, kBlue };
bool IsInk(QRgb pixel, Ink ink);
int CountInk(const QImage& image, const QRect& area, Ink ink);
// The longest run of ink pixels in one row of area.
int LongestInkRun(const QImage& image, const QRect& area, Ink ink);

inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

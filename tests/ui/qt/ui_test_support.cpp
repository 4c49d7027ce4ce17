#include "ui_test_support.h"

#include <algorithm>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QWidget>

#include "cycle/programming_cycle.h"
#include "state/shared_state.h"
#include "platform/file.h"
#include "sim/sim.h"
#include "support/test_support.h"
#include "ui/qt/web_link.h"

void DialogTest::SetUp() {
  ResetGlobals();
  UseIsolatedSettings("ui");
  UseFirmwarePath(SampleFirmwarePath());
}

void DialogTest::TearDown() {
  // Cycles end on their own; serve their calls until then.
  WaitUntil([] { return g_cycleBusy.load() == 0; });
  ResetGlobals();
  sim::Uninstall();
  ReplaceWebOpener(nullptr);
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

void DialogTest::UseDevice(const std::string& simConfig) { InstallSim(simConfig); }

void DialogTest::UseFirmwarePath(const std::string& path) {
  std::string arg = path;
  char program[] = "orvalo-programmer";
  char* argv[] = {program, arg.data(), nullptr};
  plat::SetCommandLineArguments(2, argv);
}

std::string SampleFirmwarePath() {
  std::string copy = TempDir("firmware") + "/firmware.hex";
  QFile::copy(QStringLiteral(ORVALO_SAMPLES_DIR "/firmware.hex"), QString::fromStdString(copy));
  return copy;
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

bool ShowActive(QWidget* window) {
  window->show();
  if (!QTest::qWaitForWindowExposed(window)) return false;
  window->activateWindow();
  return QTest::qWaitForWindowActive(window);
}

QImage Painted(QWidget* widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

bool IsInk(QRgb pixel, Ink ink) {
  int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
  switch (ink) {
    case Ink::kRed:
      return r - std::max(g, b) > 100;
    case Ink::kBlue:
      return b - std::max(r, g) > 100;
    case Ink::kBlack:
      return std::max({r, g, b}) < 110 && std::max({r, g, b}) - std::min({r, g, b}) < 25;
  }
  return false;
}

int CountInk(const QImage& image, const QRect& area, Ink ink) {
  QRect r = area.intersected(image.rect());
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += IsInk(image.pixel(x, y), ink) ? 1 : 0;
  return n;
}

int LongestInkRun(const QImage& image, const QRect& area, Ink ink) {
  QRect r = area.intersected(image.rect());
  int best = 0;
  for (int y = r.top(); y <= r.bottom(); ++y) {
    int run = 0;
    for (int x = r.left(); x <= r.right(); ++x) {
      run = IsInk(image.pixel(x, y), ink) ? run + 1 : 0;
      best = std::max(best, run);
    }
  }
  return best;
}

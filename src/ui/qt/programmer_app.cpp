#include "ui/qt/programmer_app.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>

#include "app/program_name.h"
#include "app/program_title.h"
#include "app/settings_store.h"
#include "orvalo_version.h"
#include "platform/file.h"
#include "ui/qt/programmer_dialog.h"
#include "ui/qt/single_instance.h"
#include "orvalo_product.h"

namespace {
int g_waitCursorCount = 0;
}  // namespace

ProgrammerApp::ProgrammerApp() {
  SetProfileName(ApplicationKey(plat::ProgramPath()).c_str());
  QCoreApplication::setApplicationVersion(QStringLiteral(ORVALO_VERSION));
  // Lets the desktop match the window with the installed desktop entry and
  // its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(ORVALO_DIALOG_NAME));
}

bool ProgrammerApp::InitInstance() {
  ProgrammerDialog* shown = nullptr;
  SingleInstance instance(QString::fromLatin1(kProgrammerTitle));
  // A minimised window is left minimised, as the single-instance rule asks.
  if (instance.Claim([&shown] {
        if (!shown) return;
        shown->raise();
        shown->activateWindow();
      }))
    return false;

  ProgrammerDialog dialog;
  shown = &dialog;
  dialog.exec();
  shown = nullptr;
  return false;
}

void ProgrammerApp::DoWaitCursor(int delta) {
  int before = g_waitCursorCount;
  g_waitCursorCount += delta;
  if (g_waitCursorCount <= 0) {
    g_waitCursorCount = 0;
    if (before > 0) QApplication::restoreOverrideCursor();
  } else if (before <= 0) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
}

int ProgrammerApp::WaitCursorCount() { return g_waitCursorCount; }

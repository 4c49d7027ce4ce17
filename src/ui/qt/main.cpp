// orvalo-programmer: the dialog program.
#include <QApplication>

#include "platform/file.h"
#include "sim/sim.h"
#include "ui/qt/programmer_app.h"

int main(int argc, char** argv) {
  sim::InstallFromEnvironment();  // exits 2 on a bad ORVALO_SIM
  QApplication qt(argc, argv);
  // After Qt has taken its own options out, the rest names the firmware file.
  plat::SetCommandLineArguments(argc, argv);
  ProgrammerApp app;
  app.InitInstance();
  sim::Uninstall();
  return 0;
}

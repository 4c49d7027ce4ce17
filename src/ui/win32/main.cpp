// orvalo-programmer: the operators' dialog program.
#include "sim/sim.h"
#include "ui/win32/programmer_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  sim::InstallFromEnvironment();  // exits 2 on a bad ORVALO_SIM
  ProgrammerApp app;
  app.InitInstance();
  sim::Uninstall();
  return 0;
}

// orvalo-programmer: the operators' dialog program.
#include <cstdio>
#include <string>

#include "app/console_request.h"
#include "platform/console_output.h"
#include "platform/file.h"
#include "sim/sim.h"
#include "ui/win32/programmer_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  plat::OpenStandardStreams();
  ConsoleRequest request = ConsoleRequestOf(plat::CommandLineArgumentText());
  if (request != ConsoleRequest::kNone) {
    plat::UseStartingConsole();
    std::fputs(ConsoleAnswer(request).c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  // A bad ORVALO_SIM ends the program before its dialog; an operator who
  // started it from the desktop sees no standard error, so a box shows it too.
  std::string simError;
  if (sim::InstallFromEnvironment(&simError) == sim::kSimBadConfig) {
    std::fprintf(stderr, "%s\n", simError.c_str());
    MessageBoxA(nullptr, simError.c_str(), "ORVALO_SIM", MB_OK | MB_ICONERROR);
    return 2;
  }
  ProgrammerApp app;
  app.InitInstance();
  sim::Uninstall();
  return 0;
}

// orvalo-programmer: the dialog program.
#include <QApplication>

#include <cstdio>

#include "app/console_request.h"
#include "platform/file.h"
#include "sim/sim.h"
#include "ui/qt/programmer_app.h"
#include "ui/qt/startup_error.h"

int main(int argc, char** argv) {
  // Before anything is opened: a file must never become standard output or
  // error and receive Qt's warnings.
  plat::OpenStandardStreams();
  // Answered before Qt starts, so that no display is needed for them.
  ConsoleRequest request = argc == 2 ? ConsoleRequestOf(argv[1]) : ConsoleRequest::kNone;
  if (request != ConsoleRequest::kNone) {
    std::fputs(ConsoleAnswer(request).c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  std::string simError;
  int simulator = sim::InstallFromEnvironment(&simError);
  QApplication qt(argc, argv);
  if (simulator == sim::kSimBadConfig) {
    ShowStartupError(simError);
    return 2;
  }
  // After Qt has taken its own options out, the rest names the firmware file.
  plat::SetCommandLineArguments(argc, argv);
  ProgrammerApp app;
  app.InitInstance();
  sim::Uninstall();
  return 0;
}

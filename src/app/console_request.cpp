#include "app/console_request.h"

#include "app/program_title.h"
#include "orvalo_version.h"
#include "orvalo_product.h"

ConsoleRequest ConsoleRequestOf(const std::string& commandText) {
  if (commandText == "--help" || commandText == "-h") return ConsoleRequest::kHelp;
  if (commandText == "--version" || commandText == "-V") return ConsoleRequest::kVersion;
  return ConsoleRequest::kNone;
}

std::string ConsoleAnswer(ConsoleRequest request) {
  switch (request) {
    case ConsoleRequest::kVersion:
      return std::string(ORVALO_DIALOG_NAME " ") + ORVALO_VERSION + "\n";
    case ConsoleRequest::kHelp:
      return std::string(
                 "Usage: " ORVALO_DIALOG_NAME " [FIRMWARE]\n"
                 "       " ORVALO_DIALOG_NAME " --help | --version\n"
                 "\n"
                 "Opens the window \"") +
             kProgrammerTitle +
             "\": tick Verify and press Start to program\n"
             "the device found on COM1 or COM2 with the Intel-HEX image FIRMWARE, the whole\n"
             "text after the program's name (default: firmware.hex beside the program on\n"
             "Windows; on Linux the first of $XDG_DATA_HOME/" ORVALO_DIALOG_NAME ", each\n"
             "$XDG_DATA_DIRS/" ORVALO_DIALOG_NAME " and the program's folder). A named file that\n"
             "cannot be used is never replaced by another: Start stays disabled, and\n"
             "Start's tooltip names the file tried. For scripts and production lines, see\n"
             ORVALO_RUNNER_NAME ".\n"
             "\n"
             "  --version, -V  print the version and exit\n"
             "  --help, -h     this text\n";
    case ConsoleRequest::kNone:
      break;
  }
  return std::string();
}

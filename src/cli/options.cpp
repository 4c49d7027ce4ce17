#include "cli/options.h"

#include <cstring>

namespace {

struct Flag {
  const char* name;
  bool CliOptions::*member;
};

const Flag kFlags[] = {
    {"--help", &CliOptions::help},
    {"-h", &CliOptions::help},
    {"--version", &CliOptions::version},
    {"--verify", &CliOptions::verify},
    {"--strict-serial", &CliOptions::strictSerial},
};

}  // namespace

bool ParseOptions(int argc, char** argv, CliOptions* options, LineOptions* line, std::string* error) {
  *options = CliOptions();
  *line = LineOptions();
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!optionsEnded && std::strcmp(arg, "--") == 0) {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
      bool known = false;
      for (const Flag& f : kFlags) {
        if (std::strcmp(arg, f.name) == 0) {
          options->*f.member = true;
          known = true;
        }
      }
      if (!known) {
        int taken = TakeLineOption(argc, argv, &i, line, error);
        if (taken < 0) return false;
        if (taken == 0) {
          *error = std::string("unknown option ") + arg;
          return false;
        }
      }
      continue;
    }
    if (options->firmwareGiven) {
      *error = "only one FIRMWARE file";
      return false;
    }
    options->firmwareGiven = true;
    options->firmware = arg;
  }
  bool cycleOptions = options->verify || options->strictSerial || options->firmwareGiven || line->fast || line->lineOperations ||
                      !line->journal.empty() || !line->station.empty();
  if (!line->journalReport.empty() && cycleOptions) {
    *error = "--journal-report runs no cycle and takes no other option or FIRMWARE";
    return false;
  }
  return true;
}

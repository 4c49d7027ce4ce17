// The headless runner's command line: options first, then at most one
// FIRMWARE; "--" ends the options, so a file whose name starts with '-' can
// be given. An option that takes a value takes it as the next word or after
// '=' (--journal=FILE). New options are rows of the table in options.cpp.
#pragma once

#include <string>
#include <vector>

#include "cli/line_options.h"

struct CliOptions {
  bool help = false;
  bool version = false;
  bool verify = false;
  bool strictSerial = false;  // exit 3 when the serial number did not come from the device
  bool verbose = false;       // -v: more on standard error
  bool quiet = false;         // -q: less on standard error
  // --port, in probe order, as the platform spells them; empty: COM1, COM2.
  std::vector<std::string> ports;
  bool firmwareGiven = false;
  std::string firmware;
};

// false on bad usage, with the reason in error (one line, naming the word at
// fault). The production-line options (line_options.h) go to line.
bool ParseOptions(int argc, char** argv, CliOptions* options, LineOptions* line, std::string* error);

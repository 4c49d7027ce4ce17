#include "cli/options.h"

#include <cstring>

#include "platform/port_name.h"

namespace {

struct Flag {
  const char* name;
  bool CliOptions::*member;
};

const Flag kFlags[] = {
    {"--help", &CliOptions::help},
    {"-h", &CliOptions::help},
    {"--version", &CliOptions::version},
    {"-V", &CliOptions::version},
    {"-v", &CliOptions::verbose},
    {"-q", &CliOptions::quiet},
    {"--verify", &CliOptions::verify},
    {"--strict-serial", &CliOptions::strictSerial},
};

// --port NAME, repeatable: each name once, in a form this platform opens.
bool TakePort(const std::string& value, CliOptions* options, std::string* error) {
  std::string name;
  if (!plat::CanonicalPortName(value, &name)) {
    *error = "--port takes " + std::string(plat::kPortNameForms) + ", not \"" + value + "\"";
    return false;
  }
  for (const std::string& p : options->ports)
    if (p == name) {
      *error = "--port " + name + " given twice";
      return false;
    }
  options->ports.push_back(name);
  return true;
}

// "--name=value" as the two words "--name" "value"; anything else as it is.
struct Word {
  std::string name;
  bool hasValue = false;
  std::string value;
};
Word Split(const char* arg) {
  Word w;
  w.name = arg;
  size_t eq = w.name.find('=');
  if (w.name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
    w.value = w.name.substr(eq + 1);
    w.name.erase(eq);
    w.hasValue = true;
  }
  return w;
}

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
      Word w = Split(arg);
      bool known = false;
      for (const Flag& f : kFlags) {
        if (w.name == f.name) {
          options->*f.member = true;
          known = true;
        }
      }
      if (known && w.hasValue) {
        *error = w.name + " takes no value";
        return false;
      }
      if (known) continue;
      if (w.name == "--port") {
        // As with every value: an option word after it is a forgotten value.
        const char* value = w.hasValue ? w.value.c_str() : i + 1 < argc ? argv[i + 1] : "";
        if (!w.hasValue && (i + 1 >= argc || value[0] == '-')) {
          *error = "--port needs a value";
          return false;
        }
        if (!w.hasValue) ++i;
        if (!TakePort(value, options, error)) return false;
        continue;
      }
      int taken;
      if (w.hasValue) {
        char* pair[] = {&w.name[0], &w.value[0]};
        int at = 0;
        taken = TakeLineOption(2, pair, &at, line, error);
        if (taken > 0 && at == 0) {
          *error = w.name + " takes no value";
          return false;
        }
      } else {
        taken = TakeLineOption(argc, argv, &i, line, error);
      }
      if (taken < 0) return false;
      if (taken == 0) {
        *error = std::string("unknown option ") + (w.hasValue ? w.name : std::string(arg));
        return false;
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
  if (options->verbose && options->quiet) {
    *error = "-v and -q exclude each other";
    return false;
  }
  bool cycleOptions = options->verify || options->strictSerial || options->firmwareGiven || line->fast || line->lineOperations ||
                      !line->journal.empty() || !line->station.empty() || !options->ports.empty();
  if (!line->journalReport.empty() && cycleOptions) {
    *error = "--journal-report runs no cycle and takes no other option or FIRMWARE";
    return false;
  }
  return true;
}

#include "cli/line_options.h"

#include <cstring>

#include "cli/station.h"
#include "orvalo_product.h"

const char kLineOptionsUsage[] =
    "Production lines:\n"
    "  --fast                find the end of each byte write by reading the byte\n"
    "                        back (at most 9 ms) instead of a fixed 6 ms pause, and\n"
    "                        read without pauses; a byte 0x7F waits 9 ms\n"
    "  --line-operations     drive the lines one operation at a time even when the\n"
    "                        port's USB adapter is a chip that can clock them (FTDI\n"
    "                        FT232R, FT231X); also settings: Device, Clocked Lines=0\n"
    "  --station NAME        this runner's own stored serial number (settings:\n"
    "                        " ORVALO_COMPANY "/" ORVALO_DIALOG_NAME "-NAME.INI), for one runner\n"
    "                        per cable; NAME is 1-32 of A-Z a-z 0-9 _ -; held by\n"
    "                        one process at a time (others exit 2)\n"
    "  --journal FILE        append one JSON line per run to FILE (flushed to disk);\n"
    "                        a completed cycle whose serial number did not come\n"
    "                        from the device, and that an earlier completed cycle\n"
    "                        in FILE already wrote, exits 4; FILE must be a\n"
    "                        regular file, locked around the check and the append\n"
    "  --journal-report FILE print a summary of FILE and exit (no other option)\n";

int TakeLineOption(int argc, char** argv, int* i, LineOptions* o, std::string* why) {
  const char* arg = argv[*i];
  if (std::strcmp(arg, "--fast") == 0) {
    o->fast = true;
    return 1;
  }
  if (std::strcmp(arg, "--line-operations") == 0) {
    o->lineOperations = true;
    return 1;
  }
  std::string* value = nullptr;
  if (std::strcmp(arg, "--journal") == 0) value = &o->journal;
  if (std::strcmp(arg, "--journal-report") == 0) value = &o->journalReport;
  if (std::strcmp(arg, "--station") == 0) value = &o->station;
  if (!value) return 0;
  // An option word after it is a forgotten value, not a file or a name.
  if (*i + 1 >= argc || argv[*i + 1][0] == '\0' || argv[*i + 1][0] == '-') {
    *why = std::string(arg) + " needs a value";
    if (*i + 1 < argc && argv[*i + 1][0] == '-') *why += std::string(", not the option word ") + argv[*i + 1];
    return -1;
  }
  if (!value->empty()) {
    *why = std::string(arg) + " given twice";
    return -1;
  }
  *value = argv[++*i];
  if (value == &o->station && !IsValidStationName(*value)) {
    *why = "--station takes 1 to 32 characters from A-Z a-z 0-9 _ -";
    return -1;
  }
  return 1;
}

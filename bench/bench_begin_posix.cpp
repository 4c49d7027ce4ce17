// How a benchmark keeps its settings apart on POSIX: a folder of its own
// under TMPDIR as the settings home.
#include <cstdlib>
#include <string>

#include "app/process_setup.h"
#include "app/settings_store.h"
#include "bench_cycle.h"

bool BeginBench(const char* folder) {
  std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/" + folder;
  std::string mk = "mkdir -p '" + dir + "'";
  if (std::system(mk.c_str()) != 0) return false;
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  SetProfileName("orvalo-programmer.INI");
  BeginProgrammerProcess();
  return true;
}

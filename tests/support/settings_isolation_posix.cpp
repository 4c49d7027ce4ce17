#include <cstdlib>

#include "support/test_support.h"

// The store lives under $XDG_CONFIG_HOME.
void IsolateSettingsStore(const std::string& dir) { setenv("XDG_CONFIG_HOME", dir.c_str(), 1); }

bool BlockSettingsStore(const std::string& dir) {
  WriteFile(dir + "/Kestrune", "in the way");
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  return true;
}

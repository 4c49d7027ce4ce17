// Memory over 1,000 verified cycles of a tiny image on the simulated device
// (virtual clock), in one process as a dialog left running would do them:
// prints what the simulator holds (its own accounting) and the process's
// resident size after the 20th and the last cycle, and the growth between.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/process_setup.h"
#include "app/settings_store.h"
#include "cycle/programming_cycle.h"
#include "image/firmware_file.h"
#include "platform/file.h"
#include "platform/memory_file.h"
#include "sim/sim.h"
#include "support/silent_dialog.h"

namespace {

class QuietDialog : public SilentDialog {
 public:
  QuietDialog() { verify = true; }
  void SetStatusText(const char* text) override { last = text; }
  std::string last;
};

// Resident size in KiB from /proc (Linux), or -1 where there is none.
long ResidentKiB() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
  std::fclose(f);
  return kib;
}

}  // namespace

int main() {
  std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/orvalo-bench-memory";
  std::string mk = "mkdir -p '" + dir + "'";
  if (std::system(mk.c_str()) != 0) return 1;
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  std::string err = sim::Install("time=virtual,serial=BENCH00000000000000001,flash=" + dir + "/device.bin");
  if (!err.empty()) {
    std::fprintf(stderr, "%s\n", err.c_str());
    return 1;
  }
  SetProfileName("orvalo-programmer.INI");
  BeginProgrammerProcess();
  const char kImage[] = ":040000000C942A0004\r\n:00000001FF\r\n";
  const int kCycles = 1000;
  size_t held20 = 0;
  long rss20 = 0;
  for (int cycle = 1; cycle <= kCycles; ++cycle) {
    g_recordCount = 1;
    g_hFirmware.reset(new plat::MemoryFile(std::vector<uint8_t>(kImage, kImage + std::strlen(kImage))));
    QuietDialog dialog;
    OnStart(&dialog);
    JoinCycleThread();
    if (dialog.last != "Programming Completed Successfully.") {
      std::fprintf(stderr, "cycle %d ended with \"%s\"\n", cycle, dialog.last.c_str());
      return 1;
    }
    if (cycle == 20) {
      held20 = sim::TheDevice()->HeldBytes();
      rss20 = ResidentKiB();
    }
  }
  size_t held = sim::TheDevice()->HeldBytes();
  long rss = ResidentKiB();
  std::printf("cycles:                     %d verified cycles of a 4-byte image\n", kCycles);
  std::printf("simulator holds after 20:   %zu bytes\n", held20);
  std::printf("simulator holds after %d: %zu bytes (growth %ld bytes)\n", kCycles, held, long(held) - long(held20));
  if (rss20 >= 0 && rss >= 0)
    std::printf("resident after 20 / %d:   %ld KiB / %ld KiB (growth %ld KiB)\n", kCycles, rss20, rss, rss - rss20);
  else
    std::printf("resident size:              not available here\n");
  EndProgrammerProcess();
  sim::Uninstall();
  return 0;
}

// The Linux chip backend's own path: a full 8 KiB image with Verify through
// the real libftdi1, whose libusb is the tests' stand-in with an emulated
// FT232R or FT231X and the simulated device on its cable, every USB call a
// modelled 1 ms round trip on the virtual clock (once for a write and a read
// in flight together). Beside bench_usb_adapters' figures for the simulated
// chip, it shows what the backend's transfers and mode changes add.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_cycle.h"
#include "platform/clock.h"
#include "support/chip_on_usb.h"

int main() {
  if (!BeginBench("orvalo-bench-libftdi")) return 1;
  std::string root = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/orvalo-bench-libftdi/sysfs";
  setenv("ORVALO_SYSFS_ROOT", root.c_str(), 1);
  setenv("ORVALO_COM1", "/nonexistent/ttyUSB3", 1);
  setenv("ORVALO_COM2", "/nonexistent/orvalo-com2", 1);
  plat::UseVirtualClock(true);
  const std::string image = BenchImage(0x1FE8);
  bool ok = true;
  std::printf("8 KiB image with Verify through libftdi1 and an emulated chip, 1 ms a USB call\n");
  for (ChipModel model : {ChipModel::kFt232r, ChipModel::kFt231x}) {
    std::string fresh = "rm -rf '" + root + "' && mkdir -p '" + root + "'";
    if (std::system(fresh.c_str()) != 0) return 1;
    ChipOnUsb usb(model, "serial=BENCH00000000000000001", root, "ttyUSB3");
    for (bool fast : {false, true}) {
      int64_t t0 = plat::NowUs();
      long calls = long(usb.chip().UsbCalls());
      std::string final = RunBenchCycle(fast, image);
      ok = ok && final == "Programming Completed Successfully.";
      std::printf("%-7s %-8s %8.1f s  %7ld USB calls  %s\n", model == ChipModel::kFt232r ? "FT232R" : "FT231X",
                  fast ? "--fast" : "default", double(plat::NowUs() - t0) / 1e6, long(usb.chip().UsbCalls()) - calls,
                  final.c_str());
    }
  }
  return ok ? 0 : 1;
}

// Soak: many consecutive cycles on one simulated device at one station, each
// under a random fault (or none), checking after every cycle what the fault
// sweep checks. Not part of the default test run; see the README.
//   fault_soak [--gtest_...]   SOAK_CYCLES (default 200), SOAK_SEED (default 1)
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <random>

#include "fault/station.h"

namespace {

std::vector<uint8_t> Image() {
  std::vector<uint8_t> image(1024);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 13 + (i >> 7));
  return image;
}

long EnvNumber(const char* name, long fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::strtol(v, nullptr, 10) : fallback;
}

std::string Hex4(int a) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", a);
  return buf;
}

// The final text without its address, for counting.
std::string Kind(const std::string& text) {
  size_t at = text.find(" at 0x");
  return at == std::string::npos ? text : text.substr(0, at) + " at 0x....";
}

bool IsWriteLockBits(const sim::Frame& f) { return f.bytes[0] == 0xAC && (f.bytes[1] & 0xE0) == 0xE0; }

TEST(Soak, ConsecutiveCyclesWithRandomFaults) {
  const long cycles = EnvNumber("SOAK_CYCLES", 200);
  std::mt19937 rng(unsigned(EnvNumber("SOAK_SEED", 1)));
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

  std::vector<uint8_t> image = Image();
  fault::Station station(TempDir("soak"), image);
  station.NewDevice(kSerial);
  fault::Outcome clean = station.Cycle("", true);
  ASSERT_TRUE(clean.success) << clean.finalText;
  const int frames = int(clean.frames.size());
  const long hexSize = long(MakeHex(image).size());

  std::map<std::string, int> finals, faultsUsed;
  int known = 0, unknown = 0;
  for (long n = 0; n < cycles; ++n) {
    std::string faults, kind;
    bool verify = pick(0, 3) != 0;
    switch (pick(0, 13)) {
      case 0: kind = "none"; break;
      case 1: case 2: kind = "vanish"; faults = "vanish=" + std::to_string(pick(1, frames)); break;
      case 3: kind = "failwrite"; faults = "failwrite=" + Hex4(pick(0, 4) ? pick(0, int(image.size()) - 1) : pick(0x1FE8, 0x1FFF)); break;
      case 4: kind = "badread"; faults = "badread=" + Hex4(pick(0, 4) ? pick(0, int(image.size()) - 1) : pick(0x1FE8, 0x1FFF)); break;
      case 5: kind = "vanishreport"; faults = "vanishreport"; break;
      case 6: kind = "silent"; faults = "silent"; break;
      case 7: kind = "report shaped"; faults = pick(0, 1) ? "request,noise=55AA10" : "truncate=" + std::to_string(pick(0, 25)); break;
      case 8: kind = "slip"; faults = "slip=" + std::to_string(pick(1, 31)); break;
      case 9: kind = "refuse"; faults = "refuse=COM1"; break;
      case 10: kind = "nodevice"; faults = "nodevice"; break;
      case 11: kind = "settings unwritable"; station.SetSettingsWritable(false); break;
      case 12: kind = "firmware unreadable"; station.SetFirmwareFailsAfter(pick(1, int(2 * hexSize))); break;
      default: kind = "device on COM2"; faults = "port=COM2"; break;
    }
    ++faultsUsed[kind];
    fault::Outcome o = station.Cycle(faults, verify);
    station.SetSettingsWritable(true);
    station.SetFirmwareFailsAfter(-1);
    ++finals[Kind(o.finalText)];

    // The losses the design itself allows; everything else is a fault.
    std::vector<std::string> unexplained;
    bool lostSerial = false;
    for (const std::string& b : o.breaches) {
      if (b == "success unlocked" && kind == "vanish" && !o.frames.empty() && !IsWriteLockBits(o.frames.back())) continue;
      if (b.rfind("serial number replaced", 0) == 0 && o.exchangeFailed) {
        lostSerial = true;
        continue;
      }
      unexplained.push_back(b);
    }
    if (!o.breaches.empty() && unexplained.empty()) {
      ++known;
      for (const std::string& b : o.breaches)
        std::cout << "cycle " << n << " (" << kind << (faults.empty() ? "" : ": " + faults) << "): " << b
                  << " (as the design allows)\n";
    }
    if (!unexplained.empty()) {
      ++unknown;
      for (const std::string& b : unexplained) ADD_FAILURE() << "cycle " << n << " (" << faults << "): " << b;
    }
    if (lostSerial) station.RestoreSerial();
  }
  fault::Outcome last = station.Cycle("", true);
  EXPECT_TRUE(last.success) << last.finalText;
  EXPECT_EQ(last.breaches, std::vector<std::string>());
  EXPECT_EQ(station.DeviceSerial(), kSerial);

  std::cout << cycles << " cycles on one device (" << frames << " frames in a clean verified cycle)\n";
  std::cout << "faults:\n";
  for (const auto& [what, count] : faultsUsed) std::cout << "  " << count << " x " << what << "\n";
  std::cout << "final texts:\n";
  for (const auto& [text, count] : finals) std::cout << "  " << count << " x " << text << "\n";
  std::cout << "invariants held in " << cycles - known - unknown << " cycles; " << known
            << " broken only as the design allows (documented); " << unknown << " unexplained\n";
}

}  // namespace

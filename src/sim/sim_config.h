// ORVALO_SIM: a comma-separated list of `key=value` or `key` items choosing
// the simulated device and cable. Parsing is pure; an unknown key or a bad
// value yields an error text naming the item.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Config {
  std::string port = "COM1";        // where the cable is
  bool absent[3] = {false, false, false};  // COM1/COM2 have no port at all
  bool noDevice = false;            // ports exist, nothing answers
  std::string flashPath;            // raw 8192-byte flash image kept between runs
  bool virtualTime = false;
  int slip = 0;                     // clock pulses ignored after every reset
  std::vector<int> failWrite;       // byte addresses whose writes answer wrongly
  std::vector<int> badRead;         // byte addresses whose reads return a wrong value
  long vanish = -1;                 // frames taken in before the device is gone
  // A flash write keeps the part busy for a time drawn per write, uniformly
  // from [busyMinUs, busyMaxUs], by a generator seeded with seed.
  int64_t busyMinUs = 4000, busyMaxUs = 4000;
  uint32_t seed = 1;
  bool refuse[3] = {false, false, false};  // that port refuses its settings once
  uint8_t lockRead = 0x00;          // what reads return once the chip is locked
  // Running firmware and its serial-number report.
  bool hasSerial = false;
  std::string serial;               // the record the device arrives with
  bool silent = false;              // the firmware never reports
  bool request = false;             // a 0x10 0x7F request before the frame
  int frameLength = -1;             // L to send instead of the record's
  int truncate = -1;                // send only this many bytes of the frame
  std::vector<uint8_t> noise;       // bytes sent before the frame
  bool vanishAtReport = false;      // gone when it should send its frame
};

// Parses text into *config (which keeps its defaults for absent keys).
// Returns "" or an error text such as `ORVALO_SIM: bad value in "slip=9" (0 to 7)`.
std::string ParseConfig(const std::string& text, Config* config);

}  // namespace sim

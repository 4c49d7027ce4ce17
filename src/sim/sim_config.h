// ORVALO_SIM: a comma-separated list of `key=value` or `key` items choosing
// the simulated device and cable. Parsing is pure; an unknown key, a bad
// value, a repeated item that may not repeat, an explicit port that is also
// absent, or a text with no item at all yields an error text naming the item
// (or ORVALO_SIM itself).
//
// Nothing is trimmed or skipped: a value is exactly the text between `=` and
// the next comma, so a blank or tab in a key, a number, a port name or a hex
// value is an error, and the texts of `flash=` and `serial=` keep theirs.
// Empty items (",,") are ignored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "part/target_part.h"

namespace sim {

struct Config {
  std::string port = "COM1";        // where the cable is
  bool portGiven = false;           // `port` was named explicitly
  bool absent[3] = {false, false, false};  // COM1/COM2 have no port at all
  bool noDevice = false;            // ports exist, nothing answers
  std::string flashPath;            // raw 8192-byte flash image kept between runs
  bool virtualTime = false;
  int slip = 0;                     // clock pulses ignored after every reset
  std::vector<int> failWrite;       // byte addresses whose writes answer wrongly
  std::vector<int> badRead;         // byte addresses whose reads return a wrong value
  long vanish = -1;                 // frames taken in before the device is gone (0: gone from the start)
  long interrupt = -1;              // frames taken in before the process is interrupted
  bool refuse[3] = {false, false, false};  // that port refuses its settings once
  uint8_t lockRead = 0x00;          // what reads return once the chip is locked
  uint8_t signature[3] = {kTargetPart.signature[0], kTargetPart.signature[1], kTargetPart.signature[2]};
  int busyMinUs = int(kTargetPart.writeTypicalUs);  // a write's busy time, drawn per write
  int busyMaxUs = int(kTargetPart.writeTypicalUs);  // uniformly from [min, max] microseconds
  uint32_t seed = 1;                // of that draw
  // Running firmware and its serial-number report.
  bool hasSerial = false;
  std::string serial;               // the record the device arrives with
  bool silent = false;              // the firmware never reports
  bool request = false;             // a 0x10 0x7F request before the frame
  int frameLength = -1;             // L to send instead of the record's
  int truncate = -1;                // send only this many bytes of the frame
  std::vector<uint8_t> noise;       // bytes sent before the frame
  bool vanishAtReport = false;      // gone when it should send its frame
  // The cable's driver: a cancelled break wait ends only this long after the
  // cancel (a driver that ignores it for a while).
  int holdWaitMs = 0;
  // Both ports are adapters whose chip can clock the lines (a USB round trip
  // of chipRoundTripUs per call), unplugged at their unplug-th call (1 =
  // the first) when unplug > 0.
  bool chip = false;
  int chipRoundTripUs = 1000;
  long unplug = 0;
  // What each line operation of the host's port costs, as on an adapter
  // that turns every one into a USB round trip: its effect comes at the end.
  int lineOpUs = 0;
};

// The most a line operation may cost, in microseconds.
constexpr int kMaxLineOpUs = 100000;

// The longest write busy time `busy` accepts, in milliseconds.
constexpr int kMaxBusyMs = 1000;

// 1 for "COM1", 2 for "COM2", 0 for any other name (no port the simulator has).
int PortIndex(const std::string& name);

// Parses text into *config (which keeps its defaults for absent keys).
// Returns "" or an error text such as `ORVALO_SIM: bad value in "slip=32" (0 to 31)`.
std::string ParseConfig(const std::string& text, Config* config);

}  // namespace sim

// The simulated device and cable as seen from the host and from tests.
//
// Install() parses an ORVALO_SIM text, builds the device, routes OpenPort's
// COM1/COM2 to the simulated cable and chooses the clock. Tests read back what
// crossed the lines and the device's memories.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_config.h"

namespace sim {

class Device;

// "" on success, else the error text (nothing installed, nothing written).
std::string Install(const std::string& text);

// What InstallFromEnvironment found.
constexpr int kSimOff = 0;        // ORVALO_SIM is not set: the serial ports
constexpr int kSimOn = 1;         // the simulator is installed
constexpr int kSimBadConfig = 2;  // set but bad (or empty): *error says why
// Reads ORVALO_SIM and installs the simulator when it is set. A program that
// gets kSimBadConfig shows *error to its user and exits 2.
int InstallFromEnvironment(std::string* error);
// The line a headless program prints once on standard error whenever the
// simulator is on, so a simulated run is never taken for a real one.
extern const char kSimulatorOnNotice[];
// Detaches the simulator: the platform's ports again, device saved.
void Uninstall();
bool Installed();

Device* TheDevice();
// The most ports the simulator has seen open at the same moment.
int MaxPortsOpenAtOnce();

struct LineCounts {
  uint64_t dtr = 0, rts = 0, brk = 0, cts = 0;
  uint64_t total() const { return dtr + rts + brk + cts; }
};

struct Frame {
  uint8_t bytes[4];
  int64_t timeUs;
};

class Device {
 public:
  virtual ~Device() = default;
  virtual std::vector<uint8_t> Flash() const = 0;
  virtual void SetFlash(const std::vector<uint8_t>& bytes) = 0;
  virtual std::vector<uint8_t> Eeprom() const = 0;
  virtual bool Locked() const = 0;        // further writes disabled (LB1 or LB2)
  virtual bool ReadsLocked() const = 0;   // reads disabled too (LB1 and LB2)
  virtual bool Vanished() const = 0;
  virtual int ControlLevel() const = 0;
  // The host's lines as the cable sees them.
  virtual bool Dtr() const = 0;
  virtual bool Rts() const = 0;
  virtual bool Break() const = 0;
  // What crossed the lines since the last ClearRecords. Frames,
  // DtrAtRisingEdges and UartReceived are kept only after KeepHistory(true),
  // and then the latest 65536 of each; the counts always.
  virtual void KeepHistory(bool on) = 0;
  virtual std::vector<Frame> Frames() const = 0;
  virtual LineCounts Counts() const = 0;
  virtual std::vector<int> DtrAtRisingEdges() const = 0;  // DTR level at each clock pulse
  // The host's lines after each change of any of them: bit 0 DTR asserted,
  // bit 1 RTS asserted, bit 2 break set.
  virtual std::vector<uint8_t> LineLevels() const = 0;
  virtual uint64_t ClockPulses() const = 0;
  virtual uint64_t ProtocolViolations() const = 0;
  virtual std::vector<uint8_t> UartReceived() const = 0;  // bytes the host sent
  virtual int BreakPulsesSeen() const = 0;  // host break pulses after the firmware's breaks
  virtual int PortOpens(const std::string& name) const = 0;
  virtual void ClearRecords() = 0;
  // Bytes the simulator holds in records and queues: what grows with use.
  virtual size_t HeldBytes() const = 0;
};

}  // namespace sim

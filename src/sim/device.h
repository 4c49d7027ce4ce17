// The simulated device and cable, built from parts joined by line signals:
//
//   host port -> Cable --reset/clock/data--> ProgrammingInterface <-> Memories
//                      --reset-->            Memories (an erase ends)
//                      --reset/clock/rxd-->  Firmware (reads Memories)
//                Cable <--answer-- ProgrammingInterface, <--txd-- Firmware
//
// SimDevice owns the parts, wires them, serialises every host operation under
// one lock (the parts themselves are single-threaded), keeps the device file
// and counts the host's port opens and the protocol violations its parts
// report. The device is gone for good when a part
// raises its `gone` signal: the cable is cut and the flash saved as it stands.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "sim/cable.h"
#include "sim/firmware.h"
#include "sim/memories.h"
#include "sim/programming_interface.h"
#include "sim/sim.h"
#include "sim/signal.h"

namespace sim {

class SimDevice : public Device {
 public:
  explicit SimDevice(const Config& config);
  ~SimDevice() override;

  // Loads the device file when there is one; "" or an error text naming the
  // item. Nothing is written until a port is opened.
  std::string Attach();
  void Save();

  // Line operations of the host port named `port` ("COM1" or "COM2").
  bool Connected(const std::string& port) const;
  void HostOpened(const std::string& port);
  void HostClosed(const std::string& port);
  void SetDtr(bool on);
  void SetRts(bool on);
  void SetBreak(bool on);
  bool Cts();
  void HostTransmit(uint8_t byte);
  // Receive-line events up to now, removed from the queue.
  std::vector<RxEvent> TakeRx(int64_t now);
  // Earliest time something will happen on the receive line, or kForever.
  int64_t NextEventTime();
  bool RefuseSettings(const std::string& port);
  // One state of an adapter that clocks the lines (platform/clocked_lines.h),
  // put out at `at`: returns the pins as sampled just before it.
  uint8_t ClockState(uint8_t state, int64_t at);

  // Device (test view).
  std::vector<uint8_t> Flash() const override;
  void SetFlash(const std::vector<uint8_t>& bytes) override;
  std::vector<uint8_t> Eeprom() const override;
  bool Locked() const override;
  bool ReadsLocked() const override;
  void KeepHistory(bool on) override;
  size_t HeldBytes() const override;
  bool Vanished() const override;
  int ControlLevel() const override;
  bool Dtr() const override;
  bool Rts() const override;
  bool Break() const override;
  std::vector<Frame> Frames() const override;
  LineCounts Counts() const override;
  std::vector<int> DtrAtRisingEdges() const override;
  std::vector<uint8_t> LineLevels() const override;
  uint64_t ClockPulses() const override;
  uint64_t ProtocolViolations() const override;
  std::vector<uint8_t> UartReceived() const override;
  int BreakPulsesSeen() const override;
  int PortOpens(const std::string& name) const override;
  void ClearRecords() override;

 private:
  // Takes the time of the host operation about to be carried out, and lets
  // the firmware send what fell due before it.
  void Begin(int64_t now);
  void Vanish();
  void SaveLocked();

  const Config config_;
  mutable std::mutex m_;
  SimTime time_;
  Memories memories_;
  Cable cable_;
  ProgrammingInterface programming_;
  Firmware firmware_;
  uint64_t violations_ = 0;
  bool kept_ = false;  // the device file exists, or is to be made
  bool saveFailed_ = false;
  int openCount_[3] = {0, 0, 0};
  bool refused_[3] = {false, false, false};
};

}  // namespace sim

// The simulated device and cable, driven only by line signals.
//
// Cable: the level on DTR is latched when RTS is de-asserted; level 0 holds the
// controller in reset, 1 lets it run its firmware.
// Controller in reset: a shift register clocked by the host's break state
// (break cleared = clock high). It samples data (inverted DTR) on the rising
// edge and presents its answer bit (inverted on CTS) after the falling edge.
// Programming Enable is recognised only on the device's own frame boundaries,
// and only 20 ms or more after the reset; until then nothing is echoed.
// Flash: 8192 bytes, byte writes only clear bits, a write keeps the part busy
// for 4 ms or the configured time (reads of that byte give 0x7F, anything else is a protocol
// violation and is not carried out), Chip Erase takes 20 ms and lifts the lock,
// locked reads give a fixed value and locked writes change nothing.
// Running firmware (level 1, flash holds firmware): a break 20 ms after start
// and every 100 ms until answered by the host's transmit line leaving the
// break state and the byte 0x06; then 0x10 0xE0 L and L+1 payload bytes.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace sim {

// What the device sends to the host's receive line.
struct RxEvent {
  int64_t timeUs;
  bool isBreak;
  uint8_t byte;
};

class SimDevice : public Device {
 public:
  explicit SimDevice(const Config& config);
  ~SimDevice() override;

  // Loads or creates the flash file; "" or an error text.
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
  void CountRead();
  void CountArm();

  // Device (test view).
  std::vector<uint8_t> Flash() const override;
  void SetFlash(const std::vector<uint8_t>& bytes) override;
  bool Locked() const override;
  bool Vanished() const override;
  int ControlLevel() const override;
  bool Dtr() const override;
  bool Rts() const override;
  bool Break() const override;
  std::vector<Frame> Frames() const override;
  LineCounts Counts() const override;
  std::vector<int> DtrAtRisingEdges() const override;
  uint64_t ClockPulses() const override;
  uint64_t ProtocolViolations() const override;
  std::vector<uint8_t> UartReceived() const override;
  int BreakPulsesSeen() const override;
  int PortOpens(const std::string& name) const override;
  void ClearRecords() override;

 private:
  void AdvanceLocked(int64_t now);
  void LatchLevel(int64_t now);
  void RisingEdge();
  void FallingEdge(int64_t now);
  void ByteComplete(int index, uint8_t byte, int64_t now);
  void Execute(int64_t now);
  void StartFirmware(int64_t now);
  void SendReport(int64_t now);
  void Vanish();
  bool HasFirmware() const;
  int64_t WriteBusyUs();
  void SaveLocked();

  Config config_;
  mutable std::mutex m_;
  std::vector<uint8_t> flash_;
  bool writesLocked_ = false, readsLocked_ = false;
  bool vanished_ = false;
  int level_ = 1;
  bool dtr_ = false, rts_ = false, brk_ = false;
  // Shift register state.
  uint8_t reg_ = 0xFF;
  int sampled_ = 1;
  int slipLeft_ = 0;
  int bitPos_ = 0;
  uint8_t frame_[4] = {0, 0, 0, 0};
  bool enabled_ = false;
  int64_t resetUs_ = 0;
  int64_t busyUntil_ = 0;
  int busyAddr_ = -1;
  std::mt19937 busyRandom_;
  uint64_t framesTaken_ = 0;
  // Firmware.
  bool fwRunning_ = false;
  int64_t nextBreakUs_ = 0;
  bool awaitingAnswer_ = false;
  bool txReleased_ = false;
  bool reportDone_ = false;
  bool scriptedSent_ = false;
  std::deque<RxEvent> rx_;
  int openCount_[3] = {0, 0, 0};
  bool refused_[3] = {false, false, false};
  bool hostOpen_ = false;
  // Records.
  std::vector<Frame> frames_;
  LineCounts counts_;
  std::vector<int> dtrAtRising_;
  uint64_t pulses_ = 0;
  uint64_t violations_ = 0;
  std::vector<uint8_t> uartIn_;
  int breakPulses_ = 0;
};

}  // namespace sim

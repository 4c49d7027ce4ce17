// The firmware the controller runs once RESET is released, when its flash
// holds any (a byte other than 0xFF below the serial-number record).
//
// It reports the serial-number record over the UART: a break 20 ms after it
// starts and every 100 ms until the host answers (its transmit line leaving
// the break state, then the byte 0x06), then 0x10 0xE0 L and L+1 payload
// bytes, starting 300 us after the answer, one byte every 87 us (115200 baud).
// Fault knobs: `silent`, `vanishreport`, and `request`, `framelen`,
// `truncate`, `noise`, which shape the first report only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/cable.h"
#include "sim/history.h"
#include "sim/memories.h"
#include "sim/signal.h"

namespace sim {

// What a new device that arrives with a serial number holds: the start of a
// vector table and its record.
void LoadFactoryFirmware(const std::string& serial, std::vector<uint8_t>* flash);

class Firmware {
 public:
  Firmware(const Config& config, const SimTime& time, const Memories* memories);

  // Inputs.
  void OnReset(int level);  // released: the firmware starts; held: it stops
  void OnClock(int level);  // the transmit line
  void OnByte(uint8_t byte);
  void Cut();
  // Sends the breaks that fell due by now.
  void Advance();
  // When the firmware will next send something by itself, or plat::kForever.
  int64_t NextBreakTime() const;

  // Output: the UART's transmit line.
  Signal<RxEvent> txd{RxEvent{0, false, 0}};
  Signal<int> gone{0};  // `vanishreport`: gone instead of reporting

  // Records.
  void KeepHistory(bool on) { uartIn_.Keep(on); }
  std::vector<uint8_t> Received() const { return uartIn_.Items(); }
  size_t HeldBytes() const { return uartIn_.HeldBytes(); }
  int BreakPulses() const { return breakPulses_; }
  void ClearRecords();

 private:
  void Start();
  bool HasFirmware() const;
  void SendReport();

  const Config& config_;
  const SimTime& time_;
  const Memories* mem_;
  int level_ = 1;
  bool cut_ = false;
  bool running_ = false;
  int64_t nextBreakUs_ = 0;
  bool awaitingAnswer_ = false;
  bool txReleased_ = false;
  bool reportDone_ = false;
  bool scriptedSent_ = false;
  History<uint8_t> uartIn_{1 << 16};
  int breakPulses_ = 0;
};

}  // namespace sim

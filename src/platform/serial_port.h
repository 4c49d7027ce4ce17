// The serial port as the system uses it: control lines driven one by one for
// the programming link, and a plain 115200 8N1 UART for the serial-number
// exchange with the running firmware.
//
// One implementation per platform (serial_port_posix.cpp, serial_port_win32.cpp)
// plus the simulated cable in src/sim. Line operations report success, but the
// system never tests them: a link that stops answering shows up as missing or
// wrong answers from the device.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace plat {

class ClockedLines;

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Configuration steps of an open; each false means the driver refused.
  virtual bool SetupQueues(unsigned inBytes, unsigned outBytes) = 0;
  // 115200 baud, 8 data bits, no parity, one stop bit; DTR and RTS asserted and
  // afterwards changed only on request; every other setting left as found.
  virtual bool ConfigureLine() = 0;
  // Reads return at once with whatever has arrived.
  virtual bool SetReadsImmediate() = 0;

  virtual bool SetDtr(bool asserted) = 0;
  virtual bool SetRts(bool asserted) = 0;
  virtual bool SetBreak(bool on) = 0;
  // false when the status cannot be read.
  virtual bool GetCts(bool* asserted) = 0;

  // Arms the wait for a received break: only breaks that arrive after this
  // call are reported by WaitBreak.
  virtual bool ArmBreakWait() = 0;
  // Blocks until one of these.
  static constexpr int kBreakArrived = 1;
  static constexpr int kBreakWaitEnded = 0;       // the wait failed or ended for another reason
  static constexpr int kBreakWaitCancelled = -1;  // CancelWait was called
  virtual int WaitBreak() = 0;
  // From any thread: makes a WaitBreak in progress return kBreakWaitCancelled
  // within a bounded time, whatever the driver, and every later one at once,
  // until ResetCancel.
  virtual void CancelWait() = 0;
  virtual void ResetCancel() = 0;

  // Sends one byte ahead of any queued output.
  virtual bool TransmitChar(uint8_t byte) = 0;
  // Copies up to max bytes already received; the count, or -1 on failure.
  virtual int Read(uint8_t* buf, int max) = 0;
  // The adapter's own clocking of the lines, when it has one and the operator
  // allows it; null for a UART on the bus and for every other adapter.
  virtual ClockedLines* Clocked() { return nullptr; }
};

// Opens a port by its system name (COM1, COM2), exclusive, read and write.
// Fills *port and returns 0, or returns kPortNotOpened when the port is
// absent, in use or refused.
constexpr int kPortNotOpened = -2;
using PortOpener = std::function<int(const std::string& name, std::unique_ptr<SerialPort>* port)>;

// The platform's own ports.
int OpenPlatformPort(const std::string& name, std::unique_ptr<SerialPort>* port);

// Replaces the opener OpenPort uses (the simulator installs itself here);
// an empty opener restores the platform's.
void SetPortOpener(PortOpener opener);
// The opener installed now (empty while the platform's is used), so that a
// test can wrap it.
PortOpener CurrentPortOpener();
int OpenPortByName(const std::string& name, std::unique_ptr<SerialPort>* port);

}  // namespace plat

// A pseudo-terminal whose slave the serial emulator (serial_emulator.cpp,
// preloaded) turns into a serial port with the simulated device on its other
// end, for tests of the real POSIX backend. The master stays open for the
// object's life, so the slave keeps working between opens.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class EmulatedPort {
 public:
  // simText: the device in ORVALO_SIM's words (flash=, serial=, silent, ...).
  explicit EmulatedPort(const std::string& simText);
  ~EmulatedPort();
  EmulatedPort(const EmulatedPort&) = delete;
  EmulatedPort& operator=(const EmulatedPort&) = delete;

  bool ok() const { return master_ >= 0; }
  const std::string& path() const { return path_; }
  // `env` words that give a child process the same device.
  std::string ChildEnv() const;

 private:
  int master_ = -1;
  std::string path_;
  std::string simText_;
};

// The emulator's view of the device in this process.
bool EmulatorLoaded();
void EmulatorDetach();      // saves the flash file and forgets the device
int EmulatedLevel();        // the control level the cable latched, -1 without device
int EmulatedLines();        // bit 0 DTR, bit 1 RTS, bit 2 break, as the cable sees them
std::vector<uint8_t> EmulatedUartReceived();
// From now on every call on the port fails once with EINTR before it is made.
void EmulatedInterrupts(bool on);  // what the device's UART got from the host

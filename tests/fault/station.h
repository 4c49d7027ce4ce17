// One station and one simulated device, kept in a flash file between cycles,
// on which whole cycles run under chosen faults. After every cycle the checks
// that production relies on are made and any breach is returned as a text, so
// sweeps can compare the breaches with the few the design itself allows.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "cycle/programming_cycle.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace fault {

// Counts the wait cursor without clamping, so a surplus end shows up.
class CheckingDialog : public RecordingDialog {
 public:
  void DoWaitCursor(int delta) override;
  int RawCursor() const { return raw_.load(); }

 private:
  std::atomic<int> raw_{0};
};

struct Outcome {
  std::string finalText;
  bool success = false;
  bool locked = false;
  bool readsLocked = false;
  std::vector<uint8_t> flash;      // the device's, as the cycle left it
  std::string serialShown;
  std::vector<sim::Frame> frames;  // what the device took in
  sim::LineCounts lines;           // the line operations that reached it
  PartCheck part = PartCheck::kNotRead;
  bool exchangeFailed = false;     // the device's serial number did not arrive
  bool erased = false;             // "Chip Erased." was shown
  CycleReport report;              // how the cycle says it ended, and whose number it used
  std::vector<std::string> breaches;
};

// The serial number in a flash image's record, or "" when the record is not
// whole (wrong length or checksum).
std::string RecordSerial(const std::vector<uint8_t>& flash);

// What a good cycle leaves: the image, the rest erased, the record of serial.
std::vector<uint8_t> ProgrammedFlash(const std::vector<uint8_t>& image, const std::string& serial);

class Station {
 public:
  // dir: a private folder for the device's flash and the station's settings.
  Station(std::string dir, std::vector<uint8_t> image);

  // A device straight from the factory line, carrying serial and firmware;
  // the station's settings start empty. locked: as a completed cycle leaves
  // a device (a fresh one comes unlocked).
  void NewDevice(const std::string& serial, bool locked = false);
  // Another image (flash: what it leaves below the record) from its text.
  void UseImage(const std::vector<uint8_t>& flash, const std::string& hex);
  // Settings unwritable: a file stands where the company folder must go.
  void SetSettingsWritable(bool writable);
  // The firmware file's reads fail once n bytes were read (-1: never).
  void SetFirmwareFailsAfter(long n);

  // One cycle on the device with the extra ORVALO_SIM items in faults.
  Outcome Cycle(const std::string& faults, bool verify);
  // The device's serial number as its flash record holds it now.
  std::string DeviceSerial() const;
  const std::string& OriginalSerial() const { return serial_; }
  const std::vector<uint8_t>& Image() const { return image_; }
  std::string StoredSerial() const;
  // The stored serial number as the store's file holds it, as a later
  // process would find it ("" when there is none).
  std::string StoredSerialOnDisk() const;
  // The device's flash and lock bits as its files hold them.
  std::string DeviceBytes() const;
  const std::string& FlashPath() const { return flashPath_; }
  const std::string& FirmwareText() const { return hex_; }
  // Puts the original serial number back into the device's record and the
  // settings, as a technician would after a loss.
  void RestoreSerial();

 private:
  std::string dir_, flashPath_, settingsDir_, serial_;
  std::vector<uint8_t> image_;
  std::string hex_;
  int generation_ = 0;
};

}  // namespace fault

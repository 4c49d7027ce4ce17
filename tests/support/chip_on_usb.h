// An emulated FTDI chip plugged into the fake USB, with the simulated device
// on its cable and the sysfs entries that lead from a tty name to it, for the
// tests of the Linux chip backend.
#pragma once

#include <memory>
#include <string>

#include "sim/device.h"
#include "support/fake_usb.h"
#include "support/ftdi_chip.h"

class ChipOnUsb {
 public:
  // simText: the device in ORVALO_SIM's words (its port= says which port's
  // cable it hangs on); tty: the name the kernel gave the chip's port.
  ChipOnUsb(ChipModel model, const std::string& simText, const std::string& sysfsRoot, const std::string& tty,
            const std::string& port = "COM1", int bus = 1, int address = 7);
  ~ChipOnUsb();

  FtdiChip& chip() { return chip_; }
  sim::SimDevice& device() { return *device_; }
  bool DriverBound() const { return fake_usb_driver_bound(bus_, address_) != 0; }
  void DenyAccess() { fake_usb_deny_access(bus_, address_, 1); }

 private:
  std::unique_ptr<sim::SimDevice> device_;
  FtdiChip chip_;
  UsbChip<FtdiChip> usb_;
  int bus_, address_;
};

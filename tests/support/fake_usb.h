// A stand-in for libusb-1.0 (a shared library with its SONAME, linked into a
// test program) so that the real libftdi1, loaded by the program, reaches the
// chips the test plugs in here instead of the machine's USB. The devices stay
// in the test's process, on its clock and beside its simulated device.
//
// Asynchronous transfers are in flight together, as on a host controller:
// each completes no sooner than the device's round trip after it was
// submitted, so transfers submitted together share one round trip; a bulk-out
// moves what the device takes, a bulk-in the packets it has ready, in turns,
// so a read in flight drains what a long write produces. The events are
// handled, on the device's clock, when libusb_handle_events* is called.
//
// Each device has the kernel's serial driver bound until a handle claims its
// interface with the driver detached; releasing the interface of a handle
// that asked for automatic detaching binds it again, as libusb does.
#pragma once

#include <cstdint>

// A device on the fake bus, answering as FtdiChip does.
class UsbFunction {
 public:
  virtual ~UsbFunction() = default;
  virtual uint16_t VendorId() const = 0;
  virtual uint16_t ProductId() const = 0;
  virtual uint16_t BcdDevice() const = 0;
  virtual const char* Description() const = 0;
  virtual const char* SerialNumber() const = 0;
  virtual bool Unplugged() const = 0;
  virtual void Opened() = 0;
  virtual void Closed() = 0;
  virtual int Control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                      uint16_t length) = 0;
  virtual int BulkOut(const uint8_t* data, int length, int* moved, unsigned timeoutMs) = 0;
  virtual int BulkIn(uint8_t* data, int length, int* moved, unsigned timeoutMs) = 0;
  // Transfers in flight (see FtdiChip), and the clock they are timed on.
  virtual bool Reached() = 0;
  virtual int64_t RoundTripUs() const = 0;
  virtual int TakeOut(const uint8_t* data, int length) = 0;
  virtual int GiveIn(uint8_t* data, int length, bool wholeOnly, bool* ended) = 0;
  virtual int64_t NowUs() const = 0;
  virtual void WaitUntilUs(int64_t us) const = 0;
};

// Any class with FtdiChip's calls, as a device on the bus.
template <typename Chip>
class UsbChip : public UsbFunction {
 public:
  explicit UsbChip(Chip* chip) : chip_(chip) {}
  uint16_t VendorId() const override { return chip_->VendorId(); }
  uint16_t ProductId() const override { return chip_->ProductId(); }
  uint16_t BcdDevice() const override { return chip_->BcdDevice(); }
  const char* Description() const override { return chip_->Description(); }
  const char* SerialNumber() const override { return chip_->SerialNumber(); }
  bool Unplugged() const override { return chip_->Unplugged(); }
  void Opened() override { chip_->Opened(); }
  void Closed() override { chip_->Closed(); }
  int Control(uint8_t t, uint8_t r, uint16_t v, uint16_t i, uint8_t* d, uint16_t n) override {
    return chip_->Control(t, r, v, i, d, n);
  }
  int BulkOut(const uint8_t* d, int n, int* moved, unsigned ms) override { return chip_->BulkOut(d, n, moved, ms); }
  int BulkIn(uint8_t* d, int n, int* moved, unsigned ms) override { return chip_->BulkIn(d, n, moved, ms); }
  bool Reached() override { return chip_->Reached(); }
  int64_t RoundTripUs() const override { return chip_->RoundTripUs(); }
  int TakeOut(const uint8_t* d, int n) override { return chip_->TakeOut(d, n); }
  int GiveIn(uint8_t* d, int n, bool whole, bool* ended) override { return chip_->GiveIn(d, n, whole, ended); }
  int64_t NowUs() const override { return chip_->NowUs(); }
  void WaitUntilUs(int64_t us) const override { chip_->WaitUntilUs(us); }

 private:
  Chip* chip_;
};

extern "C" {
// Puts a device on the bus at bus/address (null removes it).
void fake_usb_plug(int bus, int address, UsbFunction* device);
void fake_usb_unplug_all();
// Whether the kernel's serial driver is bound to the device now.
int fake_usb_driver_bound(int bus, int address);
// Opening the device fails as for a user without access to its node.
void fake_usb_deny_access(int bus, int address, int deny);
// Handles open now, over every device.
int fake_usb_open_handles();
}

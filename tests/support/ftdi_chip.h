// An emulated FTDI USB-serial chip (FT232R, FT231X, FT230X) whose eight UART
// pins drive the simulated cable and device of src/sim, for tests of the
// backends that reach such a chip through its vendor's USB requests (the fake
// libusb below the real libftdi1 on Linux, a test ftd2xx.dll under Wine).
//
// Time is the system's clock (plat::NowUs, virtual in the tests): every USB
// call costs one round trip (1 ms unless set), and the bytes clocked in
// synchronous bit-bang mode take their time at the chip's rate, so the device
// sees each level for as long as a real chip would hold it.
//
// What is modelled, and the choices where the chip maker's documents are
// silent:
// - UART mode: TXD, RTS# and DTR# follow the chip's UART registers (break from
//   the line property, DTR/RTS from the modem control request); asserted and
//   break are the low level. Bytes written cross at the programmed format:
//   anything but 115200 8N1 reaches the device garbled. Bytes the device sends
//   come back in bulk-in packets; a received break arrives as a 0x00 byte that
//   opens a packet whose line-status byte carries BI (0x10).
// - Synchronous bit-bang (SET_BITMODE mode 0x04, mask: 1 = output): every byte
//   written is one clock; the pins are sampled first and the byte's levels put
//   out after, so sample i shows the pins as state i-1 left them (the chip is
//   "one byte behind"). Pins outside the mask float high. Samples go to the
//   chip-to-host buffer; when it is full the chip stops clocking and written
//   bytes wait in the host-to-chip buffer; when that is full too, a bulk-out
//   stalls until its timeout.
// - A mode change: the output pins take the bit-bang output latch at once. The
//   latch is 0 after power-up and after an SIO reset (so entering the mode
//   straight after an open pulls every output low before any byte is
//   written), and afterwards holds the last byte clocked. Leaving the mode
//   gives the pins back to the UART registers, which keep whatever was last
//   set in them, in either mode. Every driven line a mode change moves is
//   counted (ModeChangeEdges): a glitch the device's reset latch may take.
// - Bulk-in: packets of 64 bytes, each beginning with the modem-status byte
//   (CTS 0x10) and the line-status byte (BI 0x10, THRE 0x20, TEMT 0x40). A
//   transfer returns at once when 62 bytes wait; else when the latency timer
//   runs out (16 ms after reset) with what there is, two status bytes alone
//   when nothing came.
// - Transfers a host controller keeps in flight together (TakeOut, GiveIn):
//   the round trip is the host's to charge, once for all of them; a write
//   takes what the buffers hold now and a read the packets ready now, so a
//   read in flight drains the samples while a longer write goes on.
// - Bit-bang rate: the programmed baud rate (3 MHz / divisor) in updates per
//   second.
// - Unplug: every USB call fails from then on, the serial lines drop.
//
// One thread at a time calls a chip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace sim {
class SimDevice;
}

enum class ChipModel { kFt232r, kFt231x, kFt230x };

// Results of the USB calls, as libusb numbers them.
constexpr int kUsbOk = 0;
constexpr int kUsbErrorIo = -1;
constexpr int kUsbErrorNoDevice = -4;
constexpr int kUsbErrorTimeout = -7;
constexpr int kUsbErrorPipe = -9;  // a request the chip refuses

class FtdiChip {
 public:
  // device: the simulated device on the cable, or null for nothing on it.
  // port: the port name the device knows this chip's cable by (COM1, COM2).
  FtdiChip(ChipModel model, sim::SimDevice* device, std::string port);
  ~FtdiChip();
  FtdiChip(const FtdiChip&) = delete;
  FtdiChip& operator=(const FtdiChip&) = delete;

  ChipModel Model() const { return model_; }
  uint16_t VendorId() const { return 0x0403; }
  uint16_t ProductId() const;  // 0x6001 FT232R, 0x6015 FT-X
  uint16_t BcdDevice() const;  // what libftdi tells the chip types apart by
  const char* Description() const;
  const char* SerialNumber() const { return serial_.c_str(); }
  size_t HostToChipBuffer() const;  // bytes
  size_t ChipToHostBuffer() const;

  void SetRoundTripUs(int64_t us) { roundTripUs_ = us; }
  // From the USB call after the given number of them on, the chip is gone.
  void UnplugAfterCalls(uint64_t calls) { unplugAfter_ = calls; }
  void Unplug();
  bool Unplugged() const { return unplugged_; }

  // The host's side of the USB. A handle opened (the serial lines come alive,
  // as the cable sees a port open) and closed.
  void Opened();
  void Closed();
  // A vendor request (bmRequestType 0x40 out, 0xC0 in): the bytes moved, or
  // a kUsbError value.
  int Control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data, uint16_t length);
  // Bulk transfers: kUsbOk or a kUsbError value, *moved the bytes carried.
  int BulkOut(const uint8_t* data, int length, int* moved, unsigned timeoutMs);
  int BulkIn(uint8_t* data, int length, int* moved, unsigned timeoutMs);
  // The same for transfers in flight together, neither charging the round
  // trip nor waiting on the host. Reached counts a transfer submitted (false
  // once unplugged); TakeOut returns the bytes the chip took; GiveIn the bytes
  // of whole packets only (with wholeOnly: more samples are on their way),
  // else up to and with a short packet, which ends the transfer (*ended).
  bool Reached() { return Call(); }
  int64_t RoundTripUs() const { return roundTripUs_; }
  int TakeOut(const uint8_t* data, int length);
  int GiveIn(uint8_t* data, int length, bool wholeOnly, bool* ended);
  // The chip's clock, for a host that keeps time for transfers in flight.
  int64_t NowUs() const;
  void WaitUntilUs(int64_t us) const;

  // Test view.
  uint8_t Pins() const;  // the levels on the eight pins now
  uint8_t BitMode() const { return mode_; }  // 0 UART, 4 synchronous bit-bang
  uint8_t Latency() const { return latencyMs_; }
  unsigned BaudRate() const { return baud_; }
  uint64_t ModeChangeEdges() const { return modeEdges_; }
  uint64_t Clocked() const { return clocked_; }  // bytes clocked in bit-bang mode
  uint64_t UsbCalls() const { return calls_; }
  size_t MostWaitingToClock() const { return mostPending_; }

 private:
  struct Held {
    uint8_t byte;
    bool isBreak;
  };
  bool Call();  // counts the call, false once unplugged
  void RoundTrip();
  uint8_t DrivenPins() const;  // the output levels as the mode gives them
  void Drive(uint8_t pins);    // puts the driven lines on the cable
  uint8_t Sample();
  void ClockWaiting();
  void Receive();
  bool UartMatches() const;
  void SioReset();

  ChipModel model_;
  sim::SimDevice* device_;
  std::string port_;
  std::string serial_;
  int64_t roundTripUs_ = 1000;
  uint64_t unplugAfter_ = UINT64_MAX;
  bool unplugged_ = false;
  bool open_ = false;
  uint64_t calls_ = 0;

  // UART registers.
  bool dtr_ = false, rts_ = false, break_ = false;
  uint16_t format_ = 0x0008;  // 8N1
  unsigned baud_ = 9600;
  uint8_t latencyMs_ = 16;
  // Bit-bang.
  uint8_t mode_ = 0;
  uint8_t mask_ = 0;
  uint8_t latch_ = 0;
  int64_t nextClockNs_ = 0;
  int64_t lastInUs_ = 0;  // the last bulk-in packet, where the latency timer starts
  uint8_t lines_ = 0xFF;  // what the cable was last given
  bool cts_ = false;
  uint64_t modeEdges_ = 0;
  uint64_t clocked_ = 0;
  size_t mostPending_ = 0;

  std::deque<uint8_t> toChip_;  // written, not yet clocked (bit-bang)
  std::deque<Held> toHost_;     // samples or received bytes
  bool overrun_ = false;
};

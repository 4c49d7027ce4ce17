// What the chip maker's library and driver do between the D2XX functions and
// an emulated chip's USB requests, as far as the Windows port uses them: the
// driver reads the chip's packets and keeps their data and status bytes, a
// break or an error in the line status stays reported until it is read.
//
// How the driver moves data, from FTDI's application notes AN232B-03 ("Driver
// Operation") and AN232B-04 ("Small Amounts of Data and End of Buffer
// Conditions") and the D2XX Programmer's Guide (FT_Read, FT_SetTimeouts,
// FT_GetQueueStatus, FT_SetUSBParameters):
// - While a device is open the driver keeps bulk-in requests of up to the USB
//   transfer size (FT_SetUSBParameters' InTransferSize, 4 KiB unless set)
//   going, whether or not the program reads, and copies what they bring into
//   a read buffer of its own (sized from the 64 KiB most, more than any write
//   here clocks); it stops only while that buffer is full.
// - The chip answers a request with a packet when 62 bytes wait or when its
//   latency timer runs out (AN232B-04); when it does is the emulated chip's
//   business (support/ftdi_chip.h).
// - FT_Read returns at once when the read buffer holds what it asks, else it
//   waits for more until the read timeout (FT_SetTimeouts) and then returns
//   FT_OK with what there is; FT_GetQueueStatus tells what the buffer holds.
// So in synchronous bit-bang mode FT_Write is never held up by the chip's
// sample buffer: the standing requests empty it as the chip clocks. Modelled
// thus: the write's first bulk-out takes the round trip; the rest of the
// write and the standing requests meanwhile go in the frames already under
// way and take only the time the chip needs to clock; a read the buffer
// cannot satisfy waits for the chip's next packet, with no round trip of its
// own, the request being there already. Status reads (FT_GetQueueStatus,
// FT_GetModemStatus) still take one round trip each, the cautious side.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "support/d2xx_devices.h"
#include "sim/device.h"
#include "support/ftdi_chip.h"

class EmulatedD2xx : public D2xxDevices {
 public:
  // The chip whose driver gave it COM port `com`, listed in the order added;
  // every USB round trip takes roundTripUs.
  void Add(FtdiChip* chip, long com, int64_t roundTripUs = 1000);

  d2xx::Status CreateDeviceInfoList(DWORD* count) override;
  d2xx::Status GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId, void* serial,
                                   void* description, d2xx::Handle* handle) override;
  d2xx::Status Open(int index, d2xx::Handle* handle) override;
  d2xx::Status Close(d2xx::Handle h) override;
  d2xx::Status GetComPortNumber(d2xx::Handle h, LONG* number) override;
  d2xx::Status SetBaudRate(d2xx::Handle h, ULONG baud) override;
  d2xx::Status SetDataCharacteristics(d2xx::Handle h, UCHAR bits, UCHAR stop, UCHAR parity) override;
  d2xx::Status SetModemLine(d2xx::Handle h, bool dtr, bool on) override;
  d2xx::Status SetBreak(d2xx::Handle h, bool on) override;
  d2xx::Status GetModemStatus(d2xx::Handle h, ULONG* status) override;
  d2xx::Status Write(d2xx::Handle h, void* buffer, DWORD n, DWORD* written) override;
  d2xx::Status Read(d2xx::Handle h, void* buffer, DWORD n, DWORD* got) override;
  d2xx::Status GetQueueStatus(d2xx::Handle h, DWORD* queued) override;
  d2xx::Status SetTimeouts(d2xx::Handle h, ULONG readMs, ULONG writeMs) override;
  d2xx::Status SetLatencyTimer(d2xx::Handle h, UCHAR ms) override;
  d2xx::Status SetUsbParameters(d2xx::Handle h, ULONG in, ULONG out) override;
  d2xx::Status SetBitMode(d2xx::Handle h, UCHAR mask, UCHAR mode) override;
  d2xx::Status Purge(d2xx::Handle h, ULONG mask) override;
  d2xx::Status ResetDevice(d2xx::Handle h) override;

  int OpenHandles() const;
  // What the Windows port asked of the library: the latency timer and the
  // USB transfer size it set last on any device (0 when never).
  unsigned LatencySet() const { return latencySet_; }
  unsigned InTransferSet() const { return inTransferSet_; }
  // FT_Write and FT_Read calls on any device so far.
  unsigned long Transfers() const { return transfers_; }

 private:
  struct Device {
    FtdiChip* chip = nullptr;
    long com = 0;
    bool open = false;
    std::deque<uint8_t> rx;  // data the driver has read from the chip
    uint8_t modem = 0;
    uint8_t line = 0;        // error and break bits since the last status read
    uint16_t data = 0x0008;  // SET_DATA: format and break
    ULONG readMs = 0, writeMs = 0;
    ULONG inTransfer = 4096;
    int64_t roundTripUs = 1000;
    size_t unread = 0;  // samples clocked or waiting to be, not yet in rx
  };
  Device* Of(d2xx::Handle h);
  d2xx::Status Request(Device* d, uint8_t request, uint16_t value, uint16_t index = 1);
  bool Poll(Device* d);  // one bulk-in transfer into rx
  // The same in frames already under way: no round trip of its own.
  bool PollUnderWay(Device* d);
  d2xx::Status WriteClocked(Device* d, const uint8_t* bytes, DWORD n, DWORD* written);

  std::vector<Device> devices_;
  unsigned latencySet_ = 0, inTransferSet_ = 0;
  unsigned long transfers_ = 0;
};

// The test ftd2xx.dll loaded from its folder with `devices` installed in it
// (null: the DLL answers with no devices). The Windows port finds the loaded
// DLL by its name; UnloadTestD2xx unloads it so that the port finds none.
bool LoadTestD2xx(D2xxDevices* devices);
void UnloadTestD2xx();

// A simulated device (ORVALO_SIM's items) behind one emulated chip on COMn,
// listed by the stand-in library, which is loaded or not: "" or what failed.
struct ChipBench {
  std::string Attach(const std::string& items, ChipModel model, long com, bool loadLibrary = true);
  std::unique_ptr<sim::SimDevice> device;
  std::unique_ptr<FtdiChip> chip;
  EmulatedD2xx d2xx;
};

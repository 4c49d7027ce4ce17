// The devices the test ftd2xx.dll answers for. The DLL holds nothing of its
// own: the test program hands it one of these (through the DLL's extra export
// kUseD2xxDevices), so that every call lands in the test program, on its clock
// and with its simulated devices.
#pragma once

#include "platform/d2xx_api.h"

class D2xxDevices {
 public:
  virtual ~D2xxDevices() = default;
  virtual d2xx::Status CreateDeviceInfoList(DWORD* count) = 0;
  virtual d2xx::Status GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                           void* serial, void* description, d2xx::Handle* handle) = 0;
  virtual d2xx::Status Open(int index, d2xx::Handle* handle) = 0;
  virtual d2xx::Status Close(d2xx::Handle h) = 0;
  virtual d2xx::Status GetComPortNumber(d2xx::Handle h, LONG* number) = 0;
  virtual d2xx::Status SetBaudRate(d2xx::Handle h, ULONG baud) = 0;
  virtual d2xx::Status SetDataCharacteristics(d2xx::Handle h, UCHAR bits, UCHAR stop, UCHAR parity) = 0;
  // FT_SetDtr (dtr, on), FT_ClrDtr (dtr, off), FT_SetRts, FT_ClrRts.
  virtual d2xx::Status SetModemLine(d2xx::Handle h, bool dtr, bool on) = 0;
  virtual d2xx::Status SetBreak(d2xx::Handle h, bool on) = 0;
  virtual d2xx::Status GetModemStatus(d2xx::Handle h, ULONG* status) = 0;
  virtual d2xx::Status Write(d2xx::Handle h, void* buffer, DWORD n, DWORD* written) = 0;
  virtual d2xx::Status Read(d2xx::Handle h, void* buffer, DWORD n, DWORD* got) = 0;
  virtual d2xx::Status GetQueueStatus(d2xx::Handle h, DWORD* queued) = 0;
  virtual d2xx::Status SetTimeouts(d2xx::Handle h, ULONG readMs, ULONG writeMs) = 0;
  virtual d2xx::Status SetLatencyTimer(d2xx::Handle h, UCHAR ms) = 0;
  virtual d2xx::Status SetUsbParameters(d2xx::Handle h, ULONG in, ULONG out) = 0;
  virtual d2xx::Status SetBitMode(d2xx::Handle h, UCHAR mask, UCHAR mode) = 0;
  virtual d2xx::Status Purge(d2xx::Handle h, ULONG mask) = 0;
  virtual d2xx::Status ResetDevice(d2xx::Handle h) = 0;
};

// Set in the process's environment whenever the DLL is loaded afresh.
constexpr const char kD2xxLoaded[] = "ORVALO_TEST_D2XX_LOADED";

// The DLL's extra export; null takes the devices away (the DLL then lists none).
constexpr const char kUseD2xxDevices[] = "OrvaloUseD2xxDevices";
using UseD2xxDevicesFn = void (*)(D2xxDevices*);

// The test ftd2xx.dll: the library's functions as the Windows port loads
// them, each handed to the devices the test program installed.
#include <windows.h>

#include "support/d2xx_devices.h"

namespace {
D2xxDevices* g_devices = nullptr;
}  // namespace

#define ORVALO_EXPORT extern "C" __declspec(dllexport)
#define FORWARD(call) return g_devices ? g_devices->call : d2xx::kDeviceNotFound

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) SetEnvironmentVariableA(kD2xxLoaded, "1");
  return TRUE;
}

ORVALO_EXPORT void OrvaloUseD2xxDevices(D2xxDevices* devices) { g_devices = devices; }

ORVALO_EXPORT d2xx::Status WINAPI FT_CreateDeviceInfoList(DWORD* count) {
  if (!g_devices) {
    *count = 0;
    return d2xx::kOk;
  }
  return g_devices->CreateDeviceInfoList(count);
}
ORVALO_EXPORT d2xx::Status WINAPI FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id,
                                                         DWORD* locId, void* serial, void* description,
                                                         d2xx::Handle* handle) {
  FORWARD(GetDeviceInfoDetail(index, flags, type, id, locId, serial, description, handle));
}
ORVALO_EXPORT d2xx::Status WINAPI FT_Open(int index, d2xx::Handle* handle) { FORWARD(Open(index, handle)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_Close(d2xx::Handle h) { FORWARD(Close(h)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_GetComPortNumber(d2xx::Handle h, LONG* n) { FORWARD(GetComPortNumber(h, n)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_SetBaudRate(d2xx::Handle h, ULONG baud) { FORWARD(SetBaudRate(h, baud)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_SetDataCharacteristics(d2xx::Handle h, UCHAR bits, UCHAR stop, UCHAR parity) {
  FORWARD(SetDataCharacteristics(h, bits, stop, parity));
}
ORVALO_EXPORT d2xx::Status WINAPI FT_SetDtr(d2xx::Handle h) { FORWARD(SetModemLine(h, true, true)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_ClrDtr(d2xx::Handle h) { FORWARD(SetModemLine(h, true, false)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_SetRts(d2xx::Handle h) { FORWARD(SetModemLine(h, false, true)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_ClrRts(d2xx::Handle h) { FORWARD(SetModemLine(h, false, false)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_SetBreakOn(d2xx::Handle h) { FORWARD(SetBreak(h, true)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_SetBreakOff(d2xx::Handle h) { FORWARD(SetBreak(h, false)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_GetModemStatus(d2xx::Handle h, ULONG* s) { FORWARD(GetModemStatus(h, s)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_Write(d2xx::Handle h, void* b, DWORD n, DWORD* w) { FORWARD(Write(h, b, n, w)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_Read(d2xx::Handle h, void* b, DWORD n, DWORD* g) { FORWARD(Read(h, b, n, g)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_GetQueueStatus(d2xx::Handle h, DWORD* q) { FORWARD(GetQueueStatus(h, q)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_SetTimeouts(d2xx::Handle h, ULONG r, ULONG w) { FORWARD(SetTimeouts(h, r, w)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_SetLatencyTimer(d2xx::Handle h, UCHAR ms) { FORWARD(SetLatencyTimer(h, ms)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_SetUSBParameters(d2xx::Handle h, ULONG in, ULONG out) {
  FORWARD(SetUsbParameters(h, in, out));
}
ORVALO_EXPORT d2xx::Status WINAPI FT_SetBitMode(d2xx::Handle h, UCHAR mask, UCHAR mode) {
  FORWARD(SetBitMode(h, mask, mode));
}
ORVALO_EXPORT d2xx::Status WINAPI FT_Purge(d2xx::Handle h, ULONG mask) { FORWARD(Purge(h, mask)); }
ORVALO_EXPORT d2xx::Status WINAPI FT_ResetDevice(d2xx::Handle h) { FORWARD(ResetDevice(h)); }

// The few functions of the FTDI chip maker's D2XX library (ftd2xx.dll) that
// the Windows port uses, declared from its public programmer's guide. The
// library is loaded at run time, so nothing here is linked against it.
#pragma once

#include <windows.h>

namespace d2xx {

using Handle = void*;
using Status = ULONG;

constexpr Status kOk = 0;
constexpr Status kDeviceNotFound = 2;
constexpr Status kIoError = 4;
constexpr Status kInvalidParameter = 6;

constexpr ULONG kFlagOpened = 0x1;  // the device is open in some process

constexpr ULONG kDevice232R = 5;
constexpr ULONG kDeviceXSeries = 9;  // FT230X, FT231X, FT234X alike

constexpr UCHAR kModeReset = 0x00;  // back to the UART
constexpr UCHAR kModeSyncBitBang = 0x04;

constexpr ULONG kPurgeRx = 1;
constexpr ULONG kPurgeTx = 2;

constexpr ULONG kModemCts = 0x10;        // low byte of FT_GetModemStatus
constexpr ULONG kLineBreak = 0x10 << 8;  // its second byte: a break received

using CreateDeviceInfoList = Status(WINAPI*)(DWORD* count);
using GetDeviceInfoDetail = Status(WINAPI*)(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                            void* serial, void* description, Handle* handle);
using Open = Status(WINAPI*)(int index, Handle* handle);
using Close = Status(WINAPI*)(Handle);
using GetComPortNumber = Status(WINAPI*)(Handle, LONG* comNumber);
using SetBaudRate = Status(WINAPI*)(Handle, ULONG baud);
using SetDataCharacteristics = Status(WINAPI*)(Handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity);
// FT_SetDtr, FT_ClrDtr, FT_SetRts, FT_ClrRts, FT_SetBreakOn, FT_SetBreakOff,
// FT_ResetDevice.
using Simple = Status(WINAPI*)(Handle);
using GetModemStatus = Status(WINAPI*)(Handle, ULONG* status);
using Write = Status(WINAPI*)(Handle, void* buffer, DWORD toWrite, DWORD* written);
using Read = Status(WINAPI*)(Handle, void* buffer, DWORD toRead, DWORD* got);
using GetQueueStatus = Status(WINAPI*)(Handle, DWORD* inRxQueue);
using SetTimeouts = Status(WINAPI*)(Handle, ULONG readMs, ULONG writeMs);
using SetLatencyTimer = Status(WINAPI*)(Handle, UCHAR ms);
using SetUsbParameters = Status(WINAPI*)(Handle, ULONG inTransferSize, ULONG outTransferSize);
using SetBitMode = Status(WINAPI*)(Handle, UCHAR mask, UCHAR mode);
using Purge = Status(WINAPI*)(Handle, ULONG mask);

}  // namespace d2xx

// The device's serial number: asked of the running firmware over the UART,
// kept in the per-user settings, written back into a record at the top of
// flash.
//
// Flash record, 0x1FE8..0x1FFF: N (0..22), N characters from 0x1FE9, the rest
// left erased, checksum (N + sum of characters) mod 256 at 0x1FFF.
#pragma once

#include "state/shared_state.h"
#include <cstdint>

#include "state/dialog_ops.h"

constexpr int kRecordAddress = 0x1FE8;
constexpr int kRecordChecksumAddress = 0x1FFF;
constexpr int kSerialLength = 22;
constexpr int kWorkingSerialSize = 24;
extern const char kFactorySerial[];  // "ZTMQR51700000000000000"

extern uint8_t g_rxBuffer[256];

// Where the working serial number came from: the device, this station's
// stored value, or the factory default.
enum class SerialSource { kNone, kDevice, kStation, kFactory };

// Results of the serial-number stage that end the cycle before the erase, so
// that the device keeps its firmware and its serial number.
constexpr int kSerialNotSaved = -6;      // the device's value did not persist in the store
constexpr int kStationCannotAsk = -7;    // no event or listener: the device was never asked

// The serial-number stage: the device's value (stored, then read back from the
// store), else the stored one, else the factory default; fills working (24
// bytes, at most 22 characters: what the record holds is what is shown) and
// writes the status texts. 0, kSerialNotSaved or kStationCannotAsk (no text
// written for those two: the cycle's final text says it).
int ObtainSerialNumber(DialogOps* statusWindow, char* working, SerialSource* source = nullptr);

// Where the last ObtainSerialNumber took the serial number from; kNone before
// any (and at the start of every) serial-number stage.
SerialSource LastSerialSource();
void ResetSerialSource();

constexpr int kSerialNoEvent = -2;      // the event could not be created
constexpr int kSerialNoListener = -3;   // the listener thread could not start
// The listener could not be ended (a driver that ignores the cancel) and keeps
// the port, which is no longer in g_hPort: like a listener that never
// started, it ends the cycle before anything else, the device left as it came.
constexpr int kSerialListenerHeld = kSerialNoListener;
constexpr int kSerialNoFrame = -4;      // no frame within 3000 ms
constexpr int kSerialEmpty = -5;        // a frame whose first payload byte is 0
constexpr int kRecordWriteFailed = -5;  // a character of the record was not written
constexpr int kRecordMismatch = -5;     // the record read back differs

constexpr unsigned kRequestLimitMs = 3000;
// Once its wait is cancelled the listener leaves within one port call; a
// driver that holds the call longer keeps the port with the listener.
constexpr unsigned kListenerEndLimitMs = 500;

// 0 with the serial number in g_deviceSerial, else one of kSerial*. Returns
// at most kRequestLimitMs, the port's cancel and kListenerEndLimitMs after it
// began.
int ReadDeviceSerial();

// Writes the record; length is cut to 22. 0, or kRecordWriteFailed when a
// character write fails (no further character and no checksum written).
int WriteSerialRecord(const char* characters, uint8_t length);

// Reads the 24 record bytes back and compares them with what WriteSerialRecord
// meant to write for (characters, length). 0 when equal, else kRecordMismatch.
int CheckSerialRecord(const char* characters, uint8_t length);

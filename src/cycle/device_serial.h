// The device's serial number: asked of the running firmware over the UART,
// kept in the per-user settings, written back into a record at the top of
// flash (its address and layout: part/target_part.h).
#pragma once

#include "state/shared_state.h"
#include <cstdint>

#include "part/target_part.h"
#include "state/dialog_ops.h"

// The cycle's working serial number: room for kWorkingSerialMax characters
// and a terminator. The stage fills at most kSerialLength of them, so that the
// number shown is the number written; the record write is handed the whole
// room and takes its own length of it.
constexpr int kWorkingSerialSize = 24;
constexpr int kWorkingSerialMax = kWorkingSerialSize - 1;
extern const char kFactorySerial[];  // "ZTMQR51700000000000000"

extern uint8_t g_rxBuffer[256];

// Where the working serial number came from: the device, this station's
// stored value, or the factory default.
enum class SerialSource { kNone, kDevice, kStation, kFactory };

// ObtainSerialNumber's results beside 0, each ending the cycle before the
// erase, so that the device keeps its firmware and its serial number.
constexpr int kSerialNotSaved = -6;      // the device's value did not persist in the store
constexpr int kStationCannotAsk = -7;    // no event or listener: the device was never asked

// The serial-number stage: the device's value (stored, then read back from the
// store), else the stored one, else the factory default; fills working
// (kWorkingSerialSize bytes, at most kSerialLength characters) and
// writes the status texts. 0, kSerialNotSaved or kStationCannotAsk (no text
// written for those two: the cycle's final text says it).
int ObtainSerialNumber(DialogOps* statusWindow, char* working, SerialSource* source = nullptr);

// Where the last ObtainSerialNumber took the serial number from; kNone before
// any (and at the start of every) serial-number stage.
SerialSource LastSerialSource();
void ResetSerialSource();

// ReadDeviceSerial's results beside 0.
constexpr int kSerialNoEvent = -2;      // the event could not be created
constexpr int kSerialNoListener = -3;   // the listener thread could not start
constexpr int kSerialNoFrame = -4;      // no frame within 3000 ms
constexpr int kSerialEmpty = -5;        // a frame whose first payload byte is 0
// The listener could not be ended (a driver that ignores the cancel) and keeps
// the port, which is no longer in g_hPort: like a listener that never
// started, it ends the cycle before anything else, the device left as it came.
constexpr int kSerialListenerHeld = -8;

constexpr unsigned kRequestLimitMs = 3000;
// Once its wait is cancelled the listener leaves within one port call; a
// driver that holds the call longer keeps the port with the listener.
constexpr unsigned kListenerEndLimitMs = 500;

// 0 with the serial number in g_deviceSerial, else one of kSerial*. Returns
// at most kRequestLimitMs, the port's cancel and kListenerEndLimitMs after it
// began.
int ReadDeviceSerial();

// Writes the record; length is cut to kSerialLength. 0, or kRecordWriteFailed
// when a character write fails (no further character and no checksum written).
constexpr int kRecordWriteFailed = -5;
int WriteSerialRecord(const char* characters, uint8_t length);

// Reads the record's bytes back and compares them with what WriteSerialRecord
// meant to write for (characters, length). 0 when equal, else kRecordMismatch.
constexpr int kRecordMismatch = -9;
int CheckSerialRecord(const char* characters, uint8_t length);

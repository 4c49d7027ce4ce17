// The process-wide state every layer above the platform shares: one instance
// each, zero or none at process start. Each item has one writer at a time; the
// two flags the GUI thread reads while a cycle runs are atomics so that read is
// well defined.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/file.h"
#include "platform/serial_port.h"

extern plat::SerialPort* g_hPort;                 // the open port, or null
extern std::unique_ptr<plat::File> g_hFirmware;   // held for the whole run
extern std::unique_ptr<plat::File> g_firmwareImage;  // the checked copy the passes read
extern int32_t g_recordCount;                     // ':' in the firmware file
extern uint8_t g_delayCount;                      // extra yields per delay unit
extern std::atomic<uint8_t> g_cycleBusy;          // a cycle runs: closing is refused
extern std::atomic<uint8_t> g_statusError;        // the status line is drawn red (set with the text: status_line.h)
extern uint16_t g_failAddress;                    // last byte a pass failed on
extern uint8_t g_deviceSerial[256];               // the device's serial-number payload

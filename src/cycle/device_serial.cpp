#include "cycle/device_serial.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "app/settings_store.h"
#include "cycle/frame_scan.h"
#include "state/shared_state.h"
#include "isp/instructions.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "platform/thread.h"

const char kFactorySerial[] = "ZTMQR51700000000000000";

uint8_t g_rxBuffer[256];

namespace {

std::unique_ptr<plat::Event> g_serialEvent;
std::unique_ptr<plat::Thread> g_listenerThread;
std::atomic<bool> g_listenerStop{false};
std::atomic<SerialSource> g_serialSource{SerialSource::kNone};

constexpr unsigned kRequestLimitMs = 3000;

void BreakPulse() {
  g_hPort->SetBreak(true);
  plat::Sleep(1);
  g_hPort->SetBreak(false);
  plat::Sleep(1);
}

// The device's request 0x10 0x7F is answered at once, inside the scan, so that
// a frame later in the same read is still taken.
void AnswerRequest(void*) {
  BreakPulse();
  g_hPort->TransmitChar(0x10);
  plat::Sleep(1);
  g_hPort->TransmitChar(0x31);
}

// Waits for the firmware's break, answers it (break pulse, 0x06) and gives the
// device 8 ms to send its frame before one read that does not wait. Checks the
// stop flag before every use of the port, so once ReadDeviceSerial has asked
// it to stop it touches nothing again.
void SerialListener() {
  plat::RaiseThreadPriorityTimeCritical();
  while (!g_listenerStop.load()) {
    g_hPort->ArmBreakWait();
    int waited = g_hPort->WaitBreak();
    if (g_listenerStop.load()) return;
    if (waited != 1) {
      plat::Sleep(5);
      continue;
    }
    BreakPulse();
    g_hPort->TransmitChar(0x06);
    plat::Sleep(8);
    if (g_listenerStop.load()) return;
    int n = g_hPort->Read(g_rxBuffer, int(sizeof g_rxBuffer));
    if (n <= 0) {
      plat::Sleep(5);
      continue;
    }
    FrameScanResult found = ScanFrames(g_rxBuffer, n, AnswerRequest, nullptr);
    if (found.payloadOffset >= 0) {
      std::memcpy(g_deviceSerial, g_rxBuffer + found.payloadOffset, size_t(found.payloadLength));
      g_serialEvent->Set();
      return;
    }
    plat::Sleep(5);
  }
}

}  // namespace

int ReadDeviceSerial() {
  g_serialEvent = plat::Event::Create();
  if (!g_serialEvent) return kSerialNoEvent;
  // A shorter report must not inherit the tail of an earlier, longer one.
  std::memset(g_deviceSerial, 0, sizeof g_deviceSerial);
  g_listenerStop.store(false);
  g_hPort->ResetCancel();
  g_listenerThread = plat::Thread::Start(SerialListener);
  if (!g_listenerThread) {
    g_serialEvent.reset();
    return kSerialNoListener;
  }
  bool signalled = g_serialEvent->Wait(kRequestLimitMs);
  // The listener may be blocked in the port's wait for a break: the port's
  // cancel ends that wait, and the listener touches nothing after it.
  g_listenerStop.store(true);
  g_hPort->CancelWait();
  g_listenerThread->Join();
  g_listenerThread.reset();
  g_hPort->ResetCancel();
  g_serialEvent.reset();
  if (!signalled) return kSerialNoFrame;
  return g_deviceSerial[0] != 0 ? 0 : kSerialEmpty;
}

SerialSource LastSerialSource() { return g_serialSource.load(); }
void ResetSerialSource() { g_serialSource.store(SerialSource::kNone); }

int ObtainSerialNumber(DialogOps* statusWindow, char* working, SerialSource* source) {
  SerialSource ignored;
  if (!source) source = &ignored;
  *source = SerialSource::kNone;
  ResetSerialSource();
  std::memset(working, 0, kWorkingSerialSize);
  int read = ReadDeviceSerial();
  if (read == 0) {
    std::memcpy(working, g_deviceSerial, kSerialLength);
    // The store is the only copy once the chip is erased: a value that did not
    // persist would make the next cycle write another device's number.
    if (!WriteProfileString("Device", "Serial Number", working) ||
        GetProfileString("Device", "Serial Number", "") != std::string(working))
      return kSerialNotSaved;
    *source = SerialSource::kDevice;
    g_serialSource.store(*source);
    statusWindow->SetStatusText("Serial Number OK.");
    return 0;
  }
  // The station could not ask: the device may well have reported, so no
  // other device's number may stand in for it.
  if (read == kSerialNoEvent || read == kSerialNoListener) return kStationCannotAsk;
  g_statusError = 1;
  statusWindow->SetStatusText("Serial Number not found.");
  std::string stored = GetProfileString("Device", "Serial Number", "");
  if (!stored.empty()) {
    // The record takes 22 characters; the working number holds no more, so
    // the one shown is the one written.
    std::strncpy(working, stored.c_str(), kSerialLength);
    *source = SerialSource::kStation;
    g_serialSource.store(*source);
    return 0;
  }
  statusWindow->SetStatusText("No Serial Number found. Default to Factory.");
  std::memcpy(working, kFactorySerial, kSerialLength);
  *source = SerialSource::kFactory;
  g_serialSource.store(*source);
  return 0;
}

int WriteSerialRecord(const char* characters, uint8_t length) {
  int n = length > kSerialLength ? kSerialLength : length;
  WriteFlashByte(kRecordAddress, uint8_t(n));
  uint8_t sum = uint8_t(n);
  for (int i = 0; i < n; ++i) {
    uint8_t c = uint8_t(characters[i]);
    sum = uint8_t(sum + c);
    if (WriteFlashByte(kRecordAddress + 1 + i, c) != 0) return kRecordWriteFailed;
  }
  WriteFlashByte(kRecordChecksumAddress, sum);
  return 0;
}

// A device that stops answering reads 0xFF, which is exactly the echo a write
// expects near the top of flash, and the length and checksum writes are not
// tested at all: only reading the record back shows it whole.
int CheckSerialRecord(const char* characters, uint8_t length) {
  int n = length > kSerialLength ? kSerialLength : length;
  uint8_t expected[24];
  std::memset(expected, 0xFF, sizeof expected);
  expected[0] = uint8_t(n);
  uint8_t sum = uint8_t(n);
  for (int i = 0; i < n; ++i) {
    expected[1 + i] = uint8_t(characters[i]);
    sum = uint8_t(sum + uint8_t(characters[i]));
  }
  expected[23] = sum;
  for (int i = 0; i < 24; ++i) {
    uint8_t got = 0;
    if (ReadFlashByte(kRecordAddress + i, &got) != 0 || got != expected[i]) return kRecordMismatch;
  }
  return 0;
}

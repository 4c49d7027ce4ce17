#include "cycle/device_serial.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "app/settings_store.h"
#include "cycle/frame_scan.h"
#include "state/shared_state.h"
#include "state/status_line.h"
#include "isp/instructions.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "platform/thread.h"

const char kFactorySerial[] = "ZTMQR51700000000000000";

uint8_t g_rxBuffer[256];

namespace {

std::unique_ptr<plat::Event> g_serialEvent;
std::unique_ptr<plat::Thread> g_listenerThread;
std::atomic<SerialSource> g_serialSource{SerialSource::kNone};

// One request's own stop flag and port, so that a listener left behind in a
// driver's wait can never act for a later request.
struct Request {
  explicit Request(plat::SerialPort* p) : port(p) {}
  std::atomic<bool> stop{false};
  plat::SerialPort* const port;
  std::mutex m;  // the listener's leaving against the hand-over
  bool listenerGone = false;
  std::unique_ptr<plat::SerialPort> handedOver;  // closed by the listener when it leaves
};

// Runs one port operation unless the request has ended; false when it has.
template <class Op>
bool Use(Request& r, Op op) {
  if (r.stop.load()) return false;
  op(*r.port);
  return true;
}

// A pause that ends with the request; false when it has ended.
bool Pause(Request& r, unsigned ms) {
  return !r.stop.load() && plat::SleepUnless(ms, [&r] { return r.stop.load(); });
}

bool BreakPulse(Request& r) {
  return Use(r, [](plat::SerialPort& p) { p.SetBreak(true); }) && Pause(r, 1) &&
         Use(r, [](plat::SerialPort& p) { p.SetBreak(false); }) && Pause(r, 1);
}

// The device's request 0x10 0x7F is answered at once, inside the scan, so that
// a frame later in the same read is still taken.
void AnswerRequest(void* request) {
  Request& r = *static_cast<Request*>(request);
  if (BreakPulse(r) && Use(r, [](plat::SerialPort& p) { p.TransmitChar(0x10); }) && Pause(r, 1))
    Use(r, [](plat::SerialPort& p) { p.TransmitChar(0x31); });
}

// Waits for the firmware's break, answers it (break pulse, 0x06) and gives the
// device 8 ms to send its frame before one read that does not wait. Once
// ReadDeviceSerial's wait has ended it touches neither the port nor
// g_deviceSerial again, not even to finish a pulse or an answer begun.
void ListenUntilStopped(Request& r) {
  plat::RaiseThreadPriorityTimeCritical();
  while (true) {
    int waited = 0;
    if (!Use(r, [](plat::SerialPort& p) { p.ArmBreakWait(); })) return;
    if (!Use(r, [&waited](plat::SerialPort& p) { waited = p.WaitBreak(); })) return;
    if (waited == plat::SerialPort::kBreakArrived) {
      int n = 0;
      if (!BreakPulse(r) || !Use(r, [](plat::SerialPort& p) { p.TransmitChar(0x06); }) || !Pause(r, 8) ||
          !Use(r, [&n](plat::SerialPort& p) { n = p.Read(g_rxBuffer, int(sizeof g_rxBuffer)); }))
        return;
      if (n > 0) {
        FrameScanResult found = ScanFrames(g_rxBuffer, n, AnswerRequest, &r);
        if (r.stop.load()) return;
        if (found.payloadOffset >= 0) {
          std::memcpy(g_deviceSerial, g_rxBuffer + found.payloadOffset, size_t(found.payloadLength));
          g_serialEvent->Set();
          return;
        }
      }
    }
    if (!Pause(r, 5)) return;
  }
}

void SerialListener(const std::shared_ptr<Request>& r) {
  ListenUntilStopped(*r);
  std::unique_ptr<plat::SerialPort> handedOver;
  std::lock_guard<std::mutex> g(r->m);
  r->listenerGone = true;
  handedOver = std::move(r->handedOver);
}

}  // namespace

int ReadDeviceSerial() {
  g_serialEvent = plat::Event::Create();
  if (!g_serialEvent) return kSerialNoEvent;
  // A shorter report must not inherit the tail of an earlier, longer one.
  std::memset(g_deviceSerial, 0, sizeof g_deviceSerial);
  auto request = std::make_shared<Request>(g_hPort);
  g_hPort->ResetCancel();
  g_listenerThread = plat::Thread::Start([request] { SerialListener(request); });
  if (!g_listenerThread) {
    g_serialEvent.reset();
    return kSerialNoListener;
  }
  bool signalled = g_serialEvent->Wait(kRequestLimitMs);
  // The stop ends the listener's pauses; the port's cancel ends its wait for
  // a break.
  request->stop.store(true);
  plat::Notify();
  g_hPort->CancelWait();
  if (!g_listenerThread->JoinFor(kListenerEndLimitMs)) {
    // A driver that ignores the cancel holds the listener inside a port call.
    // Closing the port under it, or using it from this thread, would put two
    // threads on it: the port goes with the listener, which closes it when
    // the driver lets it go, and the cycle must end without it.
    std::lock_guard<std::mutex> g(request->m);
    if (!request->listenerGone) {
      request->handedOver.reset(g_hPort);
      g_hPort = nullptr;
      plat::Thread::Abandon(std::move(g_listenerThread));
      g_serialEvent.reset();
      return kSerialListenerHeld;
    }
  }
  // Ended, or just leaving: nothing of the request is left for it to touch.
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
    ShowStatus(statusWindow, StatusId::kSerialOk);
    return 0;
  }
  // The station could not ask: the device may well have reported, so no
  // other device's number may stand in for it.
  if (read == kSerialNoEvent || read == kSerialNoListener || read == kSerialListenerHeld) return kStationCannotAsk;
  ShowStatus(statusWindow, StatusId::kSerialNotFound);
  std::string stored = GetProfileString("Device", "Serial Number", "");
  if (!stored.empty()) {
    // The record takes 22 characters; the working number holds no more, so
    // the one shown is the one written.
    std::strncpy(working, stored.c_str(), kSerialLength);
    *source = SerialSource::kStation;
    g_serialSource.store(*source);
    return 0;
  }
  ShowStatus(statusWindow, StatusId::kSerialDefaulted);
  std::memcpy(working, kFactorySerial, kSerialLength);
  *source = SerialSource::kFactory;
  g_serialSource.store(*source);
  return 0;
}

int WriteSerialRecord(const char* characters, uint8_t length) {
  int n = length > kSerialLength ? kSerialLength : length;
  WriteFlashByte(kSerialRecordAddress, uint8_t(n));
  uint8_t sum = uint8_t(n);
  for (int i = 0; i < n; ++i) {
    uint8_t c = uint8_t(characters[i]);
    sum = uint8_t(sum + c);
    if (WriteFlashByte(kSerialRecordAddress + 1 + i, c) != 0) return kRecordWriteFailed;
  }
  WriteFlashByte(kSerialChecksumAddress, sum);
  return 0;
}

// A device that stops answering reads 0xFF, which is exactly the echo a write
// expects near the top of flash, and the length and checksum writes are not
// tested at all: only reading the record back shows it whole.
int CheckSerialRecord(const char* characters, uint8_t length) {
  int n = length > kSerialLength ? kSerialLength : length;
  uint8_t expected[kSerialRecordSize];
  std::memset(expected, 0xFF, sizeof expected);
  expected[0] = uint8_t(n);
  uint8_t sum = uint8_t(n);
  for (int i = 0; i < n; ++i) {
    expected[1 + i] = uint8_t(characters[i]);
    sum = uint8_t(sum + uint8_t(characters[i]));
  }
  expected[kSerialRecordSize - 1] = sum;
  for (int i = 0; i < kSerialRecordSize; ++i) {
    uint8_t got = 0;
    if (ReadFlashByte(kSerialRecordAddress + i, &got) != 0 || got != expected[i]) return kRecordMismatch;
  }
  return 0;
}

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <string>
#include <type_traits>

#include "platform/clock.h"
#include "platform/clocked_lines.h"
#include "platform/d2xx_api.h"
#include "platform/ftdi_chips.h"
#include "platform/ftdi_port.h"
#include "platform/port_problem.h"

namespace plat {
namespace {

// The chip sends a packet of fewer than 62 bytes only once its latency timer
// runs out, the timer restarting at every packet it sends (FTDI AN232B-04):
// at the default 16 ms the last samples of a write could wait that long;
// 2 ms is the least FT_SetLatencyTimer accepts.
constexpr UCHAR kLatencyMs = 2;
// The driver keeps bulk-in requests of this size going whether or not the
// program reads, and hands a request's data on when it is full or ends at a
// short packet (AN232B-03). Ten 64-byte packets, 620 samples after the two
// status bytes the chip puts in front of each, hold the samples of the
// longest write the link makes (a little over 512 states), so one request
// carries a write's samples; the 4 KiB default would hold a run of full
// packets back until a short one ends it.
constexpr ULONG kTransferBytes = 640;
// A clocked write and its samples take a few milliseconds on a working chip
// (round trip, states, latency timer); a call that has not ended after this
// long means the chip is gone.
constexpr ULONG kTimeoutMs = 500;
// How often the break wait looks at the line status the chip reports with its
// data; the device's break lasts much longer.
constexpr int64_t kBreakPollUs = 1000;

struct Library {
  HMODULE module = nullptr;
  d2xx::CreateDeviceInfoList createDeviceInfoList = nullptr;
  d2xx::GetDeviceInfoDetail getDeviceInfoDetail = nullptr;
  d2xx::Open open = nullptr;
  d2xx::Close close = nullptr;
  d2xx::GetComPortNumber getComPortNumber = nullptr;
  d2xx::SetBaudRate setBaudRate = nullptr;
  d2xx::SetDataCharacteristics setDataCharacteristics = nullptr;
  d2xx::Simple setDtr = nullptr, clrDtr = nullptr, setRts = nullptr, clrRts = nullptr;
  d2xx::Simple setBreakOn = nullptr, setBreakOff = nullptr;
  d2xx::GetModemStatus getModemStatus = nullptr;
  d2xx::Write write = nullptr;
  d2xx::Read read = nullptr;
  d2xx::GetQueueStatus getQueueStatus = nullptr;
  d2xx::SetTimeouts setTimeouts = nullptr;
  d2xx::SetLatencyTimer setLatencyTimer = nullptr;
  d2xx::SetUsbParameters setUsbParameters = nullptr;
  d2xx::SetBitMode setBitMode = nullptr;
  d2xx::Purge purge = nullptr;
  d2xx::Simple resetDevice = nullptr;

  ~Library() {
    if (module) FreeLibrary(module);
  }

  // The first function the library lacks, or empty when it has them all.
  std::string Resolve() {
    std::string missing;
    auto find = [&](auto* fn, const char* name) {
      FARPROC p = GetProcAddress(module, name);
      if (!p && missing.empty()) missing = name;
      *fn = reinterpret_cast<std::remove_pointer_t<decltype(fn)>>(reinterpret_cast<void (*)()>(p));
    };
    find(&createDeviceInfoList, "FT_CreateDeviceInfoList");
    find(&getDeviceInfoDetail, "FT_GetDeviceInfoDetail");
    find(&open, "FT_Open");
    find(&close, "FT_Close");
    find(&getComPortNumber, "FT_GetComPortNumber");
    find(&setBaudRate, "FT_SetBaudRate");
    find(&setDataCharacteristics, "FT_SetDataCharacteristics");
    find(&setDtr, "FT_SetDtr");
    find(&clrDtr, "FT_ClrDtr");
    find(&setRts, "FT_SetRts");
    find(&clrRts, "FT_ClrRts");
    find(&setBreakOn, "FT_SetBreakOn");
    find(&setBreakOff, "FT_SetBreakOff");
    find(&getModemStatus, "FT_GetModemStatus");
    find(&write, "FT_Write");
    find(&read, "FT_Read");
    find(&getQueueStatus, "FT_GetQueueStatus");
    find(&setTimeouts, "FT_SetTimeouts");
    find(&setLatencyTimer, "FT_SetLatencyTimer");
    find(&setUsbParameters, "FT_SetUSBParameters");
    find(&setBitMode, "FT_SetBitMode");
    find(&purge, "FT_Purge");
    find(&resetDevice, "FT_ResetDevice");
    return missing;
  }
};

class FtdiPort : public SerialPort, public ClockedLines {
 public:
  FtdiPort(std::unique_ptr<Library> lib, d2xx::Handle h) : lib_(std::move(lib)), h_(h) {}

  // Back to the UART if a cycle ended clocked, then the lines dropped as a
  // serial port's driver drops them at close (break off, DTR, then RTS), so
  // the device is left running whichever port carried the cycle.
  ~FtdiPort() override {
    if (clocked_) Leave();
    lib_->setBreakOff(h_);
    lib_->clrDtr(h_);
    lib_->clrRts(h_);
    lib_->close(h_);
  }

  bool SetupQueues(unsigned, unsigned) override { return true; }

  bool ConfigureLine() override {
    return Ok(lib_->setBaudRate(h_, 115200)) && Ok(lib_->setDataCharacteristics(h_, 8, 0, 0)) && SetBreak(false) &&
           SetDtr(true) && SetRts(true);
  }

  bool SetReadsImmediate() override { return true; }  // Read takes only what has arrived

  bool SetDtr(bool asserted) override {
    dtr_ = asserted;
    return Ok((asserted ? lib_->setDtr : lib_->clrDtr)(h_));
  }
  bool SetRts(bool asserted) override {
    rts_ = asserted;
    return Ok((asserted ? lib_->setRts : lib_->clrRts)(h_));
  }
  bool SetBreak(bool on) override {
    brk_ = on;
    return Ok((on ? lib_->setBreakOn : lib_->setBreakOff)(h_));
  }

  bool GetCts(bool* asserted) override {
    ULONG status = 0;
    if (!Ok(lib_->getModemStatus(h_, &status))) return false;
    *asserted = (status & d2xx::kModemCts) != 0;
    return true;
  }

  // A break the chip reported before this call is taken and forgotten.
  bool ArmBreakWait() override {
    ULONG status = 0;
    return Ok(lib_->getModemStatus(h_, &status));
  }

  // The wait looks at the break bit every kBreakPollUs on the system's clock
  // rather than waiting on the library's event notification, so that a
  // cancel ends it at its next look, whatever the driver does.
  int WaitBreak() override {
    for (;;) {
      if (cancelled_.load()) return -1;
      ULONG status = 0;
      if (!Ok(lib_->getModemStatus(h_, &status))) return 0;
      if (status & d2xx::kLineBreak) return 1;
      WaitUntil(NowUs() + kBreakPollUs, [this] { return cancelled_.load(); });
    }
  }

  void CancelWait() override {
    cancelled_.store(true);
    Notify();
  }
  void ResetCancel() override { cancelled_.store(false); }

  bool TransmitChar(uint8_t byte) override {
    DWORD written = 0;
    return Ok(lib_->write(h_, &byte, 1, &written)) && written == 1;
  }

  int Read(uint8_t* buf, int max) override {
    if (max <= 0) return 0;
    DWORD queued = 0;
    if (!Ok(lib_->getQueueStatus(h_, &queued))) return -1;
    if (queued == 0) return 0;
    DWORD got = 0;
    if (!Ok(lib_->read(h_, buf, std::min<DWORD>(queued, DWORD(max)), &got))) return -1;
    return int(got);
  }

  ClockedLines* Clocked() override { return this; }

  // A mode change puts the bit-bang output latch on every output pin at
  // once, while a pin left an input floats high. So only the pins whose latch
  // already holds their present level are outputs while the latch takes the
  // present levels, and the rest join after: no driven line moves, and the
  // device's reset latch sees no stray RTS edge. (A pin the UART holds low
  // whose latch is high cannot be kept: it is never so after the reset at
  // open, or after a Leave when the UART has not driven that line low since.)
  bool Enter() override {
    uint8_t idle = UartPins();
    uint8_t keep = uint8_t(kDrivenPins & ~(latch_ ^ idle));
    bool ok = Ok(lib_->purge(h_, d2xx::kPurgeRx | d2xx::kPurgeTx)) && Ok(lib_->setBitMode(h_, keep, d2xx::kModeSyncBitBang)) &&
              Ok(lib_->setBaudRate(h_, ULONG(ftdi::kClockRate)));
    if (ok && keep != kDrivenPins) {
      uint8_t sample = 0;
      ok = Clock(&idle, 1, &sample);
    }
    clocked_ = true;
    return ok && Ok(lib_->setBitMode(h_, kDrivenPins, d2xx::kModeSyncBitBang));
  }

  // One write and one read however many states: the driver keeps taking
  // the chip's samples into its own buffer while the write goes on, so the
  // chip never stops clocking for want of room and the samples are waiting
  // when the read comes. Pieces sized for the chip's buffers would each pay
  // a round trip of their own.
  bool Clock(const uint8_t* states, size_t n, uint8_t* samples) override {
    if (n == 0) return true;
    DWORD done = 0;
    if (!Ok(lib_->write(h_, const_cast<uint8_t*>(states), DWORD(n), &done)) || done != n) return false;
    latch_ = states[n - 1];
    return Ok(lib_->read(h_, samples, DWORD(n), &done)) && done == n;
  }

  // The UART takes over the pins with its own modem-control and break
  // settings, so those are set to the last clocked levels first.
  bool Leave() override {
    clocked_ = false;
    bool ok = SetDtr(!(latch_ & kPinDtr)) & SetRts(!(latch_ & kPinRts)) & SetBreak(!(latch_ & kPinTxd));
    return Ok(lib_->setBitMode(h_, 0, d2xx::kModeReset)) && Ok(lib_->setBaudRate(h_, 115200)) &&
           Ok(lib_->setDataCharacteristics(h_, 8, 0, 0)) && Ok(lib_->purge(h_, d2xx::kPurgeRx)) && ok;
  }

  unsigned Rate() const override { return ftdi::kClockRate; }

 private:
  static bool Ok(d2xx::Status s) { return s == d2xx::kOk; }

  uint8_t UartPins() const {
    uint8_t pins = 0xFF;
    if (brk_) pins &= uint8_t(~kPinTxd);
    if (rts_) pins &= uint8_t(~kPinRts);
    if (dtr_) pins &= uint8_t(~kPinDtr);
    return pins;
  }

  std::unique_ptr<Library> lib_;
  d2xx::Handle h_;
  bool dtr_ = false, rts_ = false, brk_ = false;
  bool clocked_ = false;
  uint8_t latch_ = 0;  // the chip's bit-bang output latch: cleared by the reset at open
  std::atomic<bool> cancelled_{false};
};

// COMn (or \\.\COMn) as the chip's COM port number; 0 for any other name.
long ComNumber(std::string name) {
  if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
  if (name.size() < 4 || name.size() > 6) return 0;
  for (int i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
  long n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

std::string StatusText(const char* call, d2xx::Status s) {
  return std::string(call) + " failed (status " + std::to_string(s) + ")";
}

}  // namespace

// The chip is found by the COM port number its driver gives it, which the
// library reports only for an open device: each FTDI device that no program
// holds is opened in turn and closed again unless it is the one.
FtdiOpen OpenFtdiPort(const std::string& name, std::unique_ptr<SerialPort>* port, std::string* why) {
  long com = ComNumber(name);
  if (com == 0) return FtdiOpen::kNotAChip;
  auto lib = std::make_unique<Library>();
  // Only where the chip maker's driver installs it (the system folder) or
  // beside the program: never from the current folder, which may be wherever
  // the firmware file came from.
  lib->module = LoadLibraryExW(L"ftd2xx.dll", nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!lib->module) return FtdiOpen::kNotAChip;
  std::string missing = lib->Resolve();
  if (!missing.empty()) {
    *why = "ftd2xx.dll has no " + missing + ": " + name + " uses line operations";
    return FtdiOpen::kUnusable;
  }
  DWORD count = 0;
  if (lib->createDeviceInfoList(&count) != d2xx::kOk) return FtdiOpen::kNotAChip;
  for (DWORD i = 0; i < count; ++i) {
    DWORD flags = 0, type = 0, id = 0, loc = 0;
    char serial[16] = {0}, description[64] = {0};
    d2xx::Handle h = nullptr;
    if (lib->getDeviceInfoDetail(i, &flags, &type, &id, &loc, serial, description, &h) != d2xx::kOk) continue;
    if (flags & d2xx::kFlagOpened) continue;
    if (lib->open(int(i), &h) != d2xx::kOk) continue;
    LONG number = -1;
    if (lib->getComPortNumber(h, &number) != d2xx::kOk || number != com) {
      lib->close(h);
      continue;
    }
    // The device type is FT_DEVICE_X_SERIES for the FT230X and the FT231X
    // alike, and so are their USB identities (0403:6015, bcdDevice 0x1000):
    // only the description the chip maker programs ("FT230X Basic UART")
    // tells them apart. An FT230X whose description was programmed anew
    // passes for an FT231X and is clocked; its DTR register reaches no pin,
    // so the device is never reset and the cycle ends as it would on line
    // operations through that adapter, only without the reason.
    description[sizeof description - 1] = '\0';
    std::string desc(description);
    if (type == d2xx::kDeviceXSeries && desc.find("FT230X") != std::string::npos) {
      lib->close(h);
      *why = name + " is an FT230X, which has no DTR pin for the cable: it uses line operations";
      return FtdiOpen::kUnusable;
    }
    if (type != d2xx::kDevice232R && type != d2xx::kDeviceXSeries) {
      lib->close(h);
      *why = name + " is an FTDI chip of type " + std::to_string(type) +
             ", which cannot clock the cable's lines: it uses line operations";
      return FtdiOpen::kUnusable;
    }
    // The reset clears the bit-bang output latch (Enter relies on knowing it)
    // and the modem lines, which a fresh open of a serial port leaves dropped
    // too; a run that ended clocked may have left the chip so; reads must
    // never wait for ever on a chip that has gone.
    std::string failed;
    auto step = [&](const char* call, d2xx::Status s) {
      if (s != d2xx::kOk && failed.empty()) failed = StatusText(call, s);
      return s == d2xx::kOk;
    };
    if (!(step("FT_ResetDevice", lib->resetDevice(h)) && step("FT_SetBitMode", lib->setBitMode(h, 0, d2xx::kModeReset)) &&
          step("FT_SetLatencyTimer", lib->setLatencyTimer(h, kLatencyMs)) &&
          step("FT_SetUSBParameters", lib->setUsbParameters(h, kTransferBytes, kTransferBytes)) &&
          step("FT_SetTimeouts", lib->setTimeouts(h, kTimeoutMs, kTimeoutMs)) &&
          step("FT_Purge", lib->purge(h, d2xx::kPurgeRx | d2xx::kPurgeTx)))) {
      lib->close(h);
      *why = "the FTDI chip behind " + name + ": " + failed;
      return FtdiOpen::kFailed;
    }
    NotePortProblem(name, PortNote());
    port->reset(new FtdiPort(std::move(lib), h));
    return FtdiOpen::kOpened;
  }
  return FtdiOpen::kNotAChip;
}

}  // namespace plat

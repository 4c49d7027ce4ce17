#include "support/ftdi_chip.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/clock.h"
#include "sim/device.h"

namespace {

// Vendor requests.
constexpr uint8_t kReset = 0x00, kModemCtrl = 0x01, kFlowCtrl = 0x02, kSetBaud = 0x03, kSetData = 0x04,
                  kPollStatus = 0x05, kSetLatency = 0x09, kGetLatency = 0x0A, kSetBitMode = 0x0B, kReadPins = 0x0C;
constexpr uint8_t kModeSyncBitBang = 0x04;

constexpr uint8_t kPinTxd = 0x01, kPinRts = 0x04, kPinCts = 0x08, kPinDtr = 0x10;
constexpr uint8_t kStatusCts = 0x10;
constexpr uint8_t kLineOverrun = 0x02, kLineBreak = 0x10, kLineIdle = 0x20 | 0x40;
constexpr int kPacket = 64;
constexpr int kPacketData = kPacket - 2;

unsigned DecodeBaud(uint16_t value, uint16_t index) {
  static const unsigned kEighths[8] = {0, 4, 2, 1, 3, 5, 6, 7};
  unsigned n = value & 0x3FFF;
  unsigned code = (value >> 14) | ((index & 1u) << 2);
  if (code == 0 && n == 0) return 3000000;
  if (code == 0 && n == 1) return 2000000;
  return unsigned(24000000ull / (n * 8ull + kEighths[code]));
}

}  // namespace

FtdiChip::FtdiChip(ChipModel model, sim::SimDevice* device, std::string port)
    : model_(model), device_(device), port_(std::move(port)) {
  serial_ = model == ChipModel::kFt232r ? "A6008ktS" : "DK0AB1CD";
}

FtdiChip::~FtdiChip() {
  if (open_ && device_) device_->HostClosed(port_);
}

uint16_t FtdiChip::ProductId() const { return model_ == ChipModel::kFt232r ? 0x6001 : 0x6015; }
uint16_t FtdiChip::BcdDevice() const { return model_ == ChipModel::kFt232r ? 0x0600 : 0x1000; }

const char* FtdiChip::Description() const {
  switch (model_) {
    case ChipModel::kFt232r:
      return "FT232R USB UART";
    case ChipModel::kFt231x:
      return "FT231X USB UART";
    case ChipModel::kFt230x:
      break;
  }
  return "FT230X Basic UART";
}

size_t FtdiChip::HostToChipBuffer() const { return model_ == ChipModel::kFt232r ? 128 : 512; }
size_t FtdiChip::ChipToHostBuffer() const { return model_ == ChipModel::kFt232r ? 256 : 512; }

void FtdiChip::Unplug() {
  if (unplugged_) return;
  unplugged_ = true;
  if (open_ && device_) device_->HostClosed(port_);
  open_ = false;
}

bool FtdiChip::Call() {
  if (!unplugged_ && ++calls_ > unplugAfter_) Unplug();
  return !unplugged_;
}

int64_t FtdiChip::NowUs() const { return plat::NowUs(); }
void FtdiChip::WaitUntilUs(int64_t us) const {
  if (us > plat::NowUs()) plat::WaitUntil(us, nullptr);
}

void FtdiChip::RoundTrip() {
  if (roundTripUs_ > 0) plat::WaitUntil(plat::NowUs() + roundTripUs_, nullptr);
}

void FtdiChip::Opened() {
  if (unplugged_ || open_) return;
  open_ = true;
  if (!device_) return;
  device_->HostOpened(port_);
  lines_ = 0xFF;
  Drive(DrivenPins());
}

void FtdiChip::Closed() {
  if (open_ && device_) device_->HostClosed(port_);
  open_ = false;
}

// The FT230X has no DTR pin: its DTR register reaches no line.
uint8_t FtdiChip::DrivenPins() const {
  uint8_t pins;
  if (mode_ == kModeSyncBitBang)
    pins = uint8_t((latch_ & mask_) | ~mask_);
  else
    pins = uint8_t((break_ ? 0 : kPinTxd) | (rts_ ? 0 : kPinRts) | (dtr_ ? 0 : kPinDtr));
  if (model_ == ChipModel::kFt230x) pins |= kPinDtr;
  return uint8_t(pins | ~(kPinTxd | kPinRts | kPinDtr));
}

// Break first, then DTR, then RTS, when a change moves several lines at once.
void FtdiChip::Drive(uint8_t pins) {
  if (!open_ || !device_) return;
  uint8_t changed = uint8_t((pins ^ lines_) & (kPinTxd | kPinRts | kPinDtr));
  if (changed & kPinTxd) device_->SetBreak(!(pins & kPinTxd));
  if (changed & kPinDtr) device_->SetDtr(!(pins & kPinDtr));
  if (changed & kPinRts) device_->SetRts(!(pins & kPinRts));
  lines_ = pins;
  if (changed || !cts_) cts_ = device_->Cts();
}

uint8_t FtdiChip::Pins() const {
  uint8_t pins = DrivenPins();
  if (cts_ && !(mode_ == kModeSyncBitBang && (mask_ & kPinCts))) pins = uint8_t(pins & ~kPinCts);
  return pins;
}

uint8_t FtdiChip::Sample() { return Pins(); }

bool FtdiChip::UartMatches() const {
  return mode_ == 0 && baud_ >= 111700 && baud_ <= 118700 && (format_ & 0x3FFF) == 0x0008;
}

// Each byte: the pins are read, then the byte's levels go out at the next
// tick of the bit-bang clock. The chip clocks only while there is room for
// the sample.
void FtdiChip::ClockWaiting() {
  if (mode_ != kModeSyncBitBang) return;
  int64_t periodNs = int64_t(1000000000ull / std::max(baud_, 1u));
  int64_t nowNs = plat::NowUs() * 1000;
  if (nextClockNs_ < nowNs) nextClockNs_ = nowNs;
  while (!toChip_.empty() && toHost_.size() < ChipToHostBuffer()) {
    toHost_.push_back(Held{Sample(), false});
    latch_ = toChip_.front();
    toChip_.pop_front();
    uint8_t pins = DrivenPins();
    if (((pins ^ lines_) & (kPinTxd | kPinRts | kPinDtr)) != 0) {
      int64_t atUs = nextClockNs_ / 1000;
      if (atUs > plat::NowUs()) plat::WaitUntil(atUs, nullptr);
      Drive(pins);
    }
    nextClockNs_ += periodNs;
    ++clocked_;
  }
  int64_t doneUs = nextClockNs_ / 1000;
  if (!toChip_.empty() || doneUs <= plat::NowUs()) return;
  plat::WaitUntil(doneUs, nullptr);
}

// What the device sent by now: bytes at the wrong rate or format arrive
// garbled; nothing arrives in bit-bang mode, where RXD is a plain input.
void FtdiChip::Receive() {
  if (!open_ || !device_) return;
  std::vector<sim::RxEvent> events = device_->TakeRx(plat::NowUs());
  if (mode_ != 0) return;
  for (const sim::RxEvent& e : events) {
    if (toHost_.size() >= ChipToHostBuffer()) {
      overrun_ = true;
      continue;
    }
    if (e.isBreak)
      toHost_.push_back(Held{0x00, true});
    else
      toHost_.push_back(Held{UartMatches() ? e.byte : uint8_t(e.byte ^ 0xA5), false});
  }
}

void FtdiChip::SioReset() {
  dtr_ = rts_ = break_ = false;
  format_ = 0x0008;
  mode_ = 0;
  mask_ = 0;
  latch_ = 0;
  toChip_.clear();
  toHost_.clear();
  overrun_ = false;
  Drive(DrivenPins());
}

int FtdiChip::Control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                      uint16_t length) {
  if (!Call()) return kUsbErrorNoDevice;
  RoundTrip();
  bool in = (requestType & 0x80) != 0;
  switch (request) {
    case kReset:
      if (value == 0)
        SioReset();
      else if (value == 1)
        toChip_.clear();
      else if (value == 2)
        toHost_.clear();
      else
        return kUsbErrorPipe;
      return 0;
    case kModemCtrl:
      if (value & 0x0100) dtr_ = (value & 0x01) != 0;
      if (value & 0x0200) rts_ = (value & 0x02) != 0;
      if (mode_ == 0) Drive(DrivenPins());
      return 0;
    case kFlowCtrl:
      return 0;
    case kSetBaud:
      baud_ = DecodeBaud(value, index);
      return 0;
    case kSetData:
      format_ = uint16_t(value & 0x3FFF);
      break_ = (value & 0x4000) != 0;
      if (mode_ == 0) Drive(DrivenPins());
      return 0;
    case kPollStatus:
      if (!in || length < 2) return kUsbErrorPipe;
      Receive();
      data[0] = uint8_t(0x01 | (cts_ ? kStatusCts : 0));
      data[1] = uint8_t(kLineIdle | (overrun_ ? kLineOverrun : 0));
      for (const Held& h : toHost_)
        if (h.isBreak) data[1] |= kLineBreak;
      return 2;
    case kSetLatency:
      if (value < 1 || value > 255) return kUsbErrorPipe;
      latencyMs_ = uint8_t(value);
      return 0;
    case kGetLatency:
      if (!in || length < 1) return kUsbErrorPipe;
      data[0] = latencyMs_;
      return 1;
    case kSetBitMode: {
      uint8_t mode = uint8_t(value >> 8);
      if (mode != 0 && mode != kModeSyncBitBang) return kUsbErrorPipe;
      uint8_t before = uint8_t(lines_ & (kPinTxd | kPinRts | kPinDtr));
      mode_ = mode;
      mask_ = mode ? uint8_t(value & (model_ == ChipModel::kFt230x ? 0x0F : 0xFF)) : 0;
      nextClockNs_ = plat::NowUs() * 1000;
      Drive(DrivenPins());
      uint8_t moved = uint8_t((before ^ lines_) & (kPinTxd | kPinRts | kPinDtr));
      for (; moved; moved = uint8_t(moved & (moved - 1))) ++modeEdges_;
      return 0;
    }
    case kReadPins:
      if (!in || length < 1) return kUsbErrorPipe;
      data[0] = Pins();
      return 1;
    default:
      return kUsbErrorPipe;
  }
}

int FtdiChip::BulkOut(const uint8_t* data, int length, int* moved, unsigned timeoutMs) {
  *moved = 0;
  if (!Call()) return kUsbErrorNoDevice;
  int64_t start = plat::NowUs();
  RoundTrip();
  *moved = TakeOut(data, length);
  if (*moved < length) {
    // Nobody reads the samples: the chip refuses more until the host gives
    // up.
    plat::WaitUntil(start + int64_t(timeoutMs) * 1000, nullptr);
    return kUsbErrorTimeout;
  }
  return kUsbOk;
}

int FtdiChip::TakeOut(const uint8_t* data, int length) {
  if (mode_ != kModeSyncBitBang) {
    for (int i = 0; i < length; ++i)
      if (open_ && device_) device_->HostTransmit(UartMatches() ? data[i] : uint8_t(data[i] ^ 0xA5));
    return length;
  }
  int taken = 0;
  for (; taken < length; ++taken) {
    if (toChip_.size() >= HostToChipBuffer()) ClockWaiting();
    if (toChip_.size() >= HostToChipBuffer()) break;
    toChip_.push_back(data[taken]);
    mostPending_ = std::max(mostPending_, toChip_.size());
  }
  ClockWaiting();
  return taken;
}

int FtdiChip::BulkIn(uint8_t* data, int length, int* moved, unsigned timeoutMs) {
  *moved = 0;
  if (!Call()) return kUsbErrorNoDevice;
  (void)timeoutMs;  // the latency timer always ends a transfer sooner
  RoundTrip();
  bool ended = false;
  *moved = GiveIn(data, length, false, &ended);
  return kUsbOk;
}

int FtdiChip::GiveIn(uint8_t* data, int length, bool wholeOnly, bool* ended) {
  *ended = false;
  Receive();
  if (wholeOnly && toHost_.size() < size_t(kPacketData)) return 0;
  if (toHost_.size() < size_t(kPacketData)) {
    int64_t flushAt = lastInUs_ + int64_t(latencyMs_) * 1000;
    if (flushAt > plat::NowUs()) {
      plat::WaitUntil(flushAt, nullptr);
      Receive();
    }
  }
  int out = 0;
  while (length - out >= 2 && !(wholeOnly && (toHost_.size() < size_t(kPacketData) || length - out < kPacket))) {
    bool isBreak = !toHost_.empty() && toHost_.front().isBreak;
    data[out] = uint8_t(0x01 | (cts_ ? kStatusCts : 0));
    data[out + 1] = uint8_t(kLineIdle | (isBreak ? kLineBreak : 0) | (overrun_ ? kLineOverrun : 0));
    overrun_ = false;
    int room = std::min(kPacketData, length - out - 2);
    int k = 0;
    while (k < room && !toHost_.empty() && (k == 0 || !toHost_.front().isBreak)) {
      data[out + 2 + k++] = toHost_.front().byte;
      toHost_.pop_front();
    }
    out += 2 + k;
    if (k < kPacketData) {  // a short packet ends the transfer
      *ended = true;
      break;
    }
  }
  if (out > 0) lastInUs_ = plat::NowUs();
  ClockWaiting();
  return out;
}

#include "support/d2xx_emulation.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "support/win32_test_support.h"

namespace {

constexpr uint8_t kOut = 0x40, kIn = 0xC0;
constexpr uint8_t kReset = 0x00, kModemCtrl = 0x01, kSetBaud = 0x03, kSetData = 0x04, kPollStatus = 0x05,
                  kSetLatency = 0x09, kSetBitMode = 0x0B;
constexpr uint16_t kPurgeHostToChip = 1, kPurgeChipToHost = 2;
constexpr size_t kPacket = 64;
constexpr size_t kPacketData = kPacket - 2;  // after the modem and line status
constexpr uint8_t kLineErrors = 0x1E;  // OE, PE, FE, BI: kept until read

HMODULE g_dll = nullptr;

}  // namespace

void EmulatedD2xx::Add(FtdiChip* chip, long com, int64_t roundTripUs) {
  devices_.emplace_back();
  devices_.back().chip = chip;
  devices_.back().com = com;
  devices_.back().roundTripUs = roundTripUs;
  chip->SetRoundTripUs(roundTripUs);
}

EmulatedD2xx::Device* EmulatedD2xx::Of(d2xx::Handle h) {
  size_t i = reinterpret_cast<size_t>(h);
  if (i == 0 || i > devices_.size() || !devices_[i - 1].open) return nullptr;
  return &devices_[i - 1];
}

int EmulatedD2xx::OpenHandles() const {
  return int(std::count_if(devices_.begin(), devices_.end(), [](const Device& d) { return d.open; }));
}

d2xx::Status EmulatedD2xx::Request(Device* d, uint8_t request, uint16_t value, uint16_t index) {
  if (!d) return 1;  // FT_INVALID_HANDLE
  return d->chip->Control(kOut, request, value, index, nullptr, 0) < 0 ? d2xx::kIoError : d2xx::kOk;
}

bool EmulatedD2xx::Poll(Device* d) {
  std::vector<uint8_t> buf(d->inTransfer);
  int moved = 0;
  if (d->chip->BulkIn(buf.data(), int(buf.size()), &moved, 1000) != kUsbOk) return false;
  size_t before = d->rx.size();
  for (size_t at = 0; at + 2 <= size_t(moved); at += kPacket) {
    d->modem = buf[at];
    d->line = uint8_t((d->line & kLineErrors) | buf[at + 1]);
    size_t end = std::min(at + kPacket, size_t(moved));
    d->rx.insert(d->rx.end(), buf.begin() + long(at + 2), buf.begin() + long(end));
  }
  d->unread -= std::min(d->unread, d->rx.size() - before);
  return true;
}

bool EmulatedD2xx::PollUnderWay(Device* d) {
  d->chip->SetRoundTripUs(0);
  bool ok = Poll(d);
  d->chip->SetRoundTripUs(d->roundTripUs);
  return ok;
}

// The chip takes what its two buffers hold between them (bytes waiting to be
// clocked, samples waiting to be sent); the standing requests make room by
// taking the samples whenever a packet's worth waits, as the chip then sends
// it at once.
d2xx::Status EmulatedD2xx::WriteClocked(Device* d, const uint8_t* bytes, DWORD n, DWORD* written) {
  const size_t room = d->chip->HostToChipBuffer() + d->chip->ChipToHostBuffer();
  *written = 0;
  for (bool first = true; *written < n; first = false) {
    if (d->unread >= room - kPacket && !PollUnderWay(d)) return d2xx::kIoError;
    int piece = int(std::min<size_t>(n - *written, room - std::min(room, d->unread))), moved = 0;
    if (!first) d->chip->SetRoundTripUs(0);
    int r = d->chip->BulkOut(bytes + *written, piece, &moved, d->writeMs ? d->writeMs : 5000);
    d->chip->SetRoundTripUs(d->roundTripUs);
    *written += DWORD(moved);
    d->unread += size_t(moved);
    if (r == kUsbErrorTimeout) return d2xx::kOk;
    if (r != kUsbOk) return d2xx::kIoError;
  }
  return d->unread >= kPacketData && !PollUnderWay(d) ? d2xx::kIoError : d2xx::kOk;
}

d2xx::Status EmulatedD2xx::CreateDeviceInfoList(DWORD* count) {
  *count = DWORD(devices_.size());
  return d2xx::kOk;
}

d2xx::Status EmulatedD2xx::GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                               void* serial, void* description, d2xx::Handle* handle) {
  if (index >= devices_.size()) return d2xx::kDeviceNotFound;
  const Device& d = devices_[index];
  *flags = d.open ? d2xx::kFlagOpened : 0;
  *type = d.chip->Model() == ChipModel::kFt232r ? d2xx::kDevice232R : d2xx::kDeviceXSeries;
  *id = DWORD(d.chip->VendorId()) << 16 | d.chip->ProductId();
  *locId = index + 1;
  std::strncpy(static_cast<char*>(serial), d.chip->SerialNumber(), 15);
  std::strncpy(static_cast<char*>(description), d.chip->Description(), 63);
  *handle = nullptr;
  return d2xx::kOk;
}

d2xx::Status EmulatedD2xx::Open(int index, d2xx::Handle* handle) {
  if (index < 0 || size_t(index) >= devices_.size()) return d2xx::kDeviceNotFound;
  Device& d = devices_[size_t(index)];
  if (d.open || d.chip->Unplugged()) return 3;  // FT_DEVICE_NOT_OPENED
  d.chip->Opened();
  d.open = true;
  d.rx.clear();
  d.unread = 0;
  *handle = reinterpret_cast<d2xx::Handle>(size_t(index) + 1);
  return d2xx::kOk;
}

d2xx::Status EmulatedD2xx::Close(d2xx::Handle h) {
  Device* d = Of(h);
  if (!d) return 1;
  d->chip->Closed();
  d->open = false;
  return d2xx::kOk;
}

d2xx::Status EmulatedD2xx::GetComPortNumber(d2xx::Handle h, LONG* number) {
  Device* d = Of(h);
  if (!d) return 1;
  *number = LONG(d->com);
  return d2xx::kOk;
}

// The divisor in eighths of the chip's 3 MHz, coded as the chip takes it.
d2xx::Status EmulatedD2xx::SetBaudRate(d2xx::Handle h, ULONG baud) {
  static const uint32_t kFraction[8] = {0, 3, 2, 4, 1, 5, 6, 7};
  if (baud == 0) return 7;  // FT_INVALID_BAUD_RATE
  uint32_t eighths = uint32_t((24000000ull + baud / 2) / baud);
  uint32_t code = (eighths >> 3) | kFraction[eighths & 7] << 14;
  if (eighths == 8) code = 0;       // 3 MBd
  else if (eighths == 12) code = 1;  // 2 MBd
  return Request(Of(h), kSetBaud, uint16_t(code), uint16_t(code >> 16));
}

d2xx::Status EmulatedD2xx::SetDataCharacteristics(d2xx::Handle h, UCHAR bits, UCHAR stop, UCHAR parity) {
  Device* d = Of(h);
  if (!d) return 1;
  d->data = uint16_t((d->data & 0x4000) | bits | parity << 8 | stop << 11);
  return Request(d, kSetData, d->data);
}

d2xx::Status EmulatedD2xx::SetModemLine(d2xx::Handle h, bool dtr, bool on) {
  uint16_t bit = dtr ? 0x0001 : 0x0002;
  return Request(Of(h), kModemCtrl, uint16_t(bit << 8 | (on ? bit : 0)));
}

d2xx::Status EmulatedD2xx::SetBreak(d2xx::Handle h, bool on) {
  Device* d = Of(h);
  if (!d) return 1;
  d->data = uint16_t(on ? d->data | 0x4000 : d->data & ~0x4000);
  return Request(d, kSetData, d->data);
}

d2xx::Status EmulatedD2xx::GetModemStatus(d2xx::Handle h, ULONG* status) {
  Device* d = Of(h);
  if (!d) return 1;
  uint8_t now[2] = {0, 0};
  if (d->chip->Control(kIn, kPollStatus, 0, 1, now, 2) < 0 || !Poll(d)) return d2xx::kIoError;
  d->modem = now[0];
  *status = ULONG(d->modem) | ULONG(d->line | now[1]) << 8;
  d->line = 0;
  return d2xx::kOk;
}

d2xx::Status EmulatedD2xx::Write(d2xx::Handle h, void* buffer, DWORD n, DWORD* written) {
  Device* d = Of(h);
  if (!d) return 1;
  ++transfers_;
  if (d->chip->BitMode() != 0) return WriteClocked(d, static_cast<const uint8_t*>(buffer), n, written);
  int moved = 0;
  int r = d->chip->BulkOut(static_cast<const uint8_t*>(buffer), int(n), &moved, d->writeMs ? d->writeMs : 5000);
  *written = DWORD(moved);
  return r == kUsbOk || r == kUsbErrorTimeout ? d2xx::kOk : d2xx::kIoError;
}

// Returns once n bytes have come or the read timeout has passed.
d2xx::Status EmulatedD2xx::Read(d2xx::Handle h, void* buffer, DWORD n, DWORD* got) {
  Device* d = Of(h);
  if (!d) return 1;
  ++transfers_;
  int64_t deadline = plat::NowUs() + int64_t(d->readMs ? d->readMs : 60000) * 1000;
  while (d->rx.size() < n && plat::NowUs() < deadline)
    if (!PollUnderWay(d)) return d2xx::kIoError;
  *got = DWORD(std::min<size_t>(n, d->rx.size()));
  std::copy(d->rx.begin(), d->rx.begin() + long(*got), static_cast<uint8_t*>(buffer));
  d->rx.erase(d->rx.begin(), d->rx.begin() + long(*got));
  return d2xx::kOk;
}

d2xx::Status EmulatedD2xx::GetQueueStatus(d2xx::Handle h, DWORD* queued) {
  Device* d = Of(h);
  if (!d) return 1;
  if (!Poll(d)) return d2xx::kIoError;
  *queued = DWORD(d->rx.size());
  return d2xx::kOk;
}

d2xx::Status EmulatedD2xx::SetTimeouts(d2xx::Handle h, ULONG readMs, ULONG writeMs) {
  Device* d = Of(h);
  if (!d) return 1;
  d->readMs = readMs;
  d->writeMs = writeMs;
  return d2xx::kOk;
}

d2xx::Status EmulatedD2xx::SetLatencyTimer(d2xx::Handle h, UCHAR ms) {
  if (ms < 2) return d2xx::kInvalidParameter;
  latencySet_ = ms;
  return Request(Of(h), kSetLatency, ms);
}

d2xx::Status EmulatedD2xx::SetUsbParameters(d2xx::Handle h, ULONG in, ULONG) {
  Device* d = Of(h);
  if (!d) return 1;
  if (in < kPacket || in % kPacket != 0 || in > 65536) return d2xx::kInvalidParameter;
  d->inTransfer = in;
  inTransferSet_ = in;
  return d2xx::kOk;
}

d2xx::Status EmulatedD2xx::SetBitMode(d2xx::Handle h, UCHAR mask, UCHAR mode) {
  return Request(Of(h), kSetBitMode, uint16_t(mode << 8 | mask));
}

d2xx::Status EmulatedD2xx::Purge(d2xx::Handle h, ULONG mask) {
  Device* d = Of(h);
  if (!d) return 1;
  d2xx::Status s = d2xx::kOk;
  if (mask & d2xx::kPurgeRx) {
    d->rx.clear();
    d->unread = 0;
    s = Request(d, kReset, kPurgeChipToHost);
  }
  if (s == d2xx::kOk && (mask & d2xx::kPurgeTx)) s = Request(d, kReset, kPurgeHostToChip);
  return s;
}

d2xx::Status EmulatedD2xx::ResetDevice(d2xx::Handle h) {
  Device* d = Of(h);
  if (!d) return 1;
  d->rx.clear();
  d->unread = 0;
  return Request(d, kReset, 0);
}

bool LoadTestD2xx(D2xxDevices* devices) {
  if (!g_dll) g_dll = LoadLibraryA(WindowsPath(ORVALO_TEST_D2XX_DLL).c_str());
  if (!g_dll) return false;
  auto use = reinterpret_cast<UseD2xxDevicesFn>(reinterpret_cast<void (*)()>(GetProcAddress(g_dll, kUseD2xxDevices)));
  if (!use) return false;
  use(devices);
  return true;
}

void UnloadTestD2xx() {
  if (!g_dll) return;
  auto use = reinterpret_cast<UseD2xxDevicesFn>(reinterpret_cast<void (*)()>(GetProcAddress(g_dll, kUseD2xxDevices)));
  if (use) use(nullptr);
  FreeLibrary(g_dll);
  g_dll = nullptr;
}

std::string ChipBench::Attach(const std::string& items, ChipModel model, long com, bool loadLibrary) {
  sim::Config config;
  std::string error = sim::ParseConfig(items, &config);
  if (!error.empty()) return error;
  device.reset(new sim::SimDevice(config));
  error = device->Attach();
  if (!error.empty()) return error;
  chip.reset(new FtdiChip(model, device.get(), "COM" + std::to_string(com)));
  d2xx.Add(chip.get(), com);
  return !loadLibrary || LoadTestD2xx(&d2xx) ? "" : "the stand-in ftd2xx.dll did not load";
}

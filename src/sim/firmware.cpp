#include "sim/firmware.h"

#include <algorithm>

#include "platform/clock.h"

namespace sim {
namespace {

constexpr int64_t kFirstBreakUs = 20000;
constexpr int64_t kBreakPeriodUs = 100000;
constexpr int64_t kReplyDelayUs = 300;
constexpr int64_t kByteTimeUs = 87;  // 10 bits at 115200 baud

const uint8_t kFirmwareStub[] = {0x0C, 0x94, 0x2A, 0x00, 0x0C, 0x94, 0x34, 0x00,
                                 0x11, 0x24, 0x1F, 0xBE, 0xCF, 0xE5, 0xD2, 0xE0};

}  // namespace

void LoadFactoryFirmware(const std::string& serial, std::vector<uint8_t>* flash) {
  std::vector<uint8_t>& f = *flash;
  std::copy(std::begin(kFirmwareStub), std::end(kFirmwareStub), f.begin());
  int n = int(serial.size());
  int sum = n;
  f[kSerialRecordAddress] = uint8_t(n);
  for (int i = 0; i < n; ++i) {
    f[kSerialRecordAddress + 1 + i] = uint8_t(serial[i]);
    sum += uint8_t(serial[i]);
  }
  f[kSerialChecksumAddress] = uint8_t(sum);
}

Firmware::Firmware(const Config& config, const SimTime& time, const Memories* memories)
    : config_(config), time_(time), mem_(memories) {}

void Firmware::OnReset(int level) {
  level_ = level;
  if (level == 1) {
    Start();
  } else {
    running_ = false;
    awaitingAnswer_ = false;
  }
}

bool Firmware::HasFirmware() const {
  const std::vector<uint8_t>& f = mem_->Flash();
  for (int i = 0; i < kSerialRecordAddress; ++i)
    if (f[i] != 0xFF) return true;
  return false;
}

void Firmware::Start() {
  running_ = !cut_ && !config_.silent && HasFirmware();
  nextBreakUs_ = time_.now + kFirstBreakUs;
  awaitingAnswer_ = false;
  txReleased_ = false;
  reportDone_ = false;
}

void Firmware::Cut() {
  cut_ = true;
  running_ = false;
}

void Firmware::Advance() {
  if (cut_) return;
  while (running_ && level_ == 1 && !reportDone_ && nextBreakUs_ <= time_.now) {
    txd.Send(RxEvent{nextBreakUs_, true, 0});
    awaitingAnswer_ = true;
    txReleased_ = false;
    nextBreakUs_ += kBreakPeriodUs;
  }
}

int64_t Firmware::NextBreakTime() const {
  return running_ && level_ == 1 && !reportDone_ ? nextBreakUs_ : plat::kForever;
}

void Firmware::OnClock(int level) {
  if (level == 1 && level_ == 1 && awaitingAnswer_) {
    txReleased_ = true;
    ++breakPulses_;
  }
}

void Firmware::OnByte(uint8_t byte) {
  uartIn_.Add(byte);
  if (level_ == 1 && running_ && awaitingAnswer_ && txReleased_ && byte == 0x06) SendReport();
}

void Firmware::SendReport() {
  awaitingAnswer_ = false;
  if (config_.vanishAtReport) {
    gone.Send(1);
    return;
  }
  const std::vector<uint8_t>& flash = mem_->Flash();
  std::vector<uint8_t> payload;
  int n = flash[kSerialRecordAddress];
  int sum = n;
  for (int i = 0; i < n && n <= kSerialLength; ++i) sum += flash[kSerialRecordAddress + 1 + i];
  if (n >= 1 && n <= kSerialLength && uint8_t(sum) == flash[kSerialChecksumAddress])
    payload.assign(flash.begin() + kSerialRecordAddress + 1, flash.begin() + kSerialRecordAddress + 1 + n);
  else
    payload.assign(1, 0);
  bool scripted = !scriptedSent_ && (config_.request || config_.frameLength >= 0 || config_.truncate >= 0 ||
                                     !config_.noise.empty());
  std::vector<uint8_t> bytes;
  if (scripted) {
    bytes = config_.noise;
    if (config_.request) {
      bytes.push_back(0x10);
      bytes.push_back(0x7F);
    }
    if (config_.frameLength >= 0) {
      size_t want = size_t(config_.frameLength) + 1;
      for (size_t i = payload.size(); i < want; ++i) payload.push_back(uint8_t('a' + i % 26));
      payload.resize(want);
    }
  }
  bytes.push_back(0x10);
  bytes.push_back(0xE0);
  bytes.push_back(uint8_t(payload.size() - 1));
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  if (scripted && config_.truncate >= 0 && size_t(config_.truncate) < bytes.size()) bytes.resize(config_.truncate);
  for (size_t i = 0; i < bytes.size(); ++i)
    txd.Send(RxEvent{time_.now + kReplyDelayUs + int64_t(i) * kByteTimeUs, false, bytes[i]});
  // A scripted report is sent once; the firmware then reports plainly at its
  // next break, as a device that was not understood would try again.
  if (scripted)
    scriptedSent_ = true;
  else
    reportDone_ = true;
}

void Firmware::ClearRecords() {
  uartIn_.Clear();
  breakPulses_ = 0;
}

}  // namespace sim

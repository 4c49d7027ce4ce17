// The two HEX passes over arbitrary file contents, on the simulated device and
// the virtual clock. Every pass must end having read nothing past the file (and
// nothing past the end record when it ends well), and the flash it leaves must
// equal an independent reading of the records: erased at the start, every byte
// of a data record ANDed into the cell at its address modulo 8 KiB. A verifying
// pass after a good programming pass must agree with that reading byte for byte.
// Whatever the text check accepts must program whole, inside 0x0000-0x1FE7
// (0xFF alone above), and verify.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/firmware_file.h"
#include "image/hex_check.h"
#include "image/hex_passes.h"
#include "isp/instructions.h"
#include "isp/port.h"
#include "sim/sim.h"
#include "support/silent_dialog.h"

namespace {

constexpr size_t kFlashSize = 8192;

// The file's bytes in a buffer of exactly their size, so that a read past
// the end is caught by the address sanitizer, with the read position exposed.
class ExactFile : public plat::File {
 public:
  ExactFile(const uint8_t* data, size_t size) : bytes_(new uint8_t[size ? size : 1]), size_(size) {
    if (size) std::memcpy(bytes_.get(), data, size);
  }
  int Read(void* buf, int n) override {
    if (n <= 0) return 0;
    size_t take = std::min(size_t(n), size_ - pos_);
    if (take) std::memcpy(buf, bytes_.get() + pos_, take);
    pos_ += take;
    return int(take);
  }
  bool Rewind() override {
    pos_ = 0;
    return true;
  }
  size_t pos() const { return pos_; }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_;
  size_t pos_ = 0;
};

class CountingDialog : public SilentDialog {
 public:
  void SetStatusText(const char*) override { ++texts; }
  int texts = 0;
};

int Digit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

struct Reading {
  bool complete = false;  // an end record was read whole
  size_t end = 0;         // where the last record's checksum ends
  int records = 0;        // record marks met
  std::vector<uint8_t> flash = std::vector<uint8_t>(kFlashSize, 0xFF);
  // Every data byte of the file in order, with its 16-bit address.
  std::vector<std::pair<uint16_t, uint8_t>> bytes;
};

// The records read by fixed character positions, as the Intel-HEX layout is
// laid down for this programmer; written apart from the passes on purpose.
Reading Read(const uint8_t* data, size_t size) {
  Reading r;
  size_t at = 0;
  auto number = [&](int digits, unsigned* out) {
    if (size - at < size_t(digits)) return false;
    unsigned v = 0;
    for (int i = 0; i < digits; ++i) v = v * 16 + unsigned(Digit(data[at + size_t(i)]));
    at += size_t(digits);
    *out = v;
    return true;
  };
  for (;;) {
    const void* mark = at < size ? std::memchr(data + at, ':', size - at) : nullptr;
    if (!mark) return r;
    at = size_t(static_cast<const uint8_t*>(mark) - data) + 1;
    ++r.records;
    unsigned count, address, type, value, checksum;
    if (!number(2, &count) || !number(4, &address) || !number(2, &type)) return r;
    for (unsigned i = 0; i < count; ++i) {
      if (!number(2, &value)) return r;
      if (type != 0) continue;
      uint16_t a = uint16_t(address + i);
      r.flash[a % kFlashSize] &= uint8_t(value);
      r.bytes.push_back({a, uint8_t(value)});
    }
    if (!number(2, &checksum)) return r;
    if (type == 1) {
      r.complete = true;
      r.end = at;
      return r;
    }
  }
}

[[noreturn]] void Fail(const char* what, long a = 0, long b = 0) {
  std::fprintf(stderr, "hex_passes_fuzz: %s (%ld, %ld)\n", what, a, b);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // No run may reach a real port, whatever happens to the simulator.
  setenv("ORVALO_COM1", "/nonexistent/orvalo-com1", 1);
  setenv("ORVALO_COM2", "/nonexistent/orvalo-com2", 1);
  std::string err = sim::Install("time=virtual");
  if (!err.empty()) Fail(err.c_str());
  if (OpenPort("COM1") != 0 || EnterProgrammingMode() != 0) Fail("no programming mode on the simulated device");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::Device* device = sim::TheDevice();
  device->SetFlash(std::vector<uint8_t>(kFlashSize, 0xFF));
  device->ClearRecords();
  auto* file = new ExactFile(data, size);
  g_firmwareImage.reset(file);
  g_recordCount = 0;
  for (size_t i = 0; i < size; ++i) g_recordCount += data[i] == ':';

  Reading expected = Read(data, size);
  HexCheck check;
  bool usable = CheckHexText(data, size, &check) == 0;
  if (usable) {
    if (!expected.complete) Fail("accepted without a whole end record");
    if (check.marks != g_recordCount) Fail("record marks", check.marks, g_recordCount);
    for (const auto& [address, value] : expected.bytes) {
      if (address >= kFlashSize || (address >= 0x1FE8 && value != 0xFF)) Fail("accepted byte outside the image", address);
    }
  } else if (check.line < 1 || check.what.empty()) {
    Fail("refused without a line and a reason", check.line);
  }
  CountingDialog dialog;
  int result = ProgramFromHex(&dialog);
  if (result != (expected.complete ? 0 : kHexEndedEarly)) Fail("programming result", result, expected.complete);
  if (file->pos() != (expected.complete ? expected.end : size)) Fail("read position", long(file->pos()), long(expected.end));
  if (dialog.texts != expected.records) Fail("progress texts", dialog.texts, expected.records);
  std::vector<uint8_t> flash = device->Flash();
  for (size_t a = 0; a < kFlashSize; ++a)
    if (flash[a] != expected.flash[a]) Fail("flash differs from the records", long(a), flash[a]);
  if (device->ProtocolViolations() != 0) Fail("protocol violations", long(device->ProtocolViolations()));
  if (result != 0) return 0;

  // Verification agrees with the flash the records describe.
  int verifyResult = VerifyFromHex(&dialog);
  int want = 0;
  uint16_t wantAddress = 0;
  for (const auto& [address, value] : expected.bytes) {
    if (expected.flash[address % kFlashSize] != value) {
      want = kVerifyMismatch;
      wantAddress = address;
      break;
    }
  }
  if (verifyResult != want) Fail("verify result", verifyResult, want);
  if (usable && want != 0) Fail("an accepted image that does not verify", g_failAddress);
  if (want != 0 && g_failAddress != wantAddress) Fail("verify address", g_failAddress, wantAddress);
  if (want == 0 && file->pos() != expected.end) Fail("verify read position", long(file->pos()), long(expected.end));
  return 0;
}

#include "image/hex_passes.h"

#include <vector>

#include "image/firmware_file.h"
#include "state/status_line.h"
#include "state/stop_request.h"
#include "isp/instructions.h"
#include "platform/clock.h"


uint8_t HexDigitValue(uint8_t c) {
  if (c >= '0' && c <= '9') return uint8_t(c - '0');
  if (c >= 'A' && c <= 'F') return uint8_t(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return uint8_t(c - 'a' + 10);
  return 0;
}

namespace {

enum class Pass { kProgram, kVerify };
constexpr unsigned kDataRecord = 0x00;
constexpr unsigned kEndRecord = 0x01;

// One field of `count` hex digits, fetched with one read of its own. false
// when the file ends (or fails) before the field is whole.
bool ReadField(int count, unsigned* value) {
  uint8_t chars[4];
  if (g_firmwareImage->Read(chars, count) != count) return false;
  unsigned v = 0;
  for (int i = 0; i < count; ++i) v = v * 16 + HexDigitValue(chars[i]);
  *value = v;
  return true;
}

void ShowProgress(DialogOps* statusWindow, Pass pass, int seen) {
  int percent = g_recordCount > 0 ? int(double(seen) / double(g_recordCount) * 100.0) : 0;
  ShowStatus(statusWindow, pass == Pass::kProgram ? StatusId::kProgramming : StatusId::kVerifying, unsigned(percent));
  plat::Sleep(1);
}

// A file that ends before its last record has no failing byte of its own; the
// address of the byte the pass would have handled next stands for it.
int EndedEarly(uint16_t address) {
  g_failAddress = address;
  return kHexEndedEarly;
}

// The bytes a pass has already handled, by address. A merged image may give an
// address the same byte twice; the pass handles it once: programming the cell
// again would gain nothing and cost another busy window and another
// programming cycle of that cell, and reading it again would only repeat the
// comparison. A different byte at the same address (only in a text that was
// not checked) is handled as before.
class HandledBytes {
 public:
  bool Repeats(uint16_t address, uint8_t value) const { return seen_[address] && value_[address] == value; }
  void Mark(uint16_t address, uint8_t value) {
    seen_[address] = true;
    value_[address] = value;
  }

 private:
  std::vector<bool> seen_ = std::vector<bool>(0x10000);
  std::vector<uint8_t> value_ = std::vector<uint8_t>(0x10000);
};

int RunPass(DialogOps* statusWindow, Pass pass) {
  bool last = false;
  int seen = 0;
  uint16_t address = 0;
  HandledBytes handled;
  if (!g_firmwareImage || !g_firmwareImage->Rewind()) return EndedEarly(address);
  while (true) {
    uint8_t c = 0;
    do {
      plat::Sleep(0);
      if (g_firmwareImage->Read(&c, 1) != 1) return EndedEarly(address);
    } while (c != ':');
    ShowProgress(statusWindow, pass, ++seen);
    unsigned count, start, type;
    if (!ReadField(2, &count)) return EndedEarly(address);
    if (!ReadField(4, &start)) return EndedEarly(address);
    address = uint16_t(start);
    if (!ReadField(2, &type)) return EndedEarly(address);
    if (type == kEndRecord) last = true;
    for (unsigned i = 0; i < count; ++i) {
      unsigned value;
      if (!ReadField(2, &value)) return EndedEarly(address);
      if (StopRequested()) return kPassStopped;
      if (type != kDataRecord) continue;  // address and start records put nothing into flash
      if (handled.Repeats(address, uint8_t(value))) {
        address = uint16_t(address + 1);
        continue;
      }
      handled.Mark(address, uint8_t(value));
      if (pass == Pass::kProgram) {
        if (WriteFlashByte(address, uint8_t(value)) != 0) {
          g_failAddress = address;
          return kWriteFailed;
        }
      } else {
        uint8_t got = 0;
        if (ReadFlashByte(address, &got) != 0) {
          g_failAddress = address;
          return kReadFailed;
        }
        if (got != uint8_t(value)) {
          g_failAddress = address;
          return kVerifyMismatch;
        }
      }
      address = uint16_t(address + 1);
    }
    unsigned checksum;
    if (!ReadField(2, &checksum)) return EndedEarly(address);
    if (last) return 0;
  }
}

}  // namespace

int ProgramFromHex(DialogOps* statusWindow) { return RunPass(statusWindow, Pass::kProgram); }
int VerifyFromHex(DialogOps* statusWindow) { return RunPass(statusWindow, Pass::kVerify); }

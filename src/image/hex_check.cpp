#include "image/hex_check.h"

#include <array>
#include <bitset>
#include <cstdio>
#include <cstring>

#include "part/target_part.h"

namespace {

constexpr unsigned kFlashSize = unsigned(kTargetPart.flashSize);
constexpr unsigned kFlashKiB = kFlashSize / 1024;
// The serial-number record at the top of flash is written by the cycle after
// the image; an image byte there would be overwritten or make the record fail.
constexpr unsigned kRecordStart = unsigned(kSerialRecordAddress);

int Digit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// What editors and toolchains leave after a record: blanks and tabs, and after
// the end record the DOS end-of-file character or the NUL padding of a file
// written in whole blocks. The passes look for the next ':' and read nothing
// after the end record, so none of it is ever taken as data.
bool Blank(uint8_t c) { return c == ' ' || c == '\t'; }
bool EndPadding(uint8_t c) { return Blank(c) || c == 0x1A || c == 0x00; }

struct Checker {
  HexCheck* out = nullptr;
  long line = 1;
  bool endSeen = false;
  bool anyData = false;
  std::bitset<kFlashSize> used;
  std::array<uint8_t, kFlashSize> given{};

  int Fail(const char* format, unsigned a = 0, unsigned b = 0, unsigned c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    out->line = line;
    out->what = text;
    return kHexUnusable;
  }

  // One record: r points just past its ':', line characters up to the line end.
  int Record(const uint8_t* r, size_t line) {
    if (endSeen) return Fail("a record after the end record");
    size_t n = line;
    while (n > 0 && EndPadding(r[n - 1])) --n;
    for (size_t i = 0; i < n; ++i)
      if (Digit(r[i]) < 0) return Fail("character %u of the record is not a hex digit", unsigned(i + 2));
    if (n < 10 || n % 2 != 0) return Fail("the record is cut short or has an odd number of digits");
    if (n > 10 + 2 * 255) return Fail("the record is longer than any byte count allows");
    uint8_t bytes[4 + 255 + 1];
    size_t have = n / 2;
    for (size_t i = 0; i < have; ++i) bytes[i] = uint8_t(Digit(r[2 * i]) * 16 + Digit(r[2 * i + 1]));
    unsigned count = bytes[0];
    if (have != 5 + size_t(count))
      return Fail("the record holds %u data bytes, its byte count says %u", unsigned(have - 5), count);
    uint8_t sum = 0;
    for (size_t i = 0; i < have; ++i) sum = uint8_t(sum + bytes[i]);
    if (sum != 0)
      return Fail("checksum %02X, the record needs %02X", bytes[have - 1], uint8_t(bytes[have - 1] - sum));
    unsigned address = unsigned(bytes[1]) << 8 | bytes[2];
    unsigned type = bytes[3];
    const uint8_t* data = bytes + 4;
    if (type != 0x01)
      for (size_t i = n; i < line; ++i)
        if (!Blank(r[i])) return Fail("character %u of the record is not a hex digit", unsigned(i + 2));
    switch (type) {
      case 0x00:
        for (unsigned i = 0; i < count; ++i) {
          unsigned a = address + i;
          if (a >= kFlashSize) return Fail("data at 0x%04X lies beyond the %u KiB flash", a, kFlashKiB);
          if (a >= kRecordStart && data[i] != 0xFF)
            return Fail("data at 0x%04X lies in the serial-number record 0x%04X-0x%04X", a, kRecordStart,
                        unsigned(kSerialChecksumAddress));
          // Merged images repeat the bytes they share; only a conflict is a fault.
          if (used[a] && given[a] != data[i])
            return Fail("address 0x%04X is given twice, with different bytes", a);
          if (!used[a]) {
            ++out->bytes;
            out->writes += data[i] != 0xFF;
          }
          used[a] = true;
          given[a] = data[i];
          if (data[i] != 0xFF) anyData = true;
        }
        return 0;
      case 0x01:
        if (count != 0) return Fail("the end record carries %u data bytes", count);
        endSeen = true;
        return 0;
      case 0x02:
      case 0x04:
        if (count != 2) return Fail("an address record (type %02X) needs 2 data bytes, not %u", type, count);
        if (data[0] != 0 || data[1] != 0)
          return Fail("an address record (type %02X) with base %04X: only base 0000 lies in %u KiB", type,
                      unsigned(data[0]) << 8 | data[1], kFlashKiB);
        return 0;
      case 0x03:
      case 0x05:
        return 0;
      default:
        return Fail("record type %02X is not one this programmer knows", type);
    }
  }
};

}  // namespace

int CheckHexText(const uint8_t* text, size_t size, HexCheck* check) {
  *check = HexCheck();
  for (size_t i = 0; i < size; ++i) check->marks += text[i] == ':';
  Checker c;
  c.out = check;
  size_t pos = 0;
  while (pos < size) {
    size_t end = pos;
    while (end < size && text[end] != '\r' && text[end] != '\n') ++end;
    const void* colon = std::memchr(text + pos, ':', end - pos);
    if (colon) {
      const uint8_t* r = static_cast<const uint8_t*>(colon) + 1;
      if (c.Record(r, size_t(text + end - r)) != 0) return kHexUnusable;
    }
    if (end >= size) break;
    pos = end + (text[end] == '\r' && end + 1 < size && text[end + 1] == '\n' ? 2 : 1);
    ++c.line;
  }
  if (!c.endSeen) return c.Fail("no end record (:00000001FF)");
  check->empty = !c.anyData;
  return 0;
}

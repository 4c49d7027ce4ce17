#include "sim/sim_config.h"

#include <cstdio>
#include <set>

#include "part/target_part.h"

namespace sim {
namespace {

int DigitValue(char ch, int base) {
  int d = -1;
  if (ch >= '0' && ch <= '9') d = ch - '0';
  if (ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') d = ch - 'A' + 10;
  return d < base ? d : -1;
}

// Digits only: no sign, no blank, nothing skipped; hex may start with 0x.
bool ParseNumber(const std::string& v, int base, long lo, long hi, long* out) {
  std::string digits = v;
  if (base == 16 && digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
    digits = digits.substr(2);
  if (digits.empty() || digits.size() > 9) return false;
  long n = 0;
  for (char ch : digits) {
    int d = DigitValue(ch, base);
    if (d < 0) return false;
    n = n * base + d;
  }
  if (n < lo || n > hi) return false;
  *out = n;
  return true;
}

// "0 to 1FFF": the flash's byte addresses, as the address knobs take them.
std::string FlashAddressRange() {
  char text[24];
  std::snprintf(text, sizeof text, "0 to %X", unsigned(kTargetPart.flashSize - 1));
  return text;
}

// Items that may be given more than once; every other key only once.
bool Repeatable(const std::string& key) {
  return key == "absent" || key == "refuse" || key == "failwrite" || key == "badread";
}

}  // namespace

int PortIndex(const std::string& name) {
  if (name == "COM1") return 1;
  if (name == "COM2") return 2;
  return 0;
}

std::string ParseConfig(const std::string& text, Config* c) {
  std::set<std::string> seen;
  bool anyItem = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string item = text.substr(start, comma - start);
    start = comma + 1;
    if (item.empty()) {
      if (comma == text.size()) break;
      continue;
    }
    anyItem = true;
    size_t eq = item.find('=');
    std::string key = item.substr(0, eq);
    bool hasValue = eq != std::string::npos;
    std::string v = hasValue ? item.substr(eq + 1) : std::string();
    auto bad = [&](const std::string& why) { return "ORVALO_SIM: bad value in \"" + item + "\" (" + why + ")"; };
    auto flag = [&](bool* f) -> std::string {
      if (hasValue) return "ORVALO_SIM: \"" + key + "\" takes no value, in \"" + item + "\"";
      *f = true;
      return std::string();
    };
    if (!seen.insert(key).second && !Repeatable(key))
      return "ORVALO_SIM: \"" + key + "\" given twice, in \"" + item + "\" (it may appear only once)";
    long n = 0;
    std::string err;
    if (key == "port") {
      if (!PortIndex(v)) return bad("COM1 or COM2");
      c->port = v;
      c->portGiven = true;
    } else if (key == "absent") {
      if (!PortIndex(v)) return bad("COM1 or COM2");
      c->absent[PortIndex(v)] = true;
    } else if (key == "refuse") {
      if (!PortIndex(v)) return bad("COM1 or COM2");
      c->refuse[PortIndex(v)] = true;
    } else if (key == "nodevice") {
      err = flag(&c->noDevice);
    } else if (key == "flash") {
      if (v.empty()) return bad("a file path");
      c->flashPath = v;
    } else if (key == "time") {
      if (v != "virtual" && v != "real") return bad("virtual or real");
      c->virtualTime = v == "virtual";
    } else if (key == "slip") {
      if (!ParseNumber(v, 10, 0, 31, &n)) return bad("0 to 31");
      c->slip = int(n);
    } else if (key == "failwrite") {
      if (!ParseNumber(v, 16, 0, kTargetPart.flashSize - 1, &n))
        return bad("a hex byte address " + FlashAddressRange());
      c->failWrite.push_back(int(n));
    } else if (key == "badread") {
      if (!ParseNumber(v, 16, 0, kTargetPart.flashSize - 1, &n))
        return bad("a hex byte address " + FlashAddressRange());
      c->badRead.push_back(int(n));
    } else if (key == "vanish") {
      if (!ParseNumber(v, 10, 0, 100000000, &n)) return bad("a count of frames");
      c->vanish = n;
    } else if (key == "interrupt") {
      if (!ParseNumber(v, 10, 0, 100000000, &n)) return bad("a count of frames");
      c->interrupt = n;
    } else if (key == "lockread") {
      if (!ParseNumber(v, 16, 0, 0xFF, &n)) return bad("a hex byte 00 to FF");
      c->lockRead = uint8_t(n);
    } else if (key == "signature") {
      if (v.size() != 6) return bad("six hex digits");
      for (int i = 0; i < 3; ++i) {
        if (!ParseNumber(v.substr(2 * i, 2), 16, 0, 0xFF, &n)) return bad("six hex digits");
        c->signature[i] = uint8_t(n);
      }
    } else if (key == "busy") {
      size_t dash = v.find('-');
      long lo = 0, hi = 0;
      if (dash == std::string::npos) {
        if (!ParseNumber(v, 10, 0, kMaxBusyMs, &lo)) return bad("MS or MIN-MAX, milliseconds 0 to 1000");
        hi = lo;
      } else if (!ParseNumber(v.substr(0, dash), 10, 0, kMaxBusyMs, &lo) ||
                 !ParseNumber(v.substr(dash + 1), 10, 0, kMaxBusyMs, &hi) || lo > hi) {
        return bad("MS or MIN-MAX, milliseconds 0 to 1000, MIN not above MAX");
      }
      c->busyMinUs = int(lo * 1000);
      c->busyMaxUs = int(hi * 1000);
    } else if (key == "holdwait") {
      if (!ParseNumber(v, 10, 0, 60000, &n)) return bad("milliseconds 0 to 60000");
      c->holdWaitMs = int(n);
    } else if (key == "ftdi") {
      if (hasValue && !ParseNumber(v, 10, 0, 1000000, &n)) return bad("microseconds 0 to 1000000");
      c->chip = true;
      if (hasValue) c->chipRoundTripUs = int(n);
    } else if (key == "unplug") {
      if (!ParseNumber(v, 10, 1, 100000000, &n)) return bad("a count of the chip's calls, from 1");
      c->unplug = n;
    } else if (key == "lineop") {
      if (!ParseNumber(v, 10, 0, kMaxLineOpUs, &n)) return bad("microseconds 0 to 100000");
      c->lineOpUs = int(n);
    } else if (key == "seed") {
      if (!ParseNumber(v, 10, 0, 999999999, &n)) return bad("0 to 999999999");
      c->seed = uint32_t(n);
    } else if (key == "serial") {
      if (v.empty() || v.size() > size_t(kSerialLength))
        return bad("1 to " + std::to_string(kSerialLength) + " characters");
      c->hasSerial = true;
      c->serial = v;
    } else if (key == "silent") {
      err = flag(&c->silent);
    } else if (key == "request") {
      err = flag(&c->request);
    } else if (key == "vanishreport") {
      err = flag(&c->vanishAtReport);
    } else if (key == "framelen") {
      if (!ParseNumber(v, 10, 0, 255, &n)) return bad("0 to 255");
      c->frameLength = int(n);
    } else if (key == "truncate") {
      if (!ParseNumber(v, 10, 0, 300, &n)) return bad("a count of bytes 0 to 300");
      c->truncate = int(n);
    } else if (key == "noise") {
      if (v.empty() || v.size() % 2 != 0 || v.size() > 128) return bad("pairs of hex digits, at most 64 bytes");
      c->noise.clear();
      for (size_t i = 0; i < v.size(); i += 2) {
        if (!ParseNumber(v.substr(i, 2), 16, 0, 255, &n)) return bad("pairs of hex digits, at most 64 bytes");
        c->noise.push_back(uint8_t(n));
      }
    } else {
      return "ORVALO_SIM: unknown key in \"" + item + "\"";
    }
    if (!err.empty()) return err;
    if (comma == text.size()) break;
  }
  if (!anyItem)
    return "ORVALO_SIM: set but empty, \"" + text + "\" names no item (unset ORVALO_SIM to use the serial ports)";
  if (c->unplug && !c->chip) return "ORVALO_SIM: \"unplug\" needs \"ftdi\" (only the chip can be unplugged)";
  if (c->portGiven && c->absent[PortIndex(c->port)])
    return "ORVALO_SIM: \"port=" + c->port + "\" names a port that is also \"absent=" + c->port + "\"";
  return std::string();
}

}  // namespace sim

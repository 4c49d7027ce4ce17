#include "sim/sim_config.h"

#include <cstdlib>

namespace sim {
namespace {

bool ParseNumber(const std::string& v, int base, long lo, long hi, long* out) {
  if (v.empty()) return false;
  std::string digits = v;
  if (base == 16 && digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
    digits = digits.substr(2);
  if (digits.empty() || digits.size() > 9) return false;
  char* end = nullptr;
  long n = std::strtol(digits.c_str(), &end, base);
  if (*end != '\0' || digits[0] == '-' || digits[0] == '+' || digits[0] == ' ') return false;
  if (n < lo || n > hi) return false;
  *out = n;
  return true;
}

int PortIndex(const std::string& v) {
  if (v == "COM1") return 1;
  if (v == "COM2") return 2;
  return 0;
}

}  // namespace

std::string ParseConfig(const std::string& text, Config* c) {
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
    size_t eq = item.find('=');
    std::string key = item.substr(0, eq);
    bool hasValue = eq != std::string::npos;
    std::string v = hasValue ? item.substr(eq + 1) : std::string();
    auto bad = [&](const char* why) { return "ORVALO_SIM: bad value in \"" + item + "\" (" + why + ")"; };
    auto flag = [&](bool* f) -> std::string {
      if (hasValue) return "ORVALO_SIM: \"" + key + "\" takes no value, in \"" + item + "\"";
      *f = true;
      return std::string();
    };
    long n = 0;
    std::string err;
    if (key == "port") {
      if (!PortIndex(v)) return bad("COM1 or COM2");
      c->port = v;
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
      if (!ParseNumber(v, 10, 0, 7, &n)) return bad("0 to 7");
      c->slip = int(n);
    } else if (key == "failwrite") {
      if (!ParseNumber(v, 16, 0, 0x1FFF, &n)) return bad("a hex byte address 0 to 1FFF");
      c->failWrite.push_back(int(n));
    } else if (key == "badread") {
      if (!ParseNumber(v, 16, 0, 0x1FFF, &n)) return bad("a hex byte address 0 to 1FFF");
      c->badRead.push_back(int(n));
    } else if (key == "vanish") {
      if (!ParseNumber(v, 10, 0, 100000000, &n)) return bad("a count of frames");
      c->vanish = n;
    } else if (key == "busy") {
      // busy=MS or busy=MIN-MAX, whole milliseconds.
      size_t dash = v.find('-');
      long lo = 0, hi = 0;
      if (!ParseNumber(v.substr(0, dash), 10, 1, 100, &lo)) return bad("MS or MIN-MAX, 1 to 100 ms");
      hi = lo;
      if (dash != std::string::npos && (!ParseNumber(v.substr(dash + 1), 10, 1, 100, &hi) || hi < lo))
        return bad("MS or MIN-MAX, 1 to 100 ms");
      c->busyMinUs = lo * 1000;
      c->busyMaxUs = hi * 1000;
    } else if (key == "seed") {
      if (!ParseNumber(v, 10, 0, 999999999, &n)) return bad("a whole number");
      c->seed = uint32_t(n);
    } else if (key == "lockread") {
      if (!ParseNumber(v, 16, 0, 0xFF, &n)) return bad("a hex byte 00 to FF");
      c->lockRead = uint8_t(n);
    } else if (key == "serial") {
      if (v.empty() || v.size() > 22) return bad("1 to 22 characters");
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
  return std::string();
}

}  // namespace sim

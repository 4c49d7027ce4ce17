// ORVALO_SIM parsing over arbitrary text: it must end, either with an error
// text that names the item, or with a configuration inside the documented
// ranges, and the same text must always give the same answer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/sim_config.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "sim_config_fuzz: %s in \"%s\"\n", what, text.c_str());
  std::abort();
}

bool Same(const sim::Config& a, const sim::Config& b) {
  return a.port == b.port && a.noDevice == b.noDevice && a.flashPath == b.flashPath &&
         a.virtualTime == b.virtualTime && a.slip == b.slip && a.failWrite == b.failWrite &&
         a.badRead == b.badRead && a.vanish == b.vanish && a.lockRead == b.lockRead &&
         a.hasSerial == b.hasSerial && a.serial == b.serial && a.silent == b.silent && a.request == b.request &&
         a.frameLength == b.frameLength && a.truncate == b.truncate && a.noise == b.noise &&
         a.vanishAtReport == b.vanishAtReport && a.absent[1] == b.absent[1] && a.absent[2] == b.absent[2] &&
         a.refuse[1] == b.refuse[1] && a.refuse[2] == b.refuse[2] && a.portGiven == b.portGiven &&
         a.signature[0] == b.signature[0] && a.signature[1] == b.signature[1] && a.signature[2] == b.signature[2] &&
         a.busyMinUs == b.busyMinUs && a.busyMaxUs == b.busyMaxUs && a.seed == b.seed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1024) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  sim::Config c, again;
  std::string err = sim::ParseConfig(text, &c);
  if (err != sim::ParseConfig(text, &again)) Fail("two answers", text);
  if (!err.empty()) {
    if (err.rfind("ORVALO_SIM: ", 0) != 0 || err.find('"') == std::string::npos) Fail("error text", text);
    return 0;
  }
  if (!Same(c, again)) Fail("two configurations", text);
  if (c.port != "COM1" && c.port != "COM2") Fail("port", text);
  if (c.slip < 0 || c.slip > 31) Fail("slip", text);
  for (int a : c.failWrite)
    if (a < 0 || a > 0x1FFF) Fail("failwrite address", text);
  for (int a : c.badRead)
    if (a < 0 || a > 0x1FFF) Fail("badread address", text);
  if (c.vanish < -1) Fail("vanish", text);
  if (c.hasSerial != !c.serial.empty() || c.serial.size() > 22) Fail("serial", text);
  if (c.frameLength < -1 || c.frameLength > 255) Fail("framelen", text);
  if (c.truncate < -1 || c.truncate > 300) Fail("truncate", text);
  if (c.noise.size() > 64) Fail("noise", text);
  if (c.busyMinUs < 0 || c.busyMinUs > c.busyMaxUs || c.busyMaxUs > sim::kMaxBusyMs * 1000) Fail("busy", text);
  if (c.portGiven && c.absent[sim::PortIndex(c.port)]) Fail("an explicit port that is absent", text);
  if (text.find_first_not_of(',') == std::string::npos) Fail("no item accepted", text);
  return 0;
}

#include <climits>

#include "platform/port_name.h"

namespace plat {

const char kPortNameForms[] = "COM1 to COM256, or a device path such as /dev/ttyUSB0";

bool CanonicalPortName(const std::string& given, std::string* canonical) {
  if (int n = ComPortNumber(given)) {
    *canonical = "COM" + std::to_string(n);
    return true;
  }
  // A path that would not fit the status line's text is no device's.
  if (given.size() < 2 || given[0] != '/' || given.size() > 200 || given.back() == '/') return false;
  for (char c : given)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  *canonical = given;
  return true;
}

}  // namespace plat

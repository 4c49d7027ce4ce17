#include "platform/port_name.h"

namespace plat {

const char kPortNameForms[] = "COM1 to COM256";

bool CanonicalPortName(const std::string& given, std::string* canonical) {
  int n = ComPortNumber(given);
  if (!n) return false;
  *canonical = "COM" + std::to_string(n);
  return true;
}

}  // namespace plat

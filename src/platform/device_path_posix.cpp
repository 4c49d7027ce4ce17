#include "platform/device_path_posix.h"

#include <cstdlib>

#include "platform/port_name.h"

namespace plat {

std::string DevicePathFor(const std::string& name) {
  // The programs hand names over in upper case.
  if (int n = name.compare(0, 3, "COM") == 0 ? ComPortNumber(name) : 0) {
    std::string var = "ORVALO_COM" + std::to_string(n);
    if (const char* v = std::getenv(var.c_str())) return v;
    return "/dev/ttyS" + std::to_string(n - 1);
  }
  if (!name.empty() && name[0] == '/') return name;
  return std::string();
}

}  // namespace plat

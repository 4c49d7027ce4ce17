#include "platform/device_path_posix.h"

#include <cstdlib>

namespace plat {

std::string DevicePathFor(const std::string& name) {
  if (name.size() == 4 && name.compare(0, 3, "COM") == 0 && name[3] >= '1' && name[3] <= '9') {
    std::string var = "ORVALO_" + name;
    if (const char* v = std::getenv(var.c_str())) return v;
    return "/dev/ttyS" + std::string(1, char(name[3] - 1));
  }
  if (!name.empty() && name[0] == '/') return name;
  return std::string();
}

}  // namespace plat

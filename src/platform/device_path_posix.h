// Which device a port name means on Linux: COM1 is /dev/ttyS0, COM2
// /dev/ttyS1 (up to COM256) unless ORVALO_COM1 / ORVALO_COM2 ... name another
// device (a USB adapter, say); an absolute path stands for itself. An empty
// result: the name means no device.
#pragma once

#include <string>

namespace plat {

std::string DevicePathFor(const std::string& name);

}  // namespace plat

#include "platform/ftdi_port.h"

namespace plat {

FtdiOpen OpenFtdiPort(const std::string&, std::unique_ptr<SerialPort>*, std::string*) { return FtdiOpen::kNotAChip; }

}  // namespace plat

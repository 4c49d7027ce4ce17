// An FTDI chip (FT232R, FT231X) behind a port name, opened through the chip's
// own library so that the port can clock its lines (see clocked_lines.h).
// One implementation per platform: libftdi1 on Linux, the chip maker's D2XX
// library on Windows, each loaded at run time; without it every port keeps
// the plain line operations.
#pragma once
#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace plat {

enum class FtdiOpen {
  kOpened,     // *port is the chip in UART mode, Clocked() available
  kNotAChip,   // no such chip behind the name: open it as a plain port
  kUnusable,   // such a chip, but not usable now (*why says why): plain port
  kFailed,     // such a chip that failed while opening (*why says why)
};

// name: COM1, COM2, or a system name as OpenPlatformPort maps it.
FtdiOpen OpenFtdiPort(const std::string& name, std::unique_ptr<SerialPort>* port, std::string* why);

// Why the last port opened by name runs on plain line operations although it
// is such a chip; empty when it clocks its lines or is no such chip.
void SetClockedLinesNote(const std::string& note);
std::string ClockedLinesNote();

}  // namespace plat

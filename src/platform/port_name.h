// The port names an operator may give a program: COM1 to COM256 on every
// platform (in any case, kept in upper case), and on Linux also the path of a
// serial device (/dev/ttyUSB0). Whether the port exists is the open's to say.
#pragma once

#include <string>

namespace plat {

// true, with the name as the programs use it in *canonical, for a name of
// the forms above; false for anything else.
bool CanonicalPortName(const std::string& given, std::string* canonical);

// The forms this platform accepts, for a usage error.
extern const char kPortNameForms[];

// COM1 to COM256, any case: the number, else 0.
int ComPortNumber(const std::string& name);

}  // namespace plat

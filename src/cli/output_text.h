// Text from outside the program (a device's serial number, a path) made safe
// for a line of output: control characters and bytes above 0x7E become \xHH
// and a backslash \\, so no such text can end a line or forge another one.
#pragma once

#include <string>

std::string EscapeForOutput(const std::string& text);

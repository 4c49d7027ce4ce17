// The arguments a front end handed over with SetCommandLineArguments, for the
// platform files that answer CommandLineArgumentText.
#pragma once

#include <string>

namespace plat {

// false (and *text untouched) until arguments were handed over.
bool HandedArgumentText(std::string* text);

}  // namespace plat

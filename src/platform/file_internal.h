// Each platform's open of a named file, once file.cpp has settled what every
// platform refuses alike.
#pragma once

#include "platform/file.h"

namespace plat {

// path is not empty and refusal is not null.
std::unique_ptr<File> OpenExistingExclusive(const std::string& path, OpenRefusal* refusal);

}  // namespace plat

// Where the one persistent setting lives: per user, under a company key, an
// application key and a section. On Linux a QSettings native file, on Windows
// the registry. Without a company key the private profile file named by the
// application key is used instead.
#pragma once

#include <string>

namespace plat {

// false when the value does not exist or cannot be read.
bool ReadSetting(const std::string& company, const std::string& app, const std::string& section,
                 const std::string& entry, std::string* value);
// false when the value cannot be stored.
bool WriteSetting(const std::string& company, const std::string& app, const std::string& section,
                  const std::string& entry, const std::string& value);

}  // namespace plat

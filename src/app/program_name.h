// The program's own name, as the settings and the firmware location use it.
#pragma once

#include <string>

// The file name of programPath without its folder (after the last '/', '\' or
// ':') and without its last extension.
std::string ProgramBaseName(const std::string& programPath);

// The settings' application key: the base name + ".INI", so that a renamed
// copy of a program keeps settings of its own.
std::string ApplicationKey(const std::string& programPath);

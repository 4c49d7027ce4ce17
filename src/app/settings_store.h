// The per-user settings store: one string under company key, application key,
// section and entry. Errors are silent: a failed read yields the default, a
// failed write returns false.
#pragma once

#include <string>

// Without a company key the private profile file named by the application key
// is used.
void SetRegistryKey(const char* company);
void SetProfileName(const char* applicationKey);
std::string GetProfileString(const char* section, const char* entry, const char* defaultValue);
bool WriteProfileString(const char* section, const char* entry, const char* value);

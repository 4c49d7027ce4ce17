// The per-user settings store: one string under company key, application key,
// section and entry. Errors are silent: a failed read yields the default, a
// failed write returns false.
#pragma once

#include <memory>
#include <string>

#include "platform/station_hold.h"

// Without a company key the private profile file named by the application key
// is used.
void SetRegistryKey(const char* company);
void SetProfileName(const char* applicationKey);
std::string GetProfileString(const char* section, const char* entry, const char* defaultValue);
bool WriteProfileString(const char* section, const char* entry, const char* value);

// Holds the keys set above for this process's cycles (platform/station_hold.h),
// so that no other process reads or writes the same stored serial number
// meanwhile.
plat::HoldResult HoldSettings(std::unique_ptr<plat::StationHold>* hold, std::string* holder);

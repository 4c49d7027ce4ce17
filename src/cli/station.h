// A station: one runner process per cable on a PC with several. Each station
// keeps its own stored serial number under an application key of its own, the
// key a copy of the dialog program renamed orvalo-programmer-NAME would use.
#pragma once

#include <string>

constexpr size_t kStationNameMax = 32;

// 1 to 32 characters from A-Z a-z 0-9 _ -.
bool IsValidStationName(const std::string& name);

// "orvalo-programmer-NAME.INI", or the dialog's own key for an empty name.
std::string StationApplicationKey(const std::string& name);

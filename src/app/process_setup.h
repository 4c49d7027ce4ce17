// What every front end does to the process before its first cycle, and undoes
// at exit. The settings' application key is the front end's own to set
// (SetProfileName) before the first cycle.
#pragma once

#include <string>

#include "platform/station_hold.h"

// The finest timer resolution and a raised process priority, the link's delay
// unit for this platform (longer on the Windows 9x family), the settings'
// company key, and the hold of the stored serial number (settings_store.h)
// until EndProgrammerProcess: kBusy when another process has it (its id in
// *holder).
plat::HoldResult BeginProgrammerProcess(std::string* holder = nullptr);

// Closes the port, releases the firmware file and gives the timer resolution
// back.
void EndProgrammerProcess();

// What both dialogs say beside the status line, as the status line's tooltip:
// why the last cycle ended as it did, and where a serial number the device did
// not report came from. The status line itself keeps its text and colour.
// Each returns "" when there is nothing to add; lines are separated by '\n'.
#pragma once

#include <string>

#include "cycle/programming_cycle.h"

// firmwarePath: the file the dialog holds, named when it has become unusable.
std::string CycleNote(const CycleReport& report, const std::string& firmwarePath);

// Why the firmware file the dialog looked for at start-up cannot be used.
std::string FirmwareNote(const std::string& path, const FirmwareCheck& check);

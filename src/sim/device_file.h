// The device's state kept between runs.
//
// `flash=PATH` holds the flash as exactly 8192 raw bytes, as it always has.
// Beside it, PATH.eeprom holds the EEPROM (512 raw bytes) and PATH.lock the
// lock bits (one byte laid out as byte 2 of Write Lock Bits: bit 1 = LB1,
// bit 2 = LB2, 0 = programmed; 0xFF when unlocked). A flash file without
// them comes from before they existed: an unlocked device, EEPROM erased.
#pragma once

#include <string>

#include "sim/memories.h"

namespace sim {

std::string EepromPathBeside(const std::string& flashPath);
std::string LockPathBeside(const std::string& flashPath);

// Reads the device kept at flashPath into *state. "" on success, with
// *exists false when there is no flash file yet (nothing is created here),
// else an error text naming the `flash=` item; nothing is written either way.
std::string LoadDeviceFile(const std::string& flashPath, NonVolatile* state, bool* exists);

// Writes the three files, each beside its target first and then renamed over
// it, so an interrupted run never leaves half a memory behind. false when a
// file could not be written.
bool SaveDeviceFile(const std::string& flashPath, const NonVolatile& state);

}  // namespace sim

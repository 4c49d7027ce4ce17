// The firmware image file: located once while the front end starts, held
// without sharing for the whole run, its ':' characters counted for progress.
#pragma once

#include "state/shared_state.h"
#include <cstdint>
#include <memory>

#include "state/dialog_ops.h"
#include "platform/file.h"

// Opens path and counts its ':' into g_recordCount (left alone when the open
// fails). The file is rewound before it is returned.
std::unique_ptr<plat::File> OpenFirmwareFile(const char* path);
// The count step of an open: g_recordCount becomes the ':' read from the file's
// start up to its end or its first failing read; then the file is rewound.
void CountRecords(plat::File* file);

// First the whole command-line argument text, then "firmware.hex" beside the
// program. When both fail: Start disabled, "Firmware file access Failed." red.
void LocateFirmwareFile(DialogOps* dialog);

// The second name the location step tries on this platform.
std::string DefaultFirmwareName();
// The Windows rule for the second name, from the start-up title T and the
// program's path: the part of lower-case T before the first occurrence of the
// lower-case base name + ".exe", followed by "firmware.hex".
std::string FirmwareNameFromTitle(const std::string& title, const std::string& modulePath);

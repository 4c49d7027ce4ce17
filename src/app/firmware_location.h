// Where the firmware file is found at start-up, after the dialog shows
// "Idle.": the file stays held in g_hFirmware for the whole run.
#pragma once

#include "image/firmware_file.h"

#include <string>
#include <vector>

#include "state/dialog_ops.h"

// The dialogs' rule: the command-line argument text when there is one, else
// the default name; a named file is never replaced by the default. When the
// file cannot be used: Start disabled, "Firmware file access Failed." red.
void LocateFirmwareFile(DialogOps* dialog);
// The same, telling the path of the file found, or of the one that decided
// the failure (the named file when there is a name, else the default) and why.
bool LocateFirmwareFile(DialogOps* dialog, std::string* path, FirmwareCheck* check);

// The runner's rule: explicitPath when given (no fall-back), else the default
// name. false, with the same failure text, when that file cannot be used.
// check, when given, says why.
bool LocateFirmwareFile(DialogOps* dialog, const char* explicitPath, FirmwareCheck* check = nullptr);

// Where the dialogs' rule looks on this platform when no file is named, in
// order: on Windows the one name the start-up title gives; on Linux
// firmware.hex in the folder orvalo-programmer of each data folder (the
// user's, then the system's), then beside the program.
std::vector<std::string> FirmwarePlaces();
// The first of them that is there (usable or not), else the first.
std::string DefaultFirmwareName();
// The Windows rule for the second name, from the start-up title T and the
// program's path: the part of lower-case T before the first occurrence of the
// lower-case base name + ".exe", followed by "firmware.hex".
std::string FirmwareNameFromTitle(const std::string& title, const std::string& modulePath);

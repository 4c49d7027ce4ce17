// The firmware image file: located once while the front end starts, held
// without sharing for the whole run, read whole and checked at start-up and
// again before every cycle. The passes read the checked copy, never the file,
// so a file changed while a cycle runs cannot give a mixed image.
#pragma once

#include "state/shared_state.h"
#include <cstdint>
#include <memory>
#include <string>

#include "image/hex_check.h"
#include "state/dialog_ops.h"
#include "platform/file.h"

// Why a firmware file cannot be used. opened: the named file exists and
// opened (or exists and is no regular file), so it is the one the operator
// meant and is not replaced by another.
struct FirmwareCheck : HexCheck {
  bool opened = false;
};

// Larger than any HEX text of an 8 KiB image with room for comments; a bigger
// file is refused rather than held in memory.
constexpr size_t kFirmwareFileLimit = 64u << 20;

// Reads file from its start to its end in blocks and checks it. When usable
// the text becomes g_firmwareImage and its ':' count g_recordCount; otherwise
// both are left alone and check says why. 0 or kHexUnusable.
int LoadFirmwareImage(plat::File* file, FirmwareCheck* check);

// Opens path and loads it as above; nullptr when it cannot be opened or is
// not usable (check, when given, says which and why).
std::unique_ptr<plat::File> OpenFirmwareFile(const char* path, FirmwareCheck* check = nullptr);

// The held file read and checked again at the start of a cycle. 0 or
// kHexUnusable; g_firmwareImage is dropped when the file is no longer usable.
int ReloadFirmwareImage(FirmwareCheck* check);


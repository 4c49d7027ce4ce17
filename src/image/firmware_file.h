// The firmware image file: opened once while the front end starts, held
// without sharing for the whole run, its ':' characters counted for progress.
#pragma once

#include "state/shared_state.h"
#include <cstdint>
#include <memory>

#include "platform/file.h"

// Opens path and counts its ':' into g_recordCount (left alone when the open
// fails). The file is rewound before it is returned.
std::unique_ptr<plat::File> OpenFirmwareFile(const char* path);

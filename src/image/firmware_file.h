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
// The count step of an open: g_recordCount becomes the ':' read from the file's
// start up to its end or its first failing read; then the file is rewound.
void CountRecords(plat::File* file);

#include "image/firmware_file.h"

#include "state/shared_state.h"


std::unique_ptr<plat::File> OpenFirmwareFile(const char* path) {
  std::unique_ptr<plat::File> file = plat::OpenFileExclusive(path ? path : "");
  if (!file) return nullptr;
  g_recordCount = 0;
  uint8_t byte;
  while (file->Read(&byte, 1) == 1)
    if (byte == ':') ++g_recordCount;
  file->Rewind();
  return file;
}

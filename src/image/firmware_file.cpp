#include "image/firmware_file.h"

#include "state/shared_state.h"


std::unique_ptr<plat::File> OpenFirmwareFile(const char* path) {
  std::unique_ptr<plat::File> file = plat::OpenFileExclusive(path ? path : "");
  if (!file) return nullptr;
  CountRecords(file.get());
  return file;
}

// A read that fails ends the count like the end of the file: the file is
// still used, with the count reached so far.
void CountRecords(plat::File* file) {
  g_recordCount = 0;
  uint8_t byte;
  while (file->Read(&byte, 1) == 1)
    if (byte == ':') ++g_recordCount;
  file->Rewind();
}

#include "image/firmware_file.h"

#include <cctype>
#include <vector>

#include "platform/memory_file.h"
#include "state/shared_state.h"


int LoadFirmwareImage(plat::File* file, FirmwareCheck* check) {
  check->line = 0;
  check->empty = false;
  if (!file || !file->Rewind()) {
    check->what = "cannot be read from its start";
    return kHexUnusable;
  }
  std::vector<uint8_t> text;
  std::vector<uint8_t> block(65536);
  for (;;) {
    int n = file->Read(block.data(), int(block.size()));
    if (n < 0) {
      check->what = "a read failed before the end of the file";
      return kHexUnusable;
    }
    if (n == 0) break;
    if (text.size() + size_t(n) > kFirmwareFileLimit) {
      check->what = "larger than 64 MiB";
      return kHexUnusable;
    }
    text.insert(text.end(), block.begin(), block.begin() + n);
  }
  if (CheckHexText(text.data(), text.size(), check) != 0) return kHexUnusable;
  g_recordCount = check->marks;
  g_firmwareImage.reset(new plat::MemoryFile(std::move(text)));
  return 0;
}

std::unique_ptr<plat::File> OpenFirmwareFile(const char* path, FirmwareCheck* check) {
  FirmwareCheck ignored;
  if (!check) check = &ignored;
  *check = FirmwareCheck();
  plat::OpenRefusal refusal;
  std::unique_ptr<plat::File> file = plat::OpenFileExclusive(path ? path : "", &refusal);
  if (!file) {
    check->what = refusal.why;
    check->opened = refusal.notRegular;
    return nullptr;
  }
  check->opened = true;
  if (LoadFirmwareImage(file.get(), check) != 0) return nullptr;
  return file;
}

int ReloadFirmwareImage(FirmwareCheck* check) {
  *check = FirmwareCheck();
  check->opened = g_hFirmware != nullptr;
  if (!g_hFirmware) check->what = "no firmware file is open";
  if (!g_hFirmware || LoadFirmwareImage(g_hFirmware.get(), check) != 0) {
    g_firmwareImage.reset();
    return kHexUnusable;
  }
  return 0;
}

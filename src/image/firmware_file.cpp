#include "image/firmware_file.h"

#include <cctype>
#include <vector>

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

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string FirmwareNameFromTitle(const std::string& title, const std::string& modulePath) {
  std::string base = modulePath;
  size_t dot = base.rfind('.');
  if (dot != std::string::npos) base = base.substr(0, dot);
  size_t sep = base.find_last_of("\\/:");
  if (sep != std::string::npos) base = base.substr(sep + 1);
  std::string t = Lower(title);
  size_t at = t.find(Lower(base) + ".exe");
  std::string prefix = at == std::string::npos ? std::string() : t.substr(0, at);
  return prefix + "firmware.hex";
}

// Where the platform gives a start-up title the name is found through it;
// Linux has none, so the program's own directory, exactly as the system spells
// it (Linux paths are case-sensitive), stands in.
std::string DefaultFirmwareName() {
  if (plat::HasStartupTitle()) return FirmwareNameFromTitle(plat::StartupTitle(), plat::ProgramPath());
  std::string program = plat::ProgramPath();
  size_t sep = program.rfind('/');
  return (sep == std::string::npos ? std::string() : program.substr(0, sep + 1)) + "firmware.hex";
}

void LocateFirmwareFile(DialogOps* dialog) {
  FirmwareCheck named;
  g_hFirmware = OpenFirmwareFile(plat::CommandLineArgumentText().c_str(), &named);
  if (g_hFirmware) return;
  // A named file that opens but is not usable is what the operator meant:
  // programming another file in its place would hide the mistake.
  if (!named.opened) g_hFirmware = OpenFirmwareFile(DefaultFirmwareName().c_str());
  if (g_hFirmware) return;
  dialog->EnableStart(false);
  g_statusError = 1;
  dialog->SetStatusText("Firmware file access Failed.");
}

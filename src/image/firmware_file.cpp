#include "image/firmware_file.h"

#include <cctype>

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
  g_hFirmware = OpenFirmwareFile(plat::CommandLineArgumentText().c_str());
  if (g_hFirmware) return;
  g_hFirmware = OpenFirmwareFile(DefaultFirmwareName().c_str());
  if (g_hFirmware) return;
  dialog->EnableStart(false);
  g_statusError = 1;
  dialog->SetStatusText("Firmware file access Failed.");
}

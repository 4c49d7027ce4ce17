#include "app/firmware_location.h"

#include <cctype>

#include "app/program_name.h"
#include "image/firmware_file.h"
#include "platform/file.h"
#include "state/shared_state.h"
#include "state/status_line.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void FirmwareFileAccessFailed(DialogOps* dialog) {
  dialog->EnableStart(false);
  ShowStatus(dialog, StatusId::kFirmwareUnusable);
}

}  // namespace

std::string FirmwareNameFromTitle(const std::string& title, const std::string& modulePath) {
  std::string t = Lower(title);
  size_t at = t.find(Lower(ProgramBaseName(modulePath)) + ".exe");
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

// A file named on the command line is the one the operator chose ("Open with",
// a shortcut): when it cannot be used, programming firmware.hex in its place
// would put the wrong image into the device without a word.
void LocateFirmwareFile(DialogOps* dialog) {
  std::string path;
  FirmwareCheck check;
  LocateFirmwareFile(dialog, &path, &check);
}

bool LocateFirmwareFile(DialogOps* dialog, std::string* path, FirmwareCheck* check) {
  std::string named = plat::CommandLineArgumentText();
  *path = named.empty() ? DefaultFirmwareName() : named;
  return LocateFirmwareFile(dialog, path->c_str(), check);
}

bool LocateFirmwareFile(DialogOps* dialog, const char* explicitPath, FirmwareCheck* check) {
  std::string path = explicitPath ? std::string(explicitPath) : DefaultFirmwareName();
  g_hFirmware = OpenFirmwareFile(path.c_str(), check);
  if (g_hFirmware) return true;
  FirmwareFileAccessFailed(dialog);
  return false;
}

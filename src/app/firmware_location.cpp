#include "app/firmware_location.h"

#include <cctype>
#include <vector>

#include "app/program_name.h"
#include "image/firmware_file.h"
#include "orvalo_product.h"
#include "platform/file.h"
#include "state/shared_state.h"
#include "state/status_line.h"

namespace {

// Named after the package, as the data folders of freedesktop systems are.
const char kFirmwareDataFolder[] = ORVALO_DIALOG_NAME;

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

// Where the platform gives a start-up title the name is found through it
// (Windows, and its archive unpacked anywhere). Elsewhere an installed program
// lies among the system's programs, where no image belongs: the data folders
// come first, the operator's own before the system's, and the program's own
// directory, exactly as the system spells it (Linux paths are case-sensitive),
// last, for a copy run from where it was built or unpacked.
std::vector<std::string> FirmwarePlaces() {
  if (plat::HasStartupTitle()) return {FirmwareNameFromTitle(plat::StartupTitle(), plat::ProgramPath())};
  std::vector<std::string> places;
  for (const std::string& folder : plat::DataFolders())
    places.push_back(folder + "/" + kFirmwareDataFolder + "/firmware.hex");
  std::string program = plat::ProgramPath();
  size_t sep = program.rfind('/');
  places.push_back((sep == std::string::npos ? std::string() : program.substr(0, sep + 1)) + "firmware.hex");
  return places;
}

// A file that is there but cannot be used decides, as a named one does: a
// later place's image is not written in its stead. With none anywhere the
// operator's own folder is named, the one to put the image in.
std::string DefaultFirmwareName() {
  std::vector<std::string> places = FirmwarePlaces();
  for (const std::string& place : places)
    if (plat::PathMayExist(place)) return place;
  return places.front();
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
  if (LocateFirmwareFile(dialog, path->c_str(), check)) return true;
  std::vector<std::string> places = FirmwarePlaces();
  if (named.empty() && places.size() > 1 && !plat::PathMayExist(*path)) {
    std::string others;
    for (size_t i = 1; i < places.size(); ++i)
      others += (i == 1 ? "" : i + 1 == places.size() ? " or " : ", ") + places[i];
    check->what = (check->what.empty() ? std::string("not there") : check->what) + "; none at " + others;
  }
  return false;
}

bool LocateFirmwareFile(DialogOps* dialog, const char* explicitPath, FirmwareCheck* check) {
  std::string path = explicitPath ? std::string(explicitPath) : DefaultFirmwareName();
  g_hFirmware = OpenFirmwareFile(path.c_str(), check);
  if (g_hFirmware) return true;
  FirmwareFileAccessFailed(dialog);
  return false;
}

#include "sim/device_file.h"

#include <cstdio>
#include <filesystem>
#include <vector>

namespace sim {
namespace {

namespace fs = std::filesystem;

enum class Got { kMissing, kRead, kNotAFile, kUnreadable };

// Reads a whole file through stdio: a folder or an unreadable file is an
// answer here, never an exception.
Got ReadWhole(const std::string& path, std::vector<uint8_t>* out) {
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (st.type() == fs::file_type::not_found) return Got::kMissing;
  if (ec) return Got::kUnreadable;
  if (st.type() != fs::file_type::regular) return Got::kNotAFile;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return Got::kUnreadable;
  out->clear();
  uint8_t buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    out->insert(out->end(), buf, buf + n);
    if (out->size() > 65536) break;  // far too big for any of the device's files
  }
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  return failed ? Got::kUnreadable : Got::kRead;
}

bool WriteReplacing(const std::string& path, const uint8_t* data, size_t size) {
  std::string tmp = path + ".tmp";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  std::error_code ec;
  // std::rename does not replace an existing file on Windows (the memory
  // would silently stay as it was); filesystem::rename does.
  if (ok) fs::rename(tmp, path, ec);
  if (!ok || ec) fs::remove(tmp, ec);
  return ok && !ec;
}

}  // namespace

std::string EepromPathBeside(const std::string& flashPath) { return flashPath + ".eeprom"; }
std::string LockPathBeside(const std::string& flashPath) { return flashPath + ".lock"; }

std::string LoadDeviceFile(const std::string& flashPath, NonVolatile* state, bool* exists) {
  auto bad = [&](const std::string& why) {
    return "ORVALO_SIM: bad value in \"flash=" + flashPath + "\" (" + why + ")";
  };
  *exists = false;
  std::vector<uint8_t> flash, eeprom, lock;
  switch (ReadWhole(flashPath, &flash)) {
    case Got::kMissing: {
      // A new device: its file is made once a port is opened, in a folder
      // that must be there.
      std::error_code ec;
      fs::path folder = fs::path(flashPath).parent_path();
      if (!folder.empty() && !fs::is_directory(folder, ec)) return bad("no such folder");
      return std::string();
    }
    case Got::kNotAFile: return bad("a folder or other non-file, not a flash file");
    case Got::kUnreadable: return bad("the file cannot be read");
    case Got::kRead: break;
  }
  if (flash.size() != size_t(kFlashSize))
    return bad("the file must hold exactly " + std::to_string(kFlashSize) + " bytes");
  Got e = ReadWhole(EepromPathBeside(flashPath), &eeprom);
  if (e == Got::kNotAFile || e == Got::kUnreadable) return bad(EepromPathBeside(flashPath) + " cannot be read");
  if (e == Got::kRead && eeprom.size() != size_t(kEepromSize))
    return bad(EepromPathBeside(flashPath) + " must hold exactly 512 bytes");
  Got l = ReadWhole(LockPathBeside(flashPath), &lock);
  if (l == Got::kNotAFile || l == Got::kUnreadable) return bad(LockPathBeside(flashPath) + " cannot be read");
  if (l == Got::kRead && lock.size() != 1) return bad(LockPathBeside(flashPath) + " must hold exactly 1 byte");
  state->flash = flash;
  state->eeprom = e == Got::kRead ? eeprom : std::vector<uint8_t>(kEepromSize, 0xFF);
  state->lb1 = l == Got::kRead && !(lock[0] & 0x02);
  state->lb2 = l == Got::kRead && !(lock[0] & 0x04);
  *exists = true;
  return std::string();
}

bool SaveDeviceFile(const std::string& flashPath, const NonVolatile& state) {
  uint8_t lock = 0xFF;
  if (state.lb1) lock &= uint8_t(~0x02);
  if (state.lb2) lock &= uint8_t(~0x04);
  bool ok = WriteReplacing(flashPath, state.flash.data(), state.flash.size());
  ok = WriteReplacing(EepromPathBeside(flashPath), state.eeprom.data(), state.eeprom.size()) && ok;
  ok = WriteReplacing(LockPathBeside(flashPath), &lock, 1) && ok;
  return ok;
}

}  // namespace sim

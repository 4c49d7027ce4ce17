#include <windows.h>

#include <vector>

#include "platform/settings_medium.h"

namespace plat {
namespace {

const REGSAM kAccess = KEY_READ | KEY_WRITE;  // 0x2001F

// HKCU\software\<company>\<app>\<section>, each key created when missing (so a
// first read leaves the path behind). The keys above the section are closed
// again at once; the caller closes the one returned.
HKEY OpenSectionKey(const std::string& company, const std::string& app, const std::string& section) {
  HKEY software = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "software", 0, kAccess, &software) != ERROR_SUCCESS) return nullptr;
  HKEY companyKey = nullptr, appKey = nullptr, sectionKey = nullptr;
  DWORD disposition;
  if (RegCreateKeyExA(software, company.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess, nullptr, &companyKey,
                      &disposition) == ERROR_SUCCESS) {
    if (RegCreateKeyExA(companyKey, app.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess, nullptr, &appKey,
                        &disposition) == ERROR_SUCCESS) {
      if (RegCreateKeyExA(appKey, section.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess, nullptr,
                          &sectionKey, &disposition) != ERROR_SUCCESS)
        sectionKey = nullptr;
      RegCloseKey(appKey);
    }
    RegCloseKey(companyKey);
  }
  RegCloseKey(software);
  return sectionKey;
}

bool ReadRegistry(const std::string& company, const std::string& app, const std::string& section,
                  const std::string& entry, std::string* value) {
  HKEY key = OpenSectionKey(company, app, section);
  if (!key) return false;
  DWORD type = 0, size = 0;
  bool ok = RegQueryValueExA(key, entry.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
  std::vector<char> buf(size_t(size) + 1, '\0');
  // A value stored by someone else may lack its terminating zero, or have
  // grown since its size was asked: the extra byte and the size the second
  // query reports keep the text inside the buffer either way.
  if (ok) ok = RegQueryValueExA(key, entry.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) ==
               ERROR_SUCCESS;
  RegCloseKey(key);
  if (!ok) return false;
  buf[size < buf.size() ? size : buf.size() - 1] = '\0';
  *value = std::string(buf.data());  // up to the terminating zero
  return true;
}

bool WriteRegistry(const std::string& company, const std::string& app, const std::string& section,
                   const std::string& entry, const std::string& value) {
  HKEY key = OpenSectionKey(company, app, section);
  if (!key) return false;
  LONG r = RegSetValueExA(key, entry.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD(value.size() + 1));
  // A value set is at first only in memory, written to the hive file later,
  // where a full disk would lose it unseen: the flush makes the result say
  // whether the value is kept.
  if (r == ERROR_SUCCESS) r = RegFlushKey(key);
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

// The profile file keeps no way to tell a missing entry from one equal to the
// default, so the entry is read with two different defaults: only a missing
// one yields each of them.
bool ReadProfileFile(const std::string& app, const std::string& section, const std::string& entry,
                     std::string* value) {
  char buf[4096];
  GetPrivateProfileStringA(section.c_str(), entry.c_str(), "", buf, sizeof buf, app.c_str());
  if (buf[0] == '\0') {
    char probe[4];
    GetPrivateProfileStringA(section.c_str(), entry.c_str(), "?", probe, sizeof probe, app.c_str());
    if (probe[0] == '?' && probe[1] == '\0') return false;
  }
  *value = buf;
  return true;
}

}  // namespace

bool ReadSetting(const std::string& company, const std::string& app, const std::string& section,
                 const std::string& entry, std::string* value) {
  if (company.empty()) return ReadProfileFile(app, section, entry, value);
  return ReadRegistry(company, app, section, entry, value);
}

bool WriteSetting(const std::string& company, const std::string& app, const std::string& section,
                  const std::string& entry, const std::string& value) {
  if (company.empty())
    return WritePrivateProfileStringA(section.c_str(), entry.c_str(), value.c_str(), app.c_str()) != 0;
  return WriteRegistry(company, app, section, entry, value);
}

}  // namespace plat

#include "app/settings_store.h"

#include <mutex>

#include "platform/settings_medium.h"

namespace {
std::mutex g_keysMutex;
std::string g_registryKey;
std::string g_profileName;

void Keys(std::string* company, std::string* app) {
  std::lock_guard<std::mutex> g(g_keysMutex);
  *company = g_registryKey;
  *app = g_profileName;
}
}  // namespace

void SetRegistryKey(const char* company) {
  std::lock_guard<std::mutex> g(g_keysMutex);
  g_registryKey = company ? company : "";
}

void SetProfileName(const char* applicationKey) {
  std::lock_guard<std::mutex> g(g_keysMutex);
  g_profileName = applicationKey ? applicationKey : "";
}

std::string GetProfileString(const char* section, const char* entry, const char* defaultValue) {
  std::string company, app, value;
  Keys(&company, &app);
  if (!app.empty() && plat::ReadSetting(company, app, section, entry, &value)) return value;
  return defaultValue ? defaultValue : "";
}

bool WriteProfileString(const char* section, const char* entry, const char* value) {
  std::string company, app;
  Keys(&company, &app);
  if (app.empty()) return false;
  return plat::WriteSetting(company, app, section, entry, value ? value : "");
}

plat::HoldResult HoldSettings(std::unique_ptr<plat::StationHold>* hold, std::string* holder) {
  std::string company, app;
  Keys(&company, &app);
  if (app.empty()) return plat::HoldResult::kNoPlace;  // no key, no stored number
  return plat::HoldStation(company, app, hold, holder);
}

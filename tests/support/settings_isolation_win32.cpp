#include <windows.h>
#include <unistd.h>

#include <string>

#include "support/test_support.h"

// The store lives in HKEY_CURRENT_USER, which every test process of a run
// shares. This process's HKEY_CURRENT_USER is redirected to a fresh key of its
// own, with the "software" key the store expects beneath it.
void IsolateSettingsStore(const std::string& dir) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string path = "Software\\OrvaloTests\\" + std::to_string(getpid()) + "-" +
                     (info ? std::string(info->test_suite_name()) + "." + info->name() : std::string("x"));
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);  // back to the real one first
  RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  HKEY root = nullptr, software = nullptr;
  DWORD disposition;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root,
                      &disposition) != ERROR_SUCCESS ||
      RegCreateKeyExA(root, "software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &software, &disposition) !=
          ERROR_SUCCESS ||
      RegOverridePredefKey(HKEY_CURRENT_USER, root) != ERROR_SUCCESS)
    ADD_FAILURE() << "cannot isolate the registry under " << path;
  if (software) RegCloseKey(software);
  if (root) RegCloseKey(root);
  (void)dir;  // the per-process key replaces the folder
}

// The registry key of this user cannot be made unwritable from here.
bool BlockSettingsStore(const std::string&) { return false; }

// Nor can its writes be refused while its reads go on.
bool BlockSettingsStoreWrites(const std::string&) { return false; }

void UnblockSettingsStoreWrites() {}

// The Win32 backend under Wine: the registry store, the exclusive firmware
// hold, the port names and the start-up rule for the firmware file.
#include <windows.h>
#undef GetProfileString
#undef WriteProfileString

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "app/settings_store.h"
#include "isp/port.h"
#include "platform/file.h"
#include "platform/port_problem.h"
#include "support/test_support.h"
#include "support/win32_test_support.h"

namespace {

const char kSectionPath[] = "software\\Kestrune\\orvalo-programmer.INI\\Device";

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { UseIsolatedSettings("registry"); }
  void TearDown() override { RegOverridePredefKey(HKEY_CURRENT_USER, nullptr); }
};

TEST_F(RegistryStoreTest, AValueIsAZeroTerminatedRegSzUnderTheCompanyAppAndSectionKeys) {
  ASSERT_TRUE(WriteProfileString("Device", "Serial Number", "ZTMQR51700000000000042"));
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSectionPath, 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0, size = 64;
  char data[64] = {};
  ASSERT_EQ(RegQueryValueExA(key, "Serial Number", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(size, 23u);  // 22 characters and the terminating zero
  EXPECT_EQ(data[22], '\0');
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "ZTMQR51700000000000042");
  EXPECT_TRUE(WriteProfileString("Device", "Serial Number", ""));
  EXPECT_EQ(GetProfileString("Device", "Serial Number", "default"), "");
}

TEST_F(RegistryStoreTest, AMissingValueReadsEmptyAndLeavesTheKeyPathBehind) {
  HKEY key;
  ASSERT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, kSectionPath, 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "");
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSectionPath, 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);

  ASSERT_TRUE(WriteProfileString("Device", "Serial Number", "AB"));
  SetProfileName("renamed.INI");  // a renamed program finds nothing of the old name's
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "");
}

TEST_F(RegistryStoreTest, AValueWithoutItsTerminatingZeroIsReadWithoutOverrun) {
  ASSERT_EQ(GetProfileString("Device", "Serial Number", ""), "");  // makes the path
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSectionPath, 0, KEY_WRITE, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Serial Number", 0, REG_BINARY, reinterpret_cast<const BYTE*>("ABCDE"), 5),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "ABCDE");
}

TEST_F(RegistryStoreTest, WithoutACompanyKeyTheProfileFileIsUsed) {
  std::string file = "orvalo-test-" + std::to_string(getpid()) + ".ini";
  SetRegistryKey("");
  SetProfileName(file.c_str());
  EXPECT_EQ(GetProfileString("Device", "Serial Number", "fallback"), "fallback");
  EXPECT_TRUE(WriteProfileString("Device", "Serial Number", "RV0058"));
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "RV0058");
  EXPECT_TRUE(WriteProfileString("Device", "Serial Number", ""));
  EXPECT_EQ(GetProfileString("Device", "Serial Number", "fallback"), "");  // stored empty is not missing
  HKEY key;
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\Kestrune", 0, KEY_READ, &key), ERROR_SUCCESS);
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  DeleteFileA((std::string(windows) + "\\" + file).c_str());
}

TEST(FirmwareHoldTest, NobodyElseMayReadWriteOrDeleteTheFileWhileItIsHeld) {
  std::string path = TempDir("hold") + "/firmware.hex";
  WriteFile(path, ":00000001FF\r\n");
  auto held = plat::OpenFileExclusive(path);
  ASSERT_TRUE(held);
  HANDLE other = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(plat::OpenFileExclusive(path));
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  char c = 0;
  EXPECT_EQ(held->Read(&c, 1), 1);
  EXPECT_TRUE(held->Rewind());
  held.reset();
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST(PortTest, ANameWithNoPortBehindItGivesMinusTwo) {
  EXPECT_EQ(OpenPort("COM99"), kPortUnavailable);
  EXPECT_EQ(g_hPort, nullptr);
  // With the system's own words, for the operator.
  plat::PortNote note = plat::LastPortProblem("COM99");
  EXPECT_EQ(note.problem, plat::PortProblem::kAbsent);
  EXPECT_NE(note.detail.find("(error 2)"), std::string::npos) << note.detail;
  EXPECT_EQ(OpenPort(""), kPortUnavailable);
}

// The test prefix maps COM2 to /dev/null, and COM1 too unless the stage has
// an emulated serial device there (scripts/wine-prefix.sh checks that COM1
// leads to exactly that pseudo-terminal). Should a port ever lead to another
// terminal, this says so before any cycle could use it.
TEST(PortTest, TheTestPrefixsComPortsReachNoTerminal) {
  bool emulated = GetEnvironmentVariableA("ORVALO_EMU_DEVICE", nullptr, 0) != 0;
  for (const char* name : {"COM1", "COM2"}) {
    if (emulated && std::string(name) == "COM1") continue;
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) continue;
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    EXPECT_FALSE(GetCommState(h, &dcb)) << name << " is a serial device in the test prefix";
    CloseHandle(h);
    // Opens, but is no serial device: the open says which step refused.
    EXPECT_EQ(OpenPort(name), kPortSetupFailed);
    EXPECT_EQ(plat::LastPortProblem(name).problem, plat::PortProblem::kSettingsRefused);
    EXPECT_FALSE(plat::LastPortProblem(name).detail.empty());
  }
}

class StartupRuleTest : public ::testing::Test {
 protected:
  std::string probe = TestProgramFolder() + "startup_probe.exe";
  std::string Field(const ChildRun& run, const std::string& name) {
    size_t at = run.output.find(name + "=[");
    if (at == std::string::npos) return "<missing>";
    at += name.size() + 2;
    return run.output.substr(at, run.output.find(']', at) - at);
  }
};

TEST_F(StartupRuleTest, TheArgumentTextIsEverythingAfterTheProgramsNameKeptWhole) {
  ChildRun run = RunChild(probe, "\"C:\\dir with blank\\probe.exe\"   my image.hex  ", "");
  ASSERT_TRUE(run.finished) << run.output;
  EXPECT_EQ(Field(run, "args"), "my image.hex  ");
  run = RunChild(probe, "probe.exe\t\x01 \"quoted name.hex\" \t", "");
  EXPECT_EQ(Field(run, "args"), "quoted name.hex");  // as "Open with" passes it
  run = RunChild(probe, "probe.exe \"a b.hex\" c", "");
  EXPECT_EQ(Field(run, "args"), "\"a b.hex\" c");
  run = RunChild(probe, "probe.exe", "");
  EXPECT_EQ(Field(run, "args"), "");
  run = RunChild(probe, "\"probe.exe\"x.hex", "");
  EXPECT_EQ(Field(run, "args"), "x.hex");
}

TEST_F(StartupRuleTest, TheSecondNameIsTheTitleUpToTheProgramsFileNameLowerCased) {
  ChildRun run = RunChild(probe, "probe", "C:\\Tools\\Flash\\STARTUP_PROBE.EXE");
  EXPECT_EQ(Field(run, "name"), "c:\\tools\\flash\\firmware.hex");
  run = RunChild(probe, "probe", "C:\\A\\startup_probe.exe\\B\\startup_probe.exe");
  EXPECT_EQ(Field(run, "name"), "c:\\a\\firmware.hex");
  run = RunChild(probe, "probe", "Some window title");
  EXPECT_EQ(Field(run, "name"), "firmware.hex");
  run = RunChild(probe, "probe", "");
  EXPECT_EQ(Field(run, "name"), "firmware.hex");
}

TEST_F(StartupRuleTest, AProgramStartedByItsFullPathFindsTheFileBesideIt) {
  std::string dir = TempDir("beside");
  std::replace(dir.begin(), dir.end(), '/', '\\');
  std::string copy = dir + "\\Startup_Probe.exe";
  ASSERT_TRUE(CopyFileA(probe.c_str(), copy.c_str(), FALSE));
  std::string upper = copy;
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));

  ChildRun run = RunChild(copy, "x missing.hex", upper.c_str());
  EXPECT_EQ(Field(run, "status"), "Firmware file access Failed.");

  WriteFile(dir + "\\firmware.hex", ":0100000011EE\r\n:0100010022DC\r\n:00000001FF\r\n");
  run = RunChild(copy, "x", upper.c_str());
  EXPECT_EQ(Field(run, "status"), "");
  EXPECT_NE(run.output.find("count=3"), std::string::npos) << run.output;

  // A name on the command line is the only one looked at, whether it opens or not.
  run = RunChild(copy, "x missing.hex", upper.c_str());
  EXPECT_EQ(Field(run, "status"), "Firmware file access Failed.");
  WriteFile(dir + "\\other image.hex", ":00000001FF\r\n");
  run = RunChild(copy, "x \"" + dir + "\\other image.hex\"", upper.c_str());
  EXPECT_NE(run.output.find("count=1"), std::string::npos)
      << "started " << run.started << " finished " << run.finished << " exit " << run.exitCode << ": " << run.output;
}

}  // namespace

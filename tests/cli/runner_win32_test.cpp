// The Windows build of the headless runner, started as a program: one cycle on
// the simulated device, and the serial number stored where the dialog program
// reads it.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/station_hold.h"

#include "support/test_support.h"
#include "support/win32_test_support.h"

namespace {

std::string StoredSerial(const std::string& app = "orvalo-programmer.INI") {
  HKEY key;
  std::string path = "software\\Kestrune\\" + app + "\\Device";
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return "<no key>";
  char data[64] = {};
  DWORD size = sizeof data - 1;
  LONG r = RegQueryValueExA(key, "Serial Number", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS ? std::string(data) : "<no value>";
}

// The sample image copied for one test: the runner holds its image without
// sharing, and ctest runs these tests side by side.
std::string OwnFirmware(const std::string& test) {
  std::ifstream in(WindowsPath(ORVALO_SAMPLES_DIR "/firmware.hex"), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::string path = TempDir(test) + "\\firmware.hex";
  WriteFile(path, text.str());
  return path;
}

TEST(RunnerTest, ACycleSucceedsAndItsSerialNumberIsTheDialogProgramsToo) {
  std::string runner = WindowsPath(ORVALO_CLI_PATH);
  std::string firmware = OwnFirmware("cycle");
  SetEnvironmentVariableA("ORVALO_SIM", "time=virtual,serial=RV0058LK00000000000099");
  ChildRun run = RunChild(runner, "orvalo-programmer-cli --verify " + firmware, nullptr);
  SetEnvironmentVariableA("ORVALO_SIM", nullptr);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("Serial Number: RV0058LK00000000000099"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Programming Completed Successfully."), std::string::npos) << run.output;
  EXPECT_EQ(StoredSerial(), "RV0058LK00000000000099");
}

TEST(RunnerTest, AFirmwareFileThatCannotBeOpenedEndsTheRunBeforeAnyPort) {
  std::string runner = WindowsPath(ORVALO_CLI_PATH);
  SetEnvironmentVariableA("ORVALO_SIM", "time=virtual");
  ChildRun run = RunChild(runner, "orvalo-programmer-cli C:\\no\\such\\firmware.hex", nullptr);
  SetEnvironmentVariableA("ORVALO_SIM", nullptr);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_NE(run.output.find("Firmware file access Failed."), std::string::npos) << run.output;
}

// A station keeps its serial number under its own key, where a renamed copy
// of the dialog program looks; its journal gets one flushed line per run.
TEST(RunnerTest, AStationsSerialNumberAndJournal) {
  std::string runner = WindowsPath(ORVALO_CLI_PATH);
  std::string firmware = OwnFirmware("journal");
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string journal = std::string(temp) + "orvalo-station-journal.jsonl";
  DeleteFileA(journal.c_str());
  SetEnvironmentVariableA("ORVALO_SIM", "time=virtual,serial=RV0058LK00000000000077");
  ChildRun run = RunChild(runner, "orvalo-programmer-cli --fast --station W7 --journal " + journal + " " + firmware,
                          nullptr);
  ChildRun second = RunChild(runner, "orvalo-programmer-cli --journal " + journal + " " + firmware, nullptr);
  ChildRun dir = RunChild(runner, "orvalo-programmer-cli --journal " + std::string(temp) + " " + firmware, nullptr);
  SetEnvironmentVariableA("ORVALO_SIM", nullptr);
  ASSERT_TRUE(run.finished && second.finished && dir.finished);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(StoredSerial("orvalo-programmer-W7.INI"), "RV0058LK00000000000077");
  EXPECT_EQ(second.exitCode, 0u) << second.output;
  EXPECT_EQ(dir.exitCode, 2u) << dir.output;
  EXPECT_EQ(dir.output.find("Auto Detecting"), std::string::npos) << dir.output;

  HANDLE h = CreateFileA(journal.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[65536];
  DWORD got = 0;
  ReadFile(h, buf, sizeof buf, &got, nullptr);
  CloseHandle(h);
  std::string text(buf, got);
  // Each run's own line, after the line that claimed its number first.
  int runs = 0, issuing = 0;
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = text.substr(at, end - at);
    EXPECT_EQ(line.find("{\"time\":\""), 0u) << line;
    (line.find("\"issuing\":") != std::string::npos ? issuing : runs) += 1;
  }
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(runs, 2) << text;
  EXPECT_EQ(issuing, 2) << text;
  EXPECT_NE(text.find("\"station\":\"W7\""), std::string::npos);
  EXPECT_NE(text.find("\"fast\":true"), std::string::npos);
  EXPECT_NE(text.find("\"final\":\"Programming Completed Successfully.\",\"interrupted\":false,\"exit\":0"),
            std::string::npos);
  DeleteFileA(journal.c_str());
}

// The registry ignores case, so W8 and w8 are one stored number: they are
// one station, held by one cycle at a time, whichever spelling holds it.
TEST(RunnerTest, StationNamesDifferingOnlyInCaseAreOneStation) {
  std::string runner = WindowsPath(ORVALO_CLI_PATH);
  std::string firmware = OwnFirmware("case");
  std::unique_ptr<plat::StationHold> hold;
  std::string holder;
  ASSERT_EQ(plat::HoldStation("Kestrune", "orvalo-programmer-W8.INI", &hold, &holder), plat::HoldResult::kHeld);
  SetEnvironmentVariableA("ORVALO_SIM", "time=virtual,serial=RV0058LK00000000000088");
  ChildRun held = RunChild(runner, "orvalo-programmer-cli --station w8 " + firmware, nullptr);
  hold.reset();
  ChildRun free = RunChild(runner, "orvalo-programmer-cli --station w8 " + firmware, nullptr);
  SetEnvironmentVariableA("ORVALO_SIM", nullptr);
  ASSERT_TRUE(held.finished && free.finished);
  EXPECT_EQ(held.exitCode, 2u) << held.output;
  EXPECT_NE(held.output.find("is in use by another cycle"), std::string::npos) << held.output;
  EXPECT_EQ(free.exitCode, 0u) << free.output;
  EXPECT_EQ(StoredSerial("orvalo-programmer-W8.INI"), "RV0058LK00000000000088");
}

// A device name opens like a file on Windows but is no image; a file whose
// record lies beyond the flash is refused with its line.
TEST(RunnerTest, AFileThatIsNotAUsableImageRunsNoCycleAndSaysWhy) {
  std::string runner = WindowsPath(ORVALO_CLI_PATH);
  std::string bad = TempDir("bad") + "\\beyond.hex";
  WriteFile(bad, ":0120000011CE\r\n:00000001FF\r\n");
  SetEnvironmentVariableA("ORVALO_SIM", "time=virtual,serial=RV0058LK00000000000099");
  ChildRun nul = RunChild(runner, "orvalo-programmer-cli NUL", nullptr);
  ChildRun beyond = RunChild(runner, "orvalo-programmer-cli " + bad, nullptr);
  SetEnvironmentVariableA("ORVALO_SIM", nullptr);
  ASSERT_TRUE(nul.finished);
  EXPECT_EQ(nul.exitCode, 2u);
  EXPECT_NE(nul.output.find("NUL: not a regular file"), std::string::npos) << nul.output;
  ASSERT_TRUE(beyond.finished);
  EXPECT_EQ(beyond.exitCode, 2u);
  EXPECT_NE(beyond.output.find("line 1: data at 0x2000 lies beyond the 8 KiB flash"), std::string::npos)
      << beyond.output;
  EXPECT_NE(beyond.output.find("! Firmware file access Failed."), std::string::npos) << beyond.output;
}

}  // namespace

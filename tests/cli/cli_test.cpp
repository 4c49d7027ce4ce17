// The headless runner as a production script sees it: its output lines and
// exit status, on the simulated device.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "orvalo_version.h"
#include "support/test_support.h"

namespace {

struct Result {
  int status;
  std::vector<std::string> lines;   // standard output
  std::vector<std::string> errors;  // standard error
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

Result RunCli(const std::string& env, const std::string& args) {
  std::string settings = TempDir("cfg");
  std::string errPath = settings + "/stderr.txt";
  std::string cmd = "env -u ORVALO_SIM XDG_CONFIG_HOME='" + settings + "' " + env + " '" ORVALO_CLI_PATH "' " + args + " 2>'" +
                    errPath + "'";
  Result r{-1, {}, {}};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.lines = Lines(out);
  std::ifstream err(errPath, std::ios::binary);
  std::stringstream errText;
  errText << err.rdbuf();
  r.errors = Lines(errText.str());
  return r;
}

// A copy per test: the runner holds its firmware file exclusively, so tests
// running side by side cannot share the one sample.
std::string Sample() {
  std::string path = TempDir("sample") + "/firmware.hex";
  std::ifstream in(ORVALO_SAMPLES_DIR "/firmware.hex", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  WriteFile(path, text.str());
  return "'" + path + "'";
}

TEST(CliTest, ASuccessfulCyclePrintsEveryTextAndExitsZero) {
  Result r = RunCli("ORVALO_SIM=time=virtual,serial=RV0058LK00000000000042", "--verify " + Sample());
  ASSERT_EQ(r.status, 0);
  ASSERT_GE(r.lines.size(), 8u);
  EXPECT_EQ(r.lines[0], "Auto Detecting Device ...");
  EXPECT_EQ(r.lines[1], "Device found at COM1. Getting Serial Number ...");
  EXPECT_EQ(r.lines[2], "Serial Number OK.");
  EXPECT_EQ(r.lines[3], "Serial Number: RV0058LK00000000000042");
  EXPECT_EQ(r.lines[4], "Chip Erased.");
  EXPECT_EQ(r.lines[5], "Programming, 0% Completed.");
  EXPECT_EQ(r.lines.back(), "Programming Completed Successfully.");
  int verifying = 0;
  for (const std::string& l : r.lines) verifying += l.rfind("Verifying, ", 0) == 0;
  EXPECT_EQ(verifying, 193);  // one per record of the sample image
}

TEST(CliTest, FailuresArePrefixedAndExitOne) {
  Result r = RunCli("ORVALO_SIM=time=virtual,nodevice", Sample());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"Auto Detecting Device ...",
                                               "! Device not found. Check Power, Cable, Free COM."}));
  r = RunCli("ORVALO_SIM=time=virtual,silent,serial=X", Sample());
  EXPECT_EQ(r.status, 0);
  ASSERT_GE(r.lines.size(), 5u);
  EXPECT_EQ(r.lines[2], "! Serial Number not found.");
  EXPECT_EQ(r.lines[3], "! No Serial Number found. Default to Factory.");
  EXPECT_EQ(r.lines[4], "Serial Number: ZTMQR51700000000000000");
}

TEST(CliTest, NoCycleRunsWithoutItsFirmwareOrWithABadSimulator) {
  Result r = RunCli("ORVALO_SIM=time=virtual", "/nonexistent/image.hex");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"! Firmware file access Failed."}));
  r = RunCli("ORVALO_SIM=time=virtual,slip=32", Sample());
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.lines.empty());
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_NE(r.errors[0].find("\"slip=32\""), std::string::npos);
  r = RunCli("", "--frobnicate");
  EXPECT_EQ(r.status, 2);
  r = RunCli("", "--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.lines[0].find("Usage"), std::string::npos);
}

// A station's script asks which version runs, without any device or file
// being touched (even a bad ORVALO_SIM is not read).
TEST(CliTest, VersionIsOneLineWithTheBuildsVersion) {
  Result r = RunCli("ORVALO_SIM=slip=9", "--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"orvalo-programmer-cli " ORVALO_VERSION}));
  // The project's three numbers lead, whatever is appended after them.
  std::string numbers = std::to_string(ORVALO_VERSION_MAJOR) + "." + std::to_string(ORVALO_VERSION_MINOR) + "." +
                        std::to_string(ORVALO_VERSION_PATCH);
  EXPECT_EQ(std::string(ORVALO_VERSION).substr(0, numbers.size()), numbers);
}

const char kSimulatorOn[] = "ORVALO_SIM is set: this run uses the simulated device, not the serial ports.";

TEST(CliTest, TheSimulatorSaysOnceThatItIsOn) {
  Result r = RunCli("ORVALO_SIM=time=virtual,nodevice", Sample());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.errors, (std::vector<std::string>{kSimulatorOn}));
  r = RunCli("", "/nonexistent/image.hex");  // the serial ports: no such line
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.errors.empty());
}

TEST(CliTest, ASetButEmptySimulatorIsAnErrorNeverTheSerialPorts) {
  for (const char* env : {"ORVALO_SIM=", "ORVALO_SIM=,"}) {
    Result r = RunCli(env, Sample());
    EXPECT_EQ(r.status, 2) << env;
    EXPECT_TRUE(r.lines.empty()) << env;  // no cycle, no port
    ASSERT_EQ(r.errors.size(), 1u) << env;
    EXPECT_EQ(r.errors[0].rfind("ORVALO_SIM: ", 0), 0u) << r.errors[0];
  }
}

TEST(CliTest, TheDeviceFileIsMadeOnlyByARunThatOpensAPort) {
  std::string dir = TempDir("device");
  std::string sim = "'ORVALO_SIM=time=virtual,serial=RV0058LK00000000000042,flash=" + dir + "/device.bin'";
  Result r = RunCli(sim, "/nonexistent/image.hex");
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(std::ifstream(dir + "/device.bin").good());
  r = RunCli(sim, Sample());
  EXPECT_EQ(r.status, 0);
  std::ifstream made(dir + "/device.bin", std::ios::binary | std::ios::ate);
  EXPECT_EQ(long(made.tellg()), 8192L);

  // A folder as the flash file: the item named, exit 2, nothing written in it.
  r = RunCli("'ORVALO_SIM=time=virtual,flash=" + dir + "'", Sample());
  EXPECT_EQ(r.status, 2);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_NE(r.errors[0].find("\"flash=" + dir + "\""), std::string::npos) << r.errors[0];
  EXPECT_FALSE(std::ifstream(dir + ".tmp").good());
}

}  // namespace

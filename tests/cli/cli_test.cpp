// The headless runner as a production script sees it: its output lines and
// exit status, on the simulated device.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "cli/cli_support.h"
#include "orvalo_version.h"
#include "support/test_support.h"

namespace {

const char kSimulatorOn[] = "ORVALO_SIM is set: this run uses the simulated device, not the serial ports.";

TEST(CliTest, ASuccessfulCyclePrintsEveryTextAndExitsZero) {
  // The same cycle whichever way the lines go; standard error says which.
  const char kOneByOne[] = "orvalo-programmer-cli: COM1: the lines are driven one operation at a time\n";
  const struct {
    const char* item;
    const char* option;
    std::string way;
  } rows[] = {
      {"", "", kOneByOne},
      {",ftdi", "", "orvalo-programmer-cli: COM1: the lines are clocked by the adapter's chip, a whole instruction "
                    "per USB transfer\n"},
      {",ftdi", "--line-operations ", kOneByOne},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.item) + " " + row.option);
    CliResult r = RunCli(std::string("ORVALO_SIM=time=virtual,serial=RV0058LK00000000000042") + row.item,
                         std::string(row.option) + "--verify " + Sample());
    ASSERT_EQ(r.status, 0);
    ASSERT_GE(r.lines.size(), 8u);
    EXPECT_EQ(r.lines[0], "Auto Detecting Device ...");
    EXPECT_EQ(r.lines[1], "Device found at COM1. Getting Serial Number ...");
    EXPECT_EQ(r.lines[2], "Serial Number OK.");
    EXPECT_EQ(r.lines[3], "Serial Number: RV0058LK00000000000042");
    EXPECT_EQ(r.lines[4], "Chip Erased.");
    EXPECT_EQ(r.lines[5], "Programming, 0% Completed.");
    EXPECT_EQ(r.lines.back(), "Programming Completed Successfully.");
    // A log or a pipe gets a pass's start, each tenth and its end, in order.
    std::vector<std::string> verifying;
    for (const std::string& l : r.lines)
      if (l.rfind("Verifying, ", 0) == 0) verifying.push_back(l);
    ASSERT_EQ(verifying.size(), 11u);
    for (int tenth = 0; tenth <= 10; ++tenth)
      EXPECT_EQ(verifying[size_t(tenth)], "Verifying, " + std::to_string(tenth * 10) + "% Completed.");
    for (size_t i = 1; i < r.lines.size(); ++i) EXPECT_NE(r.lines[i], r.lines[i - 1]);
    EXPECT_EQ(r.err, std::string(kSimulatorOn) + "\n" + row.way + "orvalo-programmer-cli: serial number from the device\n");
  }
}

TEST(CliTest, FailuresArePrefixedAndExitOne) {
  CliResult r = RunCli("ORVALO_SIM=time=virtual,nodevice", Sample());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"Auto Detecting Device ...",
                                               "! Device not found. Check Power, Cable, Free COM."}));
  r = RunCli("ORVALO_SIM=time=virtual,silent,serial=X", Sample());
  EXPECT_EQ(r.status, 0);
  ASSERT_GE(r.lines.size(), 5u);
  EXPECT_EQ(r.lines[2], "! Serial Number not found.");
  EXPECT_EQ(r.lines[3], "! No Serial Number found. Default to Factory.");
  EXPECT_EQ(r.lines[4], "Serial Number: ZTMQR51700000000000000");
  // The last percentage a failed pass reached comes before its failure.
  r = RunCli("ORVALO_SIM=time=virtual,serial=X,failwrite=0123", Sample());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(std::vector<std::string>(r.lines.end() - std::min<size_t>(r.lines.size(), 3), r.lines.end()),
            (std::vector<std::string>{"Programming, 0% Completed.", "Programming, 9% Completed.",
                                      "! Programming Failed at 0x0123 ."}));
}

TEST(CliTest, NoCycleRunsWithoutItsFirmwareOrWithABadSimulator) {
  CliResult r = RunCli("ORVALO_SIM=time=virtual", "/nonexistent/image.hex");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"! Firmware file access Failed."}));
  r = RunCli("ORVALO_SIM=time=virtual,slip=32", Sample());
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.lines.empty());
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_NE(r.errors[0].find("\"slip=32\""), std::string::npos);
  // Bad usage: one line naming the word at fault and where to look, whatever
  // the option's form.
  for (const char* args : {"--frobnicate", "--frobnicate=1", "--verify=yes", "--port", "--port COM0",
                           "--port=ttyUSB0", "--port COM257", "--port COM7 --port com7", "--journal=", "-v -q"}) {
    r = RunCli("", args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_TRUE(r.lines.empty()) << args;
    ASSERT_EQ(r.errors.size(), 2u) << args << r.err;
    EXPECT_EQ(r.errors[1], "Try 'orvalo-programmer-cli --help'.") << args;
  }
  r = RunCli("", "--frobnicate=1");
  EXPECT_EQ(r.errors[0], "orvalo-programmer-cli: unknown option --frobnicate");
  r = RunCli("", Quote("--a\n! b"));  // cannot forge a line of its own
  EXPECT_EQ(r.errors[0], "orvalo-programmer-cli: unknown option --a\\x0A! b");
  r = RunCli("", "--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.lines[0].find("Usage"), std::string::npos);
}

// A station's script asks which version runs, without any device or file
// being touched (even a bad ORVALO_SIM is not read).
TEST(CliTest, VersionIsOneLineWithTheBuildsVersion) {
  CliResult r;
  for (const char* args : {"--version", "-V"}) {
    r = RunCli("ORVALO_SIM=slip=9", args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_EQ(r.lines, (std::vector<std::string>{"orvalo-programmer-cli " ORVALO_VERSION})) << args;
  }
  // The project's three numbers lead, whatever is appended after them.
  std::string numbers = std::to_string(ORVALO_VERSION_MAJOR) + "." + std::to_string(ORVALO_VERSION_MINOR) + "." +
                        std::to_string(ORVALO_VERSION_PATCH);
  EXPECT_EQ(std::string(ORVALO_VERSION).substr(0, numbers.size()), numbers);
}

TEST(CliTest, TheSimulatorSaysOnceThatItIsOn) {
  CliResult r = RunCli("ORVALO_SIM=time=virtual,nodevice", Sample());
  EXPECT_EQ(r.status, 1);
  ASSERT_FALSE(r.errors.empty());
  EXPECT_EQ(r.errors[0], kSimulatorOn);
  EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), std::string(kSimulatorOn)), 1);
  r = RunCli("", "/nonexistent/image.hex");  // the serial ports: no such line
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), std::string(kSimulatorOn)), 0);
}

TEST(CliTest, ASetButEmptySimulatorIsAnErrorNeverTheSerialPorts) {
  for (const char* env : {"ORVALO_SIM=", "ORVALO_SIM=,"}) {
    CliResult r = RunCli(env, Sample());
    EXPECT_EQ(r.status, 2) << env;
    EXPECT_TRUE(r.lines.empty()) << env;  // no cycle, no port
    ASSERT_EQ(r.errors.size(), 1u) << env;
    EXPECT_EQ(r.errors[0].rfind("ORVALO_SIM: ", 0), 0u) << r.errors[0];
  }
}

TEST(CliTest, TheDeviceFileIsMadeOnlyByARunThatOpensAPort) {
  std::string dir = TempDir("device");
  std::string sim = "'ORVALO_SIM=time=virtual,serial=RV0058LK00000000000042,flash=" + dir + "/device.bin'";
  CliResult r = RunCli(sim, "/nonexistent/image.hex");
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

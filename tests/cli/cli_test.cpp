// The headless runner as a production script sees it: its output lines and
// exit status, on the simulated device.
#include <gtest/gtest.h>

#include "cli/cli_support.h"
#include "support/test_support.h"

namespace {

TEST(CliTest, ASuccessfulCyclePrintsEveryTextAndExitsZero) {
  CliResult r = RunCli("ORVALO_SIM=time=virtual,serial=RV0058LK00000000000042", "--verify " + Sample());
  ASSERT_EQ(r.status, 0);
  ASSERT_GE(r.lines.size(), 8u);
  EXPECT_EQ(r.lines[0], "Auto Detecting Device ...");
  EXPECT_EQ(r.lines[1], "Device found at COM1. Getting Serial Number ...");
  EXPECT_EQ(r.lines[2], "Serial Number OK.");
  EXPECT_EQ(r.lines[3], "Serial Number: RV0058LK00000000000042");
  EXPECT_EQ(r.lines[4], "Chip Erased.");
  EXPECT_EQ(r.lines[5], "Programming, 0% Completed.");
  EXPECT_EQ(r.lines.back(), "Programming Completed Successfully.");
  // Each percentage once: a log or a pipe gets a status only when it changes.
  int verifying = 0;
  for (const std::string& l : r.lines) verifying += l.rfind("Verifying, ", 0) == 0;
  EXPECT_EQ(verifying, 101);
  for (size_t i = 1; i < r.lines.size(); ++i) EXPECT_NE(r.lines[i], r.lines[i - 1]);
  EXPECT_EQ(r.err, "orvalo-programmer-cli: serial number from the device\n");
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
}

TEST(CliTest, NoCycleRunsWithoutItsFirmwareOrWithABadSimulator) {
  CliResult r = RunCli("ORVALO_SIM=time=virtual", "/nonexistent/image.hex");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"! Firmware file access Failed."}));
  r = RunCli("ORVALO_SIM=time=virtual,slip=9", Sample());
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_NE(r.err.find("\"slip=9\""), std::string::npos);
  r = RunCli("", "--frobnicate");
  EXPECT_EQ(r.status, 2);
  r = RunCli("", "--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.lines[0].find("Usage"), std::string::npos);
}

}  // namespace

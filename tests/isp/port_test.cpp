#include <gtest/gtest.h>

#include "isp/port.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

class OpenPortTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ClosePort();
    sim::Uninstall();
  }
};

TEST_F(OpenPortTest, AnOpenedPortHasDtrAndRtsAssertedAndNoBreak) {
  InstallSim("");
  ASSERT_EQ(OpenPort("COM1"), 0);
  ASSERT_NE(g_hPort, nullptr);
  sim::Device* d = sim::TheDevice();
  EXPECT_TRUE(d->Dtr());
  EXPECT_TRUE(d->Rts());
  EXPECT_FALSE(d->Break());
  uint8_t buf[16];
  EXPECT_EQ(g_hPort->Read(buf, sizeof buf), 0);  // nothing received: back at once
}

TEST_F(OpenPortTest, AbsentAndBusyPortsGiveMinus2) {
  InstallSim("absent=COM1");
  EXPECT_EQ(OpenPort("COM1"), -2);
  EXPECT_EQ(g_hPort, nullptr);
  ASSERT_EQ(OpenPort("COM2"), 0);
  plat::SerialPort* first = g_hPort;
  g_hPort = nullptr;
  EXPECT_EQ(OpenPort("COM2"), -2);  // held by the first open
  g_hPort = first;
  EXPECT_EQ(OpenPort("COM7"), -2);
}

TEST_F(OpenPortTest, APortThatRefusesItsSettingsIsClosedAndOpensNextTime) {
  InstallSim("refuse=COM1");
  EXPECT_EQ(OpenPort("COM1"), -3);
  EXPECT_EQ(g_hPort, nullptr);
  EXPECT_EQ(OpenPort("COM1"), 0);
}

TEST_F(OpenPortTest, ClosingWithNoPortOpenDoesNothing) {
  ClosePort();
  EXPECT_EQ(g_hPort, nullptr);
}

}  // namespace

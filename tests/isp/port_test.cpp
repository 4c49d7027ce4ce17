#include <gtest/gtest.h>

#include "isp/port.h"
#include "sim/sim.h"
#include "support/cycle_trace.h"
#include "support/test_support.h"

namespace {

class OpenPortTest : public ::testing::Test {
 protected:
  void TearDown() override {
    cycle_trace::End();
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
  EXPECT_EQ(OpenPort("COM1"), kPortUnavailable);
  EXPECT_EQ(g_hPort, nullptr);
  ASSERT_EQ(OpenPort("COM2"), 0);
  plat::SerialPort* first = g_hPort;
  g_hPort = nullptr;
  EXPECT_EQ(OpenPort("COM2"), kPortUnavailable);  // held by the first open
  g_hPort = first;
  EXPECT_EQ(OpenPort("COM7"), kPortUnavailable);
}

TEST_F(OpenPortTest, APortThatRefusesItsSettingsIsClosedAndOpensNextTime) {
  InstallSim("refuse=COM1");
  EXPECT_EQ(OpenPort("COM1"), kPortSetupFailed);
  EXPECT_EQ(g_hPort, nullptr);
  EXPECT_EQ(OpenPort("COM1"), 0);
}

// A close releases the port (ports are held exclusively) and clears g_hPort,
// so a second close, as the dialog's destruction makes after a cycle, touches
// nothing.
TEST_F(OpenPortTest, ClosingWithNoPortOpenDoesNothing) {
  InstallSim("");
  cycle_trace::Begin();
  ASSERT_EQ(OpenPort("COM1"), 0);
  ClosePort();
  EXPECT_EQ(g_hPort, nullptr);
  ClosePort();
  ClosePort();
  int closes = 0;
  for (const TraceStep& s : cycle_trace::Steps()) closes += s.op == TraceOp::kClose;
  EXPECT_EQ(closes, 1);
  ASSERT_EQ(OpenPort("COM1"), 0);  // released by the first close
  cycle_trace::End();
}

}  // namespace

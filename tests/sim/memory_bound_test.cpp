// Memory stays bounded: many whole cycles in one process, as a dialog left
// running all shift would do them, hold no more at the end than early on.
#include <gtest/gtest.h>

#include "cycle/programming_cycle.h"
#include "isp/bit_link.h"
#include "isp/port.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

TEST(MemoryBound, HundredsOfCyclesHoldNoMoreThanTheTwentieth) {
  UseIsolatedSettings("memory");
  std::string flash = TempDir("dev") + "/device.bin";
  // Installed as a program installs it: no test has asked for a history.
  ASSERT_EQ(sim::Install("time=virtual,serial=RV0058LK00000000000042,flash=" + flash), "");
  size_t afterTwentieth = 0;
  for (int cycle = 1; cycle <= 200; ++cycle) {
    UseFirmwareText(MakeHex(std::vector<uint8_t>{0x0C, 0x94, 0x2A, 0x00}));
    RecordingDialog dialog;
    dialog.SetVerify(true);
    OnStart(&dialog);
    JoinCycleThread();
    ASSERT_EQ(dialog.LastText(), "Programming Completed Successfully.") << "cycle " << cycle;
    if (cycle == 20) afterTwentieth = sim::TheDevice()->HeldBytes();
  }
  EXPECT_LE(sim::TheDevice()->HeldBytes(), afterTwentieth);
  ResetGlobals();
  sim::Uninstall();
}

// What a test asks for is kept, and no more than the latest 65536 entries.
TEST(MemoryBound, AskedForHistoryIsKeptButCapped) {
  InstallSim("");  // asks for the history
  sim::Device* d = sim::TheDevice();
  size_t empty = d->HeldBytes();
  ASSERT_EQ(OpenPort("COM1"), 0);
  g_hPort->SetBreak(true);
  StrobeControl(0);  // in reset the part takes in every clock pulse
  for (int i = 0; i < 96000; ++i) {
    g_hPort->SetBreak(false);
    g_hPort->SetBreak(true);
  }
  EXPECT_EQ(d->ClockPulses(), 96000u);
  EXPECT_EQ(d->DtrAtRisingEdges().size(), 65536u);
  EXPECT_GT(d->HeldBytes(), empty);
  d->KeepHistory(false);
  EXPECT_EQ(d->HeldBytes(), empty);
  EXPECT_TRUE(d->Frames().empty());
  EXPECT_EQ(d->ClockPulses(), 96000u);  // the counts are kept regardless
  ClosePort();
  sim::Uninstall();
}

}  // namespace

// The end of a programmer process releases what it holds: a port left open
// would keep the cable's lines where the last cycle left them.
#include <gtest/gtest.h>

#include "app/process_setup.h"
#include "isp/port.h"
#include "sim/sim.h"
#include "state/shared_state.h"
#include "support/test_support.h"

TEST(ProcessSetupTest, TheEndClosesThePortAndLetsTheFirmwareGo) {
  UseIsolatedSettings("process");
  InstallSim("");
  BeginProgrammerProcess();
  ASSERT_EQ(OpenPort("COM1"), 0);
  UseFirmwareText(":00000001FF\n");
  ASSERT_NE(g_hFirmware, nullptr);
  EndProgrammerProcess();
  EXPECT_EQ(g_hPort, nullptr);
  EXPECT_EQ(g_hFirmware, nullptr);
  ASSERT_EQ(OpenPort("COM1"), 0);  // released: a second open succeeds
  ClosePort();
  sim::Uninstall();
  ResetGlobals();
}

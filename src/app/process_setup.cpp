#include "app/process_setup.h"

#include "app/settings_store.h"
#include "isp/bit_link.h"
#include "isp/port.h"
#include "platform/thread.h"
#include "state/shared_state.h"
#include "orvalo_product.h"

namespace {
std::unique_ptr<plat::StationHold> g_stationHold;
}  // namespace

plat::HoldResult BeginProgrammerProcess(std::string* holder) {
  plat::BeginTimerResolution();
  plat::RaiseProcessPriority();
  CalibrateDelay();
  SetRegistryKey(ORVALO_COMPANY);
  // A front end set up again in the same process (its tests) holds anew.
  g_stationHold.reset();
  std::string ignored;
  return HoldSettings(&g_stationHold, holder ? holder : &ignored);
}

void EndProgrammerProcess() {
  ClosePort();
  g_hFirmware.reset();
  g_stationHold.reset();
  plat::EndTimerResolution();
}

#include "app/process_setup.h"

#include "app/settings_store.h"
#include "isp/bit_link.h"
#include "isp/port.h"
#include "platform/thread.h"
#include "state/shared_state.h"

void BeginProgrammerProcess() {
  plat::BeginTimerResolution();
  plat::RaiseProcessPriority();
  CalibrateDelay();
  SetRegistryKey("Kestrune");
}

void EndProgrammerProcess() {
  ClosePort();
  g_hFirmware.reset();
  plat::EndTimerResolution();
}

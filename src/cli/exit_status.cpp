#include "cli/exit_status.h"

int ExitStatus(const RunOutcome& o) {
  if (o.interruptStatus != 0) return o.interruptStatus;
  if (o.noCycle) return kExitNoCycle;
  if (o.failed) return kExitCycleFailed;
  if (o.serialNotFromDevice) return kExitSerialNotFromDevice;
  return kExitCompleted;
}

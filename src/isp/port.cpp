#include "isp/port.h"

#include <memory>

#include "isp/clocked_port.h"
#include "isp/line_sink.h"
#include "isp/watched_lines.h"


int OpenPort(const char* name) {
  std::unique_ptr<plat::SerialPort> port;
  if (plat::OpenPortByName(name, &port) != 0 || !port) return kPortUnavailable;
  if (port->Clocked()) port.reset(new ClockedPort(std::move(port)));
  if (!port->SetupQueues(1024, 1024) || !port->ConfigureLine() || !port->SetReadsImmediate()) return kPortSetupFailed;
  g_hPort = WatchLines(std::move(port)).release();
  return 0;
}

void ClosePort() {
  if (!g_hPort) return;
  ReleaseClockedLines();
  delete g_hPort;
  g_hPort = nullptr;
}

#include <atomic>
#include <mutex>

#include "platform/clocked_lines.h"
#include "platform/ftdi_port.h"
#include "platform/serial_port.h"

namespace plat {
namespace {
std::mutex g_openerMutex;
PortOpener g_opener;
std::atomic<bool> g_clockedAllowed{true};
std::mutex g_noteMutex;
std::string g_clockedNote;
}  // namespace

void SetClockedLinesNote(const std::string& note) {
  std::lock_guard<std::mutex> g(g_noteMutex);
  g_clockedNote = note;
}

std::string ClockedLinesNote() {
  std::lock_guard<std::mutex> g(g_noteMutex);
  return g_clockedNote;
}

void AllowClockedLines(bool allowed) { g_clockedAllowed.store(allowed); }
bool ClockedLinesAllowed() { return g_clockedAllowed.load(); }

void SetPortOpener(PortOpener opener) {
  std::lock_guard<std::mutex> g(g_openerMutex);
  g_opener = std::move(opener);
}

PortOpener CurrentPortOpener() {
  std::lock_guard<std::mutex> g(g_openerMutex);
  return g_opener;
}

namespace {
// A chip that can clock the lines is opened through its own library; any
// other port, and such a chip that cannot be used now, as a plain port.
int OpenPlatformOrClockedPort(const std::string& name, std::unique_ptr<SerialPort>* port) {
  SetClockedLinesNote("");
  if (ClockedLinesAllowed()) {
    std::string why;
    switch (OpenFtdiPort(name, port, &why)) {
      case FtdiOpen::kOpened:
        return 0;
      case FtdiOpen::kFailed:
        SetClockedLinesNote(why);
        return kPortNotOpened;
      case FtdiOpen::kUnusable:
        SetClockedLinesNote(why);
        break;
      case FtdiOpen::kNotAChip:
        break;
    }
  }
  return OpenPlatformPort(name, port);
}
}  // namespace

int OpenPortByName(const std::string& name, std::unique_ptr<SerialPort>* port) {
  PortOpener opener;
  {
    std::lock_guard<std::mutex> g(g_openerMutex);
    opener = g_opener;
  }
  if (opener) return opener(name, port);
  return OpenPlatformOrClockedPort(name, port);
}

}  // namespace plat

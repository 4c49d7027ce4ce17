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

int OpenPortByName(const std::string& name, std::unique_ptr<SerialPort>* port) {
  PortOpener opener;
  {
    std::lock_guard<std::mutex> g(g_openerMutex);
    opener = g_opener;
  }
  return opener ? opener(name, port) : OpenPlatformPort(name, port);
}

}  // namespace plat

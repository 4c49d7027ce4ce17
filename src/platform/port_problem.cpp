#include "platform/port_problem.h"

#include <map>
#include <mutex>

namespace plat {
namespace {
std::mutex g_notesMutex;
std::map<std::string, PortNote>& Notes() {
  static std::map<std::string, PortNote> notes;
  return notes;
}
}  // namespace

void NotePortProblem(const std::string& name, const PortNote& note) {
  std::lock_guard<std::mutex> g(g_notesMutex);
  Notes()[name] = note;
}

PortNote LastPortProblem(const std::string& name) {
  std::lock_guard<std::mutex> g(g_notesMutex);
  auto it = Notes().find(name);
  return it == Notes().end() ? PortNote() : it->second;
}

void ClearPortNotes() {
  std::lock_guard<std::mutex> g(g_notesMutex);
  Notes().clear();
}

}  // namespace plat

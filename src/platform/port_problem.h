// Why the platform could not use a port, noted per port name at each open so
// that a front end can tell the operator. The status texts of the cycle do not
// change; this is extra detail for whoever reads standard error or the
// dialog's note. Ports the simulator provides leave no note.
#pragma once

#include <string>
#include <utility>

namespace plat {

enum class PortProblem {
  kNone,              // opened and configured
  kAbsent,            // no such device
  kPermissionDenied,  // the device exists but may not be opened
  kInUse,             // another program holds it (holderPid when known)
  kNotSerial,         // opened, but it is no serial device
  kSettingsRefused,   // a serial device that refused the line settings
  kOpenFailed,        // the system refused the open for another reason (detail)
};

struct PortNote {
  PortNote(PortProblem problem = PortProblem::kNone, std::string path = std::string(), long holderPid = 0,
           std::string detail = std::string())
      : problem(problem), path(std::move(path)), holderPid(holderPid), detail(std::move(detail)) {}
  PortProblem problem;
  std::string path;    // the device the name led to
  long holderPid;      // from a lock file, 0 when not known
  std::string detail;  // the system's own words for the failure, where it gives them
};

void NotePortProblem(const std::string& name, const PortNote& note);
// The note of the last open of `name`; kNone when it worked or never ran.
PortNote LastPortProblem(const std::string& name);
void ClearPortNotes();

}  // namespace plat

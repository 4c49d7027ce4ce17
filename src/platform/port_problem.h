// Why the platform could not use a port, noted per port name at each open so
// that a front end can tell the operator. The status texts of the cycle do not
// change; this is extra detail for whoever reads standard error. Ports the
// simulator provides leave no note.
#pragma once

#include <string>

namespace plat {

enum class PortProblem {
  kNone,              // opened and configured
  kAbsent,            // no such device
  kPermissionDenied,  // the device exists but may not be opened
  kInUse,             // another program holds it (holderPid when known)
  kNotSerial,         // opened, but it is no serial device
  kSettingsRefused,   // a serial device that refused the line settings
};

struct PortNote {
  PortProblem problem = PortProblem::kNone;
  std::string path;    // the device the name led to
  long holderPid = 0;  // from a lock file, 0 when not known
};

void NotePortProblem(const std::string& name, const PortNote& note);
// The note of the last open of `name`; kNone when it worked or never ran.
PortNote LastPortProblem(const std::string& name);
void ClearPortNotes();

}  // namespace plat

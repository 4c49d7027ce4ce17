#include "cli/operator_notes.h"

#include "cli/output_text.h"
#include "platform/thread.h"

std::string DescribePortProblem(const std::string& name, const plat::PortNote& note) {
  std::string where = "orvalo-programmer-cli: " + name + (note.path.empty() ? "" : " (" + EscapeForOutput(note.path) + ")") + ": ";
  switch (note.problem) {
    case plat::PortProblem::kNone:
      return std::string();
    case plat::PortProblem::kAbsent:
      return where + "no such device.";
    case plat::PortProblem::kPermissionDenied:
      return where +
             "permission denied. Add the user to the dialout group "
             "(sudo usermod -aG dialout USER) and log in again.";
    case plat::PortProblem::kInUse:
      if (note.holderPid > 0) return where + "in use by PID " + std::to_string(note.holderPid) + ".";
      return where + "in use by another program.";
    case plat::PortProblem::kNotSerial:
      return where + "not a serial device.";
    case plat::PortProblem::kSettingsRefused:
      return where + "the device refused the line settings (115200 baud, 8N1).";
  }
  return std::string();
}

void ReportOperatorNotes(std::FILE* err) {
  for (const char* name : {"COM1", "COM2"}) {
    std::string line = DescribePortProblem(name, plat::LastPortProblem(name));
    if (!line.empty()) std::fprintf(err, "%s\n", line.c_str());
  }
  static bool warned = false;
  if (!warned && plat::PriorityRaiseRefused()) {
    warned = true;
    std::fputs(
        "orvalo-programmer-cli: neither a real-time policy nor a raised priority is permitted;"
        " the link runs at normal priority and may be slow or fail (see README, \"Real hardware\").\n",
        err);
  }
}

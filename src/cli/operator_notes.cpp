#include "cli/operator_notes.h"

#include "cli/output_text.h"
#include "isp/target_part.h"

namespace {

std::string Where(const std::string& name, const plat::PortNote& note) {
  bool samePath = note.path.empty() || EscapeForOutput(note.path) == name;
  return "orvalo-programmer-cli: " + name + (samePath ? "" : " (" + EscapeForOutput(note.path) + ")") + ": ";
}

std::string Signature(const uint8_t* s) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X %02X %02X", s[0], s[1], s[2]);
  return text;
}

std::string Problem(const plat::PortNote& note) {
  switch (note.problem) {
    case plat::PortProblem::kNone:
      return std::string();
    case plat::PortProblem::kAbsent:
      return "no such device.";
    case plat::PortProblem::kPermissionDenied:
      return "permission denied. Add the user to the dialout group "
             "(sudo usermod -aG dialout USER) and log in again.";
    case plat::PortProblem::kInUse:
      if (note.holderPid > 0) return "in use by PID " + std::to_string(note.holderPid) + ".";
      return "in use by another program.";
    case plat::PortProblem::kNotSerial:
      return "not a serial device.";
    case plat::PortProblem::kSettingsRefused:
      return "the device refused the line settings (115200 baud, 8N1).";
    case plat::PortProblem::kOpenFailed:
      return "could not be opened.";
  }
  return std::string();
}

}  // namespace

std::string DescribePortProblem(const std::string& name, const plat::PortNote& note) {
  std::string problem = Problem(note);
  if (problem.empty()) return problem;
  return Where(name, note) + problem + (note.detail.empty() ? "" : " The system says: " + note.detail);
}

void ReportPortProbes(std::FILE* err, const CycleReport& report) {
  for (const PortProbe& probe : report.ports) {
    std::string name = EscapeForOutput(probe.name);
    plat::PortNote note = probe.note;
    // The simulator's ports note nothing; the probe's own result still says
    // which step failed.
    if (note.problem == plat::PortProblem::kNone) {
      if (probe.result == ProbeResult::kNotOpened) note.problem = plat::PortProblem::kOpenFailed;
      if (probe.result == ProbeResult::kSettingsRefused) note.problem = plat::PortProblem::kSettingsRefused;
    }
    std::string line;
    if (probe.result == ProbeResult::kNotOpened || probe.result == ProbeResult::kSettingsRefused)
      line = DescribePortProblem(name, note);
    else if (probe.result == ProbeResult::kNoAnswer)
      line = Where(name, note) + "opened, but no device answered.";
    if (!line.empty()) std::fprintf(err, "%s\n", line.c_str());
  }
  // The part that answered is not the one this system programs.
  std::string expected = Signature(kTargetSignature);
  if (report.part == PartCheck::kWrongPart)
    std::fprintf(err,
                 "orvalo-programmer-cli: the part that answered has the signature %s, not %s (AT90S8515); "
                 "nothing on it was changed.\n",
                 Signature(report.signature).c_str(), expected.c_str());
  if (report.part == PartCheck::kWrongAfterErase)
    std::fprintf(err,
                 "orvalo-programmer-cli: after the erase the part reads the signature %s, not %s (AT90S8515); "
                 "nothing was written.\n",
                 Signature(report.signature).c_str(), expected.c_str());
}

void ReportOperatorNotes(std::FILE* err) {
  // Only a cycle's own thread needs the priority; a run that ended before
  // one has nothing to warn of.
  if (LastCycleReport().priorityRefused) {
    std::fputs(
        "orvalo-programmer-cli: neither a real-time policy nor a raised priority is permitted;"
        " the link runs at normal priority and may be slow or fail (see README, \"Real hardware\").\n",
        err);
  }
}

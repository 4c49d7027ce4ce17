#include "cli/operator_notes.h"

#include "cli/output_text.h"
#include "part/target_part.h"
#include "platform/thread.h"
#include "orvalo_product.h"

namespace {

std::string Where(const std::string& name, const plat::PortNote& note) {
  bool samePath = note.path.empty() || EscapeForOutput(note.path) == name;
  return ORVALO_RUNNER_NAME ": " + name + (samePath ? "" : " (" + EscapeForOutput(note.path) + ")") + ": ";
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

namespace {

// Which way the link drove an opened port's lines, and why not the chip's
// way when its adapter has such a chip.
void ReportLineWay(std::FILE* err, const std::string& name, const PortProbe& probe) {
  const char* p = ORVALO_RUNNER_NAME;
  if (probe.lines == LineWay::kClocked)
    std::fprintf(err, "%s: %s: the lines are clocked by the adapter's chip, a whole instruction per USB transfer\n", p,
                 name.c_str());
  if (probe.lines == LineWay::kLineOperations)
    std::fprintf(err, "%s: %s: the lines are driven one operation at a time%s%s\n", p, name.c_str(),
                 probe.clockedNote.empty() ? "" : "; the adapter's chip cannot clock them: ",
                 EscapeForOutput(probe.clockedNote).c_str());
  if (probe.lines == LineWay::kNotUsed && !probe.clockedNote.empty())
    std::fprintf(err, "%s: %s: %s\n", p, name.c_str(), EscapeForOutput(probe.clockedNote).c_str());
  if (probe.chipFailed)
    std::fprintf(err, "%s: %s: the adapter's chip failed while it clocked the lines (unplugged?); no answer after it counted\n",
                 p, name.c_str());
}

}  // namespace

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
    ReportLineWay(err, name, probe);
  }
  // The part that answered is not the one this system programs.
  std::string expected = Signature(kTargetPart.signature);
  if (report.part == PartCheck::kWrongPart)
    std::fprintf(err,
                 ORVALO_RUNNER_NAME ": the part that answered has the signature %s, not %s (%s); "
                 "nothing on it was changed.\n",
                 Signature(report.signature).c_str(), expected.c_str(), kTargetPart.name);
  if (report.part == PartCheck::kWrongAfterErase)
    std::fprintf(err,
                 ORVALO_RUNNER_NAME ": after the erase the part reads the signature %s, not %s (%s); "
                 "nothing was written.\n",
                 Signature(report.signature).c_str(), expected.c_str(), kTargetPart.name);
}

std::string DescribeLinkTiming(const LinkTiming& timing) {
  if (timing.port.empty() || !timing.slow) return std::string();
  char text[96];
  int64_t seconds = (timing.cycleUs + 500000) / 1000000;
  std::string length = seconds < 90 ? std::to_string(seconds) + " seconds"
                                    : std::to_string((seconds + 30) / 60) + " minutes";
  std::snprintf(text, sizeof text, "%.1f ms on ", double(timing.lineOperationUs) / 1000.0);
  return ORVALO_RUNNER_NAME ": line operations take about " + std::string(text) + EscapeForOutput(timing.port) +
         ": this cycle will take about " + length;
}

void LinkTimingNote::ShowLinkTiming(const LinkTiming& timing) {
  std::string line = DescribeLinkTiming(timing);
  if (!line.empty()) std::fprintf(err_, "%s\n", line.c_str());
}

void ReportOperatorNotes(std::FILE* err) {
  // Only a cycle's own thread needs the priority; a run that ended before
  // one has nothing to warn of.
  if (LastCycleReport().priorityRefused) {
    std::fputs(
        ORVALO_RUNNER_NAME ": neither a real-time policy nor a raised priority is permitted;"
        " the link runs at normal priority and may be slow or fail (see the operator's guide, \"Real hardware\").\n",
        err);
  }
}

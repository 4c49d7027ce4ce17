// What the runner tells the operator on standard error beyond the status
// texts: why each port was not used, and a timing warning when the process
// may not raise its priority.
#pragma once

#include <cstdio>
#include <string>

#include "cycle/programming_cycle.h"
#include "platform/port_problem.h"

// One line for a port's note, "" when there is nothing to say.
std::string DescribePortProblem(const std::string& name, const plat::PortNote& note);
// One line for each probed port the cycle did not use: why it did not open,
// or that no device answered on it.
void ReportPortProbes(std::FILE* err, const CycleReport& report);
// Before the erase, for a port whose line operations are slow: what each
// takes and how long the cycle will; "" for any other port.
std::string DescribeLinkTiming(const LinkTiming& timing);
// The same on err, from the cycle's thread, as the runner's report view.
class LinkTimingNote : public CycleReportView {
 public:
  explicit LinkTimingNote(std::FILE* err) : err_(err) {}
  void ShowCycleReport(const CycleReport&) override {}
  void ShowLinkTiming(const LinkTiming& timing) override;

 private:
  std::FILE* err_;
};
// The priority warning, when the last cycle's thread could not raise its
// priority (none when no cycle ran).
void ReportOperatorNotes(std::FILE* err);

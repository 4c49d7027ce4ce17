// The journal of one run of the runner: opened before any port is, so a
// journal that cannot be kept stops the run before a device is touched;
// written once, whole, when the run ends, and before that once when the
// cycle knows the serial number it will write, so that the number counts as
// issued however the runner ends.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/journal.h"
#include "cli/journal_index.h"
#include "cycle/programming_cycle.h"
#include "platform/append_file.h"

class RunJournal {
 public:
  // Without a path the run keeps no journal and every call below is a no-op
  // (Finish still applies nothing and returns status unchanged).
  bool Open(const std::string& path, std::string* why);

  // What is known before the cycle.
  void Begin(const std::string& station, const std::string& firmwarePath, bool verify, bool fast);
  void DigestFirmware(plat::File* firmware);
  // The ports the run was to probe and what the cycle found on them (a run
  // that ran no cycle tried none).
  void Probed(const PortList& ports, const CycleReport& report);
  // The issuing line for serial, flushed to disk before it returns. False
  // (said on err) when it cannot be written: the cycle must not go on.
  bool Issuing(const std::string& serial, std::FILE* err);

  // Ends the run: the duplicate-serial check (a completed cycle whose serial
  // number did not come from the device, already written by an earlier
  // completed cycle: exit 4, said on err), then the journal line, both under
  // the journal's lock; the line's serial number is there only when the cycle
  // completed (report.end). A line that cannot be written, or a check that
  // cannot be made, makes the run exit 1. Returns the exit status to use.
  int Finish(const JournalingDialog& dialog, const CycleReport& report, int status, bool interrupted,
             std::FILE* err);

 private:
  // Appends line under the lock already held, after a cut last line on a
  // line of its own, and brings the index up to date.
  bool AppendLocked(std::string line, IssuedIndex* index, bool indexed);

  std::unique_ptr<plat::AppendFile> file_;
  std::string path_;
  JournalEntry entry_;
  std::chrono::steady_clock::time_point start_;
};

// --journal-report: the summary of path on out; 0, or 2 when it cannot be read.
int PrintJournalReport(const std::string& path, std::FILE* out, std::FILE* err);

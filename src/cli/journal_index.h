// The serial numbers a journal has issued (the first completed cycle that
// wrote each, and every run's issuing line that its run's own line has not
// withdrawn), kept beside it in FILE.serials, so that the check before an
// append reads them instead of every run ever recorded. The journal stays
// the only record: the index says how much of it it covers and fingerprints
// that part's first and last bytes, and is brought up to date from what lies
// past it, or rebuilt from the whole journal when it is missing, unreadable
// or does not match. Used only while the journal's lock is held.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/append_file.h"

class IssuedIndex {
 public:
  // Ready for the journal as it is now; unreadable counts the lines of the
  // journal read this time that are no record. False on a journal read error.
  bool Load(plat::AppendFile* journal, const std::string& indexPath, int* unreadable);
  // A run's claim on a serial number: a completed cycle's, or an issuing
  // line's until its run ends.
  struct Claim {
    std::string time;  // of the completed cycle's line, or of the issuing line
    std::string run;   // "" once completed: nothing withdraws it then
  };
  // The claim on serial made before ownRun's own, or nullptr.
  const Claim* IssuedBefore(const std::string& serial, const std::string& ownRun) const;
  // Takes in what the journal holds past the part already covered (the
  // caller's own line) and stores the index; false when it cannot be stored,
  // which costs the next run a full reading, nothing else.
  bool Update(plat::AppendFile* journal, const std::string& indexPath);
  // Whether the last Load had to read the whole journal.
  bool Rebuilt() const { return rebuilt_; }

 private:
  bool CatchUp(plat::AppendFile* journal, int64_t to, int* unreadable);
  void Take(const std::string& serial, const std::string& time, const std::string& run, bool pending);
  void Settle(const std::string& run, const std::string& time, bool completed);
  std::string Fingerprint(plat::AppendFile* journal, int64_t from, int64_t to) const;

  std::map<std::string, std::vector<Claim>> issued_;  // serial -> claims, the first first
  std::map<std::string, std::string> pending_;        // run -> serial of its issuing line
  int64_t covered_ = 0;
  bool rebuilt_ = false;
};

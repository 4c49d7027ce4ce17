// The serial numbers a journal has issued (the first completed cycle that
// wrote each), kept beside it in FILE.serials, so that the check before an
// append reads them instead of every run ever recorded. The journal stays
// the only record: the index says how much of it it covers and fingerprints
// that part's first and last bytes, and is brought up to date from what lies
// past it, or rebuilt from the whole journal when it is missing, unreadable
// or does not match. Used only while the journal's lock is held.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/append_file.h"

class IssuedIndex {
 public:
  // Ready for the journal as it is now; unreadable counts the lines of the
  // journal read this time that are no record. False on a journal read error.
  bool Load(plat::AppendFile* journal, const std::string& indexPath, int* unreadable);
  // The time of the completed cycle that first wrote serial, or nullptr.
  const std::string* IssuedAt(const std::string& serial) const;
  // Takes in what the journal holds past the part already covered (the
  // caller's own line) and stores the index; false when it cannot be stored,
  // which costs the next run a full reading, nothing else.
  bool Update(plat::AppendFile* journal, const std::string& indexPath);
  // Whether the last Load had to read the whole journal.
  bool Rebuilt() const { return rebuilt_; }

 private:
  bool CatchUp(plat::AppendFile* journal, int64_t to, int* unreadable);
  std::string Fingerprint(plat::AppendFile* journal, int64_t from, int64_t to) const;

  std::map<std::string, std::string> issued_;  // serial -> time
  int64_t covered_ = 0;
  bool rebuilt_ = false;
};

// The runner's journal: one JSON object per run, one per line (JSON Lines),
// appended whole and flushed to disk before the runner ends, and what a line
// needs of it: the duplicate-serial lookup and the summary report.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/append_file.h"
#include "platform/file.h"
#include "state/dialog_ops.h"

struct JournalStatus {
  std::string text;
  bool red;
};

// One port the run was to probe, and what the probe found there.
struct JournalProbe {
  std::string port;
  std::string result;  // "answered", "no answer", "not opened", "settings refused", "not tried"
};

struct JournalEntry {
  std::string time;  // ISO 8601, UTC
  std::string version;
  std::string station;  // "" when the runner has none
  std::string port;     // where the device answered, "" when nowhere
  std::vector<JournalProbe> probed;  // the ports in probe order
  std::string firmwarePath;
  int64_t firmwareSize = -1;  // -1: the file could not be read
  std::string firmwareSha256;
  bool verify = false;
  bool fast = false;
  std::string serial;        // the serial number written ("" when none)
  std::string serialSource;  // "device", "station", "factory" or ""
  std::vector<JournalStatus> status;  // progress left out but for one a stop cut short
  std::string finalText;
  bool completed = false;  // the cycle wrote the serial-number record and was not interrupted
  bool interrupted = false;
  int exitStatus = 0;
  double durationSeconds = 0;
  std::string run;  // pairs the line with the run's issuing line ("" for none)
};

// The program's version as the journal records it.
const char* ProgramVersion();

// Now, as 2026-01-31T12:34:56.789Z.
std::string IsoUtcNow();

// Text as a JSON string: quotes and backslashes escaped, control characters
// and bytes above 0x7E as \u00XX (each byte read as Latin-1), so any serial
// number or path gives valid ASCII JSON and comes back byte for byte.
std::string JsonString(const std::string& text);

// One journal line, ending in a newline.
std::string FormatJournalLine(const JournalEntry& entry);

// The line a run appends before the device can be given serial: from then on
// the number counts as issued, even if the runner never writes its own line
// (a crash, a power cut); only that run's own line, ending without a
// completed cycle, withdraws it.
std::string FormatIssuingLine(const JournalEntry& entry, const std::string& serial);

// The size and SHA-256 of a file's bytes, read from its start; the file is
// rewound afterwards. False when a read fails.
bool DigestFile(plat::File* file, int64_t* size, std::string* sha256);

// What the lookup and the report need of an earlier line.
struct JournalRecord {
  std::string time, serial, finalText;
  bool completed = false;  // issued its serial number: written whole, not interrupted
  bool interrupted = false;
  int exitStatus = -1;
  std::string run;       // "" in lines of runners that wrote none
  bool issuing = false;  // an issuing line: serial is the number it claims
};

// Longer than any line a run writes; a longer one is unreadable.
constexpr size_t kJournalLineMax = size_t(1) << 20;

// The members of a one-line JSON object that are strings; false when line
// is no such object.
bool ReadJsonStrings(const std::string& line, std::map<std::string, std::string>* strings);

// One line as a record; false when it is no JSON object (or names a key twice).
bool ParseJournalLine(const std::string& line, JournalRecord* record);

// The lines of a journal that are JSON objects; *unreadable counts the rest
// (blank lines aside).
std::vector<JournalRecord> ParseJournal(const std::string& text, int* unreadable);

// The same, read piece by piece from the bytes [from, to) of file, each record
// handed to each in order, so that a journal of any length needs no more
// memory than its longest line; *unreadable is added to. False on a read
// error.
bool ScanJournal(plat::AppendFile* file, int64_t from, int64_t to,
                 const std::function<void(const JournalRecord&)>& each, int* unreadable);

// The earliest completed cycle that wrote serial, or nullptr.
const JournalRecord* FindIssuedSerial(const std::vector<JournalRecord>& records, const std::string& serial);

// The summary --journal-report prints, gathered one record at a time.
class JournalTally {
 public:
  void Add(const JournalRecord& record);
  std::string Text(int unreadable) const;

 private:
  long long runs_ = 0, successes_ = 0, duplicates_ = 0, interrupted_ = 0;
  std::map<std::string, long long> failures_;
  std::set<std::string> written_;
  std::map<std::string, std::string> unfinished_;  // run -> serial, issuing lines not yet ended
};
std::string JournalReport(const std::vector<JournalRecord>& records, int unreadable);

// Passes every call on to the runner's own dialog and keeps what the journal
// records: each status text with its colour but the progress of the passes
// (only the last, when nothing followed it).
class JournalingDialog : public DialogOps {
 public:
  explicit JournalingDialog(DialogOps* inner) : inner_(inner) {}
  void SetStatusText(const char* text) override;
  void SetProgressText(const char* text, int percent) override;
  void SetSerialNumberText(const char* text) override;
  void EnableStart(bool enable) override { inner_->EnableStart(enable); }
  void EnableVerify(bool enable) override { inner_->EnableVerify(enable); }
  bool IsVerifyChecked() override { return inner_->IsVerifyChecked(); }
  void RepaintNow() override { inner_->RepaintNow(); }
  void DoWaitCursor(int delta) override { inner_->DoWaitCursor(delta); }

  std::vector<JournalStatus> Status() const;
  // Called on the cycle's thread with the serial number the cycle will
  // write, before the erase, while a stop still leaves the device as it came.
  void OnSerialShown(std::function<void(const std::string&)> call) { onSerial_ = std::move(call); }

 private:
  std::function<void(const std::string&)> onSerial_;
  DialogOps* inner_;
  mutable std::mutex m_;
  std::vector<JournalStatus> status_;
  std::string progress_;  // the latest progress text, until another text follows
};

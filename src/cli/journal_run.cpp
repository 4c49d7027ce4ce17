#include "cli/journal_run.h"

#include <random>

#include "cli/exit_status.h"
#include "cli/journal_index.h"
#include "cli/output_text.h"
#include "cycle/device_serial.h"
#include "orvalo_product.h"

namespace {

const char* SourceName(SerialSource s) {
  switch (s) {
    case SerialSource::kDevice: return "device";
    case SerialSource::kStation: return "station";
    case SerialSource::kFactory: return "factory";
    default: return "";
  }
}

}  // namespace

bool RunJournal::Open(const std::string& path, std::string* why) {
  path_ = path;
  file_ = plat::OpenAppendFile(path, why);
  return file_ != nullptr;
}

void RunJournal::Begin(const std::string& station, const std::string& firmwarePath, bool verify, bool fast) {
  start_ = std::chrono::steady_clock::now();
  entry_.time = IsoUtcNow();
  entry_.version = ProgramVersion();
  entry_.station = station;
  entry_.firmwarePath = firmwarePath;
  entry_.verify = verify;
  entry_.fast = fast;
  // Pairs the two lines of one run among all a journal keeps: the clock's
  // count, for a random source that some runtimes make the same every run,
  // and a random part for runs started together.
  std::random_device random;
  char run[48];
  std::snprintf(run, sizeof run, "%016llx%08x",
                (unsigned long long)std::chrono::system_clock::now().time_since_epoch().count(), unsigned(random()));
  entry_.run = run;
}

bool RunJournal::AppendLocked(std::string line, IssuedIndex* index, bool indexed) {
  // A line cut by a crash or a full disk ends where this one starts, so that
  // it costs only itself.
  int64_t size = file_->Size();
  char last = '\n';
  if (size > 0 && file_->ReadAt(size - 1, &last, 1) == 1 && last != '\n') line.insert(0, "\n");
  if (!file_->Append(line)) return false;
  if (indexed) index->Update(file_.get(), path_ + ".serials");
  return true;
}

bool RunJournal::Issuing(const std::string& serial, std::FILE* err) {
  if (!file_) return true;
  bool written = false;
  if (file_->Lock()) {
    IssuedIndex index;
    int unreadable = 0;
    bool indexed = index.Load(file_.get(), path_ + ".serials", &unreadable);
    written = AppendLocked(FormatIssuingLine(entry_, serial), &index, indexed);
    file_->Unlock();
  }
  if (!written)
    std::fprintf(err, ORVALO_RUNNER_NAME ": journal %s could not be written: the cycle was stopped before the erase\n",
                 EscapeForOutput(path_).c_str());
  return written;
}

void RunJournal::DigestFirmware(plat::File* firmware) {
  if (!file_) return;
  if (!DigestFile(firmware, &entry_.firmwareSize, &entry_.firmwareSha256)) {
    entry_.firmwareSize = -1;
    entry_.firmwareSha256.clear();
  }
}

void RunJournal::Probed(const PortList& ports, const CycleReport& report) {
  entry_.port = report.port;
  entry_.probed.clear();
  for (const std::string& name : ports) {
    const char* result = "not tried";
    for (const PortProbe& p : report.ports) {
      if (p.name != name) continue;
      if (p.result == ProbeResult::kAnswered) result = "answered";
      if (p.result == ProbeResult::kNoAnswer) result = "no answer";
      if (p.result == ProbeResult::kNotOpened) result = "not opened";
      if (p.result == ProbeResult::kSettingsRefused) result = "settings refused";
    }
    entry_.probed.push_back(JournalProbe{name, result});
  }
}

int RunJournal::Finish(const JournalingDialog& dialog, const CycleReport& report, int status, bool interrupted,
                       std::FILE* err) {
  if (!file_) return status;
  entry_.status = dialog.Status();
  entry_.finalText = entry_.status.empty() ? std::string() : entry_.status.back().text;
  entry_.interrupted = interrupted;
  SerialSource source = report.serialSource;
  entry_.serialSource = SourceName(source);
  // The cycle's own ending decides, never the text it showed last.
  bool completed = report.end == CycleEnd::kCompleted && !interrupted;
  entry_.completed = completed;
  // A failed cycle shows the number it meant to write, but wrote it only when
  // the failure came after its record: the device then holds the number.
  entry_.serial = report.recordWritten ? report.serial : std::string();

  // kExitSerialIssuedBefore ranks above kExitSerialNotFromDevice, below kExitCycleFailed.
  bool ordinary = status == kExitCompleted || status == kExitSerialNotFromDevice;
  bool check = completed && ordinary && source != SerialSource::kDevice && source != SerialSource::kNone;
  // The check and the append are one step for every process that shares
  // the journal: another station cannot issue the same number in between.
  if (!file_->Lock()) {
    std::fprintf(err, ORVALO_RUNNER_NAME ": journal %s cannot be locked\n", EscapeForOutput(path_).c_str());
    return ordinary ? kExitCycleFailed : status;
  }
  IssuedIndex index;
  int unreadable = 0;
  bool indexed = index.Load(file_.get(), path_ + ".serials", &unreadable);
  if (check && !indexed) {
    std::fprintf(err, ORVALO_RUNNER_NAME ": journal %s cannot be read: serial number %s not checked\n",
                 EscapeForOutput(path_).c_str(), EscapeForOutput(entry_.serial).c_str());
    status = kExitCycleFailed;
  } else if (check) {
    if (const IssuedIndex::Claim* issued = index.IssuedBefore(entry_.serial, entry_.run)) {
      std::fprintf(err,
                   issued->run.empty()
                       ? ORVALO_RUNNER_NAME ": serial number %s was already written by the cycle completed at %s "
                         "(journal %s)\n"
                       : ORVALO_RUNNER_NAME ": serial number %s was already issued by the run begun at %s, which "
                         "has not ended or never did (journal %s)\n",
                   EscapeForOutput(entry_.serial).c_str(), EscapeForOutput(issued->time).c_str(),
                   EscapeForOutput(path_).c_str());
      status = kExitSerialIssuedBefore;
    }
  }
  entry_.durationSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  bool writeFailsRun =
      status == kExitCompleted || status == kExitSerialNotFromDevice || status == kExitSerialIssuedBefore;
  entry_.exitStatus = status;
  if (!AppendLocked(FormatJournalLine(entry_), &index, indexed)) {
    std::fprintf(err, ORVALO_RUNNER_NAME ": journal %s could not be written\n", EscapeForOutput(path_).c_str());
    if (writeFailsRun) status = kExitCycleFailed;
  }
  file_->Unlock();
  return status;
}

int PrintJournalReport(const std::string& path, std::FILE* out, std::FILE* err) {
  std::string why;
  std::unique_ptr<plat::AppendFile> file = plat::OpenFileForReading(path, &why);
  JournalTally tally;
  int unreadable = 0;
  if (file && !ScanJournal(file.get(), 0, file->Size(), [&](const JournalRecord& r) { tally.Add(r); }, &unreadable))
    why = "a read failed";
  if (!why.empty()) {
    std::fprintf(err, ORVALO_RUNNER_NAME ": journal %s cannot be read: %s\n", EscapeForOutput(path).c_str(),
                 why.c_str());
    return kExitNoCycle;
  }
  std::fputs(tally.Text(unreadable).c_str(), out);
  return 0;
}

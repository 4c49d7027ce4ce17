#include "cli/journal_index.h"

#include <algorithm>

#include "cli/journal.h"
#include "image/sha256.h"

namespace {

constexpr int64_t kFingerprintBytes = 4096;

std::string HeaderLine(int64_t covered, const std::string& fingerprint) {
  return "{\"index_of\":\"journal\",\"covered\":\"" + std::to_string(covered) + "\",\"fingerprint\":\"" + fingerprint +
         "\"}\n";
}

}  // namespace

std::string IssuedIndex::Fingerprint(plat::AppendFile* journal, int64_t from, int64_t to) const {
  Sha256 digest;
  char buf[kFingerprintBytes];
  for (int64_t at : {from, std::max(from, to - kFingerprintBytes)}) {
    long want = long(std::min(kFingerprintBytes, to - at));
    long got = want > 0 ? journal->ReadAt(at, buf, want) : 0;
    if (got != want) return std::string();
    digest.Update(buf, size_t(got));
  }
  return digest.HexDigest();
}

void IssuedIndex::Take(const std::string& serial, const std::string& time, const std::string& run, bool pending) {
  std::vector<Claim>& claims = issued_[serial];
  if (pending) {
    claims.push_back(Claim{time, run});
    pending_[run] = serial;
    return;
  }
  // Only the first completed cycle is kept: it alone is ever named.
  for (const Claim& c : claims)
    if (c.run.empty()) return;
  claims.push_back(Claim{time, ""});
}

// A run's own line ends its issuing line's claim: kept as completed, or
// withdrawn when the cycle did not complete (the device never got the
// number, or a retry of it may).
void IssuedIndex::Settle(const std::string& run, const std::string& time, bool completed) {
  auto p = pending_.find(run);
  if (p == pending_.end()) return;
  auto it = issued_.find(p->second);
  pending_.erase(p);
  if (it == issued_.end()) return;
  std::vector<Claim>& claims = it->second;
  for (size_t i = 0; i < claims.size(); ++i) {
    if (claims[i].run != run) continue;
    bool firstCompleted = true;
    for (size_t k = 0; k < i; ++k) firstCompleted = firstCompleted && !claims[k].run.empty();
    if (completed && firstCompleted)
      claims[i] = Claim{time, ""};
    else
      claims.erase(claims.begin() + long(i));
    break;
  }
  if (claims.empty()) issued_.erase(it);
}

bool IssuedIndex::CatchUp(plat::AppendFile* journal, int64_t to, int* unreadable) {
  bool ok = ScanJournal(
      journal, covered_, to,
      [this](const JournalRecord& r) {
        if (r.issuing) {
          Take(r.serial, r.time, r.run, true);
          return;
        }
        // A number the device holds stays issued, even from a cycle that
        // failed after its record was written.
        bool holds = !r.serial.empty();
        if (!r.run.empty()) Settle(r.run, r.time, holds);
        if (holds) Take(r.serial, r.time, "", false);
      },
      unreadable);
  if (ok) covered_ = to;
  return ok;
}

bool IssuedIndex::Load(plat::AppendFile* journal, const std::string& indexPath, int* unreadable) {
  issued_.clear();
  pending_.clear();
  covered_ = 0;
  rebuilt_ = false;
  int64_t size = journal->Size();
  if (size < 0) return false;
  std::string text;
  bool usable = plat::ReadWholeFile(indexPath, &text, nullptr);
  size_t start = 0;
  while (usable && start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      usable = false;
      break;
    }
    std::map<std::string, std::string> m;
    usable = ReadJsonStrings(text.substr(start, end - start), &m);
    if (usable && start == 0) {
      char* tail = nullptr;
      long long covered = std::strtoll(m["covered"].c_str(), &tail, 10);
      usable = m["index_of"] == "journal" && tail && *tail == '\0' && covered >= 0 && covered <= size &&
               !m["fingerprint"].empty() && m["fingerprint"] == Fingerprint(journal, 0, covered);
      covered_ = covered;
    } else if (usable) {
      usable = m.count("serial") && m.count("time");
      Take(m["serial"], m["time"], m["run"], !m["run"].empty());
    }
    start = end + 1;
  }
  if (!usable || text.empty()) {
    issued_.clear();
    pending_.clear();
    covered_ = 0;
    rebuilt_ = true;
  }
  return CatchUp(journal, size, unreadable);
}

const IssuedIndex::Claim* IssuedIndex::IssuedBefore(const std::string& serial, const std::string& ownRun) const {
  auto it = issued_.find(serial);
  if (it == issued_.end()) return nullptr;
  for (const Claim& c : it->second) {
    if (!c.run.empty() && c.run == ownRun) return nullptr;
    return &c;
  }
  return nullptr;
}

bool IssuedIndex::Update(plat::AppendFile* journal, const std::string& indexPath) {
  int64_t size = journal->Size();
  int ignored = 0;
  if (size < covered_ || !CatchUp(journal, size, &ignored)) return false;
  std::string fingerprint = Fingerprint(journal, 0, covered_);
  if (fingerprint.empty()) return false;
  std::string text = HeaderLine(covered_, fingerprint);
  for (const auto& [serial, claims] : issued_)
    for (const Claim& c : claims)
      text += "{\"serial\":" + JsonString(serial) + ",\"time\":" + JsonString(c.time) +
              (c.run.empty() ? "" : ",\"run\":" + JsonString(c.run)) + "}\n";
  return plat::ReplaceWholeFile(indexPath, text);
}

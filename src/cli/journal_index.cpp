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

bool IssuedIndex::CatchUp(plat::AppendFile* journal, int64_t to, int* unreadable) {
  bool ok = ScanJournal(
      journal, covered_, to,
      [this](const JournalRecord& r) {
        if (r.completed) issued_.emplace(r.serial, r.time);
      },
      unreadable);
  if (ok) covered_ = to;
  return ok;
}

bool IssuedIndex::Load(plat::AppendFile* journal, const std::string& indexPath, int* unreadable) {
  issued_.clear();
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
      issued_.emplace(m["serial"], m["time"]);
    }
    start = end + 1;
  }
  if (!usable || text.empty()) {
    issued_.clear();
    covered_ = 0;
    rebuilt_ = true;
  }
  return CatchUp(journal, size, unreadable);
}

const std::string* IssuedIndex::IssuedAt(const std::string& serial) const {
  auto it = issued_.find(serial);
  return it == issued_.end() ? nullptr : &it->second;
}

bool IssuedIndex::Update(plat::AppendFile* journal, const std::string& indexPath) {
  int64_t size = journal->Size();
  int ignored = 0;
  if (size < covered_ || !CatchUp(journal, size, &ignored)) return false;
  std::string fingerprint = Fingerprint(journal, 0, covered_);
  if (fingerprint.empty()) return false;
  std::string text = HeaderLine(covered_, fingerprint);
  for (const auto& [serial, time] : issued_)
    text += "{\"serial\":" + JsonString(serial) + ",\"time\":" + JsonString(time) + "}\n";
  return plat::ReplaceWholeFile(indexPath, text);
}

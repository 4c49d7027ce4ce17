#include "cli/journal.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <set>
#include <algorithm>
#include <cstring>

#include "image/sha256.h"
#include "orvalo_version.h"
#include "part/target_part.h"
#include "state/shared_state.h"

namespace {
constexpr size_t kWrittenSerialMax = size_t(kSerialLength);  // the record's characters

// A flat reading of one JSON object: the top-level members that are strings,
// numbers or booleans; nested arrays and objects are checked and skipped.
class ObjectReader {
 public:
  explicit ObjectReader(const std::string& s) : s_(s) {}

  bool Read() {
    Space();
    if (!Take('{')) return false;
    Space();
    if (Take('}')) return End();
    while (true) {
      std::string key;
      Space();
      // A key given twice would let a line say two things at once.
      if (!String(&key) || !seen_.insert(key).second) return false;
      Space();
      if (!Take(':')) return false;
      Space();
      if (!Member(key)) return false;
      Space();
      if (Take('}')) return End();
      if (!Take(',')) return false;
    }
  }
  std::map<std::string, std::string> strings;
  std::map<std::string, double> numbers;
  std::map<std::string, bool> flags;

 private:
  bool End() {
    Space();
    return i_ == s_.size();
  }
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
  }
  bool Take(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool Word(const char* w) {
    size_t n = std::char_traits<char>::length(w);
    if (s_.compare(i_, n, w) != 0) return false;
    i_ += n;
    return true;
  }
  static int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }
  // \u00XX becomes the byte XX, as JsonString wrote it; other code points
  // become UTF-8 (lines the runner did not write).
  bool String(std::string* out) {
    if (!Take('"')) return false;
    while (i_ < s_.size()) {
      char c = s_[i_++];
      if (c == '"') return true;
      if (uint8_t(c) < 0x20) return false;
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (i_ >= s_.size()) return false;
      char e = s_[i_++];
      switch (e) {
        case '"': case '\\': case '/': out->push_back(e); break;
        case 'b': out->push_back('\b'); break;
        case 'f': out->push_back('\f'); break;
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case 'u': {
          if (i_ + 4 > s_.size()) return false;
          unsigned cp = 0;
          for (int k = 0; k < 4; ++k) {
            int h = Hex(s_[i_++]);
            if (h < 0) return false;
            cp = cp * 16 + unsigned(h);
          }
          if (cp < 0x100) {
            out->push_back(char(cp));
          } else if (cp < 0x800) {
            out->push_back(char(0xC0 | (cp >> 6)));
            out->push_back(char(0x80 | (cp & 0x3F)));
          } else {
            out->push_back(char(0xE0 | (cp >> 12)));
            out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(char(0x80 | (cp & 0x3F)));
          }
          break;
        }
        default: return false;
      }
    }
    return false;
  }
  bool Number(double* out) {
    size_t start = i_;
    while (i_ < s_.size() && (std::isdigit(uint8_t(s_[i_])) || std::string("+-.eE").find(s_[i_]) != std::string::npos))
      ++i_;
    if (start == i_) return false;
    char* end = nullptr;
    std::string text = s_.substr(start, i_ - start);
    *out = std::strtod(text.c_str(), &end);
    return end && *end == '\0';
  }
  // Any value, with a depth limit so a hostile line cannot exhaust the stack.
  bool Skip(int depth) {
    if (depth > 64) return false;
    Space();
    std::string ignored;
    double number;
    if (i_ >= s_.size()) return false;
    char c = s_[i_];
    if (c == '"') return String(&ignored);
    if (c == '{' || c == '[') {
      char close = c == '{' ? '}' : ']';
      ++i_;
      Space();
      if (Take(close)) return true;
      while (true) {
        if (c == '{') {
          Space();
          if (!String(&ignored)) return false;
          Space();
          if (!Take(':')) return false;
        }
        if (!Skip(depth + 1)) return false;
        Space();
        if (Take(close)) return true;
        if (!Take(',')) return false;
      }
    }
    if (Word("true") || Word("false") || Word("null")) return true;
    return Number(&number);
  }
  bool Member(const std::string& key) {
    if (i_ < s_.size() && s_[i_] == '"') return String(&strings[key]);
    if (Word("true")) return flags[key] = true;
    if (Word("false")) {
      flags[key] = false;
      return true;
    }
    if (i_ < s_.size() && (s_[i_] == '-' || std::isdigit(uint8_t(s_[i_])))) return Number(&numbers[key]);
    return Skip(0);
  }

  const std::string& s_;
  size_t i_ = 0;
  std::set<std::string> seen_;
};

}  // namespace

const char* ProgramVersion() { return ORVALO_VERSION; }

std::string IsoUtcNow() {
  auto now = std::chrono::system_clock::now();
  std::time_t secs = std::chrono::system_clock::to_time_t(now);
  long ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm utc = *std::gmtime(&secs);  // called from the runner's main thread only
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, ms);
  return text;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char ch : text) {
    uint8_t c = uint8_t(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c > 0x7E) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string FormatJournalLine(const JournalEntry& e) {
  char number[64];
  std::string line = "{\"time\":" + JsonString(e.time);
  line += ",\"version\":" + JsonString(e.version);
  line += ",\"station\":" + JsonString(e.station);
  line += ",\"port\":" + JsonString(e.port);
  line += ",\"firmware\":" + JsonString(e.firmwarePath);
  std::snprintf(number, sizeof number, "%lld", (long long)e.firmwareSize);
  line += std::string(",\"firmware_size\":") + (e.firmwareSize < 0 ? "null" : number);
  line += ",\"firmware_sha256\":" + JsonString(e.firmwareSha256);
  line += std::string(",\"verify\":") + (e.verify ? "true" : "false");
  line += std::string(",\"fast\":") + (e.fast ? "true" : "false");
  line += ",\"serial\":" + JsonString(e.serial);
  line += ",\"serial_source\":" + JsonString(e.serialSource);
  line += ",\"probed\":[";
  for (size_t i = 0; i < e.probed.size(); ++i)
    line += std::string(i ? "," : "") + "{\"port\":" + JsonString(e.probed[i].port) +
            ",\"result\":" + JsonString(e.probed[i].result) + "}";
  line += "],\"status\":[";
  for (size_t i = 0; i < e.status.size(); ++i) {
    if (i) line += ',';
    line += "{\"text\":" + JsonString(e.status[i].text) + ",\"colour\":" + (e.status[i].red ? "\"red\"" : "\"black\"") +
            "}";
  }
  line += "],\"final\":" + JsonString(e.finalText);
  line += std::string(",\"interrupted\":") + (e.interrupted ? "true" : "false");
  std::snprintf(number, sizeof number, ",\"exit\":%d,\"duration_s\":%.3f", e.exitStatus, e.durationSeconds);
  line += number;
  if (!e.run.empty()) line += ",\"run\":" + JsonString(e.run);
  return line + ",\"completed\":" + (e.completed ? "true" : "false") + "}\n";
}

std::string FormatIssuingLine(const JournalEntry& e, const std::string& serial) {
  return "{\"time\":" + JsonString(IsoUtcNow()) + ",\"version\":" + JsonString(e.version) +
         ",\"station\":" + JsonString(e.station) + ",\"run\":" + JsonString(e.run) +
         ",\"issuing\":" + JsonString(serial) + "}\n";
}

bool DigestFile(plat::File* file, int64_t* size, std::string* sha256) {
  if (!file || !file->Rewind()) return false;
  Sha256 digest;
  int64_t total = 0;
  uint8_t buf[65536];
  while (true) {
    int n = file->Read(buf, int(sizeof buf));
    if (n < 0) {
      file->Rewind();
      return false;
    }
    if (n == 0) break;
    digest.Update(buf, size_t(n));
    total += n;
  }
  *size = total;
  *sha256 = digest.HexDigest();
  return file->Rewind();
}

bool ReadJsonStrings(const std::string& line, std::map<std::string, std::string>* strings) {
  ObjectReader reader(line);
  if (!reader.Read()) return false;
  *strings = reader.strings;
  return true;
}

bool ParseJournalLine(const std::string& line, JournalRecord* r) {
  ObjectReader reader(line);
  if (!reader.Read()) return false;
  r->time = reader.strings["time"];
  r->serial = reader.strings["serial"];
  r->finalText = reader.strings["final"];
  r->interrupted = reader.flags["interrupted"];
  // A line written before the outcome was kept as a value carries a serial
  // number only when its cycle completed.
  bool completed = reader.flags.count("completed") ? reader.flags["completed"] : !r->serial.empty();
  r->exitStatus = -1;
  if (reader.numbers.count("exit")) {
    double exit = reader.numbers["exit"];
    if (exit >= 0 && exit <= 255) r->exitStatus = int(exit);
  }
  r->completed = completed && !r->interrupted;
  r->run = reader.strings["run"];
  r->issuing = reader.strings.count("issuing") != 0;
  if (r->issuing) {
    r->serial = reader.strings["issuing"];
    r->completed = false;
  }
  return true;
}

std::vector<JournalRecord> ParseJournal(const std::string& text, int* unreadable) {
  std::vector<JournalRecord> records;
  int bad = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    JournalRecord r;
    if (!ParseJournalLine(line, &r)) {
      ++bad;
      continue;
    }
    records.push_back(r);
  }
  if (unreadable) *unreadable = bad;
  return records;
}

bool ScanJournal(plat::AppendFile* file, int64_t from, int64_t to,
                 const std::function<void(const JournalRecord&)>& each, int* unreadable) {
  std::string line;
  bool tooLong = false;
  auto endLine = [&] {
    JournalRecord r;
    if (tooLong || (line.find_first_not_of(" \t\r") != std::string::npos && !ParseJournalLine(line, &r))) {
      ++*unreadable;
    } else if (!line.empty() && line.find_first_not_of(" \t\r") != std::string::npos) {
      each(r);
    }
    line.clear();
    tooLong = false;
  };
  std::vector<char> buf(1 << 16);
  for (int64_t at = from; at < to;) {
    long n = file->ReadAt(at, buf.data(), long(std::min<int64_t>(int64_t(buf.size()), to - at)));
    if (n < 0) return false;
    if (n == 0) break;
    at += n;
    for (long i = 0; i < n;) {
      const char* nl = static_cast<const char*>(std::memchr(buf.data() + i, '\n', size_t(n - i)));
      long stop = nl ? long(nl - buf.data()) : n;
      if (!tooLong) line.append(buf.data() + i, size_t(stop - i));
      // A line no run writes: skipped to its end without holding it.
      if (line.size() > kJournalLineMax) {
        tooLong = true;
        line.clear();
      }
      i = stop;
      if (nl) {
        endLine();
        ++i;
      }
    }
  }
  if (!line.empty() || tooLong) endLine();
  return true;
}

const JournalRecord* FindIssuedSerial(const std::vector<JournalRecord>& records, const std::string& serial) {
  for (const JournalRecord& r : records)
    if (r.completed && r.serial == serial) return &r;
  return nullptr;
}

void JournalTally::Add(const JournalRecord& r) {
  if (r.issuing) {
    unfinished_[r.run] = r.serial;
    return;
  }
  if (!r.run.empty()) unfinished_.erase(r.run);
  ++runs_;
  if (r.interrupted) ++interrupted_;
  if (r.completed)
    ++successes_;
  else
    ++failures_[r.finalText.empty() ? "(no final text)" : r.finalText];
  // A failed cycle's number counts where its device holds it.
  if (!r.serial.empty() && !written_.insert(r.serial).second) ++duplicates_;
}

std::string JournalTally::Text(int unreadable) const {
  char line[128];
  std::string out;
  std::snprintf(line, sizeof line, "runs: %lld\nsuccesses: %lld\nfailures: %lld\n", runs_, successes_,
                runs_ - successes_);
  out += line;
  for (const auto& [text, n] : failures_) {
    std::snprintf(line, sizeof line, "  %lld x ", n);
    out += line + JsonString(text) + "\n";
  }
  // A run that never wrote its line may have completed its device: its
  // number counts as written.
  std::set<std::string> written = written_;
  long long duplicates = duplicates_;
  for (const auto& [run, serial] : unfinished_)
    if (!written.insert(serial).second) ++duplicates;
  std::snprintf(line, sizeof line, "serial numbers written: %zu\nduplicates: %lld\ninterrupted runs: %lld\n",
                written.size(), duplicates, interrupted_);
  out += line;
  if (!unfinished_.empty()) {
    std::snprintf(line, sizeof line, "runs that never ended (serial number counted as written): %zu\n",
                  unfinished_.size());
    out += line;
  }
  if (unreadable) {
    std::snprintf(line, sizeof line, "unreadable lines: %d\n", unreadable);
    out += line;
  }
  return out;
}

std::string JournalReport(const std::vector<JournalRecord>& records, int unreadable) {
  JournalTally tally;
  for (const JournalRecord& r : records) tally.Add(r);
  return tally.Text(unreadable);
}

void JournalingDialog::SetStatusText(const char* text) {
  {
    std::lock_guard<std::mutex> g(m_);
    progress_.clear();
    status_.push_back(JournalStatus{text ? text : "", g_statusError.load() != 0});
  }
  inner_->SetStatusText(text);
}

// A line per percentage would make the journal mostly progress; a stop in a
// pass leaves the last one, which says how far it came.
void JournalingDialog::SetProgressText(const char* text, int percent) {
  {
    std::lock_guard<std::mutex> g(m_);
    progress_ = text ? text : "";
  }
  inner_->SetProgressText(text, percent);
}

void JournalingDialog::SetSerialNumberText(const char* text) {
  inner_->SetSerialNumberText(text);
  if (onSerial_) onSerial_(std::string(text ? text : "").substr(0, kWrittenSerialMax));
}

std::vector<JournalStatus> JournalingDialog::Status() const {
  std::lock_guard<std::mutex> g(m_);
  std::vector<JournalStatus> status = status_;
  if (!progress_.empty()) status.push_back(JournalStatus{progress_, false});
  return status;
}


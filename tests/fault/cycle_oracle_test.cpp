// Whole cycles drawn at random: an image, a part, a mode, a station and a
// fault, run on the simulated device; afterwards only what the device and the
// station hold, and what the cycle says about them, is judged. A failing draw
// prints its seed:
//   ORVALO_ORACLE_SEED=n fault_tests --gtest_filter='CycleOracle.*'   one draw again
//   ORVALO_ORACLE_DRAWS=n ...                                         n draws (seeds 1..n)
// One in seven of the draws without a stop or the store's write block runs
// through the headless runner with a journal instead of in this process: a
// signal cannot be placed at a chosen instruction of another process, and the
// runner would inherit the block.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>

#include "app/settings_store.h"
#include "cli/cli_support.h"
#include "fault/station.h"
#include "isp/fast_mode.h"
#include "platform/clock.h"
#include "state/stop_request.h"
#include "support/drawn_image.h"

namespace {

const char kSuccess[] = "Programming Completed Successfully.";
constexpr uint8_t kLocked = 0xF9;  // the lock file once LB1 and LB2 are programmed

enum class Store { kEmpty, kOther, kBlocked, kBlockedAfterFile };
enum class Fault { kNone, kFailWrite, kBadRead, kVanish, kSilent, kStop, kUnplug };
const char* const kStoreNames[] = {"empty store", "store holding another's number", "store unwritable",
                                   "store unwritable once it holds another's number"};

struct Draw {
  uint64_t seed = 0;
  DrawnImage image;
  std::string serial, other, part, faultItem;
  int busyMaxMs = 4;
  bool fast = false, verify = false, locked = false, runner = false;
  Store store = Store::kEmpty;
  Fault fault = Fault::kNone;
  uint64_t stopAtFrame = 0;

  std::string Describe() const {
    return "ORVALO_ORACLE_SEED=" + std::to_string(seed) + " [" + (runner ? "runner " : "") + (fast ? "--fast " : "") +
           (verify ? "verify " : "") + (locked ? "locked " : "unlocked ") + kStoreNames[int(store)] + "; " + part +
           (faultItem.empty() ? "" : "," + faultItem) +
           (fault == Fault::kStop ? "; stop after frame " + std::to_string(stopAtFrame) : "") + "; image " +
           image.shape + "]";
  }
};

std::string Serial(std::mt19937_64& rng) {
  std::string s = "RV";
  while (s.size() < 22) s += "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[rng() % 36];
  return s;
}

Draw MakeDraw(uint64_t seed) {
  std::mt19937_64 rng(seed);
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Draw d;
  d.seed = seed;
  d.image = DrawImage(rng);
  d.serial = Serial(rng);
  d.other = Serial(rng);
  d.fast = pick(0, 1);
  d.verify = pick(0, 1);
  // Write times across the family's 2-9 ms and beyond it. The default cycle
  // without Verify trusts its fixed 6 ms pause and cannot know of a slower
  // part, so that combination is not drawn.
  int lo = pick(0, 4) ? pick(2, 9) : pick(10, 12), hi = pick(0, 2) ? lo : pick(lo, 12);
  if (!d.fast && !d.verify) hi = std::min(hi, 6), lo = std::min(lo, hi);
  d.busyMaxMs = hi;
  d.part = "busy=" + std::to_string(lo) + (hi > lo ? "-" + std::to_string(hi) : "") + ",seed=" + std::to_string(pick(1, 999));
  int slip = pick(0, 3) ? 0 : pick(1, 31);
  if (slip) d.part += ",slip=" + std::to_string(slip);
  d.locked = pick(0, 3) != 0;
  d.store = Store(pick(0, 3));
  d.fault = Fault(pick(0, 5));
  // The write block holds the whole test process and whatever it starts.
  d.runner = d.fault != Fault::kStop && d.store != Store::kBlockedAfterFile && pick(0, 6) == 0;

  // The frames of a clean cycle, roughly: enables, erase, writes (each
  // polled while busy in fast mode), reads, the record and the lock.
  double polls = d.fast ? 1 + (lo + hi) * 1000.0 / 2 / kPollGapUs : 1;
  uint64_t frames = uint64_t(3 * (slip + 1) + 1 + (d.image.writes + 24) * polls + (d.verify ? d.image.reads : 0) + 26);
  uint64_t at = 1 + rng() % (frames + frames / 8);
  char address[8];
  std::vector<int> written;  // the image's cells the link writes
  for (int i = 0; i < int(d.image.flash.size()); ++i)
    if (d.image.flash[size_t(i)] != 0xFF) written.push_back(i);
  int a = written.empty() || pick(0, 9) < 2 ? pick(0x1FE8, 0x1FFF) : written[size_t(pick(0, int(written.size()) - 1))];
  std::snprintf(address, sizeof address, "%04X", a);
  switch (d.fault) {
    case Fault::kFailWrite: d.faultItem = std::string("failwrite=") + address; break;
    case Fault::kBadRead: d.faultItem = std::string("badread=") + address; break;
    case Fault::kVanish: d.faultItem = "vanish=" + std::to_string(at); break;
    case Fault::kSilent: d.faultItem = "silent"; break;
    case Fault::kStop: d.stopAtFrame = at; break;
    case Fault::kNone: break;
    case Fault::kUnplug: break;
  }
  // Drawn last, so that every other draw stays what its seed gave before: a
  // half of the cycles run through an adapter's chip that clocks the lines,
  // and half of those otherwise undisturbed lose the chip at a drawn call
  // (about one a frame, a few per pause).
  if (pick(0, 1) == 0) {
    d.part += ",ftdi=" + std::to_string(pick(0, 2000));
    if (d.fault == Fault::kNone && pick(0, 1) == 0) {
      d.fault = Fault::kUnplug;
      d.faultItem = "unplug=" + std::to_string(1 + rng() % (frames + frames / 4));
    }
  }
  // An adapter whose line operations are USB round trips, slower and faster
  // than the one at which fast mode stops reading writes back.
  if (pick(0, 5) == 0) d.part += ",lineop=" + std::to_string(pick(100, 1500));
  return d;
}

// What a cycle ended with, as its front end tells it.
struct Seen {
  bool success = false, erased = false, refused = false;
  std::string shown;                  // the serial number the output names
  std::string source;                 // "device", "station", "factory" or ""
  std::string device;                 // its flash and lock bits afterwards
  std::vector<std::string> breaches;  // of the front end's own duties
};

std::string SourceName(SerialSource s) {
  return s == SerialSource::kDevice ? "device" : s == SerialSource::kStation ? "station"
                                               : s == SerialSource::kFactory ? "factory" : "";
}

std::atomic<uint64_t> g_stopAtPulses{0};
void StopAtFrame(unsigned) {
  sim::Device* device = sim::TheDevice();
  if (device && device->ClockPulses() >= g_stopAtPulses.load()) RequestStop();
}

Seen RunInProcess(fault::Station& station, const Draw& d) {
  if (d.fault == Fault::kStop) {
    g_stopAtPulses = 32 * d.stopAtFrame;
    plat::SetSleepObserver(StopAtFrame);
  }
  SetFastMode(d.fast);
  fault::Outcome o = station.Cycle(d.part + (d.faultItem.empty() ? "" : "," + d.faultItem), d.verify);
  SetFastMode(false);
  plat::SetSleepObserver(nullptr);
  ClearStopRequest();
  Seen s;
  s.success = o.success;
  // Read from the device itself: a blocked store blocks saving its file too.
  s.device.assign(o.flash.begin(), o.flash.end());
  s.device += char(o.readsLocked ? kLocked : o.locked ? 0xFD : 0xFF);
  s.shown = o.serialShown;
  s.source = SourceName(o.report.serialSource);
  s.refused = o.report.end == CycleEnd::kFirmwareUnusable;
  if (s.refused) s.breaches.push_back("image refused: line " + std::to_string(o.report.firmware.line) + ": " + o.report.firmware.what);
  s.erased = o.erased;
  // Success, record and lock are judged below, on the device's memories.
  for (const std::string& b : o.breaches)
    if (b.rfind("success ", 0) != 0 && b.rfind("serial number replaced", 0) != 0) s.breaches.push_back(b);
  return s;
}

std::string JsonField(const std::string& line, const std::string& name) {
  std::smatch m;
  std::regex field("\"" + name + "\":(\"[^\"]*\"|[a-z0-9-]+)");
  if (!std::regex_search(line, m, field)) return "(missing)";
  std::string v = m[1].str();
  return v[0] == '"' ? v.substr(1, v.size() - 2) : v;
}

Seen RunRunner(fault::Station& station, const Draw& d, const std::string& dir) {
  std::string firmware = dir + "/firmware.hex", journal = dir + "/journal.jsonl";
  WriteFile(firmware, station.FirmwareText());
  std::remove(journal.c_str());
  const char* home = std::getenv("XDG_CONFIG_HOME");
  std::string sim = "time=virtual,flash=" + station.FlashPath() + "," + d.part + (d.faultItem.empty() ? "" : "," + d.faultItem);
  CliResult r = RunCli("XDG_CONFIG_HOME=" + Quote(home ? home : "") + " ORVALO_SIM=" + Quote(sim),
                       std::string(d.verify ? "--verify " : "") + (d.fast ? "--fast " : "") + "--journal " +
                           Quote(journal) + " " + Quote(firmware));
  Seen s;
  s.device = station.DeviceBytes();
  std::string last = r.lines.empty() ? "" : r.lines.back();
  if (last.rfind("! ", 0) == 0) last = last.substr(2);
  for (const std::string& l : r.lines) {
    s.erased |= l == "Chip Erased.";
    if (l.rfind("Serial Number: ", 0) == 0) s.shown = l.substr(15);
  }
  const std::pair<const char*, const char*> sources[] = {
      {"the device", "device"}, {"this station", "station"}, {"the factory", "factory"}};
  for (const auto& [phrase, name] : sources)
    if (r.err.find(std::string("serial number from ") + phrase) != std::string::npos) s.source = name;
  s.success = last == kSuccess && r.status == 0;
  s.refused = r.status == 2;
  if (s.refused) s.breaches.push_back("image refused: " + r.err.substr(std::min(r.err.find(firmware), r.err.size())));
  if ((last == kSuccess) != (r.status == 0)) s.breaches.push_back("final \"" + last + "\" with exit status " + std::to_string(r.status));
  // The journal's line tells the same run.
  std::vector<std::string> lines, issuing;
  std::ifstream in(journal);
  for (std::string l; std::getline(in, l);) (l.find("\"issuing\":") != std::string::npos ? issuing : lines).push_back(l);
  if (lines.size() != 1) {
    s.breaches.push_back("journal holds " + std::to_string(lines.size()) + " lines");
    return s;
  }
  auto agree = [&s, &lines](const std::string& field, const std::string& expected) {
    std::string got = JsonField(lines[0], field);
    if (got != expected) s.breaches.push_back("journal " + field + " " + got + ", the run " + expected);
  };
  agree("final", last);
  agree("exit", std::to_string(r.status));
  agree("serial", s.success ? s.shown : "");  // only a record written names a serial number
  agree("serial_source", s.source);
  agree("verify", d.verify ? "true" : "false");
  agree("fast", d.fast ? "true" : "false");
  agree("interrupted", "false");
  // A number a device may hold was claimed, by this run, before the erase.
  if (s.success && issuing.size() != 1) s.breaches.push_back("no issuing line before a completed cycle");
  if (!issuing.empty() && (JsonField(issuing[0], "issuing") != s.shown ||
                           JsonField(issuing[0], "run") != JsonField(lines[0], "run")))
    s.breaches.push_back("issuing line " + issuing[0] + " for the run " + lines[0]);
  return s;
}

// The invariants, on the device's memories and the store's file.
std::vector<std::string> Judge(const Draw& d, const fault::Station& station, const std::string& before, const Seen& s) {
  std::vector<std::string> b = s.breaches;
  const std::string& after = s.device;
  if (after.size() != 8193 || before.size() != 8193) return {"device files unreadable"};
  std::vector<uint8_t> flash(after.begin(), after.begin() + 8192);
  uint8_t lock = uint8_t(after[8192]), lockBefore = uint8_t(before[8192]);
  if (s.success) {
    if (flash != fault::ProgrammedFlash(d.image.flash, s.shown)) {
      size_t i = 0;
      std::vector<uint8_t> want = fault::ProgrammedFlash(d.image.flash, s.shown);
      while (flash[i] == want[i]) ++i;
      char at[64];
      std::snprintf(at, sizeof at, " (first at 0x%04zX: 0x%02X, not 0x%02X)", i, flash[i], want[i]);
      b.push_back(std::string("success without the image and the record of ") + s.shown + at);
    }
    // The final Write Lock Bits is never answered: a device gone just
    // before it cannot be told from one that took it.
    if (lock != kLocked && d.fault != Fault::kVanish) b.push_back("success unlocked");
  }
  if (!s.erased && (after.compare(0, 8192, before, 0, 8192) != 0 || !(lock == lockBefore || lock == kLocked)))
    b.push_back("ended before the erase with the device changed");
  std::string record = fault::RecordSerial(flash), stored = station.StoredSerialOnDisk();
  bool said = s.source == "station" || s.source == "factory";
  if (record != d.serial && stored != d.serial && !said)
    b.push_back("the device's number is neither in its record (\"" + record + "\") nor in the store (\"" + stored + "\")");
  // A record torn by a device gone while it was written (its own number cut
  // short, erased cells after it) can pass the one-byte checksum by chance.
  std::string kept = record.substr(0, record.find_last_not_of('\xFF') + 1);
  bool torn = kept.size() < record.size() && d.serial.compare(0, kept.size(), kept) == 0;
  if (!record.empty() && record != d.serial && !torn && !said) b.push_back("record holds " + record + " unannounced");
  if (s.source == "device" && s.shown != d.serial) b.push_back("names " + s.shown + " as the device's own");
  bool writable = d.store == Store::kEmpty || d.store == Store::kOther || d.fault == Fault::kSilent;
  if ((d.fault == Fault::kNone || d.fault == Fault::kSilent) && writable && d.busyMaxMs <= 6 && !s.success && !s.refused)
    b.push_back("a cycle that nothing disturbs failed");
  return b;
}

long EnvNumber(const char* name, long fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::strtol(v, nullptr, 10) : fallback;
}

TEST(CycleOracle, DrawnCyclesKeepTheImageTheSerialNumberAndTheUntouchedDevice) {
  long only = EnvNumber("ORVALO_ORACLE_SEED", 0);
  long draws = only ? 1 : EnvNumber("ORVALO_ORACLE_DRAWS", ORVALO_ORACLE_DEFAULT_DRAWS);
  std::string dir = TempDir("oracle"), probe = TempDir("probe");
  fault::Station station(dir, {});
  std::map<std::string, int> finals;
  int failing = 0, runs = 0;
  for (long n = 0; n < draws; ++n) {
    Draw d = MakeDraw(only ? uint64_t(only) : uint64_t(n + 1));
    station.UseImage(d.image.flash, d.image.hex);
    station.NewDevice(d.serial, d.locked);
    if (d.store == Store::kOther || d.store == Store::kBlockedAfterFile)
      WriteProfileString("Device", "Serial Number", d.other.c_str());
    if (d.store == Store::kBlocked) station.SetSettingsWritable(false);
    std::string before = station.DeviceBytes();
    if (d.store == Store::kBlockedAfterFile) {
      ASSERT_TRUE(BlockSettingsStoreWrites(probe));
    }
    Seen s = d.runner ? RunRunner(station, d, dir) : RunInProcess(station, d);
    UnblockSettingsStoreWrites();
    runs += d.runner;
    ++finals[s.success ? "success" : s.erased ? "failed after the erase" : "failed before the erase"];
    std::vector<std::string> breaches = Judge(d, station, before, s);
    station.SetSettingsWritable(true);
    if (breaches.empty()) continue;
    ++failing;
    for (const std::string& b : breaches) ADD_FAILURE() << d.Describe() << ": " << b;
  }
  std::cout << draws << " draws (" << runs << " through the runner), " << failing << " failing\n";
  for (const auto& [what, count] : finals) std::cout << "  " << count << " x " << what << "\n";
}

}  // namespace

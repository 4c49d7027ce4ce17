// The journal's lines as a script or a later run reads them back, the
// duplicate lookup, the report, the digest and the station names.
#include <gtest/gtest.h>

#include "cli/journal.h"
#include "cli/station.h"
#include "image/sha256.h"
#include "platform/memory_file.h"

namespace {

const char kDone[] = "Programming Completed Successfully.";

JournalEntry Entry(const std::string& time, const std::string& serial, const std::string& final, int exit) {
  JournalEntry e;
  e.time = time;
  e.version = "1.0";
  e.serial = final == kDone ? serial : std::string();  // as a failed cycle's record was never written
  e.serialSource = "device";
  e.status = {{"Auto Detecting Device ...", false}, {final, final.rfind("Programming Completed", 0) != 0}};
  e.finalText = final;
  e.completed = final == kDone;
  e.exitStatus = exit;
  return e;
}

// Whatever bytes a device reports or a path holds, the line stays one line
// of JSON and the serial number comes back byte for byte.
TEST(JournalTest, AnySerialNumberSurvivesTheRoundTripOnOneLine) {
  std::string nasty = std::string("A\"B\\C\nD\r\x01\x7f\xe9", 11) + std::string(1, '\0') + "Z";
  JournalEntry e = Entry("2026-01-02T03:04:05.006Z", nasty, kDone, 0);
  e.firmwarePath = "/tmp/dir with \"quotes\"\n/x.hex";
  std::string line = FormatJournalLine(e);
  ASSERT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  for (char c : line) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c <= 0x7E)) << int(uint8_t(c));
  int unreadable = -1;
  std::vector<JournalRecord> r = ParseJournal(line + line, &unreadable);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(unreadable, 0);
  EXPECT_EQ(r[0].serial, nasty);
  EXPECT_EQ(r[0].time, "2026-01-02T03:04:05.006Z");
  EXPECT_EQ(r[0].finalText, kDone);
  EXPECT_TRUE(r[0].completed);
  EXPECT_EQ(r[0].exitStatus, 0);
}

TEST(JournalTest, EveryFieldIsWrittenInItsPlace) {
  JournalEntry e = Entry("T", "S1", "Verify Failed at 0x0010.", 1);
  e.station = "line-2";
  e.port = "COM2";
  e.probed = {{"/dev/ttyUSB0", "not opened"}, {"COM2", "answered"}};
  e.firmwarePath = "fw.hex";
  e.firmwareSize = 42;
  e.firmwareSha256 = "ab";
  e.verify = true;
  e.fast = true;
  e.serial = "S1";
  e.serialSource = "station";
  e.interrupted = false;
  e.durationSeconds = 1.25;
  EXPECT_EQ(FormatJournalLine(e),
            "{\"time\":\"T\",\"version\":\"1.0\",\"station\":\"line-2\",\"port\":\"COM2\",\"firmware\":\"fw.hex\","
            "\"firmware_size\":42,\"firmware_sha256\":\"ab\",\"verify\":true,\"fast\":true,\"serial\":\"S1\","
            "\"serial_source\":\"station\",\"probed\":[{\"port\":\"/dev/ttyUSB0\",\"result\":\"not opened\"},"
            "{\"port\":\"COM2\",\"result\":\"answered\"}],\"status\":[{\"text\":\"Auto Detecting Device ...\",\"colour\":\"black\"},"
            "{\"text\":\"Verify Failed at 0x0010.\",\"colour\":\"red\"}],\"final\":\"Verify Failed at 0x0010.\","
            "\"interrupted\":false,\"exit\":1,\"duration_s\":1.250,\"completed\":false}\n");
  e.firmwareSize = -1;
  EXPECT_NE(FormatJournalLine(e).find("\"firmware_size\":null"), std::string::npos);
}

// Only a completed, uninterrupted cycle has issued its serial number, and the
// earliest one is named.
TEST(JournalTest, TheEarliestCompletedCycleIsTheIssuer) {
  // Stopped after its record was written: its device holds S as well.
  JournalEntry interrupted = Entry("t0", "S", kDone, 130);
  interrupted.interrupted = true;
  std::string text = FormatJournalLine(Entry("t1", "S", "Programming Failed at 0x0000 .", 1)) +
                     FormatJournalLine(interrupted) + "garbage, not JSON\n\n{\"time\":\"half" + "\n" +
                     FormatJournalLine(Entry("t2", "S", kDone, 0)) + FormatJournalLine(Entry("t3", "S", kDone, 0)) +
                     FormatJournalLine(Entry("t4", "T", kDone, 0));
  int unreadable = 0;
  std::vector<JournalRecord> r = ParseJournal(text, &unreadable);
  EXPECT_EQ(unreadable, 2);
  ASSERT_EQ(r.size(), 5u);
  const JournalRecord* issued = FindIssuedSerial(r, "S");
  ASSERT_NE(issued, nullptr);
  EXPECT_EQ(issued->time, "t2");
  EXPECT_EQ(FindIssuedSerial(r, "U"), nullptr);
  EXPECT_EQ(FindIssuedSerial(r, "S\n"), nullptr);

  EXPECT_EQ(JournalReport(r, unreadable),
            "runs: 5\nsuccesses: 3\nfailures: 2\n  1 x \"Programming Completed Successfully.\"\n"
            "  1 x \"Programming Failed at 0x0000 .\"\nserial numbers written: 2\nduplicates: 2\n"
            "interrupted runs: 1\nunreadable lines: 2\n");

  // The recorded outcome decides; a line from before it was recorded, its
  // serial number (written only by a completed cycle), never its final text.
  const std::string done = std::string("\"final\":\"") + kDone + "\"";
  for (auto [line, completed] : std::vector<std::pair<std::string, bool>>{
           {"{\"serial\":\"RV1\"}", true}, {"{" + done + "}", false}, {"{" + done + ",\"completed\":false}", false}}) {
    JournalRecord record;
    ASSERT_TRUE(ParseJournalLine(line, &record));
    EXPECT_EQ(record.completed, completed) << line;
  }
}

TEST(JournalTest, HostileLinesAreUnreadableNotFatal) {
  std::string deep(100000, '[');
  int unreadable = 0;
  std::vector<JournalRecord> r =
      ParseJournal("{\"a\":" + deep + "\n{\"serial\":\"\\u00\"}\n{\"serial\":\"x\"} trailing\n[1]\n" +
                       "{\"serial\":\"a\",\"serial\":\"b\"}\n{\"exit\":1e999,\"final\":\"" + std::string(600, 'f') + "\"}\n",
                   &unreadable);
  EXPECT_EQ(unreadable, 5);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].exitStatus, -1);
  std::string report = JournalReport(r, 0);
  EXPECT_NE(report.find(std::string(600, 'f') + "\"\nserial numbers written: 0\n"), std::string::npos) << report;
}

TEST(JournalTest, Sha256OfKnownTexts) {
  auto hex = [](const std::string& s) {
    Sha256 d;
    d.Update(s.data(), s.size());
    return d.HexDigest();
  };
  EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // Fed in uneven pieces across block boundaries.
  Sha256 d;
  std::string a(1000, 'a');
  for (int i = 0; i < 1000; ++i) d.Update(a.data(), a.size());
  EXPECT_EQ(d.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(JournalTest, DigestReadsTheWholeFileAndRewindsIt) {
  std::string text(200000, 'x');
  plat::MemoryFile file(std::vector<uint8_t>(text.begin(), text.end()));
  int64_t size = 0;
  std::string sha;
  ASSERT_TRUE(DigestFile(&file, &size, &sha));
  EXPECT_EQ(size, 200000);
  Sha256 d;
  d.Update(text.data(), text.size());
  EXPECT_EQ(sha, d.HexDigest());
  uint8_t c = 0;
  EXPECT_EQ(file.Read(&c, 1), 1);
  plat::MemoryFile failing(std::vector<uint8_t>(text.begin(), text.end()), 70000);
  EXPECT_FALSE(DigestFile(&failing, &size, &sha));
}

TEST(StationTest, NamesAndTheirKeys) {
  EXPECT_TRUE(IsValidStationName("A"));
  EXPECT_TRUE(IsValidStationName("az-AZ_09"));
  EXPECT_TRUE(IsValidStationName(std::string(32, 'x')));
  EXPECT_FALSE(IsValidStationName(""));
  EXPECT_FALSE(IsValidStationName(std::string(33, 'x')));
  for (const char* bad : {"a b", "a/b", "a.b", "..", "a\\b", "\xc3\xa9", "a\n"}) EXPECT_FALSE(IsValidStationName(bad)) << bad;
  EXPECT_EQ(StationApplicationKey("L1"), "orvalo-programmer-L1.INI");
  EXPECT_EQ(StationApplicationKey(""), "orvalo-programmer.INI");
}

}  // namespace

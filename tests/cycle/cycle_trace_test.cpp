// Whole cycles traced step by step on the virtual clock and compared with the
// sequences the programming link, the instructions, the serial-number exchange
// and the cycle are built from: every line operation, pause, yield, port open
// and close, and dialog operation, in order and at its time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cycle/programming_cycle.h"
#include "isp/fast_mode.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "sim/sim.h"
#include "state/shared_state.h"
#include "support/cycle_trace.h"
#include "support/test_support.h"

namespace {

using namespace expect;

const char kFactory[] = "ZTMQR51700000000000000";

// The firmware of these cycles: two records of four bytes, one of them 0xFF
// (never written) and one 0x7F (which data polling cannot tell from busy),
// then the end-of-file record. g_recordCount is 3.
const std::vector<uint8_t> kImage = {0x12, 0x34, 0xFF, 0x7F, 0x9A, 0xBC, 0xDE, 0xF0};
struct Record {
  int yieldsBefore;  // bytes read up to and including its ':'
  const char* percent;
  int address;
  int count;
};
const Record kRecords[] = {{1, "33", 0, 4}, {3, "66", 4, 4}, {3, "100", 0, 0}};

// ---- The link's sequences --------------------------------------------------

TraceItem Reset() {
  return Seq({Strobe(0), Brk(1), Pause(1), Strobe(1), Pause(1), Strobe(0), Pause(22)});
}
TraceItem EnableFrame() {
  return Seq({Byte(0xAC), Unit(), Byte(0x53), Unit(), Byte(0x00), Unit(), Byte(0x00)});
}
TraceItem FailedAttempt(int pauseMs) { return Seq({EnableFrame(), Unit(), Brk(0), Unit(), Brk(1), Pause(pauseMs)}); }
// Programming Enable answered on attempt failures + 1.
TraceItem Enable(int failures, int pauseMs) { return Seq({Repeat(failures, {FailedAttempt(pauseMs)}), EnableFrame()}); }
TraceItem NoAnswer(int pauseMs) { return Repeat(32, {FailedAttempt(pauseMs)}); }
TraceItem LockAndRelease() {
  return Seq({Byte(0xAC), Yield(), Byte(0xE0), Yield(), Byte(0x00), Yield(), Byte(0x00), Pause(22), Strobe(1)});
}
TraceItem Erase(int slip) {
  return Seq({Byte(0xAC), Unit(), Byte(0x80), Unit(), Byte(0x00), Unit(), Byte(0x00), Unit(), Pause(22), Strobe(1),
              Pause(1), Strobe(0), Pause(22), Enable(slip, 1)});
}
TraceItem Frame(uint8_t op, int address, uint8_t data) {
  return Seq({Byte(uint8_t(op | ((address & 1) ? 0x08 : 0x00))), Byte(uint8_t((address >> 9) & 0xFF)),
              Byte(uint8_t((address >> 1) & 0xFF)), Byte(data)});
}

// The fast mode's data polling, for the part's write time in us; -1 is the
// default cycle with its fixed pauses.
int g_pollBusyUs = -1;
TraceItem PollRead(int address) { return Frame(0x20, address, 0x00); }
// Read back every 200 us while the byte is busy; the first read that gives
// the data ends the write.
TraceItem Polls(int address, int busyReads) {
  return Seq({Repeat(busyReads, {PollRead(address), Gap(200)}), PollRead(address)});
}

TraceItem Write(int address, uint8_t data) {
  if (data == 0xFF) return Seq({});
  if (g_pollBusyUs < 0) return Seq({Frame(0x40, address, data), Pause(6)});
  if (data == 0x7F) return Seq({Frame(0x40, address, data), Pause(9), PollRead(address)});
  return Seq({Frame(0x40, address, data), Polls(address, (g_pollBusyUs + 199) / 200)});
}
// A write frame the device does not echo: it fails at once, in either mode.
TraceItem WriteRefused(int address, uint8_t data) { return Frame(0x40, address, data); }
// A write the device takes but never finishes in time: polled up to the 9 ms
// limit, reads at 0, 200, ..., 9000 us.
TraceItem WriteTimedOut(int address, uint8_t data) { return Seq({Frame(0x40, address, data), Polls(address, 45)}); }
TraceItem ReadBack(int address) {
  if (g_pollBusyUs >= 0) return Frame(0x20, address, 0x00);
  return Seq({Frame(0x20, address, 0x00), Pause(1)});
}

// ---- The cycle's sequences -------------------------------------------------

TraceItem CycleStart() {
  return Seq({StartButton(false), VerifyBox(false), Cursor(1), VerifyRead(), Repaint(),
              Status("Auto Detecting Device ...", false)});
}
TraceItem CycleEnd(const std::string& text, bool red, const char* openPort) {
  TraceBlock b = {Status(text, red)};
  if (openPort) b.push_back(Close(openPort));
  b.insert(b.end(), {VerifyBox(true), Cursor(-1), StartButton(true)});
  return Seq(b);
}
// Read Signature, its three frames back to back.
TraceItem Identify() {
  TraceBlock b;
  for (uint8_t index = 0; index < 3; ++index) b.push_back(Seq({Byte(0x30), Byte(0x00), Byte(index), Byte(0x00)}));
  return Seq(b);
}
TraceItem FoundOn(const char* port, int slip) { return Seq({Open(port), Reset(), Enable(slip, 0), Identify()}); }
TraceItem Erased(int slip) { return Seq({Erase(slip), Status("Chip Erased.", false), Identify()}); }
TraceItem NotOn(const char* port) { return Seq({Open(port), Reset(), NoAnswer(0), Close(port), Pause(1)}); }
TraceItem BreakPulse() { return Seq({Brk(1), Pause(1), Brk(0), Pause(1)}); }
// The firmware's break answered and its frame (DLE, type, L = 21, 22
// characters) read in one go.
TraceItem Exchange(int bytesRead) { return Seq({Arm(), Wait(1), BreakPulse(), Tx(0x06), Pause(8), Read(bytesRead)}); }
// The repaint still finds the serial-number stage's colour: a red warning
// stays red on the screen until the next status.
TraceItem AfterSerial(const std::string& serial, bool red = false) {
  return Seq({SerialBox(serial), Repaint(red), Pause(10)});
}
TraceItem Released(const char* port) {
  return Seq({Status(std::string("Device found at ") + port + ". Getting Serial Number ...", false), LockAndRelease(),
              Pause(10)});
}

// One pass over the firmware; stops at failAt (a data byte's address) when
// it is given, after that byte's failing step: a write frame not echoed, or in
// the fast mode (polledOut) a byte polled to the limit.
TraceItem Pass(bool program, int failAt = -1, bool polledOut = false) {
  TraceBlock b;
  for (const Record& r : kRecords) {
    b.push_back(Repeat(r.yieldsBefore, {Yield()}));
    b.push_back(Status(std::string(program ? "Programming, " : "Verifying, ") + r.percent + "% Completed.", false));
    b.push_back(Pause(1));
    for (int i = 0; i < r.count; ++i) {
      int address = r.address + i;
      uint8_t data = kImage[size_t(address)];
      if (address == failAt) {
        // A byte read is still read in full; it is the comparison that fails.
        if (!program)
          b.push_back(ReadBack(address));
        else if (polledOut)
          b.push_back(WriteTimedOut(address, data));
        else
          b.push_back(WriteRefused(address, data));
        return Seq(b);
      }
      b.push_back(program ? Write(address, data) : ReadBack(address));
    }
  }
  return Seq(b);
}

uint8_t RecordSum(const std::string& serial) {
  uint8_t sum = 22;
  for (char c : serial) sum = uint8_t(sum + uint8_t(c));
  return sum;
}

// The serial-number record: length, 22 characters, checksum; then read back
// whole, since a write the device did not take may still have echoed right.
TraceItem SerialRecord(const std::string& serial) {
  TraceBlock b = {Write(0x1FE8, 22)};
  for (int i = 0; i < 22; ++i) b.push_back(Write(0x1FE9 + i, uint8_t(serial[size_t(i)])));
  b.push_back(Write(0x1FFF, RecordSum(serial)));
  for (int i = 0; i < 24; ++i) b.push_back(ReadBack(0x1FE8 + i));
  return Seq(b);
}

TraceItem ProgramAndFinish(const char* port, const std::string& serial, bool verify, int slip) {
  TraceBlock b = {Reset(), Enable(slip, 0), Erased(slip), Pass(true)};
  if (verify) b.push_back(Pass(false));
  b.insert(b.end(), {SerialRecord(serial), LockAndRelease(), CycleEnd("Programming Completed Successfully.", false, port)});
  return Seq(b);
}

TraceItem GoodCycle(const char* port, TraceItem probe, bool verify, int slip) {
  return Seq({CycleStart(), probe, Released(port), Exchange(25), Status("Serial Number OK.", false),
              AfterSerial(kSerial), ProgramAndFinish(port, kSerial, verify, slip)});
}

class CycleTraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseIsolatedSettings("trace");
    UseFirmwareText(MakeHex(kImage, 0, 4));
  }
  void TearDown() override {
    g_pollBusyUs = -1;
    SetFastMode(false);
    cycle_trace::End();
    ResetGlobals();
    sim::Uninstall();
  }
  void Run(const std::string& config, bool verify) {
    InstallSim(config);
    cycle_trace::Begin();
    TraceDialog dialog(verify);
    OnStart(&dialog);
    JoinCycleThread();
    // A listener the cycle had to leave behind ends (and is traced) by itself.
    plat::WaitUntil(plat::NowUs() + 60000000, [] { return plat::RunningThreadCount() == 0; });
    cycle_trace::End();
    EXPECT_EQ(sim::TheDevice()->ProtocolViolations(), 0u);
    EXPECT_EQ(plat::RunningThreadCount(), 0);
  }
  void Check(TraceItem expected) {
    std::string diff = CompareTraces(ExpandTrace({expected}), cycle_trace::Steps());
    EXPECT_EQ(diff, "");
  }
  static int64_t TimeOf(const std::vector<TraceStep>& steps, TraceOp op, const std::string& text = "") {
    for (const TraceStep& s : steps)
      if (s.op == op && (text.empty() || s.text == text)) return s.timeUs;
    return -1;
  }
};

TEST_F(CycleTraceTest, AVerifiedCycle) {
  Run(std::string("serial=") + kSerial, true);
  Check(GoodCycle("COM1", FoundOn("COM1", 0), true, 0));
}

TEST_F(CycleTraceTest, AnUnverifiedCycle) {
  Run(std::string("serial=") + kSerial, false);
  Check(GoodCycle("COM1", FoundOn("COM1", 0), false, 0));
}

TEST_F(CycleTraceTest, OnCom2WithCom1Absent) {
  Run(std::string("port=COM2,absent=COM1,serial=") + kSerial, true);
  Check(GoodCycle("COM2", Seq({OpenAbsent("COM1"), Pause(1), FoundOn("COM2", 0)}), true, 0));
}

TEST_F(CycleTraceTest, OnCom2WithCom1RefusingItsSettings) {
  Run(std::string("port=COM2,refuse=COM1,serial=") + kSerial, true);
  Check(GoodCycle("COM2", Seq({OpenRefused("COM1"), Pause(1), FoundOn("COM2", 0)}), true, 0));
}

TEST_F(CycleTraceTest, OnCom2WithNothingAnsweringOnCom1) {
  Run(std::string("port=COM2,serial=") + kSerial, false);
  Check(GoodCycle("COM2", Seq({NotOn("COM1"), FoundOn("COM2", 0)}), false, 0));
}

// Every reset costs `slip` clock pulses, so each of the three enable loops of
// a cycle (probe, after the serial number, after the erase) needs slip + 1
// attempts; 31 makes the 32nd and last attempt the one that succeeds.
TEST_F(CycleTraceTest, EveryEnableLoopAfterSlippedPulses) {
  for (int slip : {1, 7, 31}) {
    SCOPED_TRACE("slip=" + std::to_string(slip));
    Run(std::string("serial=") + kSerial + ",slip=" + std::to_string(slip), false);
    Check(GoodCycle("COM1", FoundOn("COM1", slip), false, slip));
    TearDown();
    SetUp();
  }
}

TEST_F(CycleTraceTest, NoDeviceOnEitherPort) {
  Run("nodevice", true);
  Check(Seq({CycleStart(), NotOn("COM1"), NotOn("COM2"),
             CycleEnd("Device not found. Check Power, Cable, Free COM.", true, nullptr)}));
}

TEST_F(CycleTraceTest, NoPortsAtAll) {
  Run("absent=COM1,absent=COM2", true);
  Check(Seq({CycleStart(), OpenAbsent("COM1"), Pause(1), OpenAbsent("COM2"), Pause(1),
             CycleEnd("Device not found. Check Power, Cable, Free COM.", true, nullptr)}));
}

TEST_F(CycleTraceTest, AFailedWriteEndsTheCycleWithoutLocking) {
  Run(std::string("serial=") + kSerial + ",failwrite=5", true);
  Check(Seq({CycleStart(), FoundOn("COM1", 0), Released("COM1"), Exchange(25), Status("Serial Number OK.", false),
             AfterSerial(kSerial), Reset(), Enable(0, 0), Erased(0), Pass(true, 5),
             CycleEnd("Programming Failed at 0x0005 .", true, "COM1")}));
}

TEST_F(CycleTraceTest, AFailedVerifyEndsTheCycleWithoutLocking) {
  Run(std::string("serial=") + kSerial + ",badread=6", true);
  Check(Seq({CycleStart(), FoundOn("COM1", 0), Released("COM1"), Exchange(25), Status("Serial Number OK.", false),
             AfterSerial(kSerial), Reset(), Enable(0, 0), Erased(0), Pass(true),
             Pass(false, 6), CycleEnd("Verify Failed at 0x0006.", true, "COM1")}));
}

// The device asks (0x10 0x7F) before its frame, in the same read: the request
// is answered with a break pulse, 0x10, 1 ms, 0x31, and the frame still taken.
TEST_F(CycleTraceTest, TheDevicesRequestIsAnsweredBeforeItsFrameIsTaken) {
  Run(std::string("serial=") + kSerial + ",request", false);
  Check(Seq({CycleStart(), FoundOn("COM1", 0), Released("COM1"), Exchange(27), BreakPulse(), Tx(0x10), Pause(1),
             Tx(0x31), Status("Serial Number OK.", false), AfterSerial(kSerial),
             ProgramAndFinish("COM1", kSerial, false, 0)}));
}

// Firmware that never reports: the request ends at its 3000 ms limit and the
// factory default is written into the record.
TEST_F(CycleTraceTest, SilentFirmwareUntilTheLimit) {
  Run(std::string("serial=") + kSerial + ",silent", false);
  Check(Seq({CycleStart(), FoundOn("COM1", 0), Released("COM1"), Arm(), Wait(-1),
             Status("Serial Number not found.", true), Status("No Serial Number found. Default to Factory.", true),
             AfterSerial(kFactory, true), ProgramAndFinish("COM1", kFactory, false, 0)}));
  std::vector<TraceStep> steps = cycle_trace::Steps();
  EXPECT_EQ(TimeOf(steps, TraceOp::kStatus, "Serial Number not found.") - TimeOf(steps, TraceOp::kArm), 3000000);
}

// A driver that holds the cancelled break wait for 2 s: the request gives the
// listener 500 ms, then leaves the port to it, and the cycle ends before the
// erase without touching the port again; the listener closes it when the
// driver lets go.
TEST_F(CycleTraceTest, ABreakWaitTheDriverHoldsEndsTheCycleBeforeTheErase) {
  Run(std::string("serial=") + kSerial + ",silent,holdwait=2000", false);
  Check(Seq({CycleStart(), FoundOn("COM1", 0), Released("COM1"), Arm(), Gap(3500000),
             CycleEnd("Serial Number not found.", true, nullptr), Gap(1500000), Wait(-1), Close("COM1")}));
}

// The sixth character does not take: nothing after it is written, no checksum,
// no read-back, no lock.
TEST_F(CycleTraceTest, ARecordWriteThatFails) {
  Run(std::string("serial=") + kSerial + ",failwrite=1FEE", false);
  TraceBlock record = {Write(0x1FE8, 22)};
  for (int i = 0; i < 5; ++i) record.push_back(Write(0x1FE9 + i, uint8_t(kSerial[i])));
  record.push_back(WriteRefused(0x1FEE, uint8_t(kSerial[5])));
  Check(Seq({CycleStart(), FoundOn("COM1", 0), Released("COM1"), Exchange(25), Status("Serial Number OK.", false),
             AfterSerial(kSerial), Reset(), Enable(0, 0), Erased(0), Pass(true),
             Seq(record), CycleEnd("Writing Serial Number failed.", true, "COM1")}));
}

// The length byte's write is not tested: every character and the checksum
// still go out; only the read-back finds the record incomplete.
TEST_F(CycleTraceTest, AFailedLengthWriteIsFoundByTheReadBack) {
  Run(std::string("serial=") + kSerial + ",failwrite=1FE8", false);
  TraceBlock record = {WriteRefused(0x1FE8, 22)};
  for (int i = 0; i < 22; ++i) record.push_back(Write(0x1FE9 + i, uint8_t(kSerial[i])));
  record.push_back(Write(0x1FFF, RecordSum(kSerial)));
  record.push_back(ReadBack(0x1FE8));
  Check(Seq({CycleStart(), FoundOn("COM1", 0), Released("COM1"), Exchange(25), Status("Serial Number OK.", false),
             AfterSerial(kSerial), Reset(), Enable(0, 0), Erased(0), Pass(true),
             Seq(record), CycleEnd("Writing Serial Number failed.", true, "COM1")}));
}

// A cycle whose record checksum is not taken: every other byte of the record
// is written, the whole record read back, and the cycle fails unlocked.
TraceItem ChecksumNotTaken() {
  TraceBlock record = {Write(0x1FE8, 22)};
  for (int i = 0; i < 22; ++i) record.push_back(Write(0x1FE9 + i, uint8_t(kSerial[i])));
  record.push_back(WriteRefused(0x1FFF, RecordSum(kSerial)));
  for (int i = 0; i < 24; ++i) record.push_back(ReadBack(0x1FE8 + i));
  return Seq({CycleStart(), FoundOn("COM1", 0), Released("COM1"), Exchange(25), Status("Serial Number OK.", false),
             AfterSerial(kSerial), Reset(), Enable(0, 0), Erased(0), Pass(true),
             Seq(record), CycleEnd("Writing Serial Number failed.", true, "COM1")});
}

// Nor is the checksum's: the read-back finds it, after every other byte of
// the record was read as written.
TEST_F(CycleTraceTest, AFailedChecksumWriteIsFoundByTheReadBack) {
  Run(std::string("serial=") + kSerial + ",failwrite=1FFF", false);
  Check(ChecksumNotTaken());
}

// ---- The fast mode ----------------------------------------------------------

class FastCycleTraceTest : public CycleTraceTest {
 protected:
  void RunFast(int busyMs, const std::string& more, bool verify) {
    g_pollBusyUs = busyMs * 1000;
    SetFastMode(true);
    Run(std::string("serial=") + kSerial + ",busy=" + std::to_string(busyMs) + more, verify);
  }
};

// Parts faster and slower than the default cycle's 6 ms pause: each write
// ends at the first read that is no longer busy; reads have no pause; the
// 0x7F byte waits the longest write time and is read once. Everything else is
// the default cycle.
TEST_F(FastCycleTraceTest, PollsEachWriteToItsEnd) {
  for (int busyMs : {4, 7}) {
    SCOPED_TRACE("busy=" + std::to_string(busyMs));
    RunFast(busyMs, "", true);
    Check(GoodCycle("COM1", FoundOn("COM1", 0), true, 0));
    TearDown();
    SetUp();
  }
}

// A part slower than the family's longest write time fails on its first
// polled byte, after reads up to the limit.
TEST_F(FastCycleTraceTest, APartSlowerThanTheLimitFailsTheFirstWrite) {
  RunFast(10, "", false);
  Check(Seq({CycleStart(), FoundOn("COM1", 0), Released("COM1"), Exchange(25), Status("Serial Number OK.", false),
             AfterSerial(kSerial), Reset(), Enable(0, 0), Erased(0), Pass(true, 0, true),
             CycleEnd("Programming Failed at 0x0000 .", true, "COM1")}));
}

// A byte that is taken but never reads back as written is polled to the
// limit and fails there, before any verify pass.
TEST_F(FastCycleTraceTest, AByteThatNeverReadsAsWrittenFailsAtTheLimit) {
  RunFast(4, ",badread=4", true);
  Check(Seq({CycleStart(), FoundOn("COM1", 0), Released("COM1"), Exchange(25), Status("Serial Number OK.", false),
             AfterSerial(kSerial), Reset(), Enable(0, 0), Erased(0), Pass(true, 4, true),
             CycleEnd("Programming Failed at 0x0004 .", true, "COM1")}));
}

TEST_F(FastCycleTraceTest, AWriteThatIsNotEchoedFailsWithoutPolling) {
  RunFast(4, ",failwrite=5", true);
  Check(Seq({CycleStart(), FoundOn("COM1", 0), Released("COM1"), Exchange(25), Status("Serial Number OK.", false),
             AfterSerial(kSerial), Reset(), Enable(0, 0), Erased(0), Pass(true, 5),
             CycleEnd("Programming Failed at 0x0005 .", true, "COM1")}));
}

// The record's checksum is polled like any byte, but its result is left to
// the read-back, which reads the whole record before it fails.
TEST_F(FastCycleTraceTest, TheRecordsChecksumIsLeftToTheReadBack) {
  RunFast(5, ",failwrite=1FFF", false);
  Check(ChecksumNotTaken());
}

// The comparison itself must see a difference: a pause of the wrong length, a
// missing line operation and a wrong status colour are each reported with
// the step where they happen.
TEST(CycleTraceCompare, ReportsTheFirstDifferenceWithItsNeighbours) {
  std::vector<TraceStep> want = ExpandTrace({Strobe(1), Byte(0x80)});
  std::vector<TraceStep> got = want;
  int64_t t = 0;
  for (TraceStep& s : got) {
    s.timeUs = t;
    if (s.op == TraceOp::kPause) t += int64_t(s.value) * 1000;
  }
  EXPECT_EQ(CompareTraces(want, got), "");
  std::vector<TraceStep> shorter = got;
  shorter.erase(shorter.begin() + 3);  // the strobe's RTS drop
  std::string diff = CompareTraces(want, shorter);
  EXPECT_NE(diff.find("first difference at step 3"), std::string::npos) << diff;
  EXPECT_NE(diff.find("expected: RTS 0"), std::string::npos) << diff;
  std::vector<TraceStep> late = got;
  for (size_t i = 3; i < late.size(); ++i) late[i].timeUs += 1000;  // a pause 1 ms too long
  diff = CompareTraces(want, late);
  EXPECT_NE(diff.find("first difference at step 3"), std::string::npos) << diff;
  std::vector<TraceStep> red = ExpandTrace({Status("x", false)});
  std::vector<TraceStep> gotRed = red;
  gotRed[0].red = true;
  EXPECT_NE(CompareTraces(red, gotRed), "");
  gotRed[0].red = false;
  gotRed[0].busy = false;  // the busy flag cleared too early
  EXPECT_NE(CompareTraces(red, gotRed), "");
}

}  // namespace

// The serial-number exchange with the simulated firmware, the record in flash
// and the settings store.
#include <gtest/gtest.h>

#include <cstring>

#include "app/settings_store.h"
#include "cycle/device_serial.h"
#include "state/shared_state.h"
#include "isp/instructions.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/thread_test_hooks.h"
#include "sim/sim.h"
#include "support/cycle_trace.h"
#include "support/test_support.h"

namespace {

class DeviceSerialTest : public ::testing::Test {
 protected:
  void SetUp() override { UseIsolatedSettings("serial"); }
  // The device found and released to run its firmware, as the cycle does.
  void Running(const std::string& config) {
    InstallSim(config);
    ASSERT_EQ(OpenPort("COM1"), 0);
    ASSERT_EQ(EnterProgrammingMode(), 0);
    LockAndRun();
    plat::Sleep(10);
    device = sim::TheDevice();
  }
  void TearDown() override {
    cycle_trace::End();
    ResetGlobals();
    sim::Uninstall();
    EXPECT_EQ(plat::RunningThreadCount(), 0);
  }
  std::string Working() {
    char working[24];
    std::memset(working, 'x', sizeof working);
    ObtainSerialNumber(&dialog, working);
    EXPECT_EQ(working[22], '\0');
    return std::string(working, 24);
  }
  sim::Device* device = nullptr;
  RecordingDialog dialog;
};

TEST_F(DeviceSerialTest, AGoodFrameIsTakenAndReplacesTheStoredValue) {
  WriteProfileString("Device", "Serial Number", "OLD");
  Running(std::string("serial=") + kSerial);
  int64_t t0 = plat::NowUs();
  std::string w = Working();
  EXPECT_LT(plat::NowUs() - t0, 100000);  // the first break comes 20 ms after the start
  EXPECT_EQ(w, std::string(kSerial) + std::string(2, '\0'));
  EXPECT_EQ(dialog.Texts(), (std::vector<std::string>{"Serial Number OK."}));
  EXPECT_FALSE(dialog.LastRed());
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), kSerial);
  std::vector<uint8_t> sent = device->UartReceived();
  EXPECT_EQ(sent, (std::vector<uint8_t>{0x06}));
  EXPECT_EQ(device->BreakPulsesSeen(), 1);
  EXPECT_EQ(LastSerialSource(), SerialSource::kDevice);
}

TEST_F(DeviceSerialTest, ASilentDeviceTimesOutAfter3000msAndTheStoredValueIsUsed) {
  WriteProfileString("Device", "Serial Number", "STORED0000000000000001");
  Running("serial=ABC,silent");
  int64_t t0 = plat::NowUs();
  EXPECT_EQ(ReadDeviceSerial(), kSerialNoFrame);
  EXPECT_EQ(plat::NowUs() - t0, 3000000);
  EXPECT_EQ(Working(), std::string("STORED0000000000000001") + std::string(2, '\0'));
  EXPECT_EQ(dialog.Texts(), (std::vector<std::string>{"Serial Number not found."}));
  EXPECT_TRUE(dialog.LastRed());
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "STORED0000000000000001");
  EXPECT_EQ(LastSerialSource(), SerialSource::kStation);
}

TEST_F(DeviceSerialTest, NothingStoredFallsBackToTheFactoryDefault) {
  Running("");  // an erased device runs nothing
  EXPECT_EQ(Working(), std::string("ZTMQR51700000000000000") + std::string(2, '\0'));
  EXPECT_EQ(dialog.Texts(),
            (std::vector<std::string>{"Serial Number not found.", "No Serial Number found. Default to Factory."}));
  EXPECT_TRUE(dialog.LastRed());
  EXPECT_EQ(GetProfileString("Device", "Serial Number", "none"), "none");  // not written back
  EXPECT_EQ(LastSerialSource(), SerialSource::kFactory);
}

TEST_F(DeviceSerialTest, AZeroFirstPayloadByteIsNoSerialNumber) {
  Running("serial=X");
  std::vector<uint8_t> f = device->Flash();
  f[0x1FFF] ^= 1;  // a record with a bad checksum: the firmware reports 10 E0 00 00
  device->SetFlash(f);
  EXPECT_EQ(ReadDeviceSerial(), kSerialEmpty);
}

// The request is answered inside the scan of the read that brought it: break
// pulse (1 ms on, 1 ms off), 0x10, 1 ms, 0x31; then the frame of that same
// read is taken, with no further read.
TEST_F(DeviceSerialTest, ARequestIsAnsweredAndTheFrameInTheSameReadTaken) {
  Running(std::string("request,serial=") + kSerial);
  g_hPort = cycle_trace::Wrap("COM1", std::unique_ptr<plat::SerialPort>(g_hPort)).release();
  cycle_trace::Begin();
  EXPECT_EQ(ReadDeviceSerial(), 0);
  cycle_trace::End();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(g_deviceSerial), 22), kSerial);
  EXPECT_EQ(device->UartReceived(), (std::vector<uint8_t>{0x06, 0x10, 0x31}));
  std::vector<TraceStep> steps = cycle_trace::Steps();
  size_t read = 0;
  while (read < steps.size() && steps[read].op != TraceOp::kRead) ++read;
  ASSERT_LT(read, steps.size());
  EXPECT_EQ(steps[read].value, 2 + 3 + 22);  // the request, then the whole frame
  std::vector<std::pair<TraceOp, int>> after;
  for (size_t i = read + 1; i < steps.size(); ++i) after.push_back({steps[i].op, steps[i].value});
  EXPECT_EQ(after, (std::vector<std::pair<TraceOp, int>>{{TraceOp::kBreak, 1},
                                                         {TraceOp::kPause, 1},
                                                         {TraceOp::kBreak, 0},
                                                         {TraceOp::kPause, 1},
                                                         {TraceOp::kTx, 0x10},
                                                         {TraceOp::kPause, 1},
                                                         {TraceOp::kTx, 0x31}}));
}

TEST_F(DeviceSerialTest, NoiseAndCutFramesAreNotTakenAndTheNextReportIs) {
  // DLE DLE hides the E3; a frame cut by the end of the read is dropped and
  // the listener waits for the next break, which brings a plain report.
  for (const char* script : {"noise=1010E30441424344", "truncate=12", "noise=5510", "framelen=40,truncate=20"}) {
    Running(std::string(script) + ",serial=" + kSerial);
    EXPECT_EQ(ReadDeviceSerial(), 0) << script;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(g_deviceSerial), 22), kSerial) << script;
    ResetGlobals();
    sim::Uninstall();
  }
}

TEST_F(DeviceSerialTest, ALongFrameIsKeptWholeAndAShortOneAfterItLeavesNoTail) {
  Running(std::string("framelen=25,serial=") + kSerial);
  EXPECT_EQ(ReadDeviceSerial(), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(g_deviceSerial), 22), kSerial);
  EXPECT_EQ(g_deviceSerial[25], 'z');  // filler bytes 23..25 stored too
  ResetGlobals();
  sim::Uninstall();
  Running("serial=SHORT");
  std::string w = Working();
  EXPECT_EQ(w, std::string("SHORT") + std::string(19, '\0'));
}

TEST_F(DeviceSerialTest, ADeviceGoneBeforeItsReportTimesOut) {
  Running(std::string("vanishreport,serial=") + kSerial);
  EXPECT_EQ(ReadDeviceSerial(), kSerialNoFrame);
}

TEST_F(DeviceSerialTest, EventAndThreadFailuresAreReported) {
  Running(std::string("serial=") + kSerial);
  plat::FailNextEventCreates(1);
  EXPECT_EQ(ReadDeviceSerial(), kSerialNoEvent);
  plat::FailNextThreadStarts(1);
  EXPECT_EQ(ReadDeviceSerial(), kSerialNoListener);
  EXPECT_EQ(ReadDeviceSerial(), 0);
}

class SerialRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {}
  void Programming(const std::string& config) {
    InstallSim(config);
    ASSERT_EQ(OpenPort("COM1"), 0);
    ASSERT_EQ(EnterProgrammingMode(), 0);
    ASSERT_EQ(EraseChip(), 0);
  }
  std::vector<uint8_t> Record() {
    std::vector<uint8_t> f = sim::TheDevice()->Flash();
    return std::vector<uint8_t>(f.begin() + 0x1FE8, f.end());
  }
  void TearDown() override {
    ResetGlobals();
    sim::Uninstall();
  }
};

TEST_F(SerialRecordTest, TwentyThreeIsCutToTwentyTwoWithItsChecksum) {
  Programming("");
  const char text[] = "0000000000000000000000X";
  EXPECT_EQ(WriteSerialRecord(text, 23), 0);
  std::vector<uint8_t> r = Record();
  EXPECT_EQ(r[0], 22);
  EXPECT_EQ(std::string(r.begin() + 1, r.begin() + 23), std::string(22, '0'));
  EXPECT_EQ(r[23], 0x36);
  EXPECT_EQ(CheckSerialRecord(text, 23), 0);
}

TEST_F(SerialRecordTest, LengthZeroWritesZeroAndZero) {
  Programming("");
  EXPECT_EQ(WriteSerialRecord("", 0), 0);
  std::vector<uint8_t> r = Record();
  EXPECT_EQ(r[0], 0);
  EXPECT_EQ(r[23], 0);
  EXPECT_EQ(std::vector<uint8_t>(r.begin() + 1, r.begin() + 23), std::vector<uint8_t>(22, 0xFF));
}

TEST_F(SerialRecordTest, AFailedSixthCharacterStopsBeforeTheChecksum) {
  Programming("failwrite=1FEE");
  EXPECT_EQ(WriteSerialRecord("ABCDEFGHIJ", 10), kRecordWriteFailed);
  std::vector<uint8_t> r = Record();
  EXPECT_EQ(r[0], 10);
  EXPECT_EQ(std::string(r.begin() + 1, r.begin() + 6), "ABCDE");
  EXPECT_EQ(r[6], 0xFF);
  EXPECT_EQ(r[23], 0xFF);
}

TEST_F(SerialRecordTest, TheReadBackSeesWhatTheEchoTestCannot) {
  Programming("");
  ASSERT_EQ(WriteSerialRecord("ABC", 3), 0);
  EXPECT_EQ(CheckSerialRecord("ABC", 3), 0);
  EXPECT_EQ(CheckSerialRecord("ABD", 3), kRecordMismatch);
  EXPECT_EQ(CheckSerialRecord("ABC", 4), kRecordMismatch);
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { UseIsolatedSettings("store"); }
};

TEST_F(SettingsStoreTest, AValueIsReadBackUnchangedAndAMissingOneIsEmpty) {
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "");
  EXPECT_TRUE(WriteProfileString("Device", "Serial Number", "ZTMQR51700000000000042"));
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "ZTMQR51700000000000042");
  SetProfileName("renamed.INI");  // another program name, another key
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "");
}

}  // namespace

namespace {

// -2 and -3 are the station's own failures: the device may well have a
// number, so the stage neither falls back nor writes a text of its own.
TEST_F(DeviceSerialTest, AStationThatCannotAskTakesNoOtherNumber) {
  WriteProfileString("Device", "Serial Number", "STORED0000000000000001");
  Running(std::string("serial=") + kSerial);
  for (int which = 0; which < 2; ++which) {
    if (which == 0) plat::FailNextEventCreates(1);
    else plat::FailNextThreadStarts(1);
    char working[24];
    SerialSource source = SerialSource::kDevice;
    EXPECT_EQ(ObtainSerialNumber(&dialog, working, &source), kStationCannotAsk);
    EXPECT_EQ(source, SerialSource::kNone);
    EXPECT_TRUE(dialog.Texts().empty());
    EXPECT_EQ(working[0], '\0');
  }
}

}  // namespace

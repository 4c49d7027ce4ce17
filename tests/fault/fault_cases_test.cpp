// Single faults over whole cycles: a cell that does not take its write, a
// read-back that lies, the device gone while it reports, a settings store
// that cannot be written, a firmware file that stops being readable, a
// station that cannot ask for the serial number. Each
// cycle must end in its own failure text with everything handed back, and the
// next good cycle on the same device must restore its serial number.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/settings_store.h"
#include "fault/station.h"
#include "platform/thread.h"
#include "platform/thread_test_hooks.h"

namespace {

const char kOtherSerial[] = "RV0058LK00000000000777";
const char kFactory[] = "ZTMQR51700000000000000";

std::vector<uint8_t> SmallImage() {
  std::vector<uint8_t> image(200);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 91 + 3);
  return image;
}

std::string Address(int a) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", a);
  return buf;
}

class FaultCase : public ::testing::Test {
 protected:
  FaultCase() : station(TempDir("station"), SmallImage()) { station.NewDevice(kSerial); }
  void TearDown() override { ResetGlobals(); }

  // One faulty cycle that must end in `finalText`, then a good one that must
  // bring the device back whole with its own serial number. Returns the
  // faulty cycle's outcome.
  fault::Outcome FailsThenRecovers(const std::string& faults, bool verify, const std::string& finalText) {
    SCOPED_TRACE(faults);
    fault::Outcome bad = station.Cycle(faults, verify);
    EXPECT_EQ(bad.finalText, finalText);
    EXPECT_EQ(bad.breaches, std::vector<std::string>());
    station.SetSettingsWritable(true);
    station.SetFirmwareFailsAfter(-1);
    fault::Outcome next = station.Cycle("", true);
    EXPECT_TRUE(next.success) << next.finalText;
    EXPECT_EQ(next.breaches, std::vector<std::string>());
    EXPECT_EQ(station.DeviceSerial(), kSerial);
    return bad;
  }
  fault::Station station;
};

TEST_F(FaultCase, AWriteThatFailsAtTheFirstAMiddleOrTheLastByte) {
  int last = int(SmallImage().size()) - 1;
  for (int a : {0, last / 2, last}) {
    station.NewDevice(kSerial);
    FailsThenRecovers("failwrite=" + Address(a), true, "Programming Failed at 0x" + Address(a) + " .");
  }
  // In the record, including the length and checksum writes whose results the
  // record writer does not look at.
  for (int a : {0x1FE8, 0x1FE9, 0x1FF4, 0x1FFE, 0x1FFF}) {
    station.NewDevice(kSerial);
    FailsThenRecovers("failwrite=" + Address(a), false, "Writing Serial Number failed.");
  }
}

// Another part is left as it came. One that answers a single value, as a part
// locked against reads does, is erased, then found out before a byte is written.
TEST_F(FaultCase, APartThatIsNotTheTarget) {
  fault::Outcome o = station.Cycle("signature=1E9303", true);
  EXPECT_EQ(o.finalText, "Device not found. Check Power, Cable, Free COM.");
  EXPECT_EQ(o.part, PartCheck::kWrongPart);
  for (const sim::Frame& f : o.frames) EXPECT_TRUE(f.bytes[0] == 0x30 || f.bytes[1] == 0x53) << int(f.bytes[0]);
  for (const char* faults : {"signature=000000", "signature=FFFFFF"}) {
    station.NewDevice(kSerial);
    o = FailsThenRecovers(faults, true, "Programming Failed.");
    EXPECT_EQ(o.part, PartCheck::kWrongAfterErase);
    for (const sim::Frame& f : o.frames) EXPECT_NE(f.bytes[0] & 0xF7, 0x40) << "a byte written";
  }
  FailsThenRecovers("signature=1E9303", true, "Programming Failed.");  // locked by the cycle before
  EXPECT_TRUE(station.Cycle("lockread=FF", true).success);             // ours, locked
}

TEST_F(FaultCase, ACorruptedReadBack) {
  for (int a : {0, 99, 199}) {
    station.NewDevice(kSerial);
    FailsThenRecovers("badread=" + Address(a), true, "Verify Failed at 0x" + Address(a) + ".");
  }
  // Without Verify a bad image cell goes unseen, but the record is always
  // read back.
  station.NewDevice(kSerial);
  fault::Outcome o = station.Cycle("badread=0063", false);
  EXPECT_TRUE(o.success);
  station.NewDevice(kSerial);
  FailsThenRecovers("badread=1FF0", false, "Writing Serial Number failed.");
}

TEST_F(FaultCase, TheDeviceGoneDuringTheSerialNumberExchange) {
  FailsThenRecovers("vanishreport", true, "Programming Failed.");
  // With the serial number already known to the station.
  FailsThenRecovers("vanishreport", true, "Programming Failed.");
  EXPECT_EQ(station.StoredSerial(), kSerial);
}

// An adapter's chip unplugged at any of its calls, from the probe to the
// release's last transfer, never ends in a success; only the mode change back
// to the UART, after the last line state went out, comes too late to matter.
TEST_F(FaultCase, TheChipUnpluggedAtAnyCall) {
  ASSERT_TRUE(station.Cycle("ftdi", true).success);
  long calls = sim::ChipCalls();
  for (long at : {1L, calls / 5, calls / 2, calls - 3, calls - 2, calls - 1}) {
    SCOPED_TRACE(at);
    station.NewDevice(kSerial);
    fault::Outcome o = station.Cycle("ftdi,unplug=" + std::to_string(at), true);
    EXPECT_FALSE(o.success) << o.finalText;
    EXPECT_EQ(o.breaches, std::vector<std::string>());
    EXPECT_TRUE(station.Cycle("ftdi", true).success);
    EXPECT_EQ(station.DeviceSerial(), kSerial);
  }
  EXPECT_TRUE(station.Cycle("ftdi,unplug=" + std::to_string(calls), true).success);
}

// The file is read whole before any port is opened, so a read that fails
// half-way ends the cycle with the device untouched, in either pass.
TEST_F(FaultCase, TheFirmwareFileUnreadableHalfWay) {
  long size = long(MakeHex(SmallImage()).size());
  for (long failAfter : {size / 2, size - 1}) {
    station.SetFirmwareFailsAfter(failAfter);
    fault::Outcome o = station.Cycle("", true);
    EXPECT_EQ(o.finalText, "Firmware file access Failed.");
    EXPECT_TRUE(o.frames.empty()) << "no port is opened";
    EXPECT_EQ(o.breaches, std::vector<std::string>());
    EXPECT_EQ(station.DeviceSerial(), kSerial);
  }
  station.SetFirmwareFailsAfter(-1);
  EXPECT_TRUE(station.Cycle("", true).success);
  EXPECT_EQ(station.DeviceSerial(), kSerial);
}

// The device's number is stored before the erase because the erase clears
// the record; a store that does not keep it ends the cycle there, with the
// device still running its firmware and its number.
TEST_F(FaultCase, AnUnwritableSettingsStoreEndsTheCycleBeforeTheErase) {
  station.SetSettingsWritable(false);
  fault::Outcome o = station.Cycle("", true);
  EXPECT_EQ(o.finalText, "Saving Serial Number failed.");
  EXPECT_EQ(o.breaches, std::vector<std::string>());
  EXPECT_EQ(station.DeviceSerial(), kSerial);
  // Again, and then the later failure after the erase that used to cost the
  // number: it can no longer be reached with an unsaved number.
  o = station.Cycle("failwrite=0010", true);
  EXPECT_EQ(o.finalText, "Saving Serial Number failed.");
  EXPECT_EQ(station.DeviceSerial(), kSerial);
  station.SetSettingsWritable(true);
  FailsThenRecovers("failwrite=0010", true, "Programming Failed at 0x0010 .");
  // A failure before the erase is unaffected.
  station.SetSettingsWritable(false);
  FailsThenRecovers("vanishreport", true, "Programming Failed.");
}

// The designed fall-back for a device that does not report: the station's
// stored number, else the factory default (the headless runner says so on
// standard error and fails with --strict-serial).
TEST_F(FaultCase, ASilentDeviceGetsTheStationsSerialNumberByDesign) {
  station.NewDevice(kOtherSerial);
  ASSERT_TRUE(station.Cycle("", true).success);
  ASSERT_EQ(station.StoredSerial(), kOtherSerial);
  station.NewDevice(kSerial);  // (fresh settings: put the other's value back)
  WriteProfileString("Device", "Serial Number", kOtherSerial);
  fault::Outcome o = station.Cycle("silent", true);
  EXPECT_TRUE(o.success);
  EXPECT_EQ(station.DeviceSerial(), kOtherSerial);
  station.NewDevice(kSerial);
  o = station.Cycle("silent", true);
  EXPECT_TRUE(o.success);
  EXPECT_EQ(station.DeviceSerial(), kFactory);
}

// When the station cannot even ask (no event, no listener), the device may
// well have a number: nothing stands in for it, and nothing is erased.
TEST_F(FaultCase, AStationThatCannotAskBorrowsNoSerialNumber) {
  WriteProfileString("Device", "Serial Number", kOtherSerial);
  plat::FailNextEventCreates(1);
  fault::Outcome o = station.Cycle("", true);
  EXPECT_EQ(o.finalText, "Serial Number not found.");
  EXPECT_EQ(station.DeviceSerial(), kSerial);
  EXPECT_EQ(station.StoredSerial(), kOtherSerial);
  o = station.Cycle("", true);
  EXPECT_TRUE(o.success);
  EXPECT_EQ(station.DeviceSerial(), kSerial);
}

}  // namespace

// Single faults over whole cycles: a cell that does not take its write, a
// read-back that lies, the device gone while it reports, a settings store
// that cannot be written, a firmware file that stops being readable. Each
// cycle must end in its own failure text with everything handed back, and the
// next good cycle on the same device must restore its serial number.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/settings_store.h"
#include "fault/station.h"
#include "platform/thread.h"
#include "platform/thread_test_hooks.h"

namespace {

const char kSerial[] = "RV0058LK00000000000042";
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
  // bring the device back whole with its own serial number.
  void FailsThenRecovers(const std::string& faults, bool verify, const std::string& finalText) {
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

TEST_F(FaultCase, TheFirmwareFileUnreadableHalfWay) {
  long size = long(MakeHex(SmallImage()).size());
  station.SetFirmwareFailsAfter(size / 2);
  fault::Outcome o = station.Cycle("", true);
  EXPECT_EQ(o.finalText.rfind("Programming Failed at 0x", 0), 0u) << o.finalText;
  EXPECT_EQ(o.breaches, std::vector<std::string>());
  station.SetFirmwareFailsAfter(-1);
  EXPECT_TRUE(station.Cycle("", true).success);
  EXPECT_EQ(station.DeviceSerial(), kSerial);
  // Half-way into the verifying pass.
  station.NewDevice(kSerial);
  station.SetFirmwareFailsAfter(size + size / 2);
  o = station.Cycle("", true);
  EXPECT_EQ(o.finalText.rfind("Verify Failed at 0x", 0), 0u) << o.finalText;
  EXPECT_EQ(o.breaches, std::vector<std::string>());
  station.SetFirmwareFailsAfter(-1);
  EXPECT_TRUE(station.Cycle("", true).success);
  EXPECT_EQ(station.DeviceSerial(), kSerial);
}

TEST_F(FaultCase, AnUnwritableSettingsStoreAloneCostsNothing) {
  station.SetSettingsWritable(false);
  fault::Outcome o = station.Cycle("", true);
  EXPECT_TRUE(o.success);
  EXPECT_EQ(o.breaches, std::vector<std::string>());
  EXPECT_EQ(station.DeviceSerial(), kSerial);
  // Nor does a failure before the erase.
  station.SetSettingsWritable(false);
  FailsThenRecovers("vanishreport", true, "Programming Failed.");
}

// The cases below show where the design itself loses the serial number or
// claims a success it cannot know; they are documented, not mended.

TEST_F(FaultCase, KnownCaseUnwritableSettingsAndAFailureAfterTheEraseLoseTheSerialNumber) {
  station.SetSettingsWritable(false);
  fault::Outcome bad = station.Cycle("failwrite=0010", true);
  EXPECT_EQ(bad.finalText, "Programming Failed at 0x0010 .");
  fault::Outcome next = station.Cycle("", true);
  EXPECT_TRUE(next.success);
  EXPECT_EQ(station.DeviceSerial(), kFactory);
}

TEST_F(FaultCase, KnownCaseAFailedExchangeOnAGoodDeviceWritesTheStationsSerialNumber) {
  // The station last served another device.
  station.NewDevice(kOtherSerial);
  ASSERT_TRUE(station.Cycle("", true).success);
  std::string settings = station.StoredSerial();
  ASSERT_EQ(settings, kOtherSerial);
  station.NewDevice(kSerial);  // (fresh settings: put the other's value back)
  WriteProfileString("Device", "Serial Number", kOtherSerial);
  fault::Outcome o = station.Cycle("silent", true);
  EXPECT_TRUE(o.success);
  EXPECT_EQ(station.DeviceSerial(), kOtherSerial);
  // And with nothing stored, the factory default, whether the device is
  // silent or the request cannot even be made.
  station.NewDevice(kSerial);
  o = station.Cycle("silent", true);
  EXPECT_TRUE(o.success);
  EXPECT_EQ(station.DeviceSerial(), kFactory);
  station.NewDevice(kSerial);
  plat::FailNextEventCreates(1);
  o = station.Cycle("", true);
  EXPECT_TRUE(o.success);
  EXPECT_EQ(station.DeviceSerial(), kFactory);
}

}  // namespace

// The names operators and scripts use for ports, and the devices they mean.
// Only the mapping is checked: nothing is opened.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/device_path_posix.h"

namespace {

// The test runner points COM1 and COM2 at paths that do not exist; they are
// put back whatever happens here.
class DevicePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* var : kVars) {
      const char* v = getenv(var);
      saved_.push_back(v ? std::optional<std::string>(v) : std::nullopt);
      unsetenv(var);
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i])
        setenv(kVars[i], saved_[i]->c_str(), 1);
      else
        unsetenv(kVars[i]);
    }
  }
  static constexpr const char* kVars[] = {"ORVALO_COM1", "ORVALO_COM2", "ORVALO_COM9"};
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(DevicePathTest, ComNamesMeanTheMachinesOwnSerialDevices) {
  EXPECT_EQ(plat::DevicePathFor("COM1"), "/dev/ttyS0");
  EXPECT_EQ(plat::DevicePathFor("COM2"), "/dev/ttyS1");
  EXPECT_EQ(plat::DevicePathFor("COM9"), "/dev/ttyS8");
  EXPECT_EQ(plat::DevicePathFor("COM10"), "/dev/ttyS9");
  EXPECT_EQ(plat::DevicePathFor("COM256"), "/dev/ttyS255");
  for (const char* none : {"COM0", "COM01", "COM257", "COMA", "com1", "COM", "LPT1", "", "dev/ttyS0"})
    EXPECT_EQ(plat::DevicePathFor(none), "") << none;
  EXPECT_EQ(plat::DevicePathFor("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

TEST_F(DevicePathTest, TheEnvironmentNamesAnotherDevicePerPort) {
  setenv("ORVALO_COM2", "/dev/ttyUSB1", 1);
  setenv("ORVALO_COM9", "/dev/ttyACM0", 1);
  EXPECT_EQ(plat::DevicePathFor("COM1"), "/dev/ttyS0");
  EXPECT_EQ(plat::DevicePathFor("COM2"), "/dev/ttyUSB1");
  EXPECT_EQ(plat::DevicePathFor("COM9"), "/dev/ttyACM0");
}

}  // namespace

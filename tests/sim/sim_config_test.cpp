#include <gtest/gtest.h>

#include "sim/sim_config.h"

namespace {

TEST(SimConfigTest, ReadsEveryKindOfItem) {
  sim::Config c;
  ASSERT_EQ(sim::ParseConfig("port=COM2,absent=COM1,time=virtual,slip=3,failwrite=1FEE,failwrite=0x10,"
                             "badread=200,vanish=12,refuse=COM2,lockread=5A,serial=AB12,silent,request,"
                             "framelen=25,truncate=4,noise=10107F,vanishreport,flash=/tmp/x.bin,nodevice",
                             &c),
            "");
  EXPECT_EQ(c.port, "COM2");
  EXPECT_TRUE(c.absent[1]);
  EXPECT_FALSE(c.absent[2]);
  EXPECT_TRUE(c.virtualTime);
  EXPECT_EQ(c.slip, 3);
  EXPECT_EQ(c.failWrite, (std::vector<int>{0x1FEE, 0x10}));
  EXPECT_EQ(c.badRead, (std::vector<int>{0x200}));
  EXPECT_EQ(c.vanish, 12);
  EXPECT_TRUE(c.refuse[2]);
  EXPECT_EQ(c.lockRead, 0x5A);
  EXPECT_EQ(c.serial, "AB12");
  EXPECT_TRUE(c.silent && c.request && c.vanishAtReport && c.noDevice);
  EXPECT_EQ(c.frameLength, 25);
  EXPECT_EQ(c.truncate, 4);
  EXPECT_EQ(c.noise, (std::vector<uint8_t>{0x10, 0x10, 0x7F}));
  EXPECT_EQ(c.flashPath, "/tmp/x.bin");
}

TEST(SimConfigTest, OnlyCom1AndCom2AreSimulatedPorts) {
  EXPECT_EQ(sim::PortIndex("COM1"), 1);
  EXPECT_EQ(sim::PortIndex("COM2"), 2);
  for (const char* other : {"COM3", "com2", "COM", "", "COM22", "/dev/ttyS1"}) EXPECT_EQ(sim::PortIndex(other), 0) << other;
}

TEST(SimConfigTest, EmptyItemsAreIgnored) {
  sim::Config c;
  EXPECT_EQ(sim::ParseConfig("", &c), "");
  EXPECT_EQ(sim::ParseConfig(",time=virtual,,", &c), "");
  EXPECT_TRUE(c.virtualTime);
}

TEST(SimConfigTest, BadItemsAreNamedInTheError) {
  const char* bad[] = {"slip=32",       "slip=-1",    "slip=",          "port=COM3",   "absent=com1",
                       "time=fast",     "failwrite=2000", "failwrite=xyz", "vanish=-2",  "serial=",
                       "serial=12345678901234567890123", "noise=1",   "noise=GG",       "silent=1",
                       "frobnicate",    "lockread=100", "framelen=256", "flash="};
  for (const char* item : bad) {
    sim::Config c;
    std::string err = sim::ParseConfig(std::string("time=virtual,") + item, &c);
    EXPECT_NE(err.find(std::string("\"") + item + "\""), std::string::npos) << item << " -> " << err;
  }
}

}  // namespace

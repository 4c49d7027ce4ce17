#include <gtest/gtest.h>

#include "sim/sim_config.h"

namespace {

TEST(SimConfigTest, ReadsEveryKindOfItem) {
  sim::Config c;
  ASSERT_EQ(sim::ParseConfig("port=COM2,absent=COM1,time=virtual,slip=3,failwrite=1FEE,failwrite=0x10,"
                             "badread=200,vanish=12,refuse=COM2,lockread=5A,serial=AB12,silent,request,"
                             "framelen=25,truncate=4,noise=10107F,vanishreport,flash=/tmp/x.bin,nodevice,"
                             "signature=1E9303,busy=3-9,seed=77,holdwait=900,ftdi=250,unplug=7,lineop=1000",
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
  EXPECT_EQ(c.holdWaitMs, 900);
  EXPECT_EQ(c.lineOpUs, 1000);
  EXPECT_EQ(c.truncate, 4);
  EXPECT_EQ(c.noise, (std::vector<uint8_t>{0x10, 0x10, 0x7F}));
  EXPECT_EQ(c.flashPath, "/tmp/x.bin");
  EXPECT_EQ(c.signature[0], 0x1E);
  EXPECT_EQ(c.signature[1], 0x93);
  EXPECT_EQ(c.signature[2], 0x03);
  EXPECT_EQ(c.busyMinUs, 3000);
  EXPECT_EQ(c.busyMaxUs, 9000);
  EXPECT_EQ(c.seed, 77u);
  EXPECT_TRUE(c.chip);
  EXPECT_EQ(c.chipRoundTripUs, 250);
  EXPECT_EQ(c.unplug, 7);
  sim::Config fixed;
  ASSERT_EQ(sim::ParseConfig("busy=6", &fixed), "");
  EXPECT_EQ(fixed.busyMinUs, 6000);
  EXPECT_EQ(fixed.busyMaxUs, 6000);
}

TEST(SimConfigTest, OnlyCom1AndCom2AreSimulatedPorts) {
  EXPECT_EQ(sim::PortIndex("COM1"), 1);
  EXPECT_EQ(sim::PortIndex("COM2"), 2);
  for (const char* other : {"COM3", "com2", "COM", "", "COM22", "/dev/ttyUSB1"}) EXPECT_EQ(sim::PortIndex(other), 0) << other;
}

TEST(SimConfigTest, EmptyItemsAreIgnoredButSomeItemIsNeeded) {
  sim::Config c;
  EXPECT_EQ(sim::ParseConfig(",time=virtual,,", &c), "");
  EXPECT_TRUE(c.virtualTime);
  // Set but empty never quietly means "the simulator with its defaults".
  for (const char* text : {"", ",", ",,,"}) {
    sim::Config e;
    EXPECT_EQ(sim::ParseConfig(text, &e).rfind("ORVALO_SIM: set but empty", 0), 0u) << '"' << text << '"';
  }
}

TEST(SimConfigTest, EachItemOnceExceptThoseThatNameAPortOrAnAddress) {
  for (const char* text : {"time=virtual,time=real", "serial=A,serial=B", "port=COM1,port=COM2", "slip=1,slip=1",
                           "silent,silent", "busy=4,busy=5-6", "flash=a,flash=b"}) {
    sim::Config c;
    EXPECT_NE(sim::ParseConfig(text, &c).find("given twice"), std::string::npos) << text;
  }
  sim::Config c;
  EXPECT_EQ(sim::ParseConfig("absent=COM1,absent=COM2,refuse=COM1,refuse=COM2,failwrite=1,failwrite=2,"
                             "badread=3,badread=4",
                             &c),
            "");
  EXPECT_TRUE(c.absent[1] && c.absent[2] && c.refuse[1] && c.refuse[2]);
  EXPECT_EQ(c.failWrite.size(), 2u);
  EXPECT_EQ(c.badRead.size(), 2u);
}

TEST(SimConfigTest, AnExplicitPortCannotAlsoBeAbsent) {
  sim::Config c;
  EXPECT_NE(sim::ParseConfig("absent=COM1,port=COM1", &c).find("\"port=COM1\""), std::string::npos);
  sim::Config d;
  EXPECT_NE(sim::ParseConfig("port=COM2,absent=COM2", &d).find("\"absent=COM2\""), std::string::npos);
  sim::Config none;  // no port item: both absent means no ports at all
  EXPECT_EQ(sim::ParseConfig("absent=COM1,absent=COM2", &none), "");
  sim::Config other;
  EXPECT_EQ(sim::ParseConfig("absent=COM1,port=COM2", &other), "");
}

TEST(SimConfigTest, NothingIsTrimmed) {
  for (const char* text : {"slip=\t1", "slip= 1", "slip=1 ", " slip=1", "port= COM2", "time=virtual ",
                           "lockread= 5A", "busy=4 -6", "silent "}) {
    sim::Config c;
    EXPECT_NE(sim::ParseConfig(text, &c), "") << text;
  }
  sim::Config c;
  ASSERT_EQ(sim::ParseConfig("serial= A B,flash=/tmp/with blank.bin", &c), "");
  EXPECT_EQ(c.serial, " A B");
  EXPECT_EQ(c.flashPath, "/tmp/with blank.bin");
}

TEST(SimConfigTest, BadItemsAreNamedInTheError) {
  const char* bad[] = {"slip=32",       "slip=-1",    "slip=",          "port=COM3",   "absent=com1",
                       "time=fast",     "failwrite=2000", "failwrite=xyz", "vanish=-2",  "serial=",
                       "serial=12345678901234567890123", "noise=1",   "noise=GG",       "silent=1",
                       "frobnicate",    "lockread=100", "framelen=256", "flash=",
                       "signature=1E93", "signature=1E93GG", "signature=1E930100", "busy=", "busy=7-3",
                       "busy=1001",     "busy=-4",    "busy=4-",        "seed=-1",     "seed=x",
                       "holdwait=60001", "ftdi=x", "ftdi=1000001", "unplug=0",
                       "lineop=100001", "lineop=1ms"};
  for (const char* item : bad) {
    sim::Config c;
    std::string err = sim::ParseConfig(std::string("time=virtual,") + item, &c);
    EXPECT_NE(err.find(std::string("\"") + item + "\""), std::string::npos) << item << " -> " << err;
  }
}

}  // namespace

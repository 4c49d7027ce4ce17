// The real POSIX backend, end to end: whole cycles of the library and of the
// headless runner, with ORVALO_SIM unset, through real system calls on a
// pseudo-terminal that the preloaded serial emulator turns into a serial port
// with the simulated device on its other end. Real time: small images.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "cycle/programming_cycle.h"
#include "image/firmware_file.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "platform/port_problem.h"
#include "platform/thread.h"
#include "sim/sim.h"
#include "state/shared_state.h"
#include "support/emulated_port.h"
#include "support/test_support.h"

namespace {

const char kSerial[] = "RV0058LK00000000000042";

// A few dozen bytes: each costs about 7 ms on the real clock.
std::vector<uint8_t> Image() {
  std::vector<uint8_t> image(40);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 37 + 5);
  return image;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The flash a good cycle leaves: the image, erased elsewhere, the record.
std::vector<uint8_t> Expected(const std::string& serial) {
  std::vector<uint8_t> f(8192, 0xFF);
  std::vector<uint8_t> image = Image();
  std::copy(image.begin(), image.end(), f.begin());
  f[0x1FE8] = 22;
  uint8_t sum = 22;
  for (size_t i = 0; i < 22; ++i) {
    uint8_t c = i < serial.size() ? uint8_t(serial[i]) : 0;
    f[0x1FE9 + i] = c;
    sum = uint8_t(sum + c);
  }
  f[0x1FFF] = sum;
  return f;
}

bool Contains(const std::vector<uint8_t>& hay, const std::vector<uint8_t>& needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

struct CliRun {
  int status = -1;
  std::vector<std::string> out;  // standard output, line by line
  std::string err;               // standard error
};

class EmulatedPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(EmulatorLoaded());
    unsetenv("ORVALO_SIM");
    dir = TempDir("emu");
    setenv("ORVALO_LOCK_DIR", dir.c_str(), 1);
    setenv("ORVALO_COM1", "/nonexistent/orvalo-com1", 1);
    setenv("ORVALO_COM2", "/nonexistent/orvalo-com2", 1);
    UseIsolatedSettings("emu");
  }
  void TearDown() override {
    ResetGlobals();
    plat::ClearPortNotes();
  }

  std::unique_ptr<EmulatedPort> Attach(const std::string& sim, const char* com = "ORVALO_COM1") {
    flash = dir + "/device" + std::to_string(++devices) + ".bin";  // a new device each time
    std::string text = "flash=" + flash + (sim.empty() ? "" : "," + sim);
    std::unique_ptr<EmulatedPort> port(new EmulatedPort(text));
    EXPECT_TRUE(port->ok());
    setenv(com, port->path().c_str(), 1);
    return port;
  }

  // The library's own cycle in this process.
  void RunCycle(bool verify) {
    UseFirmwareText(MakeHex(Image()));
    dialog.reset(new RecordingDialog());
    dialog->SetVerify(verify);
    OnStart(dialog.get());
    JoinCycleThread();
    EXPECT_EQ(g_hPort, nullptr);
    EXPECT_EQ(plat::RunningThreadCount(), 0);  // the listener is gone too
  }

  // The runner as a production script starts it.
  CliRun RunCli(const std::string& env, const std::string& args) {
    std::string hex = dir + "/image.hex";
    WriteFile(hex, MakeHex(Image()));
    std::string errFile = dir + "/stderr.txt";
    std::string cmd = "env -u ORVALO_SIM XDG_CONFIG_HOME='" + TempDir("cfg") + "' ORVALO_LOCK_DIR='" + dir +
                      "' ORVALO_COM1='" + Com("ORVALO_COM1") + "' ORVALO_COM2='" + Com("ORVALO_COM2") + "' " + env +
                      " '" ORVALO_CLI_PATH "' " + args + " '" + hex + "' 2>'" + errFile + "'";
    CliRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) r.out.push_back(line);
    std::ifstream e(errFile);
    std::stringstream es;
    es << e.rdbuf();
    r.err = es.str();
    return r;
  }

  static std::string Com(const char* var) { return getenv(var) ? getenv(var) : ""; }

  // The open port's wait for the running firmware's next break, cancelled
  // after 2 s: 1 when a break came.
  static int WaitForABreak() {
    g_hPort->ArmBreakWait();
    std::atomic<bool> done{false};
    std::thread guard([&done] {
      for (int i = 0; i < 200 && !done.load(); ++i) plat::Sleep(10);
      g_hPort->CancelWait();
    });
    int waited = g_hPort->WaitBreak();
    done.store(true);
    guard.join();
    return waited;
  }

  std::string dir;
  std::string flash;
  int devices = 0;
  std::unique_ptr<RecordingDialog> dialog;
};

TEST_F(EmulatedPortTest, TheLibraryCycleProgramsAndVerifiesThroughTheRealBackend) {
  auto port = Attach(std::string("serial=") + kSerial + ",request");
  RunCycle(true);
  std::vector<StatusLine> s = dialog->Status();
  ASSERT_GE(s.size(), 4u);
  EXPECT_EQ(s[0].text, "Auto Detecting Device ...");
  EXPECT_EQ(s[1].text, "Device found at COM1. Getting Serial Number ...");
  EXPECT_EQ(s[2].text, "Serial Number OK.");
  EXPECT_EQ(s.back().text, "Programming Completed Successfully.");
  EXPECT_FALSE(s.back().red);
  EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](const StatusLine& l) { return l.text == "Verifying, 100% Completed."; }));
  EXPECT_EQ(dialog->SerialText(), kSerial);
  // The device's request 10 7F was answered with a break pulse, 10 and "1",
  // after the 06 that answers its break.
  std::vector<uint8_t> uart = EmulatedUartReceived();
  EXPECT_TRUE(Contains(uart, {0x06, 0x10, 0x31})) << uart.size() << " bytes";
  // The port's close ends the break and drops DTR, then RTS, as on Windows;
  // the cable latches nothing then, so the device runs its new firmware.
  EXPECT_EQ(EmulatedLines(), 0);
  EXPECT_EQ(EmulatedLevel(), 1);
  EmulatorDetach();
  EXPECT_EQ(ReadAll(flash), Expected(kSerial));
}

// A signal may interrupt any call on the port (a runner's SIGCHLD, a
// debugger's stop): each one is made again, and a call made again after an
// interruption is not repeated once it has succeeded.
TEST_F(EmulatedPortTest, EveryCallInterruptedOnceStillProgramsTheDevice) {
  auto port = Attach(std::string("serial=") + kSerial + ",request");
  EmulatedInterrupts(true);
  RunCycle(true);
  EmulatedInterrupts(false);
  std::vector<StatusLine> s = dialog->Status();
  ASSERT_GE(s.size(), 4u);
  EXPECT_EQ(s[2].text, "Serial Number OK.");
  EXPECT_EQ(s.back().text, "Programming Completed Successfully.");
  EXPECT_TRUE(Contains(EmulatedUartReceived(), {0x06, 0x10, 0x31}));
  EmulatorDetach();
  EXPECT_EQ(ReadAll(flash), Expected(kSerial));
}

// A wait for the firmware's break that a signal interrupts goes on waiting:
// reported as failed, the listener would re-arm and let that break go.
TEST_F(EmulatedPortTest, AnInterruptedWaitForABreakGoesOnWaiting) {
  auto port = Attach(std::string("serial=") + kSerial);
  ASSERT_EQ(OpenPort("COM1"), 0);
  EmulatedInterrupts(true);
  int waited = WaitForABreak();
  EmulatedInterrupts(false);
  EXPECT_EQ(waited, 1);
  ClosePort();
}

// The open leaves DTR and RTS raised, as Windows' driver does with the
// settings the cycle gives, so the cable's first strobe starts from them; the
// device's firmware keeps running (it is to report its serial number).
TEST_F(EmulatedPortTest, AnOpenPortRaisesDtrAndRts) {
  auto port = Attach("");
  ASSERT_EQ(OpenPort("COM1"), 0);
  EXPECT_EQ(EmulatedLines(), 3);
  EXPECT_EQ(EmulatedLevel(), 1);
  // Each line operation reaches the cable and says so.
  EXPECT_TRUE(g_hPort->SetDtr(false));
  EXPECT_EQ(EmulatedLines(), 2);
  EXPECT_TRUE(g_hPort->SetBreak(true));
  EXPECT_EQ(EmulatedLines(), 6);
  EXPECT_TRUE(g_hPort->SetRts(false));
  EXPECT_TRUE(g_hPort->SetBreak(false));
  EXPECT_EQ(EmulatedLines(), 0);
  bool cts = true;
  EXPECT_TRUE(g_hPort->GetCts(&cts));
  ClosePort();
}

// Input flags a previous user of the port left behind (a terminal's ICRNL,
// IXON and ISTRIP, IGNBRK, BRKINT, INPCK, HUPCL) change nothing: the flags
// that decide how a break and the frame's bytes arrive are all set at the open.
TEST_F(EmulatedPortTest, SettingsLeftByAnotherProgramDoNotChangeTheExchange) {
  auto port = Attach(std::string("serial=") + kSerial);
  {
    int fd = open(port->path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t;
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    t.c_iflag |= IGNBRK | BRKINT | INPCK | ISTRIP | IXON | ICRNL | IGNPAR;
    t.c_iflag &= ~tcflag_t(PARMRK);
    t.c_cflag |= HUPCL;
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
    close(fd);
  }
  ASSERT_EQ(OpenPort("COM1"), 0);
  termios t;
  int fd = open(port->path().c_str(), O_RDONLY | O_NOCTTY);  // root passes TIOCEXCL
  ASSERT_GE(fd, 0);
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(t.c_iflag, tcflag_t(PARMRK));
  EXPECT_EQ(t.c_cflag & HUPCL, 0u);
  EXPECT_EQ(cfgetospeed(&t), speed_t(B115200));
  close(fd);
  // The running firmware's break reaches the waiting listener.
  int waited = WaitForABreak();
  EXPECT_EQ(waited, 1);
  ClosePort();
}

TEST_F(EmulatedPortTest, TheRunnerProgramsTheDeviceAndReadsItsSerialNumber) {
  // 18 characters: the frame's length byte is 0x11, XON, which a port with
  // software flow control would swallow.
  auto port = Attach("serial=RV0058LK0000000042,request");
  CliRun r = RunCli(port->ChildEnv(), "--verify");
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_GE(r.out.size(), 5u);
  EXPECT_EQ(r.out[1], "Device found at COM1. Getting Serial Number ...");
  EXPECT_EQ(r.out[2], "Serial Number OK.");
  EXPECT_EQ(r.out[3], "Serial Number: RV0058LK0000000042");
  EXPECT_EQ(r.out.back(), "Programming Completed Successfully.");
  EXPECT_EQ(ReadAll(flash), Expected("RV0058LK0000000042"));
  // No port complaints: only which way the lines went, and the number's source.
  EXPECT_EQ(r.err, "orvalo-programmer-cli: COM1: the lines are driven one operation at a time\n"
                   "orvalo-programmer-cli: serial number from the device\n");

  // The same device, from its flash file, in the next process: 14 characters
  // of record now end in CR's place as the length byte (0x0D).
  std::vector<uint8_t> f = ReadAll(flash);
  std::string shorter = "AB0058LK000042";
  f[0x1FE8] = uint8_t(shorter.size());
  uint8_t sum = uint8_t(shorter.size());
  for (size_t i = 0; i < shorter.size(); ++i) sum = uint8_t(sum + (f[0x1FE9 + i] = uint8_t(shorter[i])));
  f[0x1FFF] = sum;
  std::ofstream(flash, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
  r = RunCli(port->ChildEnv(), "");
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_GE(r.out.size(), 4u);
  EXPECT_EQ(r.out[2], "Serial Number OK.");
  EXPECT_EQ(r.out[3].substr(0, 29), "Serial Number: AB0058LK000042");
}

TEST_F(EmulatedPortTest, TheDeviceIsFoundOnCom2) {
  auto port = Attach(std::string("serial=") + kSerial, "ORVALO_COM2");
  CliRun r = RunCli(port->ChildEnv(), "");
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_GE(r.out.size(), 3u);
  EXPECT_EQ(r.out[1], "Device found at COM2. Getting Serial Number ...");
  EXPECT_EQ(r.out[2], "Serial Number OK.");
  EXPECT_EQ(r.out.back(), "Programming Completed Successfully.");
  // COM1 leads nowhere; the operator is told why it was not used.
  EXPECT_NE(r.err.find("COM1 (/nonexistent/orvalo-com1): no such device."), std::string::npos) << r.err;
}

TEST_F(EmulatedPortTest, NoDeviceOnEitherPort) {
  auto port = Attach("nodevice");
  CliRun r = RunCli(port->ChildEnv(), "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, (std::vector<std::string>{"Auto Detecting Device ...",
                                             "! Device not found. Check Power, Cable, Free COM."}));
  EXPECT_NE(r.err.find("COM2 (/nonexistent/orvalo-com2): no such device."), std::string::npos) << r.err;
}

TEST_F(EmulatedPortTest, AFailedWriteAndAFailedVerifyEndTheCycle) {
  auto port = Attach(std::string("serial=") + kSerial + ",failwrite=0011");
  CliRun r = RunCli(port->ChildEnv(), "");
  EXPECT_EQ(r.status, 1);
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(r.out.back(), "! Programming Failed at 0x0011 .");
  port.reset();

  auto again = Attach(std::string("serial=") + kSerial + ",badread=0013");
  r = RunCli(again->ChildEnv(), "--verify");
  EXPECT_EQ(r.status, 1);
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(r.out.back(), "! Verify Failed at 0x0013.");
}

// The firmware never reports: the listener's wait ends after 3000 ms and the
// cycle goes on with the factory default.
TEST_F(EmulatedPortTest, ASilentDeviceFallsBackAfterTheLimit) {
  auto port = Attach(std::string("serial=") + kSerial + ",silent");
  int64_t t0 = plat::NowUs();
  RunCycle(false);
  int64_t tookMs = (plat::NowUs() - t0) / 1000;
  EXPECT_GE(tookMs, 3000);
  std::vector<StatusLine> s = dialog->Status();
  EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](const StatusLine& l) {
    return l.text == "No Serial Number found. Default to Factory.";
  }));
  EXPECT_EQ(dialog->LastText(), "Programming Completed Successfully.");
  EXPECT_EQ(dialog->SerialText(), "ZTMQR51700000000000000");
}

}  // namespace

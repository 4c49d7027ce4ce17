// The runner's endings as a script or an operator sees them: exit statuses in
// their order, reasons on standard error, signals, broken output, and the
// conventions of a command-line program.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "cli/cli_support.h"
#include "support/test_support.h"

namespace {

const std::string kSim = "ORVALO_SIM=time=virtual,serial=RV0058LK00000000000042";

std::string Hex(const std::string& name, const std::string& text) {
  std::string path = TempDir("hex-" + name) + "/" + name;
  WriteFile(path, text);
  return path;
}

// The third line lacks four hex digits.
std::string ThirdLineShort() {
  std::string third = HexRecord(4, 0x0004, 0, {1, 2, 3, 4});
  third.erase(9, 4);
  return HexRecord(2, 0, 0, {0x11, 0x22}) + "\n" + HexRecord(2, 2, 0, {0x33, 0x44}) + "\n" + third + "\n:00000001FF\n";
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CliOutcomeTest, AFileThatIsNotAUsableImageRunsNoCycleAndSaysWhereAndWhy) {
  std::string fifo = TempDir("fifo") + "/pipe.hex";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path, reason;
  } cases[] = {
      {ORVALO_CLI_PATH, "line "},  // the runner itself
      {Hex("third.hex", ThirdLineShort()), ": line 3: the record holds 2 data bytes, its byte count says 4"},
      {Hex("ext.hex", ":020000040001F9\n:00000001FF\n"), ": line 1: an address record (type 04) with base 0001"},
      {Hex("wrap.hex", ":0120000011CE\n:00000001FF\n"), "0x2000 lies beyond the 8 KiB flash"},
      {Hex("record.hex", ":011FF00041AF\n:00000001FF\n"), "serial-number record"},
      {TempDir("dir"), ": not a regular file"},
      {"/dev/null", "/dev/null: not a regular file"},
      {"/dev/zero", "/dev/zero: not a regular file"},
      {fifo, "pipe.hex: not a regular file"},
      {"/nonexistent/image.hex", "/nonexistent/image.hex: No such file or directory"},
  };
  for (const Case& c : cases) {
    CliResult r = RunCli(kSim, "--verify " + Quote(c.path));
    EXPECT_EQ(r.status, 2) << c.path;
    EXPECT_EQ(r.lines, (std::vector<std::string>{"! Firmware file access Failed."})) << c.path;
    EXPECT_TRUE(Contains(r.err, c.reason)) << c.path << ": " << r.err;
  }
}

TEST(CliOutcomeTest, AnEmptyImageIsProgrammedWithAWarning) {
  CliResult r = RunCli(kSim, Quote(Hex("empty.hex", ":00000001FF\n")));
  EXPECT_EQ(r.status, 0);
  ASSERT_FALSE(r.lines.empty());
  EXPECT_EQ(r.lines.back(), "Programming Completed Successfully.");
  EXPECT_TRUE(Contains(r.err, "warning: ")) << r.err;
  r = RunCli(kSim, Sample());
  EXPECT_FALSE(Contains(r.err, "warning"));
}

TEST(CliOutcomeTest, TheSerialNumbersOriginIsAlwaysToldAndStrictModeExitsThree) {
  CliResult r = RunCli("ORVALO_SIM=time=virtual,silent,serial=X", Sample());
  EXPECT_EQ(r.status, 0);  // scripts that rely on 0 keep it
  EXPECT_TRUE(Contains(r.err, "serial number from the factory default")) << r.err;
  r = RunCli("ORVALO_SIM=time=virtual,silent,serial=X", "--strict-serial " + Sample());
  EXPECT_EQ(r.status, 3);
  ASSERT_FALSE(r.lines.empty());
  EXPECT_EQ(r.lines.back(), "Programming Completed Successfully.");
  // A failed cycle is 1 whatever the serial number's origin.
  r = RunCli("ORVALO_SIM=time=virtual,silent,serial=X,failwrite=0010", "--strict-serial " + Sample());
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(Contains(r.err, "exit status 3")) << r.err;
  r = RunCli(kSim, "--strict-serial " + Sample());
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Contains(r.err, "serial number from the device"));
  // No cycle beats everything but a signal.
  r = RunCli("ORVALO_SIM=time=virtual,silent", "--strict-serial /nonexistent/x.hex");
  EXPECT_EQ(r.status, 2);
}

// Why a port went unused, and why a cycle stopped before the erase, whatever
// the ending; what -v adds and -q leaves out; the timing note, said only when
// a cycle ran on a thread refused its priority.
TEST(CliOutcomeTest, StandardErrorSaysWhyEachPortWentUnusedAndWhyTheSerialStageEnded) {
  const std::string unprivileged = "setpriv --bounding-set=-sys_nice --inh-caps=-sys_nice";
  const std::string timing = "neither a real-time policy nor a raised priority is permitted";
  struct Case {
    std::string env, reason;
    int status;
    std::string args = Sample();
    bool said = true;
  } cases[] = {
      {"ORVALO_SIM=time=virtual,nodevice", "COM2: opened, but no device answered.", 1},
      {"ORVALO_SIM=time=virtual,refuse=COM1,nodevice", "COM1: the device refused the line settings", 1},
      {"ORVALO_SIM=time=virtual,absent=COM1,port=COM2,serial=X", "COM1: could not be opened.", 0},
      {"XDG_CONFIG_HOME=/dev/null " + kSim, "could not be kept in the settings store", 1},
      {"ORVALO_SIM=time=virtual,signature=1E9303", "the signature 1E 93 03, not 1E 93 01", 1},
      {"ORVALO_SIM=time=virtual,signature=000000", "after the erase the part reads the signature 00 00 00", 1},
      {"", "orvalo-programmer-cli: /nonexistent/ttyUSB7: no such device.\n", 1,
       "--port /nonexistent/ttyUSB7 " + Sample()},
      {"ORVALO_SIM=time=virtual,absent=COM1,port=COM2,serial=X", "port COM2: the device answered\n", 0, "-v " + Sample()},
      {"ORVALO_SIM=time=virtual,absent=COM1,port=COM2,serial=X", "COM1: could not be opened.", 0, "-q " + Sample(), false},
      {kSim, "serial number from the device", 0, "-q " + Sample(), false},
      {"ORVALO_SIM=time=virtual,nodevice", "COM2: opened, but no device answered.", 1, "-q " + Sample()},
      {"ORVALO_SIM=time=real,nodevice " + unprivileged, timing, 1},
      {"ORVALO_SIM=time=real,nodevice " + unprivileged, timing, 2, "/nonexistent/x.hex", false},
      {unprivileged, timing, 2, "/nonexistent/x.hex", false},
      {"ORVALO_SIM=time=virtual,serial=X,lineop=1000",
       "orvalo-programmer-cli: line operations take about 1.0 ms on COM1: this cycle will take about 7 minutes\n", 0},
  };
  for (const Case& c : cases) {
    if (c.env.find("setpriv") != std::string::npos && access("/usr/bin/setpriv", X_OK) != 0) continue;
    CliResult r = RunCli(c.env, c.args);
    EXPECT_EQ(r.status, c.status) << c.env << " " << c.args;
    EXPECT_EQ(Contains(r.err, c.reason), c.said) << c.env << " " << c.args << ": " << r.err;
    // Said only of a port that is slow, and only once the device was found.
    EXPECT_EQ(Contains(r.err, "line operations take"), Contains(c.env, "lineop")) << c.env;
  }
}

// A device's serial number must not be able to end a line or fake another.
TEST(CliOutcomeTest, SerialNumbersAndPathsAreEscaped) {
  std::string serial = "AB\n! Chip Erased.\\\xE9";
  CliResult r = RunCli("ORVALO_SIM=" + Quote("time=virtual,serial=" + serial), Sample());
  EXPECT_EQ(r.status, 0);
  ASSERT_GE(r.lines.size(), 4u);
  EXPECT_EQ(r.lines[3], "Serial Number: AB\\x0A! Chip Erased.\\\\\\xE9");
  for (const std::string& l : r.lines) EXPECT_NE(l, "! Chip Erased.");
  std::string odd = TempDir("odd") + "/a\tb\\c.hex";
  r = RunCli(kSim, Quote(odd));
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "/a\\x09b\\\\c.hex: ")) << r.err;
  r = RunCli("ORVALO_COM1=" + Quote("/nonexistent/a\n! b"), Sample());
  EXPECT_TRUE(Contains(r.err, "/nonexistent/a\\x0A! b")) << r.err;
  r = RunCli("ORVALO_SIM=" + Quote("time=virtual,serial\n! b"), Sample());
  EXPECT_TRUE(Contains(r.err, "serial\\x0A! b")) << r.err;
}

TEST(CliOutcomeTest, DoubleDashEndsTheOptions) {
  std::string dir = TempDir("dash");
  std::ifstream in(ORVALO_SAMPLES_DIR "/firmware.hex", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  WriteFile(dir + "/--verify", text);
  CliResult r = RunCli(kSim, "-- --verify", nullptr, "");
  EXPECT_EQ(r.status, 2) << "relative to the test's folder: no such file";
  r = RunCli("", "--verify -- --help");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.lines.empty() || r.lines[0].find("Usage") == std::string::npos);
  r = RunCli(kSim, "-- " + Quote(dir + "/--verify"));
  EXPECT_EQ(r.status, 0) << r.err;
  for (const std::string& l : r.lines) EXPECT_EQ(l.rfind("Verifying", 0), std::string::npos);
}

// Colour on a terminal unless NO_COLOR or TERM=dumb asks otherwise.
TEST(CliOutcomeTest, NoColorAndADumbTerminalTurnColourOff) {
  if (access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "script(1) gives the runner a terminal";
  auto run = [](const std::string& env, const std::string& firmware = "/nonexistent/x.hex") {
    std::string settings = TempDir("cfg");
    std::string inner = "XDG_CONFIG_HOME=" + settings + " " + env + " " + std::string(ORVALO_CLI_PATH) + " " + firmware;
    std::string cmd = "script -qec " + Quote(inner) + " /dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
  };
  EXPECT_TRUE(Contains(run("TERM=xterm"), "\033[1;31m! Firmware file access Failed."));
  std::string plain = run("TERM=xterm NO_COLOR=1");
  EXPECT_TRUE(Contains(plain, "! Firmware file access Failed.")) << plain;
  EXPECT_FALSE(Contains(plain, "\033["));
  plain = run("TERM=dumb");
  EXPECT_TRUE(Contains(plain, "! Firmware file access Failed.")) << plain;
  EXPECT_FALSE(Contains(plain, "\033["));
  // Green is the success's alone.
  std::string done = run("TERM=xterm ORVALO_SIM=time=virtual,serial=RV0058LK00000000000042", Sample());
  EXPECT_TRUE(Contains(done, "\033[1;32mProgramming Completed Successfully.")) << done;
  EXPECT_FALSE(Contains(done, "\033[1;32mChip Erased.")) << done;
}

// Real time, so that the signal reaches the cycle while it programs.
TEST(CliOutcomeTest, ASignalStopsTheCycleCleanlyAndExitsWithItsStatus) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    std::string flash = TempDir("dev") + "/device.bin";
    bool sent = false;
    CliResult r = RunCli("ORVALO_SIM=time=real,serial=RV0058LK00000000000042,flash=" + Quote(flash), Sample(),
                         [&](const std::string& line, int pid) {
                           if (!sent && line.rfind("Programming, 2", 0) == 0) {
                             kill(pid, sig);
                             if (sig == SIGTERM) {  // as timeout(1) passes it on, to the group too
                               usleep(1000);
                               kill(pid, sig);
                             }
                             sent = true;
                           }
                         });
    EXPECT_EQ(r.status, 128 + sig);
    ASSERT_FALSE(r.lines.empty());
    EXPECT_EQ(r.lines.back(), "! Interrupted.");
    for (const std::string& l : r.lines) EXPECT_NE(l, "Programming Completed Successfully.");
    // The port was closed: the simulated device saves its flash then.
    std::ifstream saved(flash, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 8192u);
    EXPECT_NE(bytes.substr(0, 16), std::string(16, '\xFF')) << "programming had begun";
    EXPECT_EQ(bytes[0x1FE8], '\xFF') << "no record written";
  }
}

// A closed pipe or a full disk: the cycle stops, standard error says why.
TEST(CliOutcomeTest, OutputThatCannotBeWrittenStopsTheCycleAndExitsOne) {
  CliResult r = RunCli(kSim, Sample(), nullptr, ">/dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "standard output could not be written")) << r.err;
  // A pipe whose reader is gone before the runner writes anything.
  std::string errFile = TempDir("err") + "/stderr";
  std::string cmd = "exec env XDG_CONFIG_HOME=" + Quote(TempDir("cfg")) + " " + kSim + " " + Quote(ORVALO_CLI_PATH) +
                    " " + Sample() + " 2>" + Quote(errFile);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  int st = 0;
  waitpid(pid, &st, 0);
  ASSERT_TRUE(WIFEXITED(st)) << "not killed by SIGPIPE";
  EXPECT_EQ(WEXITSTATUS(st), 1);
  std::ifstream errIn(errFile);
  std::string err((std::istreambuf_iterator<char>(errIn)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(Contains(err, "standard output could not be written")) << err;
}

}  // namespace

namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ORVALO_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORVALO_SANITIZED 1
#endif

// A thread stack larger than the address space allowed makes the cycle's
// thread impossible to create.
TEST(CliOutcomeTest, AnIgnitionFailureIsFollowedByTheSystemsReason) {
#ifdef ORVALO_SANITIZED
  GTEST_SKIP() << "the sanitizers need more address space than this test allows";
#else
  std::string settings = TempDir("cfg");
  std::string cmd = "ulimit -s 4000000 && ulimit -v 3000000 && exec env XDG_CONFIG_HOME=" + Quote(settings) + " " +
                    kSim + " " + Quote(ORVALO_CLI_PATH) + " " + Sample() + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_TRUE(p);
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int st = pclose(p);
  EXPECT_EQ(WEXITSTATUS(st), 1);
  EXPECT_TRUE(Contains(out, "! Egnition failed.\n")) << out;
  EXPECT_TRUE(Contains(out, "the cycle's thread could not be started: Resource temporarily unavailable")) << out;
#endif
}

}  // namespace

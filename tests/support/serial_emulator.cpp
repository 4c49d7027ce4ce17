// A preloadable library (LD_PRELOAD) that turns one pseudo-terminal slave into
// a serial port whose other end is the simulated cable and device of src/sim,
// running on the real clock.
//
// The device is recognised by identity (the st_rdev of the pty slave), not by
// remembering an open: under Wine the server opens the device and hands the
// descriptor to the program, which then makes every call itself.
//
// What a bare pty lacks and this library supplies: the modem lines and the
// break state (TIOCMGET/TIOCMSET/TIOCMBIS/TIOCMBIC, TIOCSBRK/TIOCCBRK) wired to
// the cable; the break counter of TIOCGICOUNT and a TIOCSERGETLSR; bytes that
// cross the line only at 115200 8N1; received bytes and breaks passed through
// the input flags in force (ISTRIP, IXON, ICRNL, INLCR, IGNCR, PARMRK, IGNBRK,
// BRKINT, INPCK, IGNPAR) as the line discipline would; read, poll and FIONREAD
// over the emulated input. The termios themselves stay on the pty slave (glibc
// sets them without going through ioctl()), and are read back from there.
// TIOCEXCL is left to the kernel.
//
// Configuration, from the environment at load time or through
// orvalo_serial_emu_configure() at run time:
//   ORVALO_EMU_DEVICE  the pty slave's path
//   ORVALO_EMU_SIM     the device, in ORVALO_SIM's words (flash=, serial=,
//                      silent, request, failwrite=, ...; time= and lineop= are ignored)
//   ORVALO_EMU_SIM_FILE  a file holding those words, read when the device is
//                      built (it wins over ORVALO_EMU_SIM)
// Each process builds its own device from the flash file when it first uses
// the port and saves it when it closes the port, so processes that use the
// port one after another see the same device.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "sim/device.h"
#include "sim/sim_config.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using IoctlFn = int (*)(int, unsigned long, ...);
using ReadFn = ssize_t (*)(int, void*, size_t);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using PollFn = int (*)(pollfd*, nfds_t, int);
using CloseFn = int (*)(int);

// The C library's own calls, which the emulator's calls fall through to for
// every descriptor it does not emulate.
struct RealCalls {
  template <typename F>
  static F Find(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
  }
  IoctlFn ioctl = Find<IoctlFn>("ioctl");
  ReadFn read = Find<ReadFn>("read");
  WriteFn write = Find<WriteFn>("write");
  PollFn poll = Find<PollFn>("poll");
  CloseFn close = Find<CloseFn>("close");
};
const RealCalls& Real() {
  static const RealCalls calls;
  return calls;
}

struct Emulator {
  std::recursive_mutex m;
  bool configured = false;
  dev_t rdev = 0;
  sim::Config config;
  std::unique_ptr<sim::SimDevice> device;  // from the first use to the end of the process
  bool open = false;                        // the host holds the port
  bool dtr = false, rts = false, brk = false;
  bool outputStopped = false;  // IXON: the device sent XOFF
  std::deque<uint8_t> input;   // after the line discipline
  serial_icounter_struct counts{};
  // A pty forces 8 data bits and no parity whatever it is told; a UART keeps
  // what it was set to, so the character format asked for is kept here.
  bool formatSet = false;
  tcflag_t format = 0;
  // Every call on the port fails once with EINTR before it is carried out, as
  // when a signal arrives during each of them; one toggle per kind of call.
  bool interrupting = false;
  bool interrupted[5] = {};
};


// ORVALO_EMU_TRACE=1: every emulated call on standard error (for finding out
// what a program, Wine say, does with the port).
bool Tracing() {
  static bool on = std::getenv("ORVALO_EMU_TRACE") != nullptr;
  return on;
}

#define TRACE(...)                                         \
  do {                                                     \
    if (Tracing()) {                                       \
      std::fprintf(stderr, "[emu %d] ", int(getpid()));    \
      std::fprintf(stderr, __VA_ARGS__);                   \
      std::fputc('\n', stderr);                            \
    }                                                      \
  } while (0)

Emulator& E() {
  static Emulator* e = new Emulator();  // never destroyed: hooks run until exit
  return *e;
}

constexpr tcflag_t kFormatBits = CSIZE | PARENB | PARODD | CSTOPB | CMSPAR;

void NoteFormat(const termios& t) {
  E().format = t.c_cflag & kFormatBits;
  E().formatSet = true;
}

void ApplyFormat(termios* t) {
  if (E().formatSet) t->c_cflag = (t->c_cflag & ~kFormatBits) | E().format;
}

void Configure(const char* path, const char* simText) {
  Emulator& e = E();
  std::lock_guard<std::recursive_mutex> g(e.m);
  e.configured = false;
  e.device.reset();
  struct stat st;
  if (!path || !*path || stat(path, &st) != 0 || !S_ISCHR(st.st_mode)) return;
  sim::Config c;
  if (simText && !sim::ParseConfig(simText, &c).empty()) return;
  c.port = "COM1";  // the cable is always on this port; the name is the emulator's own
  c.virtualTime = false;
  e.config = c;
  e.rdev = st.st_rdev;
  e.formatSet = false;
  e.configured = true;
}

__attribute__((constructor)) void LoadConfiguration() {
  Configure(std::getenv("ORVALO_EMU_DEVICE"), std::getenv("ORVALO_EMU_SIM"));
}

bool IsEmulated(int fd) {
  Emulator& e = E();
  if (!e.configured || fd < 0) return false;
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == e.rdev;
}

// The device comes to life on the first use of the port, from its flash file,
// and keeps running (as a real one does) while the port is closed.
// ORVALO_EMU_SIM_FILE names a file that holds the device's words instead of
// ORVALO_EMU_SIM, read when the device is built: a Windows program under Wine
// cannot hand a variable it sets to the Unix side of the programs it starts,
// but it can write a file.
void ReadConfigurationFile() {
  const char* path = std::getenv("ORVALO_EMU_SIM_FILE");
  if (!path) return;
  FILE* f = std::fopen(path, "r");
  if (!f) return;
  char text[4096];
  size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) --n;
  text[n] = '\0';
  sim::Config c;
  if (!sim::ParseConfig(text, &c).empty()) return;
  c.port = "COM1";
  c.virtualTime = false;
  E().config = c;
}

sim::SimDevice* Device() {
  Emulator& e = E();
  if (!e.device) ReadConfigurationFile();
  if (e.config.noDevice) return nullptr;  // a port with nothing on its lines
  if (!e.device) {
    e.device.reset(new sim::SimDevice(e.config));
    e.device->KeepHistory(true);  // the tests read what the device heard on its UART
    if (!e.device->Attach().empty()) {
      e.device.reset();
      return nullptr;
    }
  }
  if (!e.open) {
    e.open = true;
    e.device->HostOpened("COM1");
    e.outputStopped = false;
    e.input.clear();
  }
  return e.device.get();
}

termios LineSettings(int fd) {
  termios t;
  std::memset(&t, 0, sizeof t);
  Real().ioctl(fd, TCGETS, &t);
  ApplyFormat(&t);
  return t;
}

// The firmware's UART runs at 115200 8N1: anything else garbles every byte.
bool LineMatches(const termios& t) {
  speed_t out = t.c_cflag & CBAUD;
  speed_t in = (t.c_cflag >> 16) & CBAUD;  // CIBAUD, where the kernel keeps a separate input rate
  if (out != B115200 || (in != 0 && in != B115200)) return false;
  return (t.c_cflag & CSIZE) == CS8 && !(t.c_cflag & PARENB) && !(t.c_cflag & CSTOPB);
}

void Put(uint8_t b) { E().input.push_back(b); }

void ReceiveBreak(const termios& t) {
  Emulator& e = E();
  TRACE("break received, iflag 0x%x", unsigned(t.c_iflag));
  ++e.counts.brk;
  if (t.c_iflag & IGNBRK) return;
  if (t.c_iflag & BRKINT) {
    // The driver would signal the foreground group and flush; the port is
    // never a controlling terminal here, so only the flush remains.
    e.input.clear();
    return;
  }
  if (t.c_iflag & PARMRK) {
    Put(0xFF);
    Put(0x00);
  }
  Put(0x00);
}

void ReceiveByte(const termios& t, uint8_t c, bool framingError) {
  Emulator& e = E();
  ++e.counts.rx;
  if (framingError) {
    ++e.counts.frame;
    if (t.c_iflag & INPCK) {
      if (t.c_iflag & IGNPAR) return;
      if (t.c_iflag & PARMRK) {
        Put(0xFF);
        Put(0x00);
        Put(c);
      } else {
        Put(0x00);
      }
      return;
    }
  }
  if (t.c_iflag & ISTRIP) c &= 0x7F;
  if (t.c_iflag & IXON) {
    if (c == t.c_cc[VSTOP]) {
      e.outputStopped = true;
      return;
    }
    if (c == t.c_cc[VSTART]) {
      e.outputStopped = false;
      return;
    }
  }
  if (c == '\r') {
    if (t.c_iflag & IGNCR) return;
    if (t.c_iflag & ICRNL) c = '\n';
  } else if (c == '\n' && (t.c_iflag & INLCR)) {
    c = '\r';
  }
  if (c == 0xFF && (t.c_iflag & PARMRK) && !(t.c_iflag & ISTRIP)) Put(0xFF);
  Put(c);
}

// Moves what the device has sent by now through the line discipline.
void Pump(int fd) {
  sim::SimDevice* d = Device();
  if (!d) return;
  std::vector<sim::RxEvent> events = d->TakeRx(plat::NowUs());
  if (events.empty()) return;
  termios t = LineSettings(fd);
  bool matches = LineMatches(t);
  for (const sim::RxEvent& ev : events) {
    if (ev.isBreak)
      ReceiveBreak(t);
    else if (matches)
      ReceiveByte(t, ev.byte, false);
    else
      ReceiveByte(t, uint8_t(ev.byte ^ 0xA5), true);  // a byte at the wrong rate or framing
  }
}

void SetLines(bool dtr, bool rts) {
  Emulator& e = E();
  sim::SimDevice* d = Device();
  if (!d) return;
  // DTR first, then RTS: the order Windows' serial driver drops them in.
  if (dtr != e.dtr) {
    e.dtr = dtr;
    d->SetDtr(dtr);
  }
  if (rts != e.rts) {
    e.rts = rts;
    d->SetRts(rts);
  }
}

int ModemBits() {
  Emulator& e = E();
  sim::SimDevice* d = Device();
  int bits = (e.dtr ? TIOCM_DTR : 0) | (e.rts ? TIOCM_RTS : 0) | TIOCM_DSR | TIOCM_CD;
  if (d && d->Cts()) bits |= TIOCM_CTS;
  return bits;
}

// One emulated request; false when the request is the kernel's to answer.
bool EmulateIoctl(int fd, unsigned long request, void* arg, int* result) {
  Emulator& e = E();
  *result = 0;
  switch (request) {
    case TIOCMGET:
      *static_cast<int*>(arg) = ModemBits();
      return true;
    case TIOCMSET: {
      int bits = *static_cast<int*>(arg);
      SetLines(bits & TIOCM_DTR, bits & TIOCM_RTS);
      return true;
    }
    case TIOCMBIS:
    case TIOCMBIC: {
      int bits = *static_cast<int*>(arg);
      bool on = request == TIOCMBIS;
      SetLines((bits & TIOCM_DTR) ? on : e.dtr, (bits & TIOCM_RTS) ? on : e.rts);
      return true;
    }
    case TIOCSBRK:
    case TIOCCBRK:
      if (sim::SimDevice* d = Device()) {
        e.brk = request == TIOCSBRK;
        d->SetBreak(e.brk);
      }
      return true;
    case TIOCGICOUNT:
      Pump(fd);
      *static_cast<serial_icounter_struct*>(arg) = e.counts;
      return true;
    case TIOCSERGETLSR:
      *static_cast<unsigned*>(arg) = TIOCSER_TEMT;
      return true;
    case FIONREAD:  // also TIOCINQ
      Pump(fd);
      *static_cast<int*>(arg) = int(e.input.size());
      return true;
    case TCSETS:
    case TCSETSW:
    case TCSETSF:
      NoteFormat(*static_cast<termios*>(arg));
      return false;
    case TCGETS:
      *result = Real().ioctl(fd, request, arg);
      if (*result == 0) ApplyFormat(static_cast<termios*>(arg));
      return true;
    case TCFLSH: {
      long which = long(reinterpret_cast<intptr_t>(arg));
      if (which == TCIFLUSH || which == TCIOFLUSH) e.input.clear();
      return false;  // the pty's own queues are flushed too
    }
    default:
      return false;
  }
}

int64_t NextDeviceEventUs() {
  Emulator& e = E();
  if (!e.device) return plat::kForever;
  return e.device->NextEventTime();
}

}  // namespace

EXPORT void orvalo_serial_emu_configure(const char* path, const char* simText) { Configure(path, simText); }

// The device of this process, saved to its flash file and forgotten, as if
// unplugged; the next use builds it again from the file.
EXPORT void orvalo_serial_emu_detach() {
  Emulator& e = E();
  std::lock_guard<std::recursive_mutex> g(e.m);
  if (e.device) {
    if (e.open) e.device->HostClosed("COM1");
    e.device->Save();
    e.device.reset();
  }
  e.open = false;
  e.dtr = e.rts = e.brk = false;
}

namespace {

enum CallKind { kIoctlCall, kSetAttrCall, kReadCall, kWriteCall, kPollCall };

// true (errno EINTR) when this call is the interrupted one of its pair.
bool Interrupt(CallKind kind) {
  Emulator& e = E();
  std::lock_guard<std::recursive_mutex> g(e.m);
  if (!e.interrupting) return false;
  e.interrupted[kind] = !e.interrupted[kind];
  if (!e.interrupted[kind]) return false;
  TRACE("call of kind %d interrupted", int(kind));
  errno = EINTR;
  return true;
}

}  // namespace

EXPORT int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  if (IsEmulated(fd)) {
    if (Interrupt(kIoctlCall)) return -1;
    Emulator& e = E();
    std::lock_guard<std::recursive_mutex> g(e.m);
    int result;
    bool emulated = EmulateIoctl(fd, request, arg, &result);
    TRACE("ioctl(%d, 0x%lx)%s -> %d", fd, request, emulated ? "" : " passed on", emulated ? result : 0);
    if (emulated) return result;
  }
  return Real().ioctl(fd, request, arg);
}

// glibc sets and reads the line settings with its own system calls, which the
// ioctl hook never sees.
EXPORT int tcsetattr(int fd, int action, const termios* t) {
  static auto real = RealCalls::Find<int (*)(int, int, const termios*)>("tcsetattr");
  if (IsEmulated(fd)) {
    if (Interrupt(kSetAttrCall)) return -1;
    std::lock_guard<std::recursive_mutex> g(E().m);
    NoteFormat(*t);
  }
  return real(fd, action, t);
}

EXPORT int tcgetattr(int fd, termios* t) {
  static auto real = RealCalls::Find<int (*)(int, termios*)>("tcgetattr");
  int r = real(fd, t);
  if (r == 0 && IsEmulated(fd)) {
    std::lock_guard<std::recursive_mutex> g(E().m);
    ApplyFormat(t);
  }
  return r;
}

EXPORT ssize_t read(int fd, void* buf, size_t n) {
  if (IsEmulated(fd)) {
    if (Interrupt(kReadCall)) return -1;
    Emulator& e = E();
    std::lock_guard<std::recursive_mutex> g(e.m);
    Pump(fd);
    if (!e.input.empty()) {
      size_t k = std::min(n, e.input.size());
      std::copy(e.input.begin(), e.input.begin() + long(k), static_cast<uint8_t*>(buf));
      e.input.erase(e.input.begin(), e.input.begin() + long(k));
      TRACE("read(%d, %zu) -> %zu", fd, n, k);
      return ssize_t(k);
    }
    TRACE("read(%d, %zu): nothing received", fd, n);
  }
  return Real().read(fd, buf, n);
}

EXPORT ssize_t __read_chk(int fd, void* buf, size_t n, size_t) { return read(fd, buf, n); }

EXPORT ssize_t write(int fd, const void* buf, size_t n) {
  if (!IsEmulated(fd)) return Real().write(fd, buf, n);
  if (Interrupt(kWriteCall)) return -1;
  Emulator& e = E();
  std::lock_guard<std::recursive_mutex> g(e.m);
  Pump(fd);
  if (e.outputStopped) {
    errno = EAGAIN;
    return -1;
  }
  sim::SimDevice* d = Device();
  termios t = LineSettings(fd);
  bool matches = LineMatches(t);
  const uint8_t* p = static_cast<const uint8_t*>(buf);
  for (size_t i = 0; i < n && d; ++i) d->HostTransmit(matches ? p[i] : uint8_t(p[i] ^ 0xA5));
  TRACE("write(%d, %zu bytes, first 0x%02x)%s", fd, n, n ? p[0] : 0, matches ? "" : " garbled");
  return ssize_t(n);
}

// Emulated descriptors are ready when the line discipline holds input; the
// wait is cut into slices that end when the device next sends something.
EXPORT int poll(pollfd* fds, nfds_t nfds, int timeoutMs) {
  bool any = false;
  for (nfds_t i = 0; i < nfds; ++i) any = any || IsEmulated(fds[i].fd);
  if (!any) return Real().poll(fds, nfds, timeoutMs);
  if (Interrupt(kPollCall)) return -1;
  int64_t deadline = timeoutMs < 0 ? plat::kForever : plat::NowUs() + int64_t(timeoutMs) * 1000;
  while (true) {
    int ready = 0;
    int64_t next;
    {
      Emulator& e = E();
      std::lock_guard<std::recursive_mutex> g(e.m);
      for (nfds_t i = 0; i < nfds; ++i) {
        if (!IsEmulated(fds[i].fd)) continue;
        Pump(fds[i].fd);
        if (!e.input.empty() && (fds[i].events & POLLIN)) ++ready;
      }
      next = NextDeviceEventUs();
    }
    int64_t now = plat::NowUs();
    int slice = 0;
    if (!ready) {
      int64_t until = std::min(deadline, next);
      slice = until == plat::kForever ? 50 : int(std::max<int64_t>(0, (until - now + 999) / 1000));
      slice = std::min(slice, 50);  // a device started elsewhere is noticed within 50 ms
    }
    int r = Real().poll(fds, nfds, slice);
    if (r < 0) return r;
    {
      Emulator& e = E();
      std::lock_guard<std::recursive_mutex> g(e.m);
      r = 0;
      for (nfds_t i = 0; i < nfds; ++i) {
        if (IsEmulated(fds[i].fd)) {
          fds[i].revents &= short(~POLLIN);
          Pump(fds[i].fd);
          if (!e.input.empty() && (fds[i].events & POLLIN)) fds[i].revents |= POLLIN;
        }
        if (fds[i].revents) ++r;
      }
    }
    if (r > 0 || plat::NowUs() >= deadline) return r;
  }
}

namespace {

// Another descriptor of this process on the device keeps the port open.
bool OtherDescriptorOpen(int fd) {
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return false;
  bool other = false;
  int own = dirfd(dir);
  while (dirent* ent = readdir(dir)) {
    int n = std::atoi(ent->d_name);
    if (ent->d_name[0] < '0' || ent->d_name[0] > '9' || n == fd || n == own) continue;
    if (IsEmulated(n)) {
      other = true;
      break;
    }
  }
  closedir(dir);
  return other;
}

// The last close of the port: a driver with HUPCL in force drops DTR and RTS
// (one register write, so the cable sees them fall together; DTR is taken
// first), and the break ends. The device is saved to its flash file.
void LastClose(int fd) {
  Emulator& e = E();
  if (!e.open || !e.device) return;
  termios t = LineSettings(fd);
  if (e.brk) {
    e.brk = false;
    e.device->SetBreak(false);
  }
  if (t.c_cflag & HUPCL) SetLines(false, false);
  e.device->HostClosed("COM1");
  e.open = false;
}

// A port still open at exit is saved too. A thread that was stopped inside
// a hook may still hold the lock (Wine ends its threads that way): then the
// save of the last close stands.
__attribute__((destructor)) void SaveAtExit() {
  Emulator& e = E();
  if (!e.m.try_lock()) return;
  if (e.device && e.open) e.device->Save();
  e.m.unlock();
}

}  // namespace

EXPORT int close(int fd) {
  if (IsEmulated(fd)) {
    Emulator& e = E();
    std::lock_guard<std::recursive_mutex> g(e.m);
    if (!OtherDescriptorOpen(fd)) LastClose(fd);
  }
  return Real().close(fd);
}

// The device as a test sees it.
EXPORT int orvalo_serial_emu_level() {
  Emulator& e = E();
  std::lock_guard<std::recursive_mutex> g(e.m);
  return e.device ? e.device->ControlLevel() : -1;
}

EXPORT void orvalo_serial_emu_interrupt(int on) {
  Emulator& e = E();
  std::lock_guard<std::recursive_mutex> g(e.m);
  e.interrupting = on != 0;
  for (bool& k : e.interrupted) k = false;
}

EXPORT int orvalo_serial_emu_lines() {
  Emulator& e = E();
  std::lock_guard<std::recursive_mutex> g(e.m);
  if (!e.device) return -1;
  return (e.device->Dtr() ? 1 : 0) | (e.device->Rts() ? 2 : 0) | (e.device->Break() ? 4 : 0);
}

EXPORT int orvalo_serial_emu_uart(uint8_t* buf, int max) {
  Emulator& e = E();
  std::lock_guard<std::recursive_mutex> g(e.m);
  if (!e.device) return 0;
  std::vector<uint8_t> got = e.device->UartReceived();
  int n = std::min(max, int(got.size()));
  std::copy(got.begin(), got.begin() + n, buf);
  return n;
}

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/byte_queue.h"
#include "platform/break_decode.h"
#include "platform/device_path_posix.h"
#include "platform/port_problem.h"
#include "platform/uucp_lock_posix.h"
#include "platform/serial_port.h"

namespace plat {
namespace {

// Every ioctl of the port is repeated when a signal interrupts it.
int Ioctl(int fd, unsigned long request, void* arg = nullptr) {
  int r;
  do {
    r = ioctl(fd, request, arg);
  } while (r < 0 && errno == EINTR);
  return r;
}

int SetAttributes(int fd, const termios& t) {
  int r;
  do {
    r = tcsetattr(fd, TCSANOW, &t);
  } while (r < 0 && errno == EINTR);
  return r;
}

class PosixPort : public SerialPort {
 public:
  PosixPort(std::string name, std::string path, int fd, int cancelFd, std::string lockPath)
      : name_(std::move(name)), path_(std::move(path)), fd_(fd), cancelFd_(cancelFd), lockPath_(std::move(lockPath)) {}

  // Closing ends the break and drops DTR, then RTS, as Windows' serial driver
  // does when the last handle of a port is closed (HUPCL is cleared at the
  // open so the kernel does not drop both at once behind our back). The
  // exclusive flag is cleared: a pseudo-terminal would otherwise keep it after
  // the close.
  ~PosixPort() override {
    Ioctl(fd_, TIOCCBRK);
    ModemBit(TIOCM_DTR, false);
    ModemBit(TIOCM_RTS, false);
    Ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
    close(fd_);
    close(cancelFd_);
    ReleaseUucpLock(lockPath_);
  }

  // Linux sizes its queues itself; the step only checks that this is a
  // terminal at all.
  bool SetupQueues(unsigned, unsigned) override {
    if (isatty(fd_) == 1) return true;
    NotePortProblem(name_, PortNote{PortProblem::kNotSerial, path_, 0});
    return false;
  }

  bool ConfigureLine() override {
    termios t;
    if (tcgetattr(fd_, &t) != 0) return Refused();
    // Every input flag is set, none is left as the last user of the port left
    // it. Breaks arrive in-band as 0xFF 0x00 0x00 (PARMRK, with IGNBRK and
    // BRKINT clear); INPCK is clear so that a framing error, which a 0x00 byte
    // at the wrong moment can cause, is passed as a plain byte and never taken
    // for a break; no stripping, no CR/NL mapping, no software flow control.
    t.c_iflag = PARMRK;
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    if (cfsetispeed(&t, B115200) != 0 || cfsetospeed(&t, B115200) != 0) return Refused();
    if (SetAttributes(fd_, t) != 0) return Refused();
    // tcsetattr succeeds when any part was taken: read back what holds.
    termios got;
    if (tcgetattr(fd_, &got) != 0 || cfgetospeed(&got) != B115200 || (got.c_cflag & CSIZE) != CS8 ||
        (got.c_cflag & (PARENB | CSTOPB)) != 0 || got.c_iflag != t.c_iflag)
      return Refused();
    // A pty refuses the modem lines; the open must not fail for that.
    SetDtr(true);
    SetRts(true);
    return true;
  }

  bool SetReadsImmediate() override {
    termios t;
    if (tcgetattr(fd_, &t) != 0) return Refused();
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return SetAttributes(fd_, t) == 0 || Refused();
  }

  bool SetDtr(bool on) override { return ModemBit(TIOCM_DTR, on); }
  bool SetRts(bool on) override { return ModemBit(TIOCM_RTS, on); }
  bool SetBreak(bool on) override { return Ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0; }

  bool GetCts(bool* asserted) override {
    int bits = 0;
    if (Ioctl(fd_, TIOCMGET, &bits) != 0) return false;
    *asserted = (bits & TIOCM_CTS) != 0;
    return true;
  }

  bool ArmBreakWait() override {
    std::lock_guard<std::mutex> g(rxMutex_);
    Pump(nullptr);  // breaks that came before the wait was armed do not count
    return true;
  }

  int WaitBreak() override {
    while (true) {
      if (cancelled_.load()) return kBreakWaitCancelled;
      {
        std::lock_guard<std::mutex> g(rxMutex_);
        int breaks = 0;
        if (!Pump(&breaks)) return kBreakWaitEnded;
        if (breaks > 0) return kBreakArrived;
      }
      pollfd fds[2] = {{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
      int r = poll(fds, 2, -1);
      if (r < 0 && errno != EINTR) return kBreakWaitEnded;
      if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return kBreakWaitEnded;
    }
  }

  void CancelWait() override {
    cancelled_.store(true);
    uint64_t one = 1;
    ssize_t ignored = write(cancelFd_, &one, sizeof one);
    (void)ignored;
  }

  void ResetCancel() override {
    cancelled_.store(false);
    uint64_t v;
    ssize_t ignored = read(cancelFd_, &v, sizeof v);
    (void)ignored;
  }

  // The descriptor is non-blocking: a full output queue (or output held by
  // the other end) gives EAGAIN, and the byte is then offered again as room
  // appears, for at most kTransmitWaitMs, instead of being dropped.
  bool TransmitChar(uint8_t byte) override {
    for (int waited = 0;;) {
      ssize_t r = write(fd_, &byte, 1);
      if (r == 1) return true;
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
      if (waited >= kTransmitWaitMs) return false;
      pollfd out = {fd_, POLLOUT, 0};
      if (poll(&out, 1, 1) == 0) ++waited;
    }
  }

  int Read(uint8_t* buf, int max) override {
    std::lock_guard<std::mutex> g(rxMutex_);
    if (!Pump(nullptr) && pending_.empty()) return -1;
    return int(TakeQueued(&pending_, buf, size_t(max)));
  }

 private:
  static constexpr int kTransmitWaitMs = 20;  // about 230 byte times at 115200 baud

  bool ModemBit(int bit, bool on) { return Ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0; }

  bool Refused() {
    NotePortProblem(name_, PortNote{PortProblem::kSettingsRefused, path_, 0});
    return false;
  }

  // Moves everything the driver holds into pending_; breaks are counted into
  // *breaks when given. false when the read fails.
  bool Pump(int* breaks) {
    uint8_t raw[256];
    while (true) {
      ssize_t r = read(fd_, raw, sizeof raw);
      if (r < 0) {
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
      }
      if (r == 0) return true;
      decoded_.clear();
      int b = DecodeMarkedInput(&decoder_, raw, size_t(r), &decoded_);
      if (breaks) *breaks += b;
      pending_.insert(pending_.end(), decoded_.begin(), decoded_.end());
    }
  }

  std::string name_;
  std::string path_;
  int fd_;
  int cancelFd_;
  std::string lockPath_;
  std::atomic<bool> cancelled_{false};
  std::mutex rxMutex_;
  MarkDecoder decoder_;
  std::vector<uint8_t> decoded_;
  std::deque<uint8_t> pending_;
};

PortProblem ProblemOfOpenError(int err) {
  switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
      return PortProblem::kPermissionDenied;
    case EBUSY:
      return PortProblem::kInUse;
    default:
      return PortProblem::kAbsent;  // ENOENT, ENXIO, ENODEV, ENOTDIR, ...
  }
}

int Refuse(const std::string& name, const std::string& path, PortProblem problem, int fd, long pid = 0) {
  if (fd >= 0) close(fd);
  NotePortProblem(name, PortNote{problem, path, pid});
  return kPortNotOpened;
}

}  // namespace

// Exclusive use, as far as Linux allows, checked in an order that leaves a
// port held by someone else as it was: most serial drivers raise DTR and RTS
// on every open (unless the speed is B0), so a port whose UUCP lock a live
// process holds is not opened at all, and one that another program made
// exclusive with TIOCEXCL fails the open with EBUSY before any line moves.
// Then the flock (our own programs) and, for root, whom TIOCEXCL does not
// stop, the exclusive flag are checked on the descriptor, and this process
// takes all three. What stays possible: a program that takes none of them
// keeps the port alongside us, its lines raised by our open, as root's open
// raises those of a port made exclusive; closing a refused descriptor leaves
// them so, the other holder still having the port open.
int OpenPlatformPort(const std::string& name, std::unique_ptr<SerialPort>* port) {
  std::string path = DevicePathFor(name);
  NotePortProblem(name, PortNote{PortProblem::kNone, path, 0});
  if (path.empty()) return Refuse(name, path, PortProblem::kAbsent, -1);
  // Only a device takes a lock, and only a terminal keeps it: the open of
  // anything else fails at its first configuration step and must not leave a
  // lock file behind.
  struct stat st;
  std::string lockPath;
  if (stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
    long holder = TakeUucpLock(path, &lockPath);
    if (holder != 0) return Refuse(name, path, PortProblem::kInUse, -1, holder > 0 ? holder : 0);
  }
  auto refuse = [&](PortProblem problem, int fd) {
    ReleaseUucpLock(lockPath);
    return Refuse(name, path, problem, fd);
  };
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return refuse(ProblemOfOpenError(errno), -1);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(PortProblem::kInUse, fd);
  bool terminal = isatty(fd) == 1;
  if (terminal) {
    int exclusive = 0;
    if (Ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) return refuse(PortProblem::kInUse, fd);
    if (Ioctl(fd, TIOCEXCL) != 0) return refuse(PortProblem::kInUse, fd);
  } else {
    ReleaseUucpLock(lockPath);
    lockPath.clear();
  }
  int cancelFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (cancelFd < 0) {
    if (terminal) Ioctl(fd, TIOCNXCL);
    return refuse(PortProblem::kAbsent, fd);
  }
  port->reset(new PosixPort(name, path, fd, cancelFd, lockPath));
  return 0;
}

}  // namespace plat

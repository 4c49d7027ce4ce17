#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/break_decode.h"
#include "platform/serial_port.h"

namespace plat {
namespace {

// COM1 is /dev/ttyS0 and COM2 /dev/ttyS1 unless ORVALO_COM1 / ORVALO_COM2 name
// another device (a USB adapter, say).
std::string DevicePathFor(const std::string& name) {
  if (name.size() == 4 && name.compare(0, 3, "COM") == 0 && name[3] >= '1' && name[3] <= '9') {
    std::string var = "ORVALO_" + name;
    if (const char* v = std::getenv(var.c_str())) return v;
    return "/dev/ttyS" + std::string(1, char(name[3] - 1));
  }
  if (!name.empty() && name[0] == '/') return name;
  return std::string();
}

class PosixPort : public SerialPort {
 public:
  PosixPort(int fd, int cancelFd) : fd_(fd), cancelFd_(cancelFd) {}
  ~PosixPort() override {
    flock(fd_, LOCK_UN);
    close(fd_);
    close(cancelFd_);
  }

  // Linux sizes its queues itself; the step only checks that this is a
  // terminal at all.
  bool SetupQueues(unsigned, unsigned) override { return isatty(fd_) == 1; }

  bool ConfigureLine() override {
    termios t;
    if (tcgetattr(fd_, &t) != 0) return false;
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_iflag |= PARMRK;  // breaks arrive in-band, see DecodeMarkedInput
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    if (cfsetispeed(&t, B115200) != 0 || cfsetospeed(&t, B115200) != 0) return false;
    if (tcsetattr(fd_, TCSANOW, &t) != 0) return false;
    // A pty refuses the modem lines; the open must not fail for that.
    SetDtr(true);
    SetRts(true);
    return true;
  }

  bool SetReadsImmediate() override {
    termios t;
    if (tcgetattr(fd_, &t) != 0) return false;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd_, TCSANOW, &t) == 0;
  }

  bool SetDtr(bool on) override { return ModemBit(TIOCM_DTR, on); }
  bool SetRts(bool on) override { return ModemBit(TIOCM_RTS, on); }
  bool SetBreak(bool on) override { return ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0; }

  bool GetCts(bool* asserted) override {
    int bits = 0;
    if (ioctl(fd_, TIOCMGET, &bits) != 0) return false;
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
      if (cancelled_.load()) return -1;
      {
        std::lock_guard<std::mutex> g(rxMutex_);
        int breaks = 0;
        if (!Pump(&breaks)) return 0;
        if (breaks > 0) return 1;
      }
      pollfd fds[2] = {{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
      int r = poll(fds, 2, -1);
      if (r < 0 && errno != EINTR) return 0;
      if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return 0;
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

  bool TransmitChar(uint8_t byte) override {
    ssize_t r;
    do {
      r = write(fd_, &byte, 1);
    } while (r < 0 && errno == EINTR);
    return r == 1;
  }

  int Read(uint8_t* buf, int max) override {
    std::lock_guard<std::mutex> g(rxMutex_);
    if (!Pump(nullptr) && pending_.empty()) return -1;
    int n = 0;
    while (n < max && !pending_.empty()) {
      buf[n++] = pending_.front();
      pending_.pop_front();
    }
    return n;
  }

 private:
  bool ModemBit(int bit, bool on) { return ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0; }

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

  int fd_;
  int cancelFd_;
  std::atomic<bool> cancelled_{false};
  std::mutex rxMutex_;
  MarkDecoder decoder_;
  std::vector<uint8_t> decoded_;
  std::deque<uint8_t> pending_;
};

}  // namespace

int OpenPlatformPort(const std::string& name, std::unique_ptr<SerialPort>* port) {
  std::string path = DevicePathFor(name);
  if (path.empty()) return -2;
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -2;
  // TIOCEXCL does not stop root, and CI runs as root: flock does.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -2;
  }
  ioctl(fd, TIOCEXCL);
  int cancelFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (cancelFd < 0) {
    close(fd);
    return -2;
  }
  port->reset(new PosixPort(fd, cancelFd));
  return 0;
}

}  // namespace plat

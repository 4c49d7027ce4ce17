// The FTDI chip behind a /dev/ttyUSBn, reached through libftdi1 (loaded when
// first needed, never linked) with the kernel's serial driver detached for as
// long as the port is open and bound again when it closes, so that the tty
// comes back.
#include <dlfcn.h>
#include <fcntl.h>
#include <libftdi1/ftdi.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <vector>

#include "platform/byte_queue.h"
#include "platform/clock.h"
#include "platform/clocked_lines.h"
#include "platform/device_path_posix.h"
#include "platform/ftdi_chips.h"
#include "platform/ftdi_port.h"
#include "platform/port_problem.h"
#include "platform/uucp_lock_posix.h"

namespace plat {
namespace {

// The udev rule the package installs for these chips (see dist/).
constexpr char kUdevRule[] = "/usr/lib/udev/rules.d/60-orvalo-programmer-ftdi.rules";
constexpr char kOperatorsGroup[] = "dialout";

// The first bytes of each bulk-in packet: modem status, line status.
constexpr int kPacket = 64;
constexpr uint8_t kModemCts = 0x10;
constexpr uint8_t kLineBreak = 0x10;
constexpr int kUsbTimeoutMs = 1000;
// Latency timer: a short packet waits at most this long in the chip.
constexpr unsigned char kLatencyMs = 1;

// The libftdi1 calls used, looked up once.
struct Ftdi {
  bool loaded = false;
  std::string error;
  decltype(&ftdi_new) New;
  decltype(&ftdi_free) Free;
  decltype(&ftdi_usb_open_bus_addr) OpenBusAddr;
  decltype(&ftdi_usb_close) Close;
  decltype(&ftdi_get_error_string) ErrorString;
  decltype(&ftdi_set_baudrate) SetBaudrate;
  decltype(&ftdi_set_line_property2) SetLineProperty;
  decltype(&ftdi_setflowctrl) SetFlowCtrl;
  decltype(&ftdi_setdtr_rts) SetDtrRts;
  decltype(&ftdi_poll_modem_status) PollModemStatus;
  decltype(&ftdi_set_latency_timer) SetLatency;
  decltype(&ftdi_set_bitmode) SetBitmode;
  decltype(&ftdi_write_data) Write;
  decltype(&ftdi_tcioflush) Purge;
  // The library's own libusb, for bulk-in packets with their status bytes,
  // which libftdi's reads strip.
  int (*BulkTransfer)(libusb_device_handle*, unsigned char, unsigned char*, int, int*, unsigned int);
  // Transfers in flight together; without them each piece goes out and comes
  // back on its own.
  bool overlapped = false;
  decltype(&ftdi_read_data_submit) ReadSubmit;
  decltype(&ftdi_write_data_submit) WriteSubmit;
  decltype(&ftdi_transfer_data_done) Done;
  decltype(&ftdi_transfer_data_cancel) Cancel;
  int (*HandleEvents)(libusb_context*, struct timeval*, int*);
};

template <typename F>
bool Find(void* lib, const char* name, F* f) {
  *f = reinterpret_cast<F>(dlsym(lib, name));
  return *f != nullptr;
}

const Ftdi& Library() {
  static std::once_flag once;
  static Ftdi f;
  std::call_once(once, [] {
    void* lib = dlopen("libftdi1.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      const char* e = dlerror();
      f.error = e ? e : "libftdi1.so.2 not found";
      return;
    }
    f.loaded = Find(lib, "ftdi_new", &f.New) && Find(lib, "ftdi_free", &f.Free) &&
               Find(lib, "ftdi_usb_open_bus_addr", &f.OpenBusAddr) && Find(lib, "ftdi_usb_close", &f.Close) &&
               Find(lib, "ftdi_get_error_string", &f.ErrorString) &&
               Find(lib, "ftdi_set_baudrate", &f.SetBaudrate) &&
               Find(lib, "ftdi_set_line_property2", &f.SetLineProperty) &&
               Find(lib, "ftdi_setflowctrl", &f.SetFlowCtrl) && Find(lib, "ftdi_setdtr_rts", &f.SetDtrRts) &&
               Find(lib, "ftdi_poll_modem_status", &f.PollModemStatus) &&
               Find(lib, "ftdi_set_latency_timer", &f.SetLatency) && Find(lib, "ftdi_set_bitmode", &f.SetBitmode) &&
               Find(lib, "ftdi_write_data", &f.Write) && Find(lib, "ftdi_tcioflush", &f.Purge) &&
               Find(lib, "libusb_bulk_transfer", &f.BulkTransfer);
    if (!f.loaded) f.error = "libftdi1.so.2 lacks a function this program uses";
    f.overlapped = f.loaded && Find(lib, "ftdi_read_data_submit", &f.ReadSubmit) &&
                   Find(lib, "ftdi_write_data_submit", &f.WriteSubmit) &&
                   Find(lib, "ftdi_transfer_data_done", &f.Done) && Find(lib, "ftdi_transfer_data_cancel", &f.Cancel) &&
                   Find(lib, "libusb_handle_events_timeout_completed", &f.HandleEvents);
  });
  return f;
}

std::string ReadLine(const std::string& path) {
  std::ifstream in(path);
  std::string s;
  std::getline(in, s);
  return s;
}

std::string Resolved(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

// The USB device behind a tty, from sysfs: the tty's device link leads to the
// interface, and some directory above it holds the device's attributes.
struct UsbPlace {
  int bus = 0, address = 0;
  unsigned vendor = 0, product = 0;
  std::string name;  // the product string
};

bool FindUsbDevice(const std::string& tty, UsbPlace* place) {
  const char* root = std::getenv("ORVALO_SYSFS_ROOT");
  std::string sys = root && *root ? root : "/sys";
  std::string rootReal = Resolved(sys);
  std::string dir = Resolved(sys + "/class/tty/" + tty + "/device");
  while (dir.size() > rootReal.size() && dir.compare(0, rootReal.size(), rootReal) == 0) {
    std::string bus = ReadLine(dir + "/busnum"), dev = ReadLine(dir + "/devnum");
    if (!bus.empty() && !dev.empty()) {
      place->bus = std::atoi(bus.c_str());
      place->address = std::atoi(dev.c_str());
      place->vendor = unsigned(std::strtoul(ReadLine(dir + "/idVendor").c_str(), nullptr, 16));
      place->product = unsigned(std::strtoul(ReadLine(dir + "/idProduct").c_str(), nullptr, 16));
      place->name = ReadLine(dir + "/product");
      return true;
    }
    dir.erase(dir.rfind('/'));
  }
  return false;
}

class FtdiPort : public SerialPort, public ClockedLines {
 public:
  FtdiPort(const Ftdi& f, ftdi_context* ctx, std::string lockPath, bool ftx)
      : f_(f), ctx_(ctx), lockPath_(std::move(lockPath)), ftx_(ftx) {}

  // As the other ports close: the break ends, then DTR drops, then RTS. The
  // interface is released, which gives the tty back to the kernel's driver.
  ~FtdiPort() override {
    if (clocked_) Leave();
    SetBreak(false);
    SetDtr(false);
    SetRts(false);
    f_.Close(ctx_);
    f_.Free(ctx_);
    ReleaseUucpLock(lockPath_);
  }

  bool SetupQueues(unsigned, unsigned) override { return true; }

  bool ConfigureLine() override {
    if (f_.SetBaudrate(ctx_, 115200) != 0 || f_.SetFlowCtrl(ctx_, SIO_DISABLE_FLOW_CTRL) != 0 ||
        f_.SetLatency(ctx_, kLatencyMs) != 0 || !SetBreak(false))
      return false;
    return SetDtr(true) && SetRts(true);
  }

  bool SetReadsImmediate() override { return true; }

  bool SetDtr(bool on) override {
    dtr_ = on;
    return f_.SetDtrRts(ctx_, dtr_, rts_) == 0;
  }
  bool SetRts(bool on) override {
    rts_ = on;
    return f_.SetDtrRts(ctx_, dtr_, rts_) == 0;
  }
  bool SetBreak(bool on) override {
    brk_ = on;
    return f_.SetLineProperty(ctx_, BITS_8, STOP_BIT_1, NONE, on ? BREAK_ON : BREAK_OFF) == 0;
  }

  bool GetCts(bool* asserted) override {
    unsigned short status = 0;
    if (f_.PollModemStatus(ctx_, &status) != 0) return false;
    *asserted = (status & kModemCts) != 0;
    return true;
  }

  bool ArmBreakWait() override { return Pump(nullptr); }

  // Every read waits for the chip's latency timer, so the loop polls the USB
  // about once a millisecond and notices a cancel as quickly.
  int WaitBreak() override {
    while (true) {
      if (cancelled_.load()) return -1;
      int breaks = 0;
      if (!Pump(&breaks)) return 0;
      if (breaks > 0) return 1;
    }
  }

  void CancelWait() override { cancelled_.store(true); }
  void ResetCancel() override { cancelled_.store(false); }

  bool TransmitChar(uint8_t byte) override { return f_.Write(ctx_, &byte, 1) == 1; }

  int Read(uint8_t* buf, int max) override {
    if (!Pump(nullptr) && pending_.empty()) return -1;
    return int(TakeQueued(&pending_, buf, size_t(max)));
  }

  ClockedLines* Clocked() override { return ClockedLinesAllowed() ? this : nullptr; }

  // Entering the mode puts the bit-bang output latch on the pins at once. The
  // latch holds the last state clocked (0 after the open's reset), so when it
  // differs from the levels the UART left, it is loaded first with only the
  // pins it already agrees with driven; the others float high, which is the
  // level a deasserted line or a clear break has. Only a pin the UART holds
  // low whose latch bit is high cannot be kept: the link leaves every strobe
  // with RTS asserted and the serial-number exchange moves no modem line, so
  // that pin is never RTS, and the reset latch sees no edge.
  bool Enter() override {
    pending_.clear();
    if (f_.Purge(ctx_) != 0) return false;
    uint8_t levels = UartLevels();
    if ((levels ^ latch_) & kDrivenPins) {
      uint8_t agree = uint8_t(kDrivenPins & ~(levels ^ latch_));
      if (f_.SetBitmode(ctx_, agree, BITMODE_SYNCBB) != 0) return false;
      clocked_ = true;
      uint8_t sample;
      if (!Transfer(&levels, 1, &sample)) return false;
    }
    if (f_.SetBitmode(ctx_, kDrivenPins, BITMODE_SYNCBB) != 0) return false;
    clocked_ = true;
    // libftdi programs four times the rate asked for once bit-bang is on.
    return f_.SetBaudrate(ctx_, int(ftdi::kClockRate / 4)) == 0 && f_.SetLatency(ctx_, kLatencyMs) == 0 &&
           f_.Purge(ctx_) == 0;
  }

  // The chip reads the pins just before it puts out each state, so each
  // sample shows the lines as the state before it left them.
  bool Clock(const uint8_t* states, size_t n, uint8_t* samples) override {
    std::vector<uint8_t> out(states, states + n);
    for (uint8_t& b : out) b = uint8_t(b | ~kDrivenPins);
    return Transfer(out.data(), n, samples);
  }

  // The UART registers take the last clocked levels while the pins are still
  // the latch's, so leaving the mode moves no line.
  bool Leave() override {
    if (!clocked_) return true;
    dtr_ = !(latch_ & kPinDtr);
    rts_ = !(latch_ & kPinRts);
    brk_ = !(latch_ & kPinTxd);
    if (f_.SetDtrRts(ctx_, dtr_, rts_) != 0 ||
        f_.SetLineProperty(ctx_, BITS_8, STOP_BIT_1, NONE, brk_ ? BREAK_ON : BREAK_OFF) != 0 ||
        f_.SetBitmode(ctx_, 0, BITMODE_RESET) != 0)
      return false;
    clocked_ = false;
    pending_.clear();
    return f_.SetBaudrate(ctx_, 115200) == 0 && f_.Purge(ctx_) == 0;
  }

  unsigned Rate() const override { return ftdi::kClockRate; }

 private:
  uint8_t UartLevels() const {
    return uint8_t((brk_ ? 0 : kPinTxd) | (rts_ ? 0 : kPinRts) | (dtr_ ? 0 : kPinDtr));
  }

  // Clocks n bytes and collects their samples.
  bool Transfer(const uint8_t* out, size_t n, uint8_t* in) {
    if (f_.overlapped) return Overlapped(out, n, in);
    return InPieces(out, n, in);
  }

  // The read is in flight before the first state goes out and drains the
  // samples while the write goes on, so the chip never runs out of room to
  // clock and the whole of it costs one round trip, whatever its length. A
  // chip that stops answering is given up (both transfers cancelled) as a
  // failed transfer.
  bool Overlapped(const uint8_t* out, size_t n, uint8_t* in) {
    ftdi_transfer_control* rd = f_.ReadSubmit(ctx_, in, int(n));
    if (!rd) return false;
    ftdi_transfer_control* wr = f_.WriteSubmit(ctx_, const_cast<uint8_t*>(out), int(n));
    struct timeval tick = {0, 1000};
    int64_t giveUpUs = NowUs() + int64_t(kUsbTimeoutMs) * 1000;
    while (wr && (!rd->completed || !wr->completed) && NowUs() < giveUpUs)
      f_.HandleEvents(ctx_->usb_ctx, &tick, wr->completed ? &rd->completed : &wr->completed);
    int wrote = -1, read = -1;
    if (wr && wr->completed)
      wrote = f_.Done(wr);
    else if (wr)
      f_.Cancel(wr, &tick);
    if (rd->completed)
      read = f_.Done(rd);
    else
      f_.Cancel(rd, &tick);
    latch_ = out[n - 1];
    return wrote == int(n) && read == int(n);
  }

  // A piece at a time, each one the chip's buffers hold whole, so that a
  // write never waits for room to clock while no read is in flight.
  bool InPieces(const uint8_t* out, size_t n, uint8_t* in) {
    const size_t piece = ftx_ ? ftdi::kPieceFtX : ftdi::kPieceFt232r;
    for (size_t done = 0; done < n;) {
      size_t k = std::min(piece, n - done);
      if (f_.Write(ctx_, out + done, int(k)) != int(k)) return false;
      latch_ = out[done + k - 1];
      for (size_t got = 0; got < k;) {
        size_t before = pending_.size();
        if (!Pump(nullptr)) return false;
        if (pending_.size() == before && ++idleReads_ > kMaxIdleReads) return false;
        got += TakeQueued(&pending_, in + done + got, k - got);
      }
      idleReads_ = 0;
      done += k;
    }
    return true;
  }

  // One bulk-in transfer: the data of each packet into pending_, and in UART
  // mode a break, which the chip reports as a 0x00 opening a packet whose
  // line status has BI set, counted instead.
  bool Pump(int* breaks) {
    unsigned char buf[kPacket * 8];
    int got = 0;
    if (f_.BulkTransfer(ctx_->usb_dev, (unsigned char)ctx_->out_ep, buf, int(sizeof buf), &got, kUsbTimeoutMs) < 0)
      return false;
    int size = ctx_->max_packet_size > 2 ? int(ctx_->max_packet_size) : kPacket;
    for (int at = 0; at < got; at += size) {
      int end = std::min(got, at + size);
      int data = at + 2;
      if (!clocked_ && data < end && (buf[at + 1] & kLineBreak) && buf[data] == 0x00) {
        ++data;
        if (breaks) ++*breaks;
      }
      pending_.insert(pending_.end(), buf + std::min(data, end), buf + end);
    }
    return true;
  }

  // A chip that returns no sample for this many reads in a row is taken for
  // dead: each read lasts at least the latency timer.
  static constexpr int kMaxIdleReads = 1000;

  const Ftdi& f_;
  ftdi_context* ctx_;
  std::string lockPath_;
  bool ftx_;
  bool dtr_ = false, rts_ = false, brk_ = false;
  bool clocked_ = false;
  uint8_t latch_ = 0;  // the open's reset clears it
  int idleReads_ = 0;
  std::atomic<bool> cancelled_{false};
  std::deque<uint8_t> pending_;
};

bool TtyHeldElsewhere(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == EBUSY;
  int exclusive = 0;
  bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 || (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive);
  close(fd);
  return held;
}

std::string Node(const UsbPlace& p) {
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", p.bus, p.address);
  return node;
}

}  // namespace

FtdiOpen OpenFtdiPort(const std::string& name, std::unique_ptr<SerialPort>* port, std::string* why) {
  std::string path = DevicePathFor(name);
  if (path.empty()) return FtdiOpen::kNotAChip;
  std::string device = Resolved(path);
  std::string tty = device.substr(device.rfind('/') + 1);
  UsbPlace place;
  if (tty.empty() || !FindUsbDevice(tty, &place)) return FtdiOpen::kNotAChip;
  if (place.vendor != ftdi::kVendor || (place.product != ftdi::kProductFt232r && place.product != ftdi::kProductFtX))
    return FtdiOpen::kNotAChip;
  std::string chip = "the FTDI chip behind " + path;
  if (place.name.find("FT230X") != std::string::npos) {
    *why = "the FT230X behind " + path + " has no DTR pin to clock";
    return FtdiOpen::kUnusable;
  }
  const Ftdi& f = Library();
  if (!f.loaded) {
    *why = chip + " needs libftdi1 (" + f.error + ")";
    return FtdiOpen::kUnusable;
  }
  // Detaching the kernel's driver takes the tty from whoever has it open, so
  // a tty another program holds (its lock file, our flock, TIOCEXCL) is left
  // to the plain open, which refuses it and says who holds it.
  std::string lockPath;
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
    if (TakeUucpLock(path, &lockPath) != 0) return FtdiOpen::kNotAChip;
    if (TtyHeldElsewhere(path)) {
      ReleaseUucpLock(lockPath);
      return FtdiOpen::kNotAChip;
    }
  }
  ftdi_context* ctx = f.New();
  if (!ctx) {
    ReleaseUucpLock(lockPath);
    *why = chip + ": libftdi1 cannot start";
    return FtdiOpen::kUnusable;
  }
  ctx->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
  int r = f.OpenBusAddr(ctx, uint8_t(place.bus), uint8_t(place.address));
  if (r != 0) {
    std::string error = f.ErrorString(ctx);
    f.Free(ctx);
    ReleaseUucpLock(lockPath);
    // libusb_open fails (-4) where the node may not be opened; a detach
    // refused for the same reason gives -8.
    if (r == -4 || r == -8)
      *why = "no access to " + Node(place) + " (" + chip + "): the udev rule " + kUdevRule + " gives the " +
             kOperatorsGroup + " group access";
    else
      *why = chip + " cannot be opened through libftdi1: " + error;
    return FtdiOpen::kUnusable;
  }
  bool ftx = ctx->type == TYPE_230X;
  port->reset(new FtdiPort(f, ctx, lockPath, ftx));
  NotePortProblem(name, PortNote{PortProblem::kNone, path, 0});
  return FtdiOpen::kOpened;
}

}  // namespace plat

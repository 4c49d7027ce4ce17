#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "sim/device.h"
#include "sim/sim.h"

namespace sim {
namespace {

struct World {
  std::mutex m;
  Config config;
  std::unique_ptr<SimDevice> device;
  bool open[3] = {false, false, false};
  int maxOpen = 0;
};

World& W() {
  static World w;
  return w;
}

// One end of the simulated cable. A port without the device on it has every
// line unconnected: CTS is never asserted and nothing is ever received.
class SimPort : public plat::SerialPort {
 public:
  SimPort(std::string name, SimDevice* device, bool connected, int holdWaitMs, int lineOpUs)
      : name_(std::move(name)),
        device_(device),
        connected_(connected),
        holdUs_(int64_t(holdWaitMs) * 1000),
        lineOpUs_(lineOpUs) {}
  // The close as Windows' serial driver performs it: the break ends, then
  // DTR drops, then RTS. Lines that only fall latch nothing, so a closed port
  // leaves the device at the level the cycle last gave it.
  ~SimPort() override {
    if (connected_) {
      device_->SetBreak(false);
      device_->SetDtr(false);
      device_->SetRts(false);
    }
    device_->HostClosed(name_);
    std::lock_guard<std::mutex> g(W().m);
    W().open[PortIndex(name_)] = false;
  }

  bool SetupQueues(unsigned, unsigned) override { return true; }
  bool ConfigureLine() override {
    if (device_->RefuseSettings(name_)) return false;
    SetDtr(true);
    SetRts(true);
    return true;
  }
  bool SetReadsImmediate() override { return true; }

  bool SetDtr(bool on) override {
    RoundTrip();
    if (connected_) device_->SetDtr(on);
    return true;
  }
  bool SetRts(bool on) override {
    RoundTrip();
    if (connected_) device_->SetRts(on);
    return true;
  }
  bool SetBreak(bool on) override {
    RoundTrip();
    if (connected_) device_->SetBreak(on);
    return true;
  }
  bool GetCts(bool* asserted) override {
    RoundTrip();
    *asserted = connected_ ? device_->Cts() : false;
    return true;
  }

  bool ArmBreakWait() override {
    Pump(nullptr);
    return true;
  }

  int WaitBreak() override {
    while (true) {
      if (cancelled_.load()) {
        plat::WaitUntil(cancelledAt_.load() + holdUs_, nullptr);
        return -1;
      }
      bool gotBreak = false;
      Pump(&gotBreak);
      if (gotBreak) return 1;
      int64_t next = connected_ ? device_->NextEventTime() : plat::kForever;
      plat::WaitUntil(next, [this] { return cancelled_.load(); });
    }
  }

  void CancelWait() override {
    cancelledAt_.store(plat::NowUs());
    cancelled_.store(true);
    plat::Notify();
  }
  void ResetCancel() override { cancelled_.store(false); }

  bool TransmitChar(uint8_t byte) override {
    if (connected_) device_->HostTransmit(byte);
    return true;
  }

  int Read(uint8_t* buf, int max) override {
    Pump(nullptr);
    std::lock_guard<std::mutex> g(m_);
    int n = 0;
    while (n < max && !pending_.empty()) {
      buf[n++] = pending_.front();
      pending_.pop_front();
    }
    return n;
  }

 private:
  // A slow adapter's line operation: the request reaches the cable only when
  // its round trip ends. Not a pause of the cycle's own, so not observed as one.
  void RoundTrip() {
    if (lineOpUs_ > 0) plat::WaitUntil(plat::NowUs() + lineOpUs_, nullptr);
  }

  // Moves what has arrived by now into the receive queue. Breaks are reported
  // through *gotBreak, or dropped when nobody waits for them.
  void Pump(bool* gotBreak) {
    if (!connected_) return;
    std::vector<RxEvent> events = device_->TakeRx(plat::NowUs());
    std::lock_guard<std::mutex> g(m_);
    for (const RxEvent& e : events) {
      if (e.isBreak) {
        if (gotBreak) *gotBreak = true;
      } else {
        pending_.push_back(e.byte);
      }
    }
  }

  std::string name_;
  SimDevice* device_;
  bool connected_;
  int64_t holdUs_;
  int lineOpUs_;
  std::atomic<bool> cancelled_{false};
  std::atomic<int64_t> cancelledAt_{0};
  std::mutex m_;
  std::deque<uint8_t> pending_;
};

int OpenSimPort(const std::string& name, std::unique_ptr<plat::SerialPort>* port) {
  World& w = W();
  int idx = PortIndex(name);
  SimDevice* device;
  int holdWaitMs, lineOpUs;
  {
    std::lock_guard<std::mutex> g(w.m);
    if (!idx || !w.device || w.config.absent[idx] || w.open[idx]) return -2;
    w.open[idx] = true;
    int now = int(w.open[1]) + int(w.open[2]);
    if (now > w.maxOpen) w.maxOpen = now;
    device = w.device.get();
    holdWaitMs = w.config.holdWaitMs;
    lineOpUs = w.config.lineOpUs;
  }
  device->HostOpened(name);
  port->reset(new SimPort(name, device, device->Connected(name), holdWaitMs, lineOpUs));
  return 0;
}

}  // namespace

std::string Install(const std::string& text) {
  Config config;
  std::string err = ParseConfig(text, &config);
  if (!err.empty()) return err;
  Uninstall();
  plat::UseVirtualClock(config.virtualTime);
  auto device = std::make_unique<SimDevice>(config);
  err = device->Attach();
  if (!err.empty()) {
    plat::UseVirtualClock(false);
    return err;
  }
  {
    std::lock_guard<std::mutex> g(W().m);
    W().config = config;
    W().device = std::move(device);
    W().maxOpen = 0;
  }
  plat::SetPortOpener(OpenSimPort);
  return std::string();
}

const char kSimulatorOnNotice[] =
    "ORVALO_SIM is set: this run uses the simulated device, not the serial ports.";

int InstallFromEnvironment(std::string* error) {
  const char* text = std::getenv("ORVALO_SIM");
  if (!text) return kSimOff;
  std::string err = Install(text);
  if (!err.empty()) {
    if (error) *error = err;
    return kSimBadConfig;
  }
  return kSimOn;
}

void Uninstall() {
  plat::SetPortOpener(nullptr);
  std::unique_ptr<SimDevice> old;
  {
    std::lock_guard<std::mutex> g(W().m);
    old = std::move(W().device);
    W().open[1] = W().open[2] = false;
  }
  if (old) old->Save();
}

bool Installed() {
  std::lock_guard<std::mutex> g(W().m);
  return W().device != nullptr;
}

int MaxPortsOpenAtOnce() {
  std::lock_guard<std::mutex> g(W().m);
  return W().maxOpen;
}

Device* TheDevice() {
  std::lock_guard<std::mutex> g(W().m);
  return W().device.get();
}

}  // namespace sim

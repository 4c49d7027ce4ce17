// A full 8 KiB image with Verify on the simulated device and the virtual
// clock, with a modelled USB round trip of 1 ms: through an adapter whose
// every line operation is a round trip (a few hundred bytes measured, the
// image extrapolated), through an adapter whose chip clocks the lines (the
// default cycle and --fast), and through a UART on the bus for reference.
// Prints the table the README's hardware section shows.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/process_setup.h"
#include "app/settings_store.h"
#include "cycle/programming_cycle.h"
#include "image/firmware_file.h"
#include "isp/fast_mode.h"
#include "platform/clock.h"
#include "platform/memory_file.h"
#include "sim/sim.h"
#include "support/silent_dialog.h"

namespace {

constexpr int64_t kRoundTripUs = 1000;
constexpr int kImageEnd = 0x1FE8;  // everything below the serial-number record

class QuietDialog : public SilentDialog {
 public:
  QuietDialog() { verify = true; }
  void SetStatusText(const char* text) override { last = text; }
  std::string last;
};

// An adapter without a clocked mode: every line change and status read is
// one USB round trip.
class RoundTripLines : public plat::SerialPort {
 public:
  explicit RoundTripLines(std::unique_ptr<plat::SerialPort> inner) : inner_(std::move(inner)) {}
  bool SetupQueues(unsigned i, unsigned o) override { return inner_->SetupQueues(i, o); }
  bool ConfigureLine() override { return inner_->ConfigureLine(); }
  bool SetReadsImmediate() override { return inner_->SetReadsImmediate(); }
  bool SetDtr(bool on) override { return Trip(), inner_->SetDtr(on); }
  bool SetRts(bool on) override { return Trip(), inner_->SetRts(on); }
  bool SetBreak(bool on) override { return Trip(), inner_->SetBreak(on); }
  bool GetCts(bool* on) override { return Trip(), inner_->GetCts(on); }
  bool ArmBreakWait() override { return inner_->ArmBreakWait(); }
  int WaitBreak() override { return inner_->WaitBreak(); }
  void CancelWait() override { inner_->CancelWait(); }
  void ResetCancel() override { inner_->ResetCancel(); }
  bool TransmitChar(uint8_t b) override { return inner_->TransmitChar(b); }
  int Read(uint8_t* buf, int max) override { return inner_->Read(buf, max); }

 private:
  static void Trip() { plat::WaitUntil(plat::NowUs() + kRoundTripUs, nullptr); }
  std::unique_ptr<plat::SerialPort> inner_;
};

std::string Image(int end) {
  std::string text;
  char buf[80];
  for (int a = 0; a < end; a += 16) {
    int n = std::min(16, end - a);
    int sum = n + (a >> 8) + (a & 0xFF);
    std::snprintf(buf, sizeof buf, ":%02X%04X00", n, a);
    text += buf;
    for (int i = 0; i < n; ++i) {
      int b = (a + i) * 37 % 255;  // never 0xFF
      sum += b;
      std::snprintf(buf, sizeof buf, "%02X", b);
      text += buf;
    }
    std::snprintf(buf, sizeof buf, "%02X\r\n", (-sum) & 0xFF);
    text += buf;
  }
  return text + ":00000001FF\r\n";
}

struct Figures {
  std::string final;
  double seconds = 0;
  long chipCalls = 0;
};

Figures RunCycle(const std::string& sim, int imageEnd, bool fast, bool roundTripLines) {
  Figures f;
  std::string err = sim::Install("time=virtual,serial=BENCH00000000000000001," + sim);
  if (!err.empty()) {
    f.final = err;
    return f;
  }
  if (roundTripLines) {
    plat::PortOpener inner = plat::CurrentPortOpener();
    plat::SetPortOpener([inner](const std::string& name, std::unique_ptr<plat::SerialPort>* port) {
      int r = inner(name, port);
      if (r == 0) port->reset(new RoundTripLines(std::move(*port)));
      return r;
    });
  }
  std::string text = Image(imageEnd);
  g_recordCount = int32_t(std::count(text.begin(), text.end(), ':'));
  g_hFirmware.reset(new plat::MemoryFile(std::vector<uint8_t>(text.begin(), text.end())));
  SetFastMode(fast);
  QuietDialog dialog;
  int64_t t0 = plat::NowUs();
  OnStart(&dialog);
  JoinCycleThread();
  f.seconds = double(plat::NowUs() - t0) / 1e6;
  f.chipCalls = sim::ChipCalls();
  f.final = dialog.last;
  SetFastMode(false);
  sim::Uninstall();
  return f;
}

}  // namespace

int main() {
  std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/orvalo-bench-usb";
  std::string mk = "mkdir -p '" + dir + "'";
  if (std::system(mk.c_str()) != 0) return 1;
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  SetProfileName("orvalo-programmer.INI");
  BeginProgrammerProcess();

  const char ok[] = "Programming Completed Successfully.";
  bool allOk = true;
  auto row = [&](const char* what, const Figures& f, double seconds, double uart) {
    allOk = allOk && f.final == ok;
    std::printf("| %-52s | %8.1f s | %5.2f x |%s\n", what, seconds, uart > 0 ? seconds / uart : 1.0,
                f.final == ok ? "" : (" " + f.final).c_str());
  };
  std::string rtt = "ftdi=" + std::to_string(kRoundTripUs);
  Figures uart = RunCycle("", kImageEnd, false, false);
  Figures uartFast = RunCycle("", kImageEnd, true, false);
  Figures chip = RunCycle(rtt, kImageEnd, false, false);
  Figures chipFast = RunCycle(rtt, kImageEnd, true, false);
  // One round trip per operation: two images a few hundred bytes apart give
  // the cost of a byte and of everything else.
  const int small = 64, large = 384;
  Figures opsSmall = RunCycle("", small, false, true), opsLarge = RunCycle("", large, false, true);
  Figures opsFastSmall = RunCycle("", small, true, true), opsFastLarge = RunCycle("", large, true, true);
  auto extrapolate = [&](const Figures& a, const Figures& b) {
    double perByte = (b.seconds - a.seconds) / (large - small);
    return a.seconds + perByte * (kImageEnd - small);
  };
  std::printf("8 KiB image (0x0000-0x1FE7) with Verify, USB round trip %lld us, virtual clock\n\n",
              (long long)kRoundTripUs);
  std::printf("| %-52s | %10s | %7s |\n", "path", "time", "/ UART");
  std::printf("|%s|%s|%s|\n", std::string(54, '-').c_str(), std::string(12, '-').c_str(), std::string(9, '-').c_str());
  row("UART on the bus (reference)", uart, uart.seconds, uart.seconds);
  row("UART on the bus, --fast", uartFast, uartFast.seconds, uart.seconds);
  row("line operations, 1 round trip each (extrapolated)", opsLarge, extrapolate(opsSmall, opsLarge), uart.seconds);
  row("line operations, --fast (extrapolated)", opsFastLarge, extrapolate(opsFastSmall, opsFastLarge), uart.seconds);
  row("chip clocks the lines, default cycle", chip, chip.seconds, uart.seconds);
  row("chip clocks the lines, --fast", chipFast, chipFast.seconds, uart.seconds);
  std::printf("\nchip calls: default %ld, --fast %ld\n", chip.chipCalls, chipFast.chipCalls);
  EndProgrammerProcess();
  return allOk ? 0 : 1;
}

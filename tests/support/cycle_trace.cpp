#include "support/cycle_trace.h"

#include <cstdio>
#include <sstream>

#include "platform/clock.h"
#include "state/shared_state.h"

namespace {

struct Recorder {
  std::mutex m;
  std::vector<TraceStep> steps;
  plat::PortOpener inner;
};

Recorder& R() {
  static Recorder r;
  return r;
}

void Record(TraceOp op, int value, std::string text = std::string()) {
  TraceStep s{op};
  s.value = value;
  s.text = std::move(text);
  cycle_trace::Add(std::move(s));
}

void RecordDialog(TraceOp op, int value, std::string text = std::string()) {
  TraceStep s{op};
  s.value = value;
  s.text = std::move(text);
  s.red = g_statusError.load() != 0;
  s.busy = g_cycleBusy.load() != 0;
  cycle_trace::Add(std::move(s));
}

void OnSleep(unsigned ms) {
  if (ms == 0)
    Record(TraceOp::kYield, 0);
  else
    Record(TraceOp::kPause, int(ms));
}

class TracingPort : public plat::SerialPort {
 public:
  TracingPort(std::string name, std::unique_ptr<plat::SerialPort> inner)
      : name_(std::move(name)), inner_(std::move(inner)) {}
  ~TracingPort() override {
    inner_.reset();
    Record(TraceOp::kClose, 0, name_);
  }
  bool SetupQueues(unsigned in, unsigned out) override {
    bool ok = inner_->SetupQueues(in, out);
    Record(TraceOp::kSetup, ok);
    return ok;
  }
  bool ConfigureLine() override {
    bool ok = inner_->ConfigureLine();
    Record(TraceOp::kConfigure, ok);
    return ok;
  }
  bool SetReadsImmediate() override {
    bool ok = inner_->SetReadsImmediate();
    Record(TraceOp::kImmediate, ok);
    return ok;
  }
  bool SetDtr(bool on) override {
    Record(TraceOp::kDtr, on);
    return inner_->SetDtr(on);
  }
  bool SetRts(bool on) override {
    Record(TraceOp::kRts, on);
    return inner_->SetRts(on);
  }
  bool SetBreak(bool on) override {
    Record(TraceOp::kBreak, on);
    return inner_->SetBreak(on);
  }
  bool GetCts(bool* asserted) override {
    bool ok = inner_->GetCts(asserted);
    Record(TraceOp::kCts, ok && *asserted);
    return ok;
  }
  bool ArmBreakWait() override {
    Record(TraceOp::kArm, 0);
    return inner_->ArmBreakWait();
  }
  int WaitBreak() override {
    int r = inner_->WaitBreak();
    Record(TraceOp::kWait, r);
    return r;
  }
  void CancelWait() override { inner_->CancelWait(); }
  void ResetCancel() override { inner_->ResetCancel(); }
  bool TransmitChar(uint8_t byte) override {
    Record(TraceOp::kTx, byte);
    return inner_->TransmitChar(byte);
  }
  int Read(uint8_t* buf, int max) override {
    int n = inner_->Read(buf, max);
    Record(TraceOp::kRead, n);
    return n;
  }

 private:
  std::string name_;
  std::unique_ptr<plat::SerialPort> inner_;
};

const char* OpName(TraceOp op) {
  switch (op) {
    case TraceOp::kOpen: return "open";
    case TraceOp::kSetup: return "setup-queues";
    case TraceOp::kConfigure: return "configure";
    case TraceOp::kImmediate: return "reads-immediate";
    case TraceOp::kClose: return "close";
    case TraceOp::kDtr: return "DTR";
    case TraceOp::kRts: return "RTS";
    case TraceOp::kBreak: return "break";
    case TraceOp::kCts: return "CTS-read";
    case TraceOp::kArm: return "arm-break-wait";
    case TraceOp::kWait: return "break-wait-ended";
    case TraceOp::kTx: return "transmit";
    case TraceOp::kRead: return "read";
    case TraceOp::kPause: return "pause";
    case TraceOp::kYield: return "yield";
    case TraceOp::kStatus: return "status";
    case TraceOp::kSerialBox: return "serial-box";
    case TraceOp::kStartButton: return "start-enabled";
    case TraceOp::kVerifyBox: return "verify-enabled";
    case TraceOp::kVerifyRead: return "verify-read";
    case TraceOp::kRepaint: return "repaint";
    case TraceOp::kCursor: return "wait-cursor";
    case TraceOp::kGap: return "gap";
  }
  return "?";
}

bool IsDialog(TraceOp op) { return op >= TraceOp::kStatus; }

bool SameStep(const TraceStep& e, const TraceStep& a) {
  if (e.op != a.op || e.text != a.text) return false;
  if (!e.anyValue && e.value != a.value) return false;
  // A repaint draws the status line in the colour the error flag has then.
  bool colour = e.op == TraceOp::kStatus || e.op == TraceOp::kRepaint;
  if (IsDialog(e.op) && (e.busy != a.busy || (colour && e.red != a.red))) return false;
  return true;
}

void Expand(const TraceBlock& block, int delayCount, std::vector<TraceStep>* out) {
  for (const TraceItem& item : block) {
    switch (item.kind) {
      case TraceItem::kStep:
        out->push_back(item.step);
        break;
      case TraceItem::kUnit:
        for (int i = 0; i <= delayCount; ++i) out->push_back(TraceStep{TraceOp::kYield});
        break;
      case TraceItem::kByte:
        // Per bit, most significant first: the answer is sampled, then the
        // data bit goes out inverted on DTR, then one clock pulse.
        for (int bit = 7; bit >= 0; --bit) {
          Expand({expect::Unit()}, delayCount, out);
          TraceStep cts{TraceOp::kCts};
          cts.anyValue = true;
          out->push_back(cts);
          Expand({expect::Dtr((item.arg >> bit) & 1 ? 0 : 1), expect::Brk(0), expect::Unit(), expect::Brk(1)},
                 delayCount, out);
        }
        break;
      case TraceItem::kStrobe:
        Expand({expect::Dtr(item.arg), expect::Rts(1), expect::Pause(1), expect::Rts(0), expect::Pause(1),
                expect::Rts(1)},
               delayCount, out);
        break;
      case TraceItem::kRepeat:
        for (int i = 0; i < item.arg; ++i) Expand(*item.block, delayCount, out);
        break;
    }
  }
}

TraceItem StepItem(TraceOp op, int value = 0, std::string text = std::string(), bool red = false,
                   bool busy = false) {
  TraceItem item;
  item.step.op = op;
  item.step.value = value;
  item.step.text = std::move(text);
  item.step.red = red;
  item.step.busy = busy;
  return item;
}

}  // namespace

std::string DescribeStep(const TraceStep& s) {
  std::ostringstream o;
  o << OpName(s.op);
  if (!s.text.empty()) o << " \"" << s.text << "\"";
  switch (s.op) {
    case TraceOp::kYield:
    case TraceOp::kArm:
    case TraceOp::kClose:
    case TraceOp::kVerifyRead:
    case TraceOp::kSerialBox:
      break;
    case TraceOp::kStatus:
    case TraceOp::kRepaint:
      o << (s.red ? " red" : " black");
      break;
    case TraceOp::kTx: {
      char b[8];
      std::snprintf(b, sizeof b, " 0x%02X", s.value);
      o << b;
      break;
    }
    case TraceOp::kPause:
      o << " " << s.value << " ms";
      break;
    default:
      if (s.anyValue)
        o << " (any)";
      else
        o << " " << s.value;
  }
  if (IsDialog(s.op)) o << (s.busy ? " [busy]" : " [idle]");
  return o.str();
}

namespace cycle_trace {

void Begin() {
  Clear();
  R().inner = plat::CurrentPortOpener();
  plat::SetPortOpener([](const std::string& name, std::unique_ptr<plat::SerialPort>* port) {
    std::unique_ptr<plat::SerialPort> inner;
    int r = R().inner ? R().inner(name, &inner) : plat::OpenPlatformPort(name, &inner);
    Record(TraceOp::kOpen, r, name);
    if (r == 0 && inner) *port = Wrap(name, std::move(inner));
    return r;
  });
  plat::SetSleepObserver(OnSleep);
}

void End() {
  plat::SetSleepObserver(nullptr);
  plat::SetPortOpener(R().inner);
  R().inner = nullptr;
}

void Clear() {
  std::lock_guard<std::mutex> g(R().m);
  R().steps.clear();
}

void Add(TraceStep step) {
  step.timeUs = plat::NowUs();
  std::lock_guard<std::mutex> g(R().m);
  R().steps.push_back(std::move(step));
}

std::vector<TraceStep> Steps() {
  std::lock_guard<std::mutex> g(R().m);
  return R().steps;
}

std::unique_ptr<plat::SerialPort> Wrap(const std::string& name, std::unique_ptr<plat::SerialPort> inner) {
  return std::unique_ptr<plat::SerialPort>(new TracingPort(name, std::move(inner)));
}

}  // namespace cycle_trace

void TraceDialog::SetStatusText(const char* text) { RecordDialog(TraceOp::kStatus, 0, text); }
void TraceDialog::SetSerialNumberText(const char* text) { RecordDialog(TraceOp::kSerialBox, 0, text); }
void TraceDialog::EnableStart(bool enable) { RecordDialog(TraceOp::kStartButton, enable); }
void TraceDialog::EnableVerify(bool enable) { RecordDialog(TraceOp::kVerifyBox, enable); }
bool TraceDialog::IsVerifyChecked() {
  RecordDialog(TraceOp::kVerifyRead, 0);
  return verify_;
}
void TraceDialog::RepaintNow() { RecordDialog(TraceOp::kRepaint, 0); }
void TraceDialog::DoWaitCursor(int delta) { RecordDialog(TraceOp::kCursor, delta); }

namespace expect {
TraceItem Dtr(int level) { return StepItem(TraceOp::kDtr, level); }
TraceItem Rts(int level) { return StepItem(TraceOp::kRts, level); }
TraceItem Brk(int on) { return StepItem(TraceOp::kBreak, on); }
TraceItem Pause(int ms) { return ms == 0 ? Yield() : StepItem(TraceOp::kPause, ms); }
TraceItem Yield() { return StepItem(TraceOp::kYield); }
TraceItem Gap(int us) { return StepItem(TraceOp::kGap, us); }
TraceItem Unit() {
  TraceItem item;
  item.kind = TraceItem::kUnit;
  return item;
}
TraceItem Byte(uint8_t value) {
  TraceItem item;
  item.kind = TraceItem::kByte;
  item.arg = value;
  return item;
}
TraceItem Strobe(int level) {
  TraceItem item;
  item.kind = TraceItem::kStrobe;
  item.arg = level;
  return item;
}
TraceItem Repeat(int count, TraceBlock block) {
  TraceItem item;
  item.kind = TraceItem::kRepeat;
  item.arg = count;
  item.block = std::make_shared<TraceBlock>(std::move(block));
  return item;
}
TraceItem Seq(TraceBlock block) { return Repeat(1, std::move(block)); }
TraceItem Open(const char* name) {
  return Seq({StepItem(TraceOp::kOpen, 0, name), StepItem(TraceOp::kSetup, 1), StepItem(TraceOp::kConfigure, 1),
              StepItem(TraceOp::kImmediate, 1)});
}
TraceItem OpenAbsent(const char* name) { return StepItem(TraceOp::kOpen, -2, name); }
TraceItem OpenRefused(const char* name) {
  return Seq({StepItem(TraceOp::kOpen, 0, name), StepItem(TraceOp::kSetup, 1), StepItem(TraceOp::kConfigure, 0),
              StepItem(TraceOp::kClose, 0, name)});
}
TraceItem Close(const char* name) { return StepItem(TraceOp::kClose, 0, name); }
TraceItem Arm() { return StepItem(TraceOp::kArm); }
TraceItem Wait(int result) { return StepItem(TraceOp::kWait, result); }
TraceItem Tx(uint8_t byte) { return StepItem(TraceOp::kTx, byte); }
TraceItem Read(int count) { return StepItem(TraceOp::kRead, count); }
TraceItem Status(const std::string& text, bool red) { return StepItem(TraceOp::kStatus, 0, text, red, true); }
TraceItem SerialBox(const std::string& text) { return StepItem(TraceOp::kSerialBox, 0, text, false, true); }
TraceItem StartButton(bool enabled) { return StepItem(TraceOp::kStartButton, enabled, "", false, true); }
TraceItem VerifyBox(bool enabled) { return StepItem(TraceOp::kVerifyBox, enabled, "", false, true); }
TraceItem VerifyRead() { return StepItem(TraceOp::kVerifyRead, 0, "", false, true); }
TraceItem Repaint(bool red) { return StepItem(TraceOp::kRepaint, 0, "", red, true); }
TraceItem Cursor(int delta) { return StepItem(TraceOp::kCursor, delta, "", false, true); }
}  // namespace expect

std::vector<TraceStep> ExpandTrace(const TraceBlock& block, int delayCount) {
  std::vector<TraceStep> steps;
  Expand(block, delayCount, &steps);
  // A gap is no step of its own: it moves the next step's time.
  std::vector<TraceStep> out;
  int64_t gap = 0;
  for (TraceStep& s : steps) {
    if (s.op == TraceOp::kGap) {
      gap += s.value;
      continue;
    }
    s.gapUs = gap;
    gap = 0;
    out.push_back(std::move(s));
  }
  return out;
}

std::string CompareTraces(const std::vector<TraceStep>& expected, const std::vector<TraceStep>& actual) {
  size_t n = std::min(expected.size(), actual.size());
  size_t bad = n;
  std::string why;
  for (size_t i = 0; i < n; ++i) {
    if (!SameStep(expected[i], actual[i])) {
      bad = i;
      why = "different step";
      break;
    }
    if (i > 0 && expected[i].op != TraceOp::kWait) {
      const TraceStep& before = actual[i - 1];
      int64_t want = before.timeUs + (before.op == TraceOp::kPause ? int64_t(before.value) * 1000 : 0) +
                     expected[i].gapUs;
      if (actual[i].timeUs != want) {
        bad = i;
        why = "at " + std::to_string(actual[i].timeUs) + " us instead of " + std::to_string(want) + " us";
        break;
      }
    }
  }
  if (bad == n && expected.size() == actual.size()) return std::string();
  if (bad == n) why = "expected " + std::to_string(expected.size()) + " steps, got " + std::to_string(actual.size());
  std::ostringstream o;
  o << "first difference at step " << bad << ": " << why << "\n";
  size_t from = bad >= 4 ? bad - 4 : 0;
  for (size_t i = from; i <= bad + 3; ++i) {
    if (i >= expected.size() && i >= actual.size()) break;
    o << (i == bad ? ">> " : "   ") << i << "  expected: "
      << (i < expected.size() ? DescribeStep(expected[i]) : std::string("(end)")) << "\n"
      << "       actual:   ";
    if (i < actual.size())
      o << DescribeStep(actual[i]) << " @" << actual[i].timeUs << " us";
    else
      o << "(end)";
    o << "\n";
  }
  return o.str();
}

// A trace of what a cycle does that the device or the operator can see, in the
// order it happens on the virtual clock: every line operation, pause, yield,
// port open and close, and every dialog operation with the status flags at the
// moment of the call. Recorded through the seams the system already has (the
// port opener, the clock's sleep observer, the dialog operations), so the code
// under test runs unchanged.
//
// Expected traces are built from compact blocks (TraceItem) that expand into
// steps; CompareTraces reports the first differing step with its neighbours.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "state/dialog_ops.h"

enum class TraceOp {
  kOpen,         // text: port name; value: 0 opened, else the opener's result
  kSetup,        // value: 1 accepted, 0 refused
  kConfigure,    // value: 1 accepted, 0 refused
  kImmediate,    // value: 1 accepted, 0 refused
  kClose,        // text: port name
  kDtr,          // value: level
  kRts,          // value: level
  kBreak,        // value: 1 break set, 0 cleared
  kCts,          // a modem-status read; value: 1 when CTS was asserted
  kArm,          // break wait armed
  kWait,         // a break wait ended; value: its result
  kTx,           // value: the byte sent ahead of the queue
  kRead,         // value: bytes returned
  kPause,        // value: ms (> 0)
  kYield,        // Sleep(0)
  kStatus,       // text, red, busy
  kSerialBox,    // text, busy
  kStartButton,  // value: enabled; busy
  kVerifyBox,    // value: enabled; busy
  kVerifyRead,   // busy
  kRepaint,      // red, busy
  kCursor,       // value: +1 / -1; busy
  kGap,          // expected side only: value us pass before the next step
};

struct TraceStep {
  TraceStep() = default;
  explicit TraceStep(TraceOp o) : op(o) {}
  TraceOp op = TraceOp::kYield;
  int value = 0;
  std::string text;
  bool red = false;   // g_statusError at a dialog call
  bool busy = false;  // g_cycleBusy at a dialog call
  int64_t timeUs = 0;
  bool anyValue = false;  // expected side: the value is not compared
  int64_t gapUs = 0;      // expected side: time that passes before this step
                          // without a pause of its own (data polling's gaps)
};

std::string DescribeStep(const TraceStep& step);

// The process-wide recorder. Begin() wraps the port opener installed now (the
// simulator's) and observes every Sleep; End() restores both.
namespace cycle_trace {
void Begin();
void End();
void Clear();
void Add(TraceStep step);
std::vector<TraceStep> Steps();
// Wraps any port so that its operations are recorded under `name`.
std::unique_ptr<plat::SerialPort> Wrap(const std::string& name, std::unique_ptr<plat::SerialPort> inner);
}  // namespace cycle_trace

// A dialog that records each of its operations into the trace.
class TraceDialog : public DialogOps {
 public:
  explicit TraceDialog(bool verifyChecked) : verify_(verifyChecked) {}
  void SetStatusText(const char* text) override;
  void SetSerialNumberText(const char* text) override;
  void EnableStart(bool enable) override;
  void EnableVerify(bool enable) override;
  bool IsVerifyChecked() override;
  void RepaintNow() override;
  void DoWaitCursor(int delta) override;

 private:
  bool verify_;
};

// One entry of an expected trace: a step, or a block that expands into steps.
struct TraceItem {
  enum Kind { kStep, kByte, kUnit, kStrobe, kRepeat } kind = kStep;
  TraceStep step{TraceOp::kYield};
  int arg = 0;
  std::shared_ptr<std::vector<TraceItem>> block;
};
using TraceBlock = std::vector<TraceItem>;

namespace expect {
TraceItem Dtr(int level);
TraceItem Rts(int level);
TraceItem Brk(int on);
TraceItem Pause(int ms);  // 0 is a yield
TraceItem Yield();
TraceItem Gap(int us);           // time that passes outside Sleep before the next step
TraceItem Unit();                // one delay unit: g_delayCount + 1 yields
TraceItem Byte(uint8_t value);   // one byte over the link, eight bit steps
TraceItem Strobe(int level);     // the control level latched by an RTS strobe
TraceItem Repeat(int count, TraceBlock block);
TraceItem Open(const char* name);        // opened and configured
TraceItem OpenAbsent(const char* name);  // the opener refuses
TraceItem OpenRefused(const char* name); // opened, settings refused, closed
TraceItem Close(const char* name);
TraceItem Arm();
TraceItem Wait(int result);
TraceItem Tx(uint8_t byte);
TraceItem Read(int count);
TraceItem Status(const std::string& text, bool red);
TraceItem SerialBox(const std::string& text);
TraceItem StartButton(bool enabled);
TraceItem VerifyBox(bool enabled);
TraceItem VerifyRead();
TraceItem Repaint(bool red = false);  // red: the error flag as the repaint finds it
TraceItem Cursor(int delta);
TraceItem Seq(TraceBlock block);
}  // namespace expect

std::vector<TraceStep> ExpandTrace(const TraceBlock& block, int delayCount = 0);

// "" when equal. Otherwise the first differing step with its neighbours. The
// time of each step is compared as well: it must follow from the pauses before
// it, except right after a break wait (the device decides when that ends).
std::string CompareTraces(const std::vector<TraceStep>& expected, const std::vector<TraceStep>& actual);

#include "isp/watched_lines.h"

#include <algorithm>

#include "isp/fast_mode.h"
#include "isp/forwarding_port.h"
#include "platform/clock.h"

namespace {

// Between the last clock pulse of one frame, which starts a byte write, and
// the last of the next frame lie 64 clock changes: the 63 between them each
// take a whole line operation, whenever within its call each takes effect.
constexpr int64_t kWholeClockChangesBetweenFrames = 63;

// Never wraps a port that clocks its lines, so Clocked() stays null.
class WatchedLines : public ForwardingPort {
 public:
  explicit WatchedLines(std::unique_ptr<plat::SerialPort> inner) : ForwardingPort(std::move(inner)) {}

  bool SetDtr(bool asserted) override {
    return Set(&dtr_, asserted, [&] { return inner_->SetDtr(asserted); });
  }
  bool SetRts(bool asserted) override {
    return Set(&rts_, asserted, [&] { return inner_->SetRts(asserted); });
  }
  bool SetBreak(bool on) override {
    return Set(&break_, on, [&] {
      int64_t start = plat::NowUs();
      bool done = inner_->SetBreak(on);
      fastestClockUs_ = std::min(fastestClockUs_, plat::NowUs() - start);
      return done;
    });
  }
  bool GetCts(bool* asserted) override {
    return Timed([&] { return inner_->GetCts(asserted); });
  }

  int64_t TypicalUs() const {
    if (timed_ < kTimedLineOperations) return -1;
    int64_t sorted[kTimedLineOperations];
    std::copy(durations_, durations_ + kTimedLineOperations, sorted);
    std::nth_element(sorted, sorted + kTimedLineOperations / 2, sorted + kTimedLineOperations);
    return sorted[kTimedLineOperations / 2];
  }
  int64_t FastestClockUs() const { return fastestClockUs_; }
  bool Slow() const { return slow_; }

 private:
  // Levels as this port last set them: -1 before the first set, and after a
  // set the driver refused, since the line may then stand either way.
  template <typename Op>
  bool Set(int* level, bool to, Op op) {
    if (slow_ && *level == int(to) && FastMode()) return true;
    bool done = Timed(op);
    *level = done ? int(to) : -1;
    return done;
  }

  template <typename Op>
  bool Timed(Op op) {
    if (timed_ >= kTimedLineOperations) return op();
    int64_t start = plat::NowUs();
    bool done = op();
    durations_[timed_++] = plat::NowUs() - start;
    if (timed_ == kTimedLineOperations) slow_ = TypicalUs() >= kSlowLineOperationUs;
    return done;
  }

  int dtr_ = -1, rts_ = -1, break_ = -1;
  int timed_ = 0;
  bool slow_ = false;
  int64_t durations_[kTimedLineOperations] = {};
  int64_t fastestClockUs_ = INT64_MAX;
};

}  // namespace

std::unique_ptr<plat::SerialPort> WatchLines(std::unique_ptr<plat::SerialPort> port) {
  if (!port || port->Clocked()) return port;
  return std::make_unique<WatchedLines>(std::move(port));
}

int64_t TypicalLineOperationUs(plat::SerialPort* port) {
  auto* watched = dynamic_cast<WatchedLines*>(port);
  return watched ? watched->TypicalUs() : -1;
}

bool LinesAreSlow(plat::SerialPort* port) {
  auto* watched = dynamic_cast<WatchedLines*>(port);
  return watched && watched->Slow();
}

bool FramesOutlastAByteWrite(plat::SerialPort* port) {
  auto* watched = dynamic_cast<WatchedLines*>(port);
  if (!watched || watched->FastestClockUs() == INT64_MAX) return false;
  // Twice the family's slowest write: a part somewhat slower than its family
  // still ends before the next frame does, as data polling would have seen.
  return watched->FastestClockUs() * kWholeClockChangesBetweenFrames >= 2 * kPollLimitUs;
}

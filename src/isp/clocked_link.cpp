#include <vector>

#include "isp/clocked_port.h"
#include "isp/line_sink.h"
#include "platform/clock.h"
#include "platform/clocked_lines.h"

namespace {

// The part needs each clock level for more than two cycles of its 4 MHz
// oscillator, 500 ns; 600 ns leaves a margin. A delay unit holds the lines
// for the states that make each clock level last that long, and never for
// fewer than two states: at the 3 MHz the chips are said to reach, whatever
// the baud setting turns out to give, two states are 667 ns. With a
// pulse's own state before the hold, a level lasts hold + 1 states.
constexpr uint64_t kMinLevelNs = 600;

unsigned HoldStates(unsigned rate) {
  uint64_t perLevel = (uint64_t(rate) * kMinLevelNs + 999999999u) / 1000000000u;
  if (perLevel < 2) perLevel = 2;
  return unsigned(perLevel - 1);
}

// A flush happens at every answer check and pause, so an instruction or two
// is pending at most; this bound only keeps a sequence without either (none
// exists) from growing without end.
constexpr size_t kMostPending = 4096;

}  // namespace

struct ClockedLink {
  ClockedPort* port = nullptr;
  plat::ClockedLines* lines = nullptr;
  uint8_t pins = 0;  // the driven pins after the last state appended
  unsigned hold = 1;
  bool lost = false;
  struct Answer {
    size_t index;  // the state before which the sample is taken
    uint8_t* byte;
    uint8_t mask;
  };
  std::vector<uint8_t> states, samples;
  std::vector<Answer> answers;
};

ClockedLink* g_clockedLink = nullptr;

namespace {

ClockedLink g_link;

// The chip samples the pins just before it puts out each state: the sample
// at index i is the lines as the state before i left them.
bool Flush(ClockedLink& l) {
  if (l.states.empty() && l.answers.empty()) return !l.lost;
  if (!l.answers.empty() && l.answers.back().index == l.states.size()) l.states.push_back(l.pins);
  l.samples.assign(l.states.size(), 0xFF);
  if (!l.lost && !l.lines->Clock(l.states.data(), l.states.size(), l.samples.data())) {
    l.lost = true;
    l.samples.assign(l.states.size(), 0xFF);
  }
  for (const ClockedLink::Answer& a : l.answers)
    if (l.samples[a.index] & plat::kPinCts) *a.byte |= a.mask;
  l.states.clear();
  l.answers.clear();
  return !l.lost;
}

void Append(ClockedLink& l) {
  if (l.states.size() >= kMostPending) Flush(l);
  l.states.push_back(l.pins);
}

void Drive(uint8_t pin, bool low) {
  ClockedLink& l = *g_clockedLink;
  l.pins = low ? uint8_t(l.pins & ~pin) : uint8_t(l.pins | pin);
  Append(l);
}

}  // namespace

namespace clocked {

void Dtr(bool asserted) { Drive(plat::kPinDtr, asserted); }
void Rts(bool asserted) { Drive(plat::kPinRts, asserted); }
void Break(bool on) { Drive(plat::kPinTxd, on); }

void AnswerBit(uint8_t* byte, uint8_t mask) {
  ClockedLink& l = *g_clockedLink;
  l.answers.push_back({l.states.size(), byte, mask});
}

void Hold() {
  ClockedLink& l = *g_clockedLink;
  for (unsigned i = 0; i < l.hold; ++i) Append(l);
}

}  // namespace clocked

void LinePause(unsigned ms) {
  if (!g_clockedLink) return plat::Sleep(ms);
  if (ms == 0) return clocked::Hold();
  Flush(*g_clockedLink);
  plat::Sleep(ms);
}

bool LineFlush() { return g_clockedLink ? Flush(*g_clockedLink) : true; }

bool ClockLinesByAdapter() {
  if (g_clockedLink) return true;
  ClockedPort* port = dynamic_cast<ClockedPort*>(g_hPort);
  plat::ClockedLines* lines = port ? port->Clocked() : nullptr;
  if (!lines) return false;
  ClockedLink& l = g_link;
  l.port = port;
  l.lines = lines;
  l.pins = port->Pins();
  l.hold = HoldStates(lines->Rate() ? lines->Rate() : 3000000u);
  l.states.clear();
  l.answers.clear();
  // An adapter that cannot enter the mode is a link whose every answer is
  // missing: the line operations would reach a port in an unknown mode.
  l.lost = !lines->Enter();
  g_clockedLink = &l;
  return true;
}

void ReleaseClockedLines() {
  if (!g_clockedLink) return;
  ClockedLink& l = *g_clockedLink;
  Flush(l);
  if (!l.lost) l.lines->Leave();
  l.port->SetPins(l.pins);
  g_clockedLink = nullptr;
}

bool ClockedLinkLost() { return g_clockedLink && g_clockedLink->lost; }

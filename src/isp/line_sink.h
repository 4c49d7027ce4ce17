// Where the link's line operations go. Normally each one is a call on the
// port, at once. While the port's adapter clocks the lines itself
// (platform/clocked_lines.h), each becomes a pin state appended to a buffer,
// a CTS read takes the sample of the state in force at that point, and the
// buffer goes out at the next pause or answer check: one USB round trip per
// instruction instead of one per operation, the same line states in the same
// order. The bit link and the instructions describe every sequence once, in
// these terms, for both ways.
#pragma once

#include <cstdint>

#include "state/shared_state.h"

// Non-null while the open port's lines are clocked by its adapter.
struct ClockedLink;
extern ClockedLink* g_clockedLink;

namespace clocked {
void Dtr(bool asserted);
void Rts(bool asserted);
void Break(bool on);
void AnswerBit(uint8_t* byte, uint8_t mask);
void Hold();
}  // namespace clocked

inline void LineDtr(bool asserted) {
  if (g_clockedLink) return clocked::Dtr(asserted);
  g_hPort->SetDtr(asserted);
}

inline void LineRts(bool asserted) {
  if (g_clockedLink) return clocked::Rts(asserted);
  g_hPort->SetRts(asserted);
}

inline void LineBreak(bool on) {
  if (g_clockedLink) return clocked::Break(on);
  g_hPort->SetBreak(on);
}

// Sets bit `mask` of *byte when CTS is not asserted (and when the status
// cannot be read). With clocked lines the bit is filled in once the states
// have gone out, so *byte must outlive the instruction that asked.
inline void LineAnswerBit(uint8_t* byte, uint8_t mask) {
  if (g_clockedLink) return clocked::AnswerBit(byte, mask);
  bool cts = false;
  if (!g_hPort->GetCts(&cts)) cts = false;
  if (!cts) *byte |= mask;
}

// A pause of ms milliseconds between line operations. With clocked lines a
// pause of 1 ms or more begins once what is pending has gone out and come
// back, so the device sees at least the whole pause; a zero-length yield
// holds the lines for one delay unit instead.
void LinePause(unsigned ms);

// Sends what is pending, so that every answer asked for is in place. false
// once the adapter has failed (and for every later call until the lines are
// clocked afresh): the answers are then all ones, as from a device that does
// not answer.
bool LineFlush();

// Clocks the open port's lines by its adapter when it can (and the operator
// allows it); true when they are clocked from now on. Called when
// programming begins, never during the serial-number exchange.
bool ClockLinesByAdapter();
// Back to line operations (and the port to its UART): before the port is
// closed or used as a UART. Nothing happens when the lines are not clocked.
void ReleaseClockedLines();
// Whether the lines are clocked and the adapter has failed since they were
// last clocked afresh.
bool ClockedLinkLost();

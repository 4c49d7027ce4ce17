// The opt-in fast mode: the end of a flash byte write is found by reading the
// byte back (data polling) instead of a fixed pause, and reads are not
// followed by a pause. Off unless a front end turns it on before a cycle; the
// default cycle is untouched while it is off.
#pragma once

#include <cstdint>

#include "part/target_part.h"

constexpr uint8_t kPollBusyValue = kTargetPart.flashPollValue;
constexpr int64_t kPollLimitUs = kTargetPart.writeLongestUs;
constexpr int64_t kPollGapUs = 200;       // between two reads of a busy byte

void SetFastMode(bool on);
bool FastMode();
// Whether the cycle reads every byte back after the writes (Verify), so that a
// write need not be read back on its own where that is costly.
void SetWritesVerifiedLater(bool on);

// Called after a byte write's frame was accepted. Default mode: the fixed
// 6 ms pause, always 0. Fast mode: 0 once the byte reads back as data, -101
// when it still differs after kPollLimitUs (or the read fails); 0x7F cannot be
// told from busy, so it waits the whole kPollLimitUs and must then read 0x7F.
// Fast mode on a port whose frames outlast a write (watched_lines.h): no
// wait; one read-back decides, unless Verify reads every byte later.
int AwaitByteWritten(int address, uint8_t data);

// The pause after a byte read: 1 ms by default, none in fast mode.
void PauseAfterRead();

// How many of the following bytes a read takes along in its transfer: in
// fast mode through an adapter's chip that clocks the lines (line_sink.h),
// where a transfer costs a USB round trip whatever it carries, except while a
// write is polled (the part then allows only reads of the byte it writes); 0
// otherwise. A few hundred states a transfer at most.
constexpr int kMostReadAhead = 2;
constexpr int kLastFlashAddress = 0x1FFF;
int ReadAheadCount();

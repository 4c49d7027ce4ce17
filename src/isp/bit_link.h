// The software-clocked synchronous link over the port's control lines.
//
// Clock: the transmit line's break state (break set = clock at rest).
// Data out: DTR, inverted (a 1 bit clears DTR). Data in: CTS, inverted.
// Control level: put on DTR and latched by an RTS strobe; 0 holds the
// controller in reset, 1 lets it run.
#pragma once

#include "state/shared_state.h"
#include <cstdint>

// One delay unit: g_delayCount + 1 zero-length yields.
void DelayUnit();

// Puts level (nonzero = 1) on DTR and latches it with a 1 ms RTS strobe.
void StrobeControl(uint8_t level);

constexpr int kTransferNoBuffer = -3;  // nowhere to put the received byte
constexpr int kByteLineOperations = 32;  // a TransferByte's: 8 bits of 4

// Sends out and receives one byte, most significant bit first. Returns 0, or
// kTransferNoBuffer when in is null (then no line is touched). Exactly 32 line or status
// operations, no allocation.
int TransferByte(uint8_t out, uint8_t* in);

// TransferByte's bit steps without its status reads, for a byte whose answer
// nobody takes: the same clock pulses and data levels, fewer line operations.
void SendByte(uint8_t out);

// Sets g_delayCount for the platform (run once while the front end starts).
void CalibrateDelay();

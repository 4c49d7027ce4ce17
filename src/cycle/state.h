// Process-wide flags shared between the cycle thread and the front end. Single
// bytes with one writer at a time; atomics so that the reader on the GUI thread
// is well defined.
#pragma once

#include <atomic>
#include <cstdint>

extern std::atomic<uint8_t> g_cycleBusy;    // a cycle runs: closing is refused
extern std::atomic<uint8_t> g_statusError;  // the status line is drawn red

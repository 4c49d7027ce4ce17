#include "cycle/state.h"

std::atomic<uint8_t> g_cycleBusy{0};
std::atomic<uint8_t> g_statusError{0};

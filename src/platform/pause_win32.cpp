#include <windows.h>
// winnt.h makes YieldProcessor a macro for the CPU's spin-wait hint.
#undef YieldProcessor

#include "platform/pause.h"

namespace plat {

// The 1 ms timer resolution requested by the front ends makes Sleep(n) last
// about n ms; Sleep(0) gives up the rest of the time slice.
void PauseMilliseconds(unsigned ms) { ::Sleep(ms); }

void YieldProcessor() { ::Sleep(0); }

}  // namespace plat

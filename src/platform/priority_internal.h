// What each platform does to raise the cycle's thread and the process; the
// shared part (priority.cpp) decides when to ask and remembers a refusal.
#pragma once

namespace plat {

// true when the platform granted some raise to the calling thread.
bool RaiseCallingThread();
// true when the platform granted the process a higher priority.
bool RaiseThisProcess();

}  // namespace plat

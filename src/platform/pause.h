// The platform's raw pause and yield, used only by the clock.
#pragma once

namespace plat {
void PauseMilliseconds(unsigned ms);
void YieldProcessor();
}  // namespace plat

#include "platform/console_output.h"

namespace plat {

// A Linux program always has the descriptors it was started with.
void UseStartingConsole() {}

}  // namespace plat

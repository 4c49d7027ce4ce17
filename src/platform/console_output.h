// Standard output for a program that may have been built without a console
// of its own (the Windows dialog program): its --help and --version go to the
// console it was started from, or wherever its output was redirected.
#pragma once

namespace plat {

void UseStartingConsole();

}  // namespace plat

// orvalo-emulated-port: creates a pseudo-terminal for the serial emulator,
// prints its slave's path on standard output and keeps it usable (by holding
// the master) until a signal ends the program. The emulator, preloaded into a
// program with ORVALO_EMU_DEVICE set to that path, puts the simulated device
// on its other end.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

int main() {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || !ptsname(master)) {
    std::perror("orvalo-emulated-port");
    return 1;
  }
  std::printf("%s\n", ptsname(master));
  std::fflush(stdout);
  while (true) pause();
}

// Serial-port lock files in the UUCP convention that Linux terminal programs
// (minicom, picocom, cu, ...) honour: a file LCK..<device> in /run/lock (else
// /var/lock) holding the owner's PID in ASCII. A lock whose PID no longer runs
// is stale and is removed. ORVALO_LOCK_DIR names another folder (tests).
#pragma once

#include <string>

namespace plat {

// The lock file's path for a device path: /dev/ttyS0 -> <dir>/LCK..ttyS0,
// /dev/pts/3 -> <dir>/LCK..pts_3 (symbolic links resolved first).
std::string UucpLockPath(const std::string& devicePath);

// Takes the lock for devicePath. Returns 0 when taken (*lockPath set), or when
// no lock can be written here at all (*lockPath empty); else the PID of the
// live process that holds it, or -1 for a lock that may be held by a holder
// that cannot be named (unreadable, or still being written).
long TakeUucpLock(const std::string& devicePath, std::string* lockPath);
// Removes a lock this process took.
void ReleaseUucpLock(const std::string& lockPath);

}  // namespace plat

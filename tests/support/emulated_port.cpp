#include "support/emulated_port.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

namespace {

template <typename F>
F Find(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

// A test program that uses this support runs with the emulator preloaded:
// without it, it starts itself again with it.
// Once loaded, it is taken out of the environment: the programs this one
// starts get it only when a test asks for it (ChildEnv).
__attribute__((constructor)) void PreloadEmulator() {
  if (Find<void*>("orvalo_serial_emu_configure")) {
    unsetenv("LD_PRELOAD");
    return;
  }
  if (getenv("ORVALO_EMU_RESTARTED")) return;
  setenv("ORVALO_EMU_RESTARTED", "1", 1);
  setenv("LD_PRELOAD", ORVALO_SERIAL_EMU_PATH, 1);
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return;
  exe[n] = '\0';
  // The arguments as this process got them.
  static char buf[1 << 16];
  int fd = open("/proc/self/cmdline", O_RDONLY);
  if (fd < 0) return;
  ssize_t len = read(fd, buf, sizeof buf - 1);
  close(fd);
  if (len <= 0) return;
  std::vector<char*> argv;
  for (ssize_t i = 0; i < len; i += ssize_t(std::strlen(buf + i)) + 1) argv.push_back(buf + i);
  argv.push_back(nullptr);
  execv(exe, argv.data());
}

}  // namespace

EmulatedPort::EmulatedPort(const std::string& simText) : simText_(simText) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return;
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 || !ptsname(master_)) {
    close(master_);
    master_ = -1;
    return;
  }
  path_ = ptsname(master_);
  if (auto configure = Find<void (*)(const char*, const char*)>("orvalo_serial_emu_configure"))
    configure(path_.c_str(), simText_.c_str());
}

EmulatedPort::~EmulatedPort() {
  EmulatorDetach();
  if (auto configure = Find<void (*)(const char*, const char*)>("orvalo_serial_emu_configure"))
    configure(nullptr, nullptr);
  if (master_ >= 0) close(master_);
}

std::string EmulatedPort::ChildEnv() const {
  return "LD_PRELOAD='" ORVALO_SERIAL_EMU_PATH "' ORVALO_EMU_DEVICE='" + path_ + "' ORVALO_EMU_SIM='" + simText_ + "'";
}

bool EmulatorLoaded() { return Find<void*>("orvalo_serial_emu_configure") != nullptr; }

void EmulatorDetach() {
  if (auto detach = Find<void (*)()>("orvalo_serial_emu_detach")) detach();
}

int EmulatedLevel() {
  auto f = Find<int (*)()>("orvalo_serial_emu_level");
  return f ? f() : -1;
}

int EmulatedLines() {
  auto f = Find<int (*)()>("orvalo_serial_emu_lines");
  return f ? f() : -1;
}

std::vector<uint8_t> EmulatedUartReceived() {
  std::vector<uint8_t> out(65536);
  auto f = Find<int (*)(uint8_t*, int)>("orvalo_serial_emu_uart");
  int n = f ? f(out.data(), int(out.size())) : 0;
  out.resize(size_t(n > 0 ? n : 0));
  return out;
}

void EmulatedInterrupts(bool on) {
  if (auto f = Find<void (*)(int)>("orvalo_serial_emu_interrupt")) f(on ? 1 : 0);
}

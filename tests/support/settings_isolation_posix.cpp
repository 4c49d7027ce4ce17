#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>

#include "support/test_support.h"

// The store lives under $XDG_CONFIG_HOME.
void IsolateSettingsStore(const std::string& dir) { setenv("XDG_CONFIG_HOME", dir.c_str(), 1); }

bool BlockSettingsStore(const std::string& dir) {
  WriteFile(dir + "/Kestrune", "in the way");
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  return true;
}

namespace {

// Tests run as root, whom permission bits do not stop. A file size limit of
// zero stops root too: every write that would grow a file fails with EFBIG
// (SIGXFSZ ignored, or it would end the process), while reads go on. The
// limit is lifted again when the test ends, pass or fail.
class FileSizeBlock : public ::testing::EmptyTestEventListener {
 public:
  static FileSizeBlock* Instance() {
    static FileSizeBlock* block = [] {
      auto* b = new FileSizeBlock;
      ::testing::UnitTest::GetInstance()->listeners().Append(b);  // owned by gtest from here
      return b;
    }();
    return block;
  }

  bool Engage() {
    if (engaged_) return true;
    if (getrlimit(RLIMIT_FSIZE, &saved_) != 0) return false;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    if (sigaction(SIGXFSZ, &ignore, &savedAction_) != 0) return false;
    rlimit zero = saved_;
    zero.rlim_cur = 0;
    engaged_ = true;
    if (setrlimit(RLIMIT_FSIZE, &zero) != 0) Release();
    return engaged_;
  }

  void Release() {
    if (!engaged_) return;
    setrlimit(RLIMIT_FSIZE, &saved_);
    sigaction(SIGXFSZ, &savedAction_, nullptr);
    engaged_ = false;
  }

  void OnTestEnd(const ::testing::TestInfo&) override { Release(); }

 private:
  bool engaged_ = false;
  rlimit saved_{};
  struct sigaction savedAction_ {};
};

// One byte written to a new file under dir: refused when the block holds.
bool WritesAreRefused(const std::string& dir) {
  std::string probe = dir + "/probe";
  int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return false;
  bool refused = write(fd, "x", 1) < 0;
  close(fd);
  unlink(probe.c_str());
  return refused;
}

}  // namespace

bool BlockSettingsStoreWrites(const std::string& dir) {
  FileSizeBlock* block = FileSizeBlock::Instance();
  if (!block->Engage()) return false;
  if (WritesAreRefused(dir)) return true;
  block->Release();
  return false;
}

void UnblockSettingsStoreWrites() { FileSizeBlock::Instance()->Release(); }

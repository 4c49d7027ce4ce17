#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <QDir>
#include <QStandardPaths>

#include "platform/station_hold.h"

namespace plat {
namespace {

class PosixStationHold : public StationHold {
 public:
  explicit PosixStationHold(int fd) : fd_(fd) {}
  ~PosixStationHold() override { close(fd_); }

 private:
  int fd_;
};

}  // namespace

// A lock file beside the settings file (QSettings replaces that file on
// every write, so it cannot carry the lock itself). flock, so that a second
// hold in the same process is refused as well.
HoldResult HoldStation(const std::string& company, const std::string& app, std::unique_ptr<StationHold>* hold,
                       std::string* holder) {
  QDir config(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
  QString companyFolder = config.filePath(QString::fromStdString(company));
  QDir().mkpath(companyFolder);
  std::string folder = companyFolder.toStdString();
  std::string path = folder + "/" + app + ".lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) return HoldResult::kNoPlace;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return HoldResult::kNoPlace;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    char text[32] = {0};
    ssize_t n = pread(fd, text, sizeof text - 1, 0);
    holder->assign(text, n > 0 ? size_t(n) : 0);
    if (holder->find_first_not_of("0123456789") != std::string::npos) holder->clear();
    close(fd);
    return HoldResult::kBusy;
  }
  std::string pid = std::to_string(getpid());
  // Only a refused process's reason needs the id; the hold stands without it.
  if (ftruncate(fd, 0) == 0) (void)!pwrite(fd, pid.data(), pid.size(), 0);
  hold->reset(new PosixStationHold(fd));
  return HoldResult::kHeld;
}

}  // namespace plat

#include <windows.h>

#include <cctype>

#include "platform/station_hold.h"

namespace plat {
namespace {

class Win32StationHold : public StationHold {
 public:
  explicit Win32StationHold(HANDLE mutex) : mutex_(mutex) {}
  ~Win32StationHold() override {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }

 private:
  HANDLE mutex_;
};

}  // namespace

// A named mutex of the session, named in lower case: registry keys ignore
// case, so two names that differ only in case are one stored number. The
// session's prefix keeps its own case: "local\\" names no namespace, and the
// mutex could not be made at all.
HoldResult HoldStation(const std::string& company, const std::string& app, std::unique_ptr<StationHold>* hold,
                       std::string* holder) {
  std::string name = "orvalo-station-" + company + "-" + app;
  for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
  name.insert(0, "Local\\");
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  if (!mutex) return HoldResult::kNoPlace;
  DWORD waited = WaitForSingleObject(mutex, 0);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    holder->clear();
    return HoldResult::kBusy;
  }
  hold->reset(new Win32StationHold(mutex));
  return HoldResult::kHeld;
}

}  // namespace plat

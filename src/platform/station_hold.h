// One cycle at a time on a stored serial number, across processes: the
// runner and the dialog program take the hold of their settings key before
// a cycle reads or writes it. Released when the hold is dropped or the
// process ends, however it ends.
#pragma once

#include <memory>
#include <string>

namespace plat {

class StationHold {
 public:
  virtual ~StationHold() = default;
};

enum class HoldResult { kHeld, kBusy, kNoPlace };

// Takes the hold of the settings key company/app without waiting. kBusy: a
// process holds it (its id in *holder, "" when unknown). kNoPlace: the hold
// cannot be kept where the settings live (the settings cannot be written
// there either), *hold stays empty.
HoldResult HoldStation(const std::string& company, const std::string& app, std::unique_ptr<StationHold>* hold,
                       std::string* holder);

}  // namespace plat

#include "cli/station.h"

#include "orvalo_product.h"

bool IsValidStationName(const std::string& name) {
  if (name.empty() || name.size() > kStationNameMax) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::string StationApplicationKey(const std::string& name) {
  if (name.empty()) return ORVALO_DIALOG_NAME ".INI";
  return ORVALO_DIALOG_NAME "-" + name + ".INI";
}

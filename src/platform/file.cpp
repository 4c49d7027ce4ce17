#include "platform/file_internal.h"

namespace plat {

std::unique_ptr<File> OpenFileExclusive(const std::string& path, OpenRefusal* refusal) {
  OpenRefusal ignored;
  if (!refusal) refusal = &ignored;
  if (path.empty()) {
    refusal->why = "no file name";
    return nullptr;
  }
  return OpenExistingExclusive(path, refusal);
}

}  // namespace plat

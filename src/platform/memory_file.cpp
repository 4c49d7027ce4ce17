#include <algorithm>
#include <cstring>

#include "platform/memory_file.h"

namespace plat {

int MemoryFile::Read(void* buf, int n) {
  if (n <= 0) return 0;
  size_t want = std::min(size_t(n), bytes_.size() - pos_);
  if (failAfter_ >= 0 && totalRead_ + want > size_t(failAfter_)) {
    if (totalRead_ >= size_t(failAfter_)) return -1;
    want = size_t(failAfter_) - totalRead_;
  }
  if (want) std::memcpy(buf, bytes_.data() + pos_, want);
  pos_ += want;
  totalRead_ += want;
  return int(want);
}

}  // namespace plat

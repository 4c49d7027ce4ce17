#include "support/guarded_bytes.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

GuardedBytes::GuardedBytes() {
  page_ = size_t(sysconf(_SC_PAGESIZE));
  void* map = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return;
  map_ = map;
  uint8_t* guard = static_cast<uint8_t*>(map) + page_;
  if (mprotect(guard, page_, PROT_NONE) == 0) guard_ = guard;
}

GuardedBytes::~GuardedBytes() {
  if (map_) munmap(map_, 2 * page_);
}

const uint8_t* GuardedBytes::Place(const void* bytes, size_t size) {
  if (!guard_ || size > page_) return nullptr;
  uint8_t* start = guard_ - size;
  if (size) std::memcpy(start, bytes, size);
  return start;
}

// The bytes a port has received but nobody has read yet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace plat {

// Moves up to max bytes from the front of queue to buf; the count moved.
inline size_t TakeQueued(std::deque<uint8_t>* queue, uint8_t* buf, size_t max) {
  size_t n = 0;
  for (; n < max && !queue->empty(); ++n) {
    buf[n] = queue->front();
    queue->pop_front();
  }
  return n;
}

}  // namespace plat

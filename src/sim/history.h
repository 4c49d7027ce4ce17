// What crossed the lines, kept for tests: nothing at all unless a test asks
// for it, and then only the latest `limit` entries, so that a long session
// (a dialog left running, a programmer polling for hours) holds no more
// memory at the end than at the start.
#pragma once

#include <cstddef>
#include <vector>

namespace sim {

template <typename T>
class History {
 public:
  explicit History(size_t limit) : limit_(limit) {}

  void Keep(bool on) {
    keep_ = on;
    if (!on) Clear();
  }

  void Add(const T& item) {
    if (!keep_) return;
    if (items_.size() < limit_) {
      items_.push_back(item);
    } else {
      items_[next_] = item;
      next_ = (next_ + 1) % limit_;
    }
  }

  // Oldest first.
  std::vector<T> Items() const {
    std::vector<T> out(items_.begin() + long(next_), items_.end());
    out.insert(out.end(), items_.begin(), items_.begin() + long(next_));
    return out;
  }

  void Clear() {
    items_.clear();
    items_.shrink_to_fit();
    next_ = 0;
  }

  size_t HeldBytes() const { return items_.capacity() * sizeof(T); }

 private:
  size_t limit_;
  bool keep_ = false;
  std::vector<T> items_;
  size_t next_ = 0;
};

}  // namespace sim

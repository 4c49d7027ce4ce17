// Bytes whose last one is the last readable byte before an inaccessible
// page (POSIX only): code that reads one byte past what it was given crashes
// the test instead of reading whatever happens to follow in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class GuardedBytes {
 public:
  GuardedBytes();
  ~GuardedBytes();
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;

  bool Ready() const { return guard_ != nullptr; }
  // Copies the bytes so that they end at the guard page (at most one page).
  const uint8_t* Place(const void* bytes, size_t size);
  const uint8_t* Place(const std::vector<uint8_t>& bytes) { return Place(bytes.data(), bytes.size()); }

 private:
  void* map_ = nullptr;
  size_t page_ = 0;
  uint8_t* guard_ = nullptr;
};

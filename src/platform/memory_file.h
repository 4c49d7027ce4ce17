// For tests, fuzzers and benchmarks only: a firmware file held in memory whose
// reads can be made to fail part-way. The programs never use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/file.h"

namespace plat {

// An in-memory file; reads fail once failAfter bytes have been read
// (failAfter < 0: never).
class MemoryFile : public File {
 public:
  explicit MemoryFile(std::vector<uint8_t> bytes, long failAfter = -1)
      : bytes_(std::move(bytes)), failAfter_(failAfter) {}
  int Read(void* buf, int n) override;
  bool Rewind() override {
    pos_ = 0;
    return true;
  }
  // Every byte handed out since construction, rewinds included.
  size_t bytesRead() const { return totalRead_; }

 private:
  std::vector<uint8_t> bytes_;
  long failAfter_;
  size_t pos_ = 0;
  size_t totalRead_ = 0;
};

}  // namespace plat

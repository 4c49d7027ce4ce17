// A file only ever appended to, each record in one write that reaches the disk
// before Append returns (a journal several processes may share). Failures are
// results, never exceptions.
#pragma once

#include <memory>
#include <string>

namespace plat {

class AppendFile {
 public:
  virtual ~AppendFile() = default;
  // One write of the whole text at the end of the file, then a flush to the
  // disk; false when either fails or the write was short.
  virtual bool Append(const std::string& text) = 0;
  // Everything the file holds now; false on a read error. A file that is not a
  // regular file (a device, a pipe) reads as empty.
  virtual bool ReadAll(std::string* text) = 0;
};

// Opens path for appending (created when missing); nullptr when it cannot be,
// with the system's reason in *why.
std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, std::string* why);

// Reads a whole regular file; false (with the reason) when it cannot.
bool ReadWholeFile(const std::string& path, std::string* text, std::string* why);

}  // namespace plat

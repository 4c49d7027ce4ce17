// Read-only files held without sharing for as long as they are open.
//
// The firmware image is read through this interface only, so tests and
// fuzzers can hand the passes any bytes (MemoryFile) and make reads fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

class File {
 public:
  virtual ~File() = default;
  // Bytes read (0 at the end), or -1 when the read fails.
  virtual int Read(void* buf, int n) = 0;
  // Back to offset 0; false on failure.
  virtual bool Rewind() = 0;
};

// Opens an existing regular file for reading and holds it exclusively as far
// as the platform allows; nullptr when it cannot be opened, is held elsewhere
// or is not a regular file (a directory, a device, a pipe: none of them is
// read, so none can hang the caller), saying why in refusal.
struct OpenRefusal {
  std::string why;          // the system's reason
  bool notRegular = false;  // it exists, but is no regular file
};
std::unique_ptr<File> OpenFileExclusive(const std::string& path, OpenRefusal* refusal = nullptr);

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
  size_t bytesRead() const { return totalRead_; }

 private:
  std::vector<uint8_t> bytes_;
  long failAfter_;
  size_t pos_ = 0;
  size_t totalRead_ = 0;
};

// The running program's own path, and the arguments after its name as one
// text (joined with single blanks on platforms that split them).
std::string ProgramPath();
void SetCommandLineArguments(int argc, char** argv);
std::string CommandLineArgumentText();
// The start-up title, where the platform has one ("" elsewhere).
std::string StartupTitle();
bool HasStartupTitle();

}  // namespace plat

namespace plat {
// Whether standard output is a terminal (colour and an updating progress line).
bool StdoutIsTerminal();
}  // namespace plat

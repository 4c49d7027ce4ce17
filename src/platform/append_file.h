// A file only ever appended to, each record in one write that reaches the disk
// before Append returns (a journal several processes may share), with a lock
// that every process using the file takes around reading and appending.
// Failures are results, never exceptions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace plat {

class AppendFile {
 public:
  virtual ~AppendFile() = default;
  // One write of the whole text at the end of the file, then a flush to the
  // disk; false when either fails or the write was short.
  virtual bool Append(const std::string& text) = 0;
  // Waits until no other process holds the lock (advisory: only processes
  // that lock see it), then holds it until Unlock, the file's closing or the
  // process's end, however it ends. False when the system refuses it.
  virtual bool Lock() = 0;
  virtual void Unlock() = 0;
  // The file's size now, or -1.
  virtual int64_t Size() = 0;
  // Up to n bytes from offset at: the count, 0 at the end, -1 on an error.
  virtual long ReadAt(int64_t at, void* buf, long n) = 0;
};

// Opens the regular file path for reading and appending (created when
// missing); nullptr when it cannot be, or is anything but a regular file (a
// directory, a device, a pipe, a symbolic link), with the reason in *why.
std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, std::string* why);

// Opens an existing regular file for reading only (Append then fails).
std::unique_ptr<AppendFile> OpenFileForReading(const std::string& path, std::string* why);

// Reads a whole regular file; false (with the reason) when it cannot.
bool ReadWholeFile(const std::string& path, std::string* text, std::string* why);

// Puts text in path whole or not at all: written beside it (PATH.new),
// flushed to the disk, then renamed over it. One writer at a time: callers
// hold a lock that covers path.
bool ReplaceWholeFile(const std::string& path, const std::string& text);

}  // namespace plat

namespace plat {
// Whether both paths name one existing file (through links or other names).
bool IsSameFile(const std::string& a, const std::string& b);
}  // namespace plat

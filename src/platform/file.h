// Read-only files held without sharing for as long as they are open.
//
// The firmware image is read through this interface only, so tests and
// fuzzers can hand the passes any bytes and make reads fail (memory_file.h).
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

// The running program's own path, and the arguments after its name as one
// text (joined with single blanks on platforms that split them; one name the
// platform's command line quoted, without its quotes). Arguments handed over
// with SetCommandLineArguments are that text wherever they are handed over.
std::string ProgramPath();
void SetCommandLineArguments(int argc, char** argv);
std::string CommandLineArgumentText();
// The start-up title, where the platform has one ("" elsewhere).
std::string StartupTitle();
bool HasStartupTitle();

// The folders where the user's programs look for their data, the user's own
// first (Linux: $XDG_DATA_HOME, then each of $XDG_DATA_DIRS, with the base
// directory rules' defaults); none where a program keeps its data beside
// itself (Windows).
std::vector<std::string> DataFolders();
// Whether something is at path, or may be but cannot be looked at (a folder
// on the way that is not readable): only "nothing there" is false.
bool PathMayExist(const std::string& path);

}  // namespace plat

namespace plat {
// Whether standard output is a terminal (colour and an updating progress line).
bool StdoutIsTerminal();
}  // namespace plat

namespace plat {
// Descriptors 0, 1 and 2 that are closed are opened on the null device, so
// that no file the program opens later takes their place and receives its
// output. First thing in main.
void OpenStandardStreams();
}  // namespace plat

#include <windows.h>

#include <vector>

#include "platform/file.h"

namespace plat {

std::string ProgramPath() {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), DWORD(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) return std::string(buf.data(), n);
    buf.resize(buf.size() * 2);  // the path was cut; try a larger buffer
  }
}

// Windows hands every program its command line as one text, which is used as
// is: the arguments main() received are not needed.
void SetCommandLineArguments(int, char**) {}

// The text after the program's name: a quoted name ends after its closing
// quote, an unquoted one before the first character up to 0x20; the blanks and
// control characters after it are skipped and the rest is kept whole, quotes
// and trailing blanks included.
std::string CommandLineArgumentText() {
  const char* p = GetCommandLineA();
  if (!p) return std::string();
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (static_cast<unsigned char>(*p) > 0x20) ++p;
  }
  while (*p && static_cast<unsigned char>(*p) <= 0x20) ++p;
  return std::string(p);
}

std::string StartupTitle() {
  STARTUPINFOA si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  GetStartupInfoA(&si);
  return si.lpTitle ? std::string(si.lpTitle) : std::string();
}

bool HasStartupTitle() { return true; }

bool StdoutIsTerminal() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace plat

namespace plat {
// Handles, not numbered descriptors: a file opened later never becomes
// standard output.
void OpenStandardStreams() {}
}  // namespace plat

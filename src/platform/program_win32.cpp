#include <windows.h>

#include <vector>

#include "platform/file.h"
#include "platform/handed_arguments.h"

namespace plat {

// The program's data is the firmware.hex beside it, found through the
// start-up title.
std::vector<std::string> DataFolders() { return {}; }

bool PathMayExist(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

std::string ProgramPath() {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), DWORD(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) return std::string(buf.data(), n);
    buf.resize(buf.size() * 2);  // the path was cut; try a larger buffer
  }
}

// Windows hands every program its command line as one text, which the
// programs use as is. Arguments handed over (handed_arguments.h), already
// split, take its place: a dialog started inside a process that was not
// started for it (a test program) names only what it is handed.
//
// The text after the program's name: a quoted name ends after its closing
// quote, an unquoted one before the first character up to 0x20; the blanks and
// control characters after it are skipped and the rest is kept whole, trailing
// blanks included. Explorer's "Open with" and the shells quote a name that
// holds blanks; a quote can be no part of a Windows file name, so a rest that
// is one quoted name (blanks after it aside) stands for the name inside.
std::string CommandLineArgumentText() {
  std::string handed;
  if (HandedArgumentText(&handed)) return handed;
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
  std::string rest(p);
  size_t close = rest.find('"', 1);
  if (rest.empty() || rest[0] != '"' || close == std::string::npos) return rest;
  for (size_t i = close + 1; i < rest.size(); ++i)
    if (static_cast<unsigned char>(rest[i]) > 0x20) return rest;
  return rest.substr(1, close - 1);
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

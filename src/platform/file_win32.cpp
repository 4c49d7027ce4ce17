#include <windows.h>

#include <cstdio>

#include "platform/file_internal.h"

namespace plat {
namespace {

class Win32File : public File {
 public:
  explicit Win32File(HANDLE h) : h_(h) {}
  ~Win32File() override { CloseHandle(h_); }
  int Read(void* buf, int n) override {
    if (n <= 0) return 0;
    DWORD got = 0;
    if (!ReadFile(h_, buf, DWORD(n), &got, nullptr)) return -1;
    return int(got);
  }
  bool Rewind() override { return SetFilePointer(h_, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER; }

 private:
  HANDLE h_;
};

std::string SystemErrorText(unsigned long code) {
  char text[256] = {0};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, DWORD(code), 0, text,
                           sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.')) text[--n] = 0;
  if (n == 0) std::snprintf(text, sizeof text, "system error %lu", code);
  return text;
}

}  // namespace

// Share mode 0: while the handle is open nobody else may read, write, rename
// or delete the file, so the record count taken at open time stays true.
std::unique_ptr<File> OpenExistingExclusive(const std::string& path, OpenRefusal* refusal) {
  std::string& why = refusal->why;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    why = SystemErrorText(GetLastError());
    return nullptr;
  }
  // Consoles, pipes and ports open like files but are not firmware images.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    why = "not a regular file";
    refusal->notRegular = true;
    return nullptr;
  }
  return std::unique_ptr<File>(new Win32File(h));
}

}  // namespace plat

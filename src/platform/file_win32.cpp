#include <windows.h>

#include "platform/file.h"

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

}  // namespace

// Share mode 0: while the handle is open nobody else may read, write, rename
// or delete the file, so the record count taken at open time stays true.
std::unique_ptr<File> OpenFileExclusive(const std::string& path) {
  if (path.empty()) return nullptr;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<File>(new Win32File(h));
}

}  // namespace plat

#include <windows.h>

#include "platform/append_file.h"

namespace plat {
namespace {

std::string Reason(DWORD code) {
  char text[256] = {0};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = '\0';
  return n ? std::string(text) : "error " + std::to_string(code);
}

// The lock covers one byte far past any journal's end: Windows locks are
// mandatory, and a lock over the data would also fail other processes'
// reads (a report) instead of only making lockers wait.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

class Win32AppendFile : public AppendFile {
 public:
  explicit Win32AppendFile(HANDLE h) : h_(h) {}
  ~Win32AppendFile() override { CloseHandle(h_); }
  // Opened with FILE_APPEND_DATA only (no FILE_WRITE_DATA), so every write
  // goes to the end, even with other processes appending.
  bool Append(const std::string& text) override {
    DWORD put = 0;
    if (!WriteFile(h_, text.data(), DWORD(text.size()), &put, nullptr) || put != text.size()) return false;
    return FlushFileBuffers(h_) != 0;
  }
  bool Lock() override {
    OVERLAPPED o = {};
    o.OffsetHigh = kLockOffsetHigh;
    return LockFileEx(h_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &o) != 0;
  }
  void Unlock() override {
    OVERLAPPED o = {};
    o.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(h_, 0, 1, 0, &o);
  }
  int64_t Size() override {
    LARGE_INTEGER size;
    return GetFileSizeEx(h_, &size) ? int64_t(size.QuadPart) : -1;
  }
  long ReadAt(int64_t at, void* buf, long n) override {
    OVERLAPPED o = {};
    o.Offset = DWORD(uint64_t(at) & 0xFFFFFFFFu);
    o.OffsetHigh = DWORD(uint64_t(at) >> 32);
    DWORD got = 0;
    if (!ReadFile(h_, buf, DWORD(n), &got, &o)) return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return long(got);
  }

 private:
  HANDLE h_;
};

std::unique_ptr<AppendFile> Open(const std::string& path, DWORD access, DWORD disposition, std::string* why) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (why) *why = "a symbolic link";
    return nullptr;
  }
  HANDLE h = CreateFileA(path.c_str(), access | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (why) *why = Reason(GetLastError());
    return nullptr;
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    if (why) *why = "not a regular file";
    CloseHandle(h);
    return nullptr;
  }
  return std::unique_ptr<AppendFile>(new Win32AppendFile(h));
}

}  // namespace

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, std::string* why) {
  return Open(path, FILE_APPEND_DATA | FILE_READ_DATA, OPEN_ALWAYS, why);
}

std::unique_ptr<AppendFile> OpenFileForReading(const std::string& path, std::string* why) {
  return Open(path, FILE_READ_DATA, OPEN_EXISTING, why);
}

bool ReplaceWholeFile(const std::string& path, const std::string& text) {
  std::string temporary = path + ".new";
  HANDLE h = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  bool ok = WriteFile(h, text.data(), DWORD(text.size()), &put, nullptr) && put == text.size() && FlushFileBuffers(h);
  CloseHandle(h);
  if (ok && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileA(temporary.c_str());
  return false;
}

}  // namespace plat

namespace plat {
namespace {
bool Identify(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = GetFileInformationByHandle(h, info) != 0;
  CloseHandle(h);
  return ok;
}
}  // namespace

bool IsSameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return Identify(a, &ia) && Identify(b, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}
}  // namespace plat

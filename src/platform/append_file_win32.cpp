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

bool ReadHandle(HANDLE h, std::string* text) {
  text->clear();
  if (GetFileType(h) != FILE_TYPE_DISK) return true;
  char buf[65536];
  ULONGLONG at = 0;
  while (true) {
    OVERLAPPED o = {};
    o.Offset = DWORD(at & 0xFFFFFFFFu);
    o.OffsetHigh = DWORD(at >> 32);
    DWORD got = 0;
    if (!ReadFile(h, buf, sizeof buf, &got, &o)) return GetLastError() == ERROR_HANDLE_EOF;
    if (got == 0) return true;
    text->append(buf, got);
    at += got;
  }
}

class Win32AppendFile : public AppendFile {
 public:
  explicit Win32AppendFile(HANDLE h) : h_(h) {}
  ~Win32AppendFile() override { CloseHandle(h_); }
  // Opened with FILE_APPEND_DATA only (no FILE_WRITE_DATA), so every write
  // goes to the end, even with other processes appending.
  bool Append(const std::string& text) override {
    DWORD put = 0;
    if (!WriteFile(h_, text.data(), DWORD(text.size()), &put, nullptr) || put != text.size()) return false;
    if (GetFileType(h_) != FILE_TYPE_DISK) return true;
    return FlushFileBuffers(h_) != 0;
  }
  bool ReadAll(std::string* text) override { return ReadHandle(h_, text); }

 private:
  HANDLE h_;
};

}  // namespace

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, std::string* why) {
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE, share, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
    h = CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (why) *why = Reason(GetLastError());
    return nullptr;
  }
  return std::unique_ptr<AppendFile>(new Win32AppendFile(h));
}

bool ReadWholeFile(const std::string& path, std::string* text, std::string* why) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (why) *why = Reason(GetLastError());
    return false;
  }
  bool ok = GetFileType(h) == FILE_TYPE_DISK && ReadHandle(h, text);
  if (!ok && why) *why = "cannot be read";
  CloseHandle(h);
  return ok;
}

}  // namespace plat

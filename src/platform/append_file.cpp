#include "platform/append_file.h"

namespace plat {

bool ReadWholeFile(const std::string& path, std::string* text, std::string* why) {
  std::unique_ptr<AppendFile> file = OpenFileForReading(path, why);
  if (!file) return false;
  text->clear();
  char buf[65536];
  while (true) {
    long n = file->ReadAt(int64_t(text->size()), buf, long(sizeof buf));
    if (n < 0) {
      if (why) *why = "cannot be read";
      return false;
    }
    if (n == 0) return true;
    text->append(buf, size_t(n));
  }
}

}  // namespace plat

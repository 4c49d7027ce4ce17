// Runs the dialog tests inside one QApplication. Every run gets private
// temporary, runtime and settings folders, so that the single-instance socket
// or the stored serial number of one test never meets another's.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <cstring>
#include <string>

namespace {
std::string MakePrivateRoot() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/orvalo-ui-XXXXXX";
  if (!mkdtemp(pattern.data())) return std::string();
  return pattern;
}

std::string UsePrivateFolders() {
  std::string root = MakePrivateRoot();
  if (root.empty()) return root;
  std::string config = root + "/config";
  mkdir(config.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", root.c_str(), 1);  // mkdtemp made it 0700, as Qt wants
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  setenv("TEST_TMPDIR", root.c_str(), 1);
  return root;
}
}  // namespace

int main(int argc, char** argv) {
  // Test discovery only lists names and must leave nothing behind.
  bool listing = false;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--gtest_list_tests") == 0) listing = true;
  std::string root = listing ? std::string() : UsePrivateFolders();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  int result;
  {
    QApplication app(argc, argv);
    result = RUN_ALL_TESTS();
  }
  if (!root.empty()) QDir(QString::fromStdString(root)).removeRecursively();
  return result;
}

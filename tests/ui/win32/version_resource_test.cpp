// The programs' version resources, as Explorer's Properties page and
// inventory tools read it, carries the build's version.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvalo_version.h"
#include "support/win32_test_support.h"

namespace {

std::vector<char> VersionBlock(const std::string& program) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(program.c_str(), &ignored);
  std::vector<char> block(size);
  if (size == 0 || !GetFileVersionInfoA(program.c_str(), 0, size, block.data())) block.clear();
  return block;
}

std::string Text(std::vector<char>& block, const char* name) {
  char* value = nullptr;
  UINT length = 0;
  std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
    return "<none>";
  return std::string(value);
}

// Both programs carry the build's version, in text and in the fixed part.
void ExpectBuildsVersion(const char* path, const char* fileName) {
  std::vector<char> block = VersionBlock(WindowsPath(path));
  ASSERT_FALSE(block.empty()) << "no version resource in " << fileName;
  EXPECT_EQ(Text(block, "FileVersion"), ORVALO_VERSION);
  EXPECT_EQ(Text(block, "ProductVersion"), ORVALO_VERSION);
  EXPECT_EQ(Text(block, "OriginalFilename"), fileName);

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && fixed);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, DWORD(ORVALO_VERSION_MAJOR << 16 | ORVALO_VERSION_MINOR));
  EXPECT_EQ(fixed->dwFileVersionLS, DWORD(ORVALO_VERSION_PATCH << 16));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
}

TEST(VersionResourceTest, TheDialogProgramCarriesTheBuildsVersion) {
  ExpectBuildsVersion(ORVALO_PROGRAMMER_PATH, "orvalo-programmer.exe");
}

TEST(VersionResourceTest, TheRunnerCarriesTheBuildsVersion) {
  ExpectBuildsVersion(ORVALO_CLI_PATH, "orvalo-programmer-cli.exe");
}

}  // namespace

// The runner's manual page against what the runner and the README say: every
// option --help names has an entry in the manual's OPTIONS and the other way
// round; the manual's ORVALO_SIM items are the README's.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

std::string ReadText(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string RunHelp() {
  std::string out;
  FILE* p = popen("'" ORVALO_CLI_PATH "' --help", "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// Option words: a dash or two, then a letter, standing at the start of a word
// (so "comma-separated" or "0-7" are not options).
std::set<std::string> OptionWords(const std::string& text) {
  static const std::regex word(R"((^|[\s\[|,(])(--?[A-Za-z][A-Za-z0-9-]*))");
  std::set<std::string> found;
  for (std::sregex_iterator it(text.begin(), text.end(), word), end; it != end; ++it) found.insert((*it)[2]);
  return found;
}

// Manual source to plain words: escaped dashes, font changes and quotes gone.
std::string Plain(std::string line) {
  line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
  line = std::regex_replace(line, std::regex(R"(\\f[BIRP])"), "");
  line = std::regex_replace(line, std::regex("\""), " ");
  return line;
}

// The tag lines (the line after each .TP) of the manual section NAME, the
// nested blocks (.RS ... .RE) included only when `nested`.
std::vector<std::string> SectionTags(const std::string& manual, const std::string& name, bool nested,
                                     const std::string& under = "") {
  std::vector<std::string> tags;
  std::vector<std::string> lines = Lines(manual);
  bool inSection = false, inBlock = false;
  int depth = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (l.rfind(".SH", 0) == 0) {
      inSection = Plain(l).find(name) != std::string::npos;
      depth = 0;
      continue;
    }
    if (!inSection) continue;
    if (l.rfind(".RS", 0) == 0) {
      ++depth;
      continue;
    }
    if (l.rfind(".RE", 0) == 0) {
      --depth;
      if (depth == 0) inBlock = false;
      continue;
    }
    if (l.rfind(".TP", 0) == 0 && i + 1 < lines.size()) {
      std::string tag = Plain(lines[i + 1]);
      if (depth == 0) inBlock = !under.empty() && tag.find(under) != std::string::npos;
      if ((depth == 0 && !nested) || (depth > 0 && nested && (under.empty() || inBlock))) tags.push_back(tag);
    }
  }
  return tags;
}

std::string Join(const std::set<std::string>& s) {
  std::string out;
  for (const std::string& x : s) out += (out.empty() ? "" : " ") + x;
  return out;
}

std::set<std::string> Missing(const std::set<std::string>& from, const std::set<std::string>& in) {
  std::set<std::string> out;
  for (const std::string& x : from)
    if (!in.count(x)) out.insert(x);
  return out;
}

}  // namespace

TEST(ManualTest, OptionsOfHelpAndManualAgree) {
  std::set<std::string> help = OptionWords(RunHelp());
  ASSERT_TRUE(help.count("--help")) << "the runner's --help printed no usage";

  std::set<std::string> manual;
  for (const std::string& tag : SectionTags(ReadText(ORVALO_MANUAL_PATH), "OPTIONS", false))
    for (const std::string& option : OptionWords(tag)) manual.insert(option);
  EXPECT_EQ(Join(Missing(help, manual)), "") << "named by --help, without an entry in the manual's OPTIONS";
  EXPECT_EQ(Join(Missing(manual, help)), "") << "in the manual's OPTIONS, unknown to --help";
}

TEST(ManualTest, SimulatedDeviceItemsOfManualAndReadmeAgree) {
  // Manual: the first word of each tag in the block under ORVALO_SIM.
  std::set<std::string> manual;
  for (std::string tag : SectionTags(ReadText(ORVALO_MANUAL_PATH), "ENVIRONMENT", true, "ORVALO_SIM")) {
    std::istringstream words(tag);
    std::string macro, item;
    words >> macro >> item;
    manual.insert(item.substr(0, item.find('=')));
  }

  // README: the items in code spans in the first column of the table that
  // follows the simulated device's heading.
  std::set<std::string> readme;
  bool inSection = false;
  for (const std::string& l : Lines(ReadText(ORVALO_README_PATH))) {
    if (l.rfind("## ", 0) == 0) inSection = l.find("ORVALO_SIM") != std::string::npos;
    if (!inSection || l.rfind("| `", 0) != 0) continue;
    std::string first = l.substr(1, l.find('|', 1) - 1);
    static const std::regex span("`([^`=]+)[^`]*`");
    for (std::sregex_iterator it(first.begin(), first.end(), span), end; it != end; ++it) readme.insert((*it)[1]);
  }

  ASSERT_GT(readme.size(), 5u) << "the README's item table was not found";
  EXPECT_EQ(Join(Missing(readme, manual)), "") << "in the README's table, missing from the manual";
  EXPECT_EQ(Join(Missing(manual, readme)), "") << "in the manual, missing from the README's table";
}

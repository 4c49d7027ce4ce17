// The documents against the programs: every option --help names has an entry
// in the runner's manual's OPTIONS and the other way round; the ORVALO_SIM
// items of the manual and of the operator's guide are the parser's; both list
// the exit statuses in the order they win; the product's facts are the
// build's.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "orvalo_product.h"
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

// The first cells of the table's rows (not its heading) under the `## `
// heading that contains `heading`, without code marks and outer blanks.
std::vector<std::string> TableFirstCells(const std::string& doc, const std::string& heading) {
  std::vector<std::string> cells, lines = Lines(doc);
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (l.rfind("## ", 0) == 0) inSection = l.find(heading) != std::string::npos;
    bool heads = i + 1 < lines.size() && lines[i + 1].rfind("|---", 0) == 0;
    if (!inSection || l.rfind("| ", 0) != 0 || heads) continue;
    std::string cell = std::regex_replace(l.substr(1, l.find('|', 1) - 1), std::regex("`"), "");
    cells.push_back(std::regex_replace(cell, std::regex("^ +| +$"), ""));
  }
  return cells;
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

TEST(ManualTest, SimulatedDeviceItemsOfManualGuideAndParserAgree) {
  // Manual: the first word of each tag in the block under ORVALO_SIM.
  std::set<std::string> manual;
  for (std::string tag : SectionTags(ReadText(ORVALO_MANUAL_PATH), "ENVIRONMENT", true, "ORVALO_SIM")) {
    std::istringstream words(tag);
    std::string macro, item;
    words >> macro >> item;
    manual.insert(item.substr(0, item.find('=')));
  }

  // Guide: the items in the first column of the table that follows the
  // simulated device's heading ("`busy=MS` / `busy=MIN-MAX`": busy).
  std::set<std::string> guide;
  for (const std::string& cell : TableFirstCells(ReadText(ORVALO_GUIDE_PATH), "ORVALO_SIM")) {
    std::istringstream alternatives(std::regex_replace(cell, std::regex(" / | or "), " "));
    for (std::string item; alternatives >> item;) guide.insert(item.substr(0, item.find('=')));
  }

  // Parser: every key it compares an item with.
  std::set<std::string> parser;
  std::string source = ReadText(ORVALO_SIM_CONFIG_SOURCE);
  static const std::regex key(R"re(key == "([a-z]+)")re");
  for (std::sregex_iterator it(source.begin(), source.end(), key), end; it != end; ++it) parser.insert((*it)[1]);

  ASSERT_GT(parser.size(), 5u) << "the parser's keys were not found";
  EXPECT_EQ(Join(Missing(parser, guide)), "") << "known to the parser, missing from the guide's table";
  EXPECT_EQ(Join(Missing(guide, parser)), "") << "in the guide's table, unknown to the parser";
  EXPECT_EQ(Join(Missing(parser, manual)), "") << "known to the parser, missing from the manual";
  EXPECT_EQ(Join(Missing(manual, parser)), "") << "in the manual, unknown to the parser";
}

TEST(ManualTest, ExitStatusesAreListedInTheOrderTheyWin) {
  std::vector<std::string> wins{"128+N"};
  for (int status : {kExitNoCycle, kExitCycleFailed, kExitSerialIssuedBefore, kExitSerialNotFromDevice, kExitCompleted})
    wins.push_back(std::to_string(status));

  std::vector<std::string> manual;
  for (const std::string& tag : SectionTags(ReadText(ORVALO_MANUAL_PATH), "EXIT STATUS", false))
    manual.push_back(std::regex_replace(tag, std::regex(R"(^\.BR? |\s)"), ""));
  EXPECT_EQ(manual, wins) << "the manual's EXIT STATUS";
  std::vector<std::string> guide;
  for (const std::string& cell : TableFirstCells(ReadText(ORVALO_GUIDE_PATH), "Exit statuses"))
    guide.push_back(std::regex_replace(cell, std::regex(" "), ""));
  EXPECT_EQ(guide, wins) << "the guide's exit statuses";
}

// Each product fact a document spells, against the one the build gives the
// programs: every match of the pattern's group (line breaks in it read as
// blanks), and at least one.
TEST(ManualTest, DocumentsSpellTheProductFactsOfTheBuild) {
  const std::string th = R"re(\.TH \S+ 1 "[^"]*" "([^"]*)")re", config = R"(XDG_CONFIG_HOME/([^/]+)/)",
                    title = R"re(one small window,\s+"([^"]+)")re", name = R"(\.SH NAME\n(\S+) \\- )";
  struct Fact {
    const char* path;
    std::string pattern;
    const char* fact;
  } facts[] = {
      {ORVALO_MANUAL_PATH, th, ORVALO_DIALOG_NAME},  // the package's name, which the manuals' footer shows
      {ORVALO_DIALOG_MANUAL_PATH, th, ORVALO_DIALOG_NAME},
      {ORVALO_DIALOG_MANUAL_PATH, title, ORVALO_PRODUCT_NAME},
      {ORVALO_GUIDE_PATH, title, ORVALO_PRODUCT_NAME},
      {ORVALO_DESKTOP_PATH, R"(\nName=([^\n]*))", ORVALO_PRODUCT_NAME},
      {ORVALO_MANUAL_PATH, name, ORVALO_RUNNER_NAME},
      {ORVALO_DIALOG_MANUAL_PATH, name, ORVALO_DIALOG_NAME},
      {ORVALO_MANUAL_PATH, config, ORVALO_COMPANY},
      {ORVALO_DIALOG_MANUAL_PATH, config, ORVALO_COMPANY},
      {ORVALO_GUIDE_PATH, config, ORVALO_COMPANY},
      {ORVALO_GUIDE_PATH, R"(HKEY_CURRENT_USER\\software\\(\w+))", ORVALO_COMPANY},
  };
  for (const Fact& f : facts) {
    SCOPED_TRACE(std::string(f.path) + ": " + f.pattern);
    std::string text = ReadText(f.path);
    std::regex pattern(f.pattern);
    std::sregex_iterator it(text.begin(), text.end(), pattern), end;
    EXPECT_NE(it, end);
    for (; it != end; ++it) EXPECT_EQ(std::regex_replace((*it)[1].str(), std::regex("\\s+"), " "), f.fact);
  }
}

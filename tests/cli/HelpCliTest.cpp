// The help and version texts: the manual page is written from them, so every group and command
// must be reachable through --help, each answering with its usage.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "app/BuildInfo.h"
#include "cli/Cli.h"
#include "cli/CliRun.h"

using namespace quillotide;

namespace {

// The names of the "  name  summary" lines after a heading of a help text.
std::vector<std::string> listedNames(const std::string& help, const std::string& heading) {
  std::vector<std::string> names;
  std::istringstream lines(help);
  std::string line;
  bool inside = false;
  static const std::regex entry("^  (\\S+)  +\\S.*$");
  std::smatch match;
  while (std::getline(lines, line)) {
    if (line == heading) inside = true;
    else if (inside && std::regex_match(line, match, entry)) names.push_back(match[1]);
    else if (inside && !line.empty()) inside = false;
  }
  return names;
}

}  // namespace

TEST(HelpCli, VersionIsTheProgramsVersion) {
  const auto run = test::runCliWords({"--version"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "quillotide-cli " + programVersion() + "\n");
  EXPECT_TRUE(std::regex_match(programVersion(), std::regex("[0-9]+\\.[0-9]+\\.[0-9]+")));
  EXPECT_NE(test::runCliWords({"--help"}).out.find("--version"), std::string::npos);
}

TEST(HelpCli, EveryGroupAndCommandAnswersHelpWithItsUsage) {
  const auto top = test::runCliWords({"--help"});
  ASSERT_EQ(top.code, 0);
  const auto groups = listedNames(top.out, "Groups:");
  std::size_t withCommands = 0;
  for (const auto& g : cli::allGroups()) if (!g.commands.empty()) ++withCommands;
  ASSERT_EQ(groups.size(), withCommands);
  for (const auto& group : groups) {
    const auto groupHelp = test::runCliWords({group, "--help"});
    EXPECT_EQ(groupHelp.code, 0) << group;
    EXPECT_EQ(groupHelp.out.rfind("Usage: quillotide-cli " + group, 0), 0u) << group;
    for (const auto& command : listedNames(groupHelp.out, "Commands:")) {
      const auto commandHelp = test::runCliWords({group, command, "--help"});
      EXPECT_EQ(commandHelp.code, 0) << group << ' ' << command;
      EXPECT_EQ(commandHelp.out.rfind("Usage: quillotide-cli " + group + " " + command, 0), 0u)
          << commandHelp.out;
    }
  }
}

TEST(HelpCli, AGroupThatIsOneCommandNamesItOnce) {
  const auto run = test::runCliWords({"make-sample", "--help"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out.rfind("Usage: quillotide-cli make-sample ", 0), 0u) << run.out;
  EXPECT_EQ(run.out.find("make-sample make-sample"), std::string::npos) << run.out;
}

TEST(HelpCli, InstalledFoldersAreTheBuildsProgramFolders) {
  const auto dirs = installedProgramDirs();
  ASSERT_FALSE(dirs.empty());
  for (const auto& dir : dirs) EXPECT_EQ(dir.front(), '/') << dir;
  EXPECT_NE(std::find(dirs.begin(), dirs.end(), "/usr/bin"), dirs.end());
}

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "support/FaultFiles.h"
#include "support/TestSupport.h"

namespace {

std::string Env(const zeltest::XdgSandbox& xdg) {
  return "XDG_CONFIG_HOME=" + zeltest::ShellQuote(xdg.ConfigHome()) +
         " XDG_DATA_HOME=" + zeltest::ShellQuote(xdg.DataHome());
}

TEST(CliCoreTest, PathsPrintsAndCreatesTheLayout) {
  zeltest::XdgSandbox xdg;
  auto result = zeltest::RunZelctl({"paths"}, Env(xdg));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  std::string expected =
      "log: " + xdg.DataHome() + "/Merovane/Ostrel Manager/Log/\n" +
      "shared: " + xdg.DataHome() + "/Merovane/Ostrel Manager/Configuration/\n" +
      "user: " + xdg.ConfigHome() + "/Merovane/Ostrel Manager/Configuration/\n" +
      "global-common: " + xdg.DataHome() + "/Merovane/Zel Config/Configuration/\n" +
      "global-user: " + xdg.ConfigHome() + "/Merovane/Zel Config/Configuration/\n";
  EXPECT_EQ(result.out, expected);
  for (const char* folder : {"/Merovane/Ostrel Manager/Log", "/Merovane/Ostrel Manager/Configuration",
                             "/Merovane/Zel Config/Configuration"}) {
    EXPECT_TRUE(std::filesystem::is_directory(xdg.DataHome() + folder)) << folder;
  }
  EXPECT_TRUE(std::filesystem::is_directory(xdg.ConfigHome() + "/Merovane/Zel Config/Configuration"));
  // Exactly the folders of the layout, nothing else.
  std::set<std::string> found;
  for (auto it = std::filesystem::recursive_directory_iterator(xdg.dir().path());
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    found.insert(it->path().string().substr(xdg.dir().path().size()));
  }
  std::set<std::string> expectedFolders = {
      "/config", "/config/Merovane", "/config/Merovane/Ostrel Manager",
      "/config/Merovane/Ostrel Manager/Configuration", "/config/Merovane/Zel Config",
      "/config/Merovane/Zel Config/Configuration", "/data", "/data/Merovane",
      "/data/Merovane/Ostrel Manager", "/data/Merovane/Ostrel Manager/Log",
      "/data/Merovane/Ostrel Manager/Configuration", "/data/Merovane/Zel Config",
      "/data/Merovane/Zel Config/Configuration"};
  EXPECT_EQ(found, expectedFolders);
}

TEST(CliCoreTest, SettingsPrintsJsonWithoutThePassphrase) {
  zeltest::XdgSandbox xdg;
  std::string folder = xdg.ConfigHome() + "/Merovane/Ostrel Manager/Configuration";
  std::filesystem::create_directories(folder);
  zeltest::WriteFile(folder + "/config.xml",
                     "<profile version=\"1\"><section name=\"settings\"><Col0>12</Col0>"
                     "<ShowHistory>0</ShowHistory><SavePassphrase>1</SavePassphrase>"
                     "<Passphrase>hunter2</Passphrase></section></profile>");
  auto result = zeltest::RunZelctl({"settings"}, Env(xdg));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "{\"columnWidths\":[12,25,100,100,58,130,100,40,225],\"showHistory\":0,"
            "\"savePassphrase\":1,\"passphraseSet\":true,\"blockExport\":false,"
            "\"disableDelete\":false,\"resourceFile\":\"\"}\n");
  EXPECT_EQ(result.out.find("hunter2"), std::string::npos);
}

TEST(CliCoreTest, HelpVersionAndUsageErrors) {
  auto help = zeltest::RunZelctl({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("paths"), std::string::npos);
  EXPECT_NE(help.out.find("settings"), std::string::npos);
  auto version = zeltest::RunZelctl({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("zelctl ", 0), 0u);
  EXPECT_EQ(zeltest::RunZelctl({"no-such-command"}).exitCode, 2);
  EXPECT_EQ(zeltest::RunZelctl({"paths", "extra"}).exitCode, 2);
  EXPECT_EQ(zeltest::RunZelctl({}).exitCode, 2);
}

}  // namespace

namespace {

// The man page documents every command that --help lists, and nothing else.
TEST(CliCoreTest, ManPageAndHelpAgree) {
  auto help = zeltest::RunZelctl({"--help"});
  ASSERT_EQ(help.exitCode, 0);
  std::string page = zeltest::ReadFile(std::string(ZEL_TEST_SOURCE_DIR) + "/cli/zelctl.1");
  ASSERT_FALSE(page.empty());
  std::set<std::string> listed;
  size_t start = help.out.find("Commands:\n");
  ASSERT_NE(start, std::string::npos);
  std::istringstream lines(help.out.substr(start + 10));
  std::string line;
  while (std::getline(lines, line) && line.rfind("  ", 0) == 0) {
    std::istringstream words(line);
    std::string name;
    words >> name;
    listed.insert(name);
  }
  ASSERT_GE(listed.size(), 2u);
  std::set<std::string> documented;
  std::istringstream pageLines(page.substr(page.find(".SH COMMANDS")));
  std::string previous;
  while (std::getline(pageLines, line)) {
    if (line.rfind(".SH", 0) == 0 && line != ".SH COMMANDS") break;
    if (previous == ".TP" && line.rfind(".B ", 0) == 0) {
      std::istringstream words(line.substr(3));
      std::string name;
      words >> name;
      // troff writes a plain hyphen as "\-".
      for (size_t p = name.find("\\-"); p != std::string::npos; p = name.find("\\-")) {
        name.erase(p, 1);
      }
      documented.insert(name);
    }
    previous = line;
  }
  EXPECT_EQ(listed, documented);
}

TEST(CliCoreTest, ADamagedArchiveLogFailsButKeepsWhatCanBeRead) {
  zeltest::XdgSandbox xdg;
  std::string folder = xdg.DataHome() + "/Merovane/Ostrel Manager/Configuration";
  std::filesystem::create_directories(folder);
  std::string log = folder + "/archive.log";
  const std::string damaged =
      "<Root>\r\n   <entry id = 1300000000>\r\n      <target>/a.zip</target>\r\n"
      "      <archiver>ZIP format</archiver>\r\n      <callcount>0</callcount>\r\n"
      "      <comment>kept</comment>\r\n      <calls>\r\n      </calls>\r\n   </entry>\r\n"
      "   <entry id = 1300000001>\r\n      <target>/b.zip</tar";
  zeltest::WriteFile(log, damaged);
  auto r = zeltest::RunZelctl({"archive-log"}, Env(xdg));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("1300000000"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("1300000001"), std::string::npos) << r.out;
  ASSERT_EQ(zeltest::DamagedCopies(log).size(), 1u);
  EXPECT_NE(r.err.find(zeltest::DamagedCopies(log)[0]), std::string::npos) << r.err;
  EXPECT_EQ(zeltest::ReadFile(zeltest::DamagedCopies(log)[0]), damaged);
  // From now on the kept entries are the log.
  auto again = zeltest::RunZelctl({"archive-log", "--report", "1300000000", "-o", xdg.dir().File("r.txt")}, Env(xdg));
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(zeltest::DamagedCopies(log).size(), 1u);
}

// Every command that meets a damaged data file says so in its exit status, once.
TEST(CliCoreTest, ADamagedDataFileMakesTheCommandFailOnce) {
  zeltest::XdgSandbox xdg;
  std::string folder = xdg.DataHome() + "/Merovane/Ostrel Manager/Configuration";
  std::filesystem::create_directories(folder);
  using Args = std::vector<std::string>;
  for (const auto& [file, command] : {std::pair<std::string, Args>{"history.reclist", {"history"}},
                                      {"schedule.xml", {"schedule", "set", "Enabled", "FALSE"}}}) {
    zeltest::WriteFile(folder + "/" + file, "<broken");
    auto r = zeltest::RunZelctl(command, Env(xdg));
    EXPECT_EQ(r.exitCode, 1) << file;
    EXPECT_NE(r.err.find("It was kept as"), std::string::npos) << r.err;
    EXPECT_EQ(zeltest::RunZelctl(command, Env(xdg)).exitCode, 0) << file;
  }
}

}  // namespace

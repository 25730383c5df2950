#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "core/AppIdentity.h"
#include "core/Folders.h"
#include "support/TestSupport.h"

namespace {

class FoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zel::SetCompanyName("Merovane");
    zel::SetProductName("Ostrel Manager");
  }
  void TearDown() override { zel::SetProductName(""); }
  zeltest::XdgSandbox xdg_;
};

TEST_F(FoldersTest, ShellFolderKindsFollowXdgAndRejectOthers) {
  std::string path = "unchanged";
  ASSERT_TRUE(zel::GetShellFolder(0, path));
  EXPECT_EQ(path, xdg_.ConfigHome());
  ASSERT_TRUE(zel::GetShellFolder(1, path));
  EXPECT_EQ(path, xdg_.DataHome());
  path = "unchanged";
  EXPECT_FALSE(zel::GetShellFolder(2, path));
  EXPECT_FALSE(zel::GetShellFolder(7, path));
  EXPECT_FALSE(zel::GetShellFolder(-1, path));
  EXPECT_EQ(path, "unchanged");
}

TEST_F(FoldersTest, DefaultsBelowHomeWhenXdgUnset) {
  zeltest::TempDir home;
  zeltest::ScopedEnv homeEnv("HOME", home.path());
  ::unsetenv("XDG_CONFIG_HOME");
  ::unsetenv("XDG_DATA_HOME");
  std::string path;
  ASSERT_TRUE(zel::GetShellFolder(0, path));
  EXPECT_EQ(path, home.path() + "/.config");
  ASSERT_TRUE(zel::GetShellFolder(1, path));
  EXPECT_EQ(path, home.path() + "/.local/share");
}

TEST_F(FoldersTest, LayoutBelowTheApplicationDataFolders) {
  EXPECT_EQ(zel::GetLogFolder(), xdg_.DataHome() + "/Merovane/Ostrel Manager/Log/");
  EXPECT_EQ(zel::GetConfigurationFolder(true),
            xdg_.DataHome() + "/Merovane/Ostrel Manager/Configuration/");
  EXPECT_EQ(zel::GetConfigurationFolder(false),
            xdg_.ConfigHome() + "/Merovane/Ostrel Manager/Configuration/");
  EXPECT_EQ(zel::GetConfigurationFolderFor(false, "Merovane", "Zel Config"),
            xdg_.ConfigHome() + "/Merovane/Zel Config/Configuration/");
  EXPECT_TRUE(std::filesystem::is_directory(xdg_.DataHome() + "/Merovane/Ostrel Manager/Log"));
}

TEST_F(FoldersTest, EmptyProductNameLeavesOutThatLevel) {
  zel::SetProductName("");
  EXPECT_EQ(zel::GetLogFolder(), xdg_.DataHome() + "/Merovane/Log/");
  EXPECT_EQ(zel::GetConfigurationFolder(false), xdg_.ConfigHome() + "/Merovane/Configuration/");
}

TEST_F(FoldersTest, AskingTwiceCreatesNothingNew) {
  std::string first = zel::GetConfigurationFolder(true);
  struct stat before {};
  ASSERT_EQ(::stat(first.c_str(), &before), 0);
  // A marker inside proves the folder was not recreated.
  zeltest::WriteFile(first + "marker", "x");
  std::string second = zel::GetConfigurationFolder(true);
  EXPECT_EQ(first, second);
  EXPECT_TRUE(zeltest::FileExists(second + "marker"));
}

TEST(AppIdentityTest, CompanyIsBuiltInProductComesWithStartup) {
  zel::SetProductName("");
  EXPECT_EQ(zel::CompanyName(), "Merovane");
  EXPECT_EQ(zel::ProductName(), "");
  zel::ApplyStartupIdentity();
  EXPECT_EQ(zel::ProductName(), "Ostrel Manager");
  EXPECT_EQ(zel::LoadString(zel::IDS_GLOBAL_PRODUCT), "Zel Config");
  EXPECT_EQ(zel::LoadString(zel::IDS_APP_TITLE), "Zel Velomar");
  EXPECT_EQ(zel::LoadString(4242), "");
  zel::SetProductName("");
}

}  // namespace

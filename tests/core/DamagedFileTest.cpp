#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "core/AppIdentity.h"
#include "core/CSettings.h"
#include "core/DamagedFile.h"
#include "core/RegularFile.h"
#include "support/FaultFiles.h"
#include "support/TestSupport.h"

namespace {

TEST(DamagedFileTest, SetAsideTakesAFreeTimeStampedNameAndSaysWhere) {
  zeltest::TempDir dir;
  zeltest::ScopedMessages messages;
  std::string path = dir.File("archive.log");
  long long now = static_cast<long long>(std::time(nullptr));
  // The plain names of this second and the next are taken: the copy takes "-2".
  for (long long t : {now, now + 1}) zeltest::WriteFile(zel::DamagedFileName(path, t), "older copy");
  zeltest::WriteFile(path, "<Root><entry");
  std::string moved = zel::SetAsideDamaged(path);
  EXPECT_EQ(moved.substr(moved.size() - 2), "-2");
  EXPECT_EQ(zeltest::ReadFile(moved), "<Root><entry");
  EXPECT_FALSE(zeltest::FileExists(path));
  EXPECT_EQ(zeltest::DamagedCopies(path).size(), 3u);
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_NE(messages.messages()[0].find(moved), std::string::npos);
}

TEST(DamagedFileTest, SpecialAndHugeFilesAreRefusedAtOnce) {
  zeltest::TempDir dir;
  alarm(20);  // a reader blocked on the FIFO ends the test program instead of hanging
  std::string content;
  ASSERT_TRUE(zeltest::MakeFifo(dir.File("fifo.xml")));
  EXPECT_EQ(zel::ReadDataFile(dir.File("fifo.xml"), content), zel::DataFileRead::NotRegular);
  EXPECT_EQ(zel::OpenRegularStream(dir.File("fifo.xml"), "r+b"), nullptr);
  std::filesystem::create_symlink("/dev/zero", dir.File("zero.reclist"));
  EXPECT_EQ(zel::ReadDataFile(dir.File("zero.reclist"), content), zel::DataFileRead::NotRegular);
  zeltest::WriteFile(dir.File("big"), "");
  std::filesystem::resize_file(dir.File("big"), zel::kMaxDataFileSize + 1);  // sparse
  EXPECT_EQ(zel::ReadDataFile(dir.File("big"), content), zel::DataFileRead::TooLarge);
  alarm(0);
}

TEST(DamagedFileTest, DamagedUserSettingsAreKeptAsideAndTheDefaultsApply) {
  zeltest::XdgSandbox xdg;
  zeltest::ScopedMessages messages;
  zel::ApplyStartupIdentity();
  std::string config = CSettings::SettingsFilePath(false, "config.xml");
  for (const std::string& bad : {std::string("<profile><section name=\"settings\"><Col0>5"), std::string()}) {
    zeltest::WriteFile(config, bad);
    CSettings settings;
    settings.Load();
    EXPECT_EQ(settings.GetColumnWidth(0), 40);
    settings.Save();  // the defaults now, the damaged file stays beside
    auto copies = zeltest::DamagedCopies(config);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(zeltest::ReadFile(copies[0]), bad);
    std::filesystem::remove(copies[0]);
  }
  EXPECT_EQ(messages.messages().size(), 2u);
}

}  // namespace

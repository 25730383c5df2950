#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "Archive/CArchiveLogger.h"
#include "Archive/CArchiveManager.h"
#include "Archive/CJobArchScheduler.h"
#include "ArchiveTestSupport.h"
#include "support/FaultFiles.h"
#include "support/TestSupport.h"

namespace {

class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tz_ = std::make_unique<zeltest::ScopedEnv>("TZ", "UTC");
    tzset();
    scheduler_ = std::make_unique<CJobArchScheduler>(Path());
    scheduler_->SetClock([this] { return now_; });
  }
  std::string Path() const { return dir_.File("schedule.xml"); }

  zeltest::XdgSandbox sandbox_;
  std::unique_ptr<zeltest::ScopedEnv> tz_;
  zeltest::TempDir dir_;
  // The default archive folder is made in the home folder: keep it in the sandbox.
  zeltest::ScopedEnv home_{"HOME", dir_.File("home")};
  int64_t now_ = archtest::Utc(2026, 12, 7, 14, 5, 9);
  std::unique_ptr<CJobArchScheduler> scheduler_;
};

TEST_F(SchedulerTest, UnsetScheduleIsDueAtOnceAndNextRunIsTomorrowMidnight) {
  EXPECT_EQ(scheduler_->NextRunTime(), archtest::Utc(2026, 12, 8));
  EXPECT_EQ(scheduler_->GetSettings().ScheduledTime, archtest::Utc(2026, 12, 8));
  EXPECT_FALSE(scheduler_->IsDue());
  now_ = archtest::Utc(2026, 12, 8);
  EXPECT_TRUE(scheduler_->IsDue());
  EXPECT_EQ(scheduler_->GetSettings().ScheduledTime, archtest::Utc(2026, 12, 9));
}

TEST_F(SchedulerTest, MissedScheduleMovesOnByTheInterval) {
  auto s = scheduler_->GetSettings();
  s.ScheduledTime = now_ - 3 * 86400;
  s.DaysInterval = 7;
  scheduler_->SetSettings(s);
  EXPECT_EQ(scheduler_->NextRunTime(), now_ + 4 * 86400);
  EXPECT_EQ(scheduler_->GetSettings().ScheduledTime, now_ + 4 * 86400);

  // Still in the past after one step: the next daily slot after now.
  s.ScheduledTime = now_ - 30 * 86400 + 600;
  scheduler_->SetSettings(s);
  EXPECT_EQ(scheduler_->NextRunTime(), now_ + 600);
}

TEST_F(SchedulerTest, DefaultsAreWrittenLineForLine) {
  auto s = scheduler_->GetSettings();
  EXPECT_FALSE(s.ArchivePath.empty());
  EXPECT_EQ(s.ArchivePath.back(), '/');
  EXPECT_TRUE(std::filesystem::is_directory(s.ArchivePath));
  s.ArchivePath = "/home/u/Documents/";
  s.SpaceFolders = {"/calls/a", "/calls/b&c"};
  scheduler_->SetSettings(s);
  std::string expected =
      "<?xml version=\"1.0\" standalone=\"yes\" ?>\r\n"
      "<ArchiveJobSchedulingData>\r\n"
      "   <SpaceFolders>\r\n"
      "      <path>/calls/a</path>\r\n"
      "      <path>/calls/b&amp;c</path>\r\n"
      "   </SpaceFolders>\r\n"
      "   <Enabled>FALSE</Enabled>\r\n"
      "   <SelectionType>0</SelectionType>\r\n"
      "   <ScheduleType>1</ScheduleType>\r\n"
      "   <ArchiveType>0</ArchiveType>\r\n"
      "   <ArchivePath>/home/u/Documents/</ArchivePath>\r\n"
      "   <ArchiveName>Diza Didurido Job</ArchiveName>\r\n"
      "   <MediaProcessing>0</MediaProcessing>\r\n"
      "   <ArchStructureType>0</ArchStructureType>\r\n"
      "   <ThresholdSize>700</ThresholdSize>\r\n"
      "   <CancelJob>FALSE</CancelJob>\r\n"
      "   <LastJobTime>0</LastJobTime>\r\n"
      "   <ScheduledTime>0</ScheduledTime>\r\n"
      "   <DaysInterval>1</DaysInterval>\r\n"
      "</ArchiveJobSchedulingData>\r\n";
  ASSERT_TRUE(scheduler_->Save());
  EXPECT_EQ(zeltest::ReadFile(Path()), expected);
}

TEST_F(SchedulerTest, SettingsRoundTripWithEscapedTexts) {
  auto s = scheduler_->GetSettings();
  s.SpaceFolders = {"/calls/<odd> & folder", "/calls/cr\rfolder"};  // a CR survives the reader
  s.Enabled = true;
  s.ArchiveType = zel::ArchiveType::kZip;
  s.ArchivePath = "/arch/";
  s.ArchiveName = "Night & Day";
  s.CancelJob = true;
  s.LastJobTime = 0x80000001LL;  // written as the low 32 bits
  s.ScheduledTime = 1765000000;
  s.DaysInterval = 3;
  s.UserName = "ann";
  s.Comment = "a <b> c";
  scheduler_->SetSettings(s);
  ASSERT_TRUE(scheduler_->Save());
  CJobArchScheduler back(Path());
  ASSERT_TRUE(back.Load());
  auto r = back.GetSettings();
  EXPECT_EQ(r.SpaceFolders, s.SpaceFolders);
  EXPECT_TRUE(r.Enabled);
  EXPECT_EQ(r.ArchiveType, zel::ArchiveType::kZip);
  EXPECT_EQ(r.ArchiveName, "Night & Day");
  EXPECT_TRUE(r.CancelJob);
  EXPECT_EQ(r.LastJobTime, -2147483647LL);
  EXPECT_EQ(r.ScheduledTime, 1765000000);
  EXPECT_EQ(r.DaysInterval, 3);
  EXPECT_EQ(r.UserName, "ann");
  EXPECT_EQ(r.Comment, "a <b> c");
  // Loading twice does not duplicate the folders.
  ASSERT_TRUE(back.Load());
  EXPECT_EQ(back.GetSettings().SpaceFolders, s.SpaceFolders);
}

TEST_F(SchedulerTest, LoadIsLenientAboutCaseContentAndNumbers) {
  zeltest::WriteFile(Path(),
                     "<?xml version=\"1.0\" standalone=\"yes\" ?>\r\n"
                     "<archivejobschedulingDATA>\r\n"
                     "   <SpaceFolders></SpaceFolders>\r\n"
                     "   <SpaceFolders><path>/x</path><path>/x</path><path>/y</path></SpaceFolders>\r\n"
                     "   <Enabled>true</Enabled>\r\n"
                     "   <ArchivePath></ArchivePath>\r\n"
                     "   <ArchivePath>/second/</ArchivePath>\r\n"
                     "   <ThresholdSize>lots</ThresholdSize>\r\n"
                     "   <CancelJob>yes</CancelJob>\r\n"
                     "   <ScheduledTime>-5</ScheduledTime>\r\n"
                     "</archivejobschedulingDATA>\r\n");
  ASSERT_TRUE(scheduler_->Load());
  auto s = scheduler_->GetSettings();
  EXPECT_EQ(s.SpaceFolders, (std::vector<std::string>{"/x", "/y"}));
  EXPECT_TRUE(s.Enabled);
  EXPECT_EQ(s.ArchivePath, "/second/");
  EXPECT_EQ(s.ThresholdSize, 0);
  EXPECT_FALSE(s.CancelJob);
  EXPECT_EQ(s.ScheduledTime, -5);
  EXPECT_EQ(s.ArchiveName, "Diza Didurido Job");  // missing: unchanged

  zeltest::WriteFile(Path(), "<OtherRoot><Enabled>FALSE</Enabled></OtherRoot>");
  ASSERT_TRUE(scheduler_->Load());
  EXPECT_TRUE(scheduler_->GetSettings().Enabled);
  zeltest::WriteFile(Path(), "<ArchiveJobSchedulingData><Enabled>FALSE");
  EXPECT_FALSE(scheduler_->Load());
  EXPECT_TRUE(scheduler_->GetSettings().Enabled);
}

TEST_F(SchedulerTest, ADamagedScheduleIsSetAsideBeforeASaveReplacesIt) {
  zeltest::ScopedMessages messages;
  const std::string broken = "<ArchiveJobSchedulingData><Enabled>TRUE</Enabled><ArchivePath>/space";
  for (const std::string& text : {broken, std::string()}) {
    zeltest::WriteFile(Path(), text);
    EXPECT_FALSE(scheduler_->Load());
    ASSERT_TRUE(scheduler_->Save());
    auto copies = zeltest::DamagedCopies(Path());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(zeltest::ReadFile(copies[0]), text);
    std::filesystem::remove(copies[0]);
  }
  EXPECT_EQ(messages.messages().size(), 2u);
}

TEST_F(SchedulerTest, EmptyUserAndCommentWriteNoLines) {
  auto s = scheduler_->GetSettings();
  s.UserName = "";
  s.Comment = "";
  scheduler_->SetSettings(s);
  std::string text = scheduler_->Serialize();
  EXPECT_EQ(text.find("UserName"), std::string::npos);
  EXPECT_EQ(text.find("Comment"), std::string::npos);
  s.UserName = "u";
  scheduler_->SetSettings(s);
  EXPECT_NE(scheduler_->Serialize().find("   <UserName>u</UserName>\r\n</ArchiveJobSchedulingData>"),
            std::string::npos);
}

TEST_F(SchedulerTest, TargetPathPerArchiveType) {
  auto s = scheduler_->GetSettings();
  s.ArchivePath = "/arch";
  s.ArchiveType = zel::ArchiveType::kZip;
  scheduler_->SetSettings(s);
  // The C locale's date and time: 12/07/26 14:05:09.
  EXPECT_EQ(scheduler_->TargetPath(), "/arch/Diza Didurido Job12_07_26 14_05_09.zip");
  s.ArchiveType = zel::ArchiveType::kIso;
  scheduler_->SetSettings(s);
  EXPECT_EQ(scheduler_->TargetPath(), "/arch/Diza Didurido Job12_07_26 14_05_09.iso");
  s.ArchiveType = zel::ArchiveType::kDisk;
  scheduler_->SetSettings(s);
  EXPECT_EQ(scheduler_->TargetPath(), "/arch/Diza Didurido Job/");
  s.ArchiveType = zel::ArchiveType::kNone;
  scheduler_->SetSettings(s);
  EXPECT_EQ(scheduler_->TargetPath(), "/arch/Diza Didurido Job/");
}

TEST(SchedulerSettingsTest, AnEnabledScheduleNeedsFoldersAndAMethod) {
  struct Case {
    bool enabled;
    std::vector<std::string> folders;
    zel::ArchiveType type;
    std::string told;  // a part of the problem, "" for none
  } cases[] = {{false, {}, zel::ArchiveType::kNone, ""},
               {true, {}, zel::ArchiveType::kZip, "no folders"},
               {true, {"/calls"}, zel::ArchiveType::kNone, "no archive method"},
               {true, {"/calls"}, static_cast<zel::ArchiveType>(7), "no archive method"},
               {true, {"/calls"}, zel::ArchiveType::kIso, ""}};
  for (const auto& c : cases) {
    CJobArchScheduler::Settings s;
    s.Enabled = c.enabled;
    s.SpaceFolders = c.folders;
    s.ArchiveType = c.type;
    std::string problem = s.EnabledProblem();
    EXPECT_EQ(problem.empty(), c.told.empty()) << problem;
    EXPECT_NE(problem.find(c.told), std::string::npos) << problem;
  }
}

TEST_F(SchedulerTest, SetValueFollowsTheSettingsPageRules) {
  EXPECT_NE(scheduler_->SetValue("DaysInterval", "0"), "");
  EXPECT_NE(scheduler_->SetValue("DaysInterval", "366"), "");
  EXPECT_NE(scheduler_->SetValue("DaysInterval", "7x"), "");
  EXPECT_EQ(scheduler_->SetValue("DaysInterval", "365"), "");
  EXPECT_EQ(scheduler_->GetSettings().DaysInterval, 365);
  EXPECT_NE(scheduler_->SetValue("Enabled", "yes"), "");
  EXPECT_EQ(scheduler_->SetValue("Enabled", "TRUE"), "");
  EXPECT_TRUE(scheduler_->GetSettings().Enabled);
  EXPECT_EQ(scheduler_->SetValue("CancelJob", "FALSE"), "");
  EXPECT_EQ(scheduler_->GetSettings().ThresholdSize, 0);
  EXPECT_EQ(scheduler_->SetValue("CancelJob", "TRUE"), "");
  EXPECT_EQ(scheduler_->GetSettings().ThresholdSize, 700);
  EXPECT_EQ(scheduler_->SetValue("ThresholdSize", "0"), "");
  EXPECT_FALSE(scheduler_->GetSettings().CancelJob);
  EXPECT_NE(scheduler_->SetValue("ArchiveType", "4"), "");
  EXPECT_NE(scheduler_->SetValue("SpaceFolders", "/x"), "");
  EXPECT_NE(scheduler_->SetValue("NoSuchKey", "1"), "");
  EXPECT_EQ(scheduler_->SetValue("ScheduledTime", "2026-12-24 18:30"), "");
  EXPECT_EQ(scheduler_->GetSettings().ScheduledTime, archtest::Utc(2026, 12, 24, 18, 30));
  EXPECT_EQ(scheduler_->SetValue("ArchivePath", "/a/b"), "");
  EXPECT_EQ(scheduler_->GetSettings().ArchivePath, "/a/b/");
  EXPECT_TRUE(scheduler_->AddSpaceFolder("/f"));
  EXPECT_FALSE(scheduler_->AddSpaceFolder("/f"));
  EXPECT_TRUE(scheduler_->RemoveSpaceFolder("/f"));
  EXPECT_FALSE(scheduler_->RemoveSpaceFolder("/f"));
}

// A name that leads out of the archive folder is refused when set and replaced
// by the default, with a warning, when a hand-edited file holds it.
TEST_F(SchedulerTest, ArchiveNamesThatLeaveTheArchiveFolderAreRefused) {
  archtest::ScopedMessages messages;
  for (const char* name : {".", "..", "a/b", "/abs", "../up"}) {
    EXPECT_NE(scheduler_->SetValue("ArchiveName", name), "") << name;
    EXPECT_EQ(scheduler_->GetSettings().ArchiveName, "Diza Didurido Job") << name;
    zeltest::WriteFile(Path(), std::string("<ArchiveJobSchedulingData><ArchiveName>") + name +
                                   "</ArchiveName></ArchiveJobSchedulingData>");
    ASSERT_TRUE(scheduler_->Load()) << name;
    EXPECT_EQ(scheduler_->GetSettings().ArchiveName, "Diza Didurido Job") << name;
  }
  EXPECT_EQ(messages.sink->Texts().size(), 5u);
  EXPECT_EQ(scheduler_->SetValue("ArchiveName", "..calls."), "");
  EXPECT_EQ(scheduler_->GetSettings().ArchiveName, "..calls.");
}

// A run through the process-wide manager with a fake archiver.
TEST_F(SchedulerTest, RunCarriesTheSettingsAndLogsTheFinishedRun) {
  auto state = std::make_shared<archtest::FakeState>();
  auto manager = Singleton<CArchiveManager>::Instance();
  manager->SetArchiverFactory([state](zel::ArchiveType type, IArchiver::ProgressFunction) {
    return std::make_unique<archtest::FakeArchiver>(state, type);
  });
  auto log = Singleton<CArchiveLogger>::Instance();
  archtest::ResetProcessLog();
  archtest::MakeDirs(dir_.File("calls"));
  archtest::MakeRecording(dir_.File("calls/u-1.zel"), 1300000000);
  auto s = scheduler_->GetSettings();
  s.SpaceFolders = {dir_.File("calls")};
  s.ArchiveType = zel::ArchiveType::kDisk;
  s.ArchivePath = dir_.File("out");
  s.UserName = "ann";
  scheduler_->SetSettings(s);
  std::vector<int> posts;
  std::mutex postsMutex;
  scheduler_->SetNotify([&](int lParam) {
    std::lock_guard<std::mutex> lock(postsMutex);
    posts.push_back(lParam);
  });
  scheduler_->RunJob();
  for (int i = 0; i < 2000 && manager->IsRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  manager->Stop();
  manager->SetArchiverFactory(nullptr);

  EXPECT_EQ(state->thresholdSeen, 700);  // passed on although CancelJob is FALSE
  auto after = scheduler_->GetSettings();
  EXPECT_EQ(after.LastJobTime, now_);
  EXPECT_EQ(after.Comment, "arch_records_till_14_December_2026.09");
  EXPECT_EQ(scheduler_->LastLogIndex(), 0);
  CJobArchListEntry entry;
  ASSERT_TRUE(log->GetEntry(0, entry));
  EXPECT_EQ(entry.Comment(), after.Comment);
  EXPECT_EQ(entry.User(), "ann");
  EXPECT_EQ(entry.Target(), dir_.File("out") + "/Diza Didurido Job/");
  ASSERT_EQ(entry.Sources().size(), 1u);
  EXPECT_EQ(entry.Sources()[0].Path(), dir_.File("calls/u-1.zel"));
  {
    std::lock_guard<std::mutex> lock(postsMutex);
    ASSERT_FALSE(posts.empty());
    EXPECT_EQ(posts.front(), 0);
    EXPECT_EQ(posts.back(), 2);
  }
  // The run saved the schedule.
  CJobArchScheduler saved(Path());
  ASSERT_TRUE(saved.Load());
  EXPECT_EQ(saved.GetSettings().LastJobTime, now_);
  log->Clear();
}

}  // namespace

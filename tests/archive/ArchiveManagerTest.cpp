#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>
#include <tuple>

#include "Archive/CArchiveLogger.h"
#include "Archive/CArchiveManager.h"
#include "recording/CLegalHolds.h"
#include "core/CKlLogger.h"
#include "toolkit/zip/CZipArchive.h"
#include "ArchiveTestSupport.h"
#include "recording/CKlRecordFileHdr.h"
#include "support/TestSupport.h"

using archtest::FakeArchiver;
using archtest::FakeState;
using archtest::MakeRecording;
using archtest::RecordingSink;

namespace {

class ArchiveManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tz_ = std::make_unique<zeltest::ScopedEnv>("TZ", "UTC");
    tzset();
    manager_ = std::make_unique<CArchiveManager>();
    manager_->SetArchiverFactory([this](zel::ArchiveType type, IArchiver::ProgressFunction) {
      lastType_ = type;
      return std::make_unique<FakeArchiver>(state_, type);
    });
    archtest::ResetProcessLog();
  }
  void TearDown() override {
    manager_.reset();
    Singleton<CArchiveLogger>::Instance()->Clear();
  }

  CJobArchListEntry Job(const std::vector<std::string>& sources, zel::StructureType structure = {},
                        zel::SelectionType selection = {}, zel::ArchiveType type = zel::ArchiveType::kDisk) {
    CJobArchListEntry job;
    for (const auto& path : sources) {
      CKlFileListEntry source;
      source.SetPath(path);
      job.AddSource(source);
    }
    job.SetArchiveType(type);
    job.SetStructureType(structure);
    job.SetSelectionType(selection);
    job.SetTarget(dir_.File("archive"));
    job.SetCallCount(static_cast<int32_t>(sources.size()));
    return job;
  }

  // Runs one job to its end.
  void RunJob(const CJobArchListEntry& job) {
    manager_->AddJob(job, &sink_);
    manager_->Start(true);
    WaitForEnd();
  }
  void WaitForEnd() {
    for (int i = 0; i < 3000 && manager_->IsRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_FALSE(manager_->IsRunning());
    manager_->Stop();
  }

  std::vector<std::string> AddedPaths() {
    std::vector<std::string> paths;
    for (const auto& added : state_->added) paths.push_back(added.sourcePath);
    return paths;
  }
  std::vector<std::string> AddedSubFolders() {
    std::vector<std::string> folders;
    for (const auto& added : state_->added) folders.push_back(added.subFolder);
    return folders;
  }

  std::string Touch(const std::string& relative, int32_t startTime = 1300000000) {
    std::string path = dir_.File(relative);
    archtest::MakeDirs(std::filesystem::path(path).parent_path().string());
    MakeRecording(path, startTime);
    return path;
  }

  zeltest::XdgSandbox sandbox_;
  std::unique_ptr<zeltest::ScopedEnv> tz_;
  zeltest::TempDir dir_;
  std::shared_ptr<FakeState> state_ = std::make_shared<FakeState>();
  std::unique_ptr<CArchiveManager> manager_;
  RecordingSink sink_;
  zel::ArchiveType lastType_ = zel::ArchiveType::kNone;
};

TEST_F(ArchiveManagerTest, MissingSourcesGiveOneMessageAndAnAbortedRunWithoutWrite) {
  archtest::ScopedMessages messages;
  RunJob(Job({dir_.File("gone1"), dir_.File("gone2")}));
  auto texts = messages.sink->Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], "ArchiveManager error - invalid file (..." + dir_.File("gone1") + ")");
  ArchiveRunStats stats = manager_->GetRunStats();
  EXPECT_EQ(stats.Aborted, 1);
  EXPECT_EQ(stats.SelectedCount, 0);
  EXPECT_EQ(state_->archiveCalls.load(), 0);
  EXPECT_EQ(sink_.started.load(), 1);
  EXPECT_EQ(sink_.finished.load(), 1);
  // An aborted run is never logged.
  EXPECT_EQ(manager_->RecordFinishedRun(&sink_.lastJob), -1);
  EXPECT_EQ(Singleton<CArchiveLogger>::Instance()->Count(), 0);
}

TEST_F(ArchiveManagerTest, MissingArchiveFolderIsCreatedWithItsParents) {
  manager_->SetArchiverFactory(nullptr);
  Touch("in/a-1.zel");
  for (auto type : {zel::ArchiveType::kDisk, zel::ArchiveType::kZip}) {
    std::string target = dir_.File(type == zel::ArchiveType::kDisk ? "new/deep/tree" : "new/zip/a.zip");
    CJobArchListEntry job = Job({dir_.File("in")}, {}, {}, type);
    job.SetTarget(target);
    RunJob(job);
    EXPECT_EQ(manager_->GetRunStats().ArchivedCount, 1) << target;
    EXPECT_FALSE(manager_->GetRunStats().Failed());
    EXPECT_TRUE(std::filesystem::exists(type == zel::ArchiveType::kDisk ? target + "/a-1.zel" : target));
  }
}

TEST_F(ArchiveManagerTest, AnArchiveThatCannotBeWrittenIsToldToTheUser) {
  manager_->SetArchiverFactory(nullptr);
  archtest::ScopedMessages messages;
  Touch("in/a-1.zel");
  zeltest::WriteFile(dir_.File("plain"), "x");
  CJobArchListEntry job = Job({dir_.File("in")});
  job.SetTarget(dir_.File("plain/tree"));
  RunJob(job);
  ArchiveRunStats stats = manager_->GetRunStats();
  EXPECT_EQ(stats.ArchivedCount, 0);
  EXPECT_TRUE(stats.Failed());
  auto texts = messages.sink->Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find(dir_.File("plain/tree")), std::string::npos) << texts[0];
  EXPECT_NE(texts[0].find("Not a directory"), std::string::npos) << texts[0];
}

// Two processes archive different recordings into one ZIP at the same moment.
TEST_F(ArchiveManagerTest, TwoRunsIntoOneZipAtOnceCountOnlyWhatTheArchiveHolds) {
  for (int i = 0; i < 6; ++i) {
    Touch("one/a-" + std::to_string(i) + ".zel", 1300000000 + i);
    Touch("two/b-" + std::to_string(i) + ".zel", 1300000100 + i);
  }
  std::string target = dir_.File("shared.zip");
  for (int round = 0; round < 5; ++round) {
    std::filesystem::remove(target);
    auto codes = archtest::RunProcessesAtOnce(2, [&](int c) {
      archtest::ScopedMessages quiet;
      CArchiveManager manager;
      CJobArchListEntry job = Job({dir_.File(c == 0 ? "one" : "two")}, {}, {}, zel::ArchiveType::kZip);
      job.SetTarget(target);
      manager.AddJob(job, nullptr);
      manager.Start(true);
      while (manager.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      manager.Stop();
      return static_cast<int>(manager.GetRunStats().ArchivedCount);
    });
    ASSERT_EQ(codes.size(), 2u);
    ASSERT_GE(codes[0], 0);
    ASSERT_GE(codes[1], 0);
    int counted = codes[0] + codes[1];
    std::vector<zel::zip::CZipArchive::ListedEntry> held;
    zel::zip::CZipArchive::List(target, held);
    // The archive also carries its index of the calls.
    const auto calls = std::count_if(held.begin(), held.end(), [](const auto& m) { return m.Name.find(".zel") != std::string::npos; });
    EXPECT_EQ(counted, static_cast<int>(calls)) << "round " << round;
    EXPECT_EQ(held.size(), static_cast<size_t>(calls) + 2) << "round " << round;
    EXPECT_GE(counted, 6);
  }
}

TEST_F(ArchiveManagerTest, InvalidSourceStillArchivesTheOthers) {
  archtest::ScopedMessages messages;
  std::string a = Touch("in/a-1.zel");
  RunJob(Job({dir_.File("in"), dir_.File("missing")}));
  EXPECT_EQ(AddedPaths(), std::vector<std::string>{a});
  EXPECT_EQ(state_->archiveCalls.load(), 1);
  EXPECT_EQ(manager_->GetRunStats().Aborted, 1);
}

TEST_F(ArchiveManagerTest, WalksFoldersInNameOrderAndTakesOnlyRecordings) {
  std::string b = Touch("in/b-2.ZEL");
  std::string a = Touch("in/a-1.zel");
  std::string c = Touch("in/sub/c-3.zel");
  zeltest::WriteFile(dir_.File("in/notes.txt"), "x");
  zeltest::WriteFile(dir_.File("in/wave.wav"), "x");
  RunJob(Job({dir_.File("in")}));
  EXPECT_EQ(AddedPaths(), (std::vector<std::string>{a, b, c}));
  EXPECT_EQ(state_->archiveCalls.load(), 1);
  ArchiveRunStats stats = manager_->GetRunStats();
  EXPECT_EQ(stats.SelectedCount, 3);
  EXPECT_EQ(stats.ArchivedCount, 3);
  EXPECT_EQ(stats.Aborted, 0);
  EXPECT_EQ(sink_.lastJob.CallCount(), 3);
  std::vector<CArchiveFileListEntry> selected;
  manager_->CopySelected(selected, false);
  ASSERT_EQ(selected.size(), 3u);
  EXPECT_EQ(selected[0].ArchiveTargetPath(), dir_.File("archive"));
  EXPECT_EQ(selected[0].ArchiveType(), zel::ArchiveType::kDisk);
  EXPECT_EQ(selected[0].Archived(), 1);
}

TEST_F(ArchiveManagerTest, SingleFileSourceIsArchivedAlone) {
  std::string a = Touch("in/a-1.zel");
  Touch("in/b-2.zel");
  // A folder whose name ends in "zel" is still a folder.
  std::string nested = Touch("in/folder.zel/c-3.zel");
  RunJob(Job({a, dir_.File("in/folder.zel")}));
  EXPECT_EQ(AddedPaths(), (std::vector<std::string>{a, nested}));
}

TEST_F(ArchiveManagerTest, UnarchivedSelectionSkipsLoggedPathsOnly) {
  std::string a = Touch("in/a-1.zel");
  std::string b = Touch("in/b-2.zel");
  std::string copy = Touch("other/a-1.zel");
  CJobArchListEntry logged;
  logged.SetJobTime(1000);
  CKlFileListEntry call;
  call.SetPath(a);
  call.SetStartTime(1300000000);
  logged.AddSource(call);
  Singleton<CArchiveLogger>::Instance()->AddEntry(logged);
  RunJob(Job({dir_.File("in"), dir_.File("other")}, {}, zel::SelectionType::kUnarchived));
  EXPECT_EQ(AddedPaths(), (std::vector<std::string>{b, copy}));
}

TEST_F(ArchiveManagerTest, DaySelectionCountsFromMidnightUtc) {
  int64_t now = archtest::Utc(2026, 12, 7, 0, 30);
  int64_t today = archtest::Utc(2026, 12, 7);
  manager_->SetClock([now] { return now; });
  std::string old = Touch("in/a-old.zel");
  std::string edge = Touch("in/b-edge.zel");
  std::string before = Touch("in/c-before.zel");
  std::string fresh = Touch("in/d-fresh.zel");
  archtest::SetMtime(old, now - 30 * 86400 - 3600);  // 30 days and 1 hour ago
  archtest::SetMtime(edge, today - 2592000);
  archtest::SetMtime(before, today - 2592000 - 1);
  archtest::SetMtime(fresh, now - 60);
  RunJob(Job({dir_.File("in")}, {}, zel::SelectionType::k30Days));
  EXPECT_EQ(AddedPaths(), (std::vector<std::string>{edge, fresh}));

  state_->added.clear();
  archtest::SetMtime(old, today - 7776000);
  archtest::SetMtime(before, today - 7776000 - 1);
  RunJob(Job({dir_.File("in")}, {}, zel::SelectionType::k90Days));
  EXPECT_EQ(AddedPaths(), (std::vector<std::string>{old, edge, fresh}));

  state_->added.clear();
  archtest::SetMtime(old, today - 15552000 - 1);
  RunJob(Job({dir_.File("in")}, {}, zel::SelectionType::k180Days));
  EXPECT_EQ(AddedPaths(), (std::vector<std::string>{edge, before, fresh}));
}

TEST_F(ArchiveManagerTest, StructureTypesGiveTheSubFolders) {
  Touch("in/alice-20110315.zel");
  Touch("in/nodash.zel");
  RunJob(Job({dir_.File("in")}, zel::StructureType::kByUser));
  EXPECT_EQ(AddedSubFolders(), (std::vector<std::string>{"alice", ""}));

  state_->added.clear();
  std::filesystem::remove_all(dir_.File("in"));
  Touch("in/a-jan.zel", static_cast<int32_t>(archtest::Utc(2011, 1, 15, 12)));
  Touch("in/b-dec.zel", static_cast<int32_t>(archtest::Utc(2012, 12, 15, 12)));
  RunJob(Job({dir_.File("in")}, zel::StructureType::kByMonth));
  EXPECT_EQ(AddedSubFolders(), (std::vector<std::string>{"Jan 2011", "Dec 2012"}));
  // The call time handed over is the header's start, once the details are loaded.
  EXPECT_EQ(state_->added[0].callTime, archtest::Utc(2011, 1, 15, 12));

  state_->added.clear();
  std::string deep = Touch("in/dir/sub/c-1.zel");
  RunJob(Job({deep}, zel::StructureType::kByPath));
  EXPECT_EQ(AddedSubFolders(), std::vector<std::string>{dir_.File("in/dir/sub")});

  state_->added.clear();
  manager_->SetPathPrefix(dir_.File("in"));
  RunJob(Job({deep}, zel::StructureType::kByPath));
  EXPECT_EQ(AddedSubFolders(), std::vector<std::string>{"/dir/sub"});
}

TEST(ArchiverHolderTest, PrefixIsRemovedOnlyAtAFolderBoundary) {
  EXPECT_EQ(CArchiverHolder::ApplyPrefix("/calls/2024/jan", "/calls"), "/2024/jan");
  EXPECT_EQ(CArchiverHolder::ApplyPrefix("/calls/2024/jan", "/calls/"), "/2024/jan");
  EXPECT_EQ(CArchiverHolder::ApplyPrefix("/calls2/x", "/calls"), "/calls2/x");
  EXPECT_EQ(CArchiverHolder::ApplyPrefix("/calls", "/calls"), "/calls");  // nothing would remain
  EXPECT_EQ(CArchiverHolder::ApplyPrefix("alice", "/calls"), "alice");
  EXPECT_EQ(CArchiverHolder::ApplyPrefix("/calls/x", ""), "/calls/x");
}

TEST_F(ArchiveManagerTest, UnknownArchiveTypeIsSkipped) {
  Touch("in/a-1.zel");
  RunJob(Job({dir_.File("in")}, {}, {}, static_cast<zel::ArchiveType>(7)));
  EXPECT_EQ(state_->created.load(), 0);
  EXPECT_EQ(sink_.finished.load(), 1);
  EXPECT_EQ(sink_.lastJob.StartTime(), 0);
  EXPECT_EQ(manager_->GetRunStats().ArchivedCount, 0);
}

TEST_F(ArchiveManagerTest, NothingSelectedNeverWrites) {
  archtest::MakeDirs(dir_.File("empty"));
  RunJob(Job({dir_.File("empty")}));
  EXPECT_EQ(state_->created.load(), 1);
  EXPECT_EQ(state_->archiveCalls.load(), 0);
  EXPECT_EQ(sink_.finished.load(), 1);
  EXPECT_EQ(manager_->RecordFinishedRun(&sink_.lastJob), -1);
}

TEST_F(ArchiveManagerTest, CancelDuringTheWalkSkipsTheWriteAndStillFinishes) {
  for (int i = 0; i < 40; ++i) Touch("in/u-" + std::to_string(100 + i) + ".zel");
  std::mutex m;
  std::condition_variable cv;
  bool firstAdd = false;
  state_->onAdd = [&] {
    {
      std::lock_guard<std::mutex> lock(m);
      firstAdd = true;
    }
    cv.notify_all();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  };
  manager_->AddJob(Job({dir_.File("in")}), &sink_);
  manager_->Start(true);
  {
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return firstAdd; }));
  }
  manager_->Cancel();
  EXPECT_FALSE(manager_->IsRunning());
  EXPECT_EQ(state_->archiveCalls.load(), 0);
  EXPECT_GE(state_->cancelCalls.load(), 1);
  EXPECT_LT(state_->added.size(), 40u);
  EXPECT_EQ(sink_.finished.load(), 1);
  EXPECT_EQ(manager_->GetRunStats().Aborted, 1);
  // Nothing of a cancelled walk counts as archived.
  EXPECT_TRUE(manager_->ArchivedRecordings().empty());
}

TEST_F(ArchiveManagerTest, JobsAreKeptOrDeletedAfterTheRun) {
  Touch("in/a-1.zel");
  manager_->AddJob(Job({dir_.File("in")}), &sink_);
  manager_->Start(false);
  WaitForEnd();
  EXPECT_EQ(manager_->JobCount(), 1);
  CJobArchListEntry kept;
  ASSERT_TRUE(manager_->GetJob(0, kept));
  EXPECT_NE(kept.StartTime(), 0);
  EXPECT_GE(kept.EndTime(), kept.StartTime());
  manager_->ClearJobs();
  EXPECT_EQ(manager_->JobCount(), 0);
  RunJob(Job({dir_.File("in")}));
  EXPECT_EQ(manager_->JobCount(), 0);
}

// Media processing after a run, through what the scheduled job does when it finishes.
class SourceProcessingTest : public ArchiveManagerTest {
 protected:
  int RunAndRecord(zel::MediaProcessing media, zel::ArchiveType type = zel::ArchiveType::kDisk) {
    CJobArchListEntry job = Job({dir_.File("in")}, {}, {}, type);
    job.SetMediaProcessing(media);
    int index = -1;
    sink_.onFinished = [&](CJobArchListEntry* finished) { index = manager_->RecordFinishedRun(finished); };
    RunJob(job);
    return index;
  }
};

TEST_F(SourceProcessingTest, ARecordingOverwrittenInTheArchiveIsNeitherLoggedNorDeleted) {
  manager_->SetArchiverFactory(nullptr);
  std::string first = Touch("in/day1/a-1.zel", 1300000000);
  std::string second = Touch("in/day2/a-1.zel", 1300000500);
  ASSERT_EQ(RunAndRecord(zel::MediaProcessing::kDelete), 0);
  EXPECT_TRUE(std::filesystem::exists(first));
  EXPECT_FALSE(std::filesystem::exists(second));
  EXPECT_EQ(manager_->GetRunStats().ArchivedCount, 1);
  CJobArchListEntry logged;
  ASSERT_TRUE(Singleton<CArchiveLogger>::Instance()->GetEntry(0, logged));
  ASSERT_EQ(logged.Sources().size(), 1u);
  EXPECT_EQ(logged.Sources()[0].Path(), second);
  EXPECT_EQ(logged.CallCount(), 1);
}

TEST_F(SourceProcessingTest, OriginalsStayWhenTheLogEntryCannotBeSaved) {
  archtest::ScopedMessages messages;
  std::string a = Touch("in/a-1.zel");
  // A folder in the log's place: the log cannot be written.
  std::filesystem::create_directories(Singleton<CArchiveLogger>::Instance()->Path());
  EXPECT_EQ(RunAndRecord(zel::MediaProcessing::kDelete), -1);
  EXPECT_TRUE(std::filesystem::exists(a));
  EXPECT_TRUE(manager_->GetRunStats().Failed());  // zelctl exits 1
  auto texts = messages.sink->Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find(Singleton<CArchiveLogger>::Instance()->Path()), std::string::npos) << texts[0];
  std::filesystem::remove(Singleton<CArchiveLogger>::Instance()->Path());
}

TEST_F(SourceProcessingTest, RemoveAudioKeepsHeaderAndAnnotations) {
  std::string a = Touch("in/a-1.zel");
  MakeRecording(a, 1300000000, 16000, "keep this comment");
  ::chmod(a.c_str(), 0640);
  EXPECT_EQ(RunAndRecord(zel::MediaProcessing::kRemoveAudio), 0);
  CKlRecordFileHdr header;
  int headerSize = header.LoadHeader(a, "");
  ASSERT_GT(headerSize, 0);
  EXPECT_EQ(archtest::FileSizeOf(a), headerSize);
  EXPECT_EQ(header.Comment(), "keep this comment");
  EXPECT_EQ(header.StartTime(), 1300000000);
  struct stat info {};
  ASSERT_EQ(::stat(a.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  // The log entry holds the recording with its call id.
  CJobArchListEntry entry;
  ASSERT_TRUE(Singleton<CArchiveLogger>::Instance()->GetEntry(0, entry));
  ASSERT_EQ(entry.Sources().size(), 1u);
  EXPECT_EQ(entry.Sources()[0].Path(), a);
  EXPECT_EQ(entry.Sources()[0].StartTime(), 1300000000);
}

TEST_F(SourceProcessingTest, FailedRenameLeavesTheRecordingIntact) {
  std::string a = Touch("in/a-1.zel");
  MakeRecording(a, 1300000000, 16000, "comment");
  std::string before = zeltest::ReadFile(a);
  manager_->SetRenamer([](const char*, const char*) { return -1; });
  RunAndRecord(zel::MediaProcessing::kRemoveAudio);
  EXPECT_EQ(zeltest::ReadFile(a), before);
  // No temporary file is left beside it.
  size_t files = 0;
  for (const auto& item : std::filesystem::directory_iterator(dir_.File("in"))) {
    (void)item;
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

// A failed delete or strip is told to the user in its own words, logged as what
// it is, and makes the run count as failed.
TEST_F(SourceProcessingTest, FailedDeleteOrStripIsToldAndFailsTheRun) {
  auto previousLogger = Singleton<CKlLogger>::Instance();
  archtest::MakeDirs(dir_.File("log"));
  Singleton<CKlLogger>::Instance() = std::make_shared<CKlLogger>(dir_.File("log") + "/");
  for (auto media : {zel::MediaProcessing::kDelete, zel::MediaProcessing::kRemoveAudio}) {
    archtest::ResetProcessLog();
    archtest::ScopedMessages messages;
    const std::string folder = media == zel::MediaProcessing::kDelete ? "del" : "strip";
    std::string a = Touch(folder + "/a-1.zel");
    MakeRecording(a, 1300000000, 16000, "comment");
    manager_->SetRenamer([](const char*, const char*) {
      errno = EACCES;
      return -1;
    });
    CJobArchListEntry job = Job({dir_.File(folder)});
    job.SetMediaProcessing(media);
    sink_.onFinished = [&](CJobArchListEntry* finished) {
      // Something the delete cannot remove now stands in the recording's place.
      if (media == zel::MediaProcessing::kDelete) {
        std::filesystem::remove(a);
        std::filesystem::create_directories(a + "/inside");
      }
      manager_->RecordFinishedRun(finished);
    };
    RunJob(job);
    ArchiveRunStats stats = manager_->GetRunStats();
    EXPECT_EQ(stats.ArchivedCount, 1);
    EXPECT_EQ(stats.Problems, 1);
    EXPECT_TRUE(stats.Failed());
    auto texts = messages.sink->Texts();
    ASSERT_EQ(texts.size(), 1u);
    std::string log = zeltest::ReadFile(Singleton<CKlLogger>::Instance()->LogPath());
    if (media == zel::MediaProcessing::kDelete) {
      EXPECT_NE(texts[0].find(a + " cannot be deleted: Is a directory"), std::string::npos) << texts[0];
      std::filesystem::remove_all(a);
    } else {
      EXPECT_NE(texts[0].find("The audio cannot be removed from the recording " + a + ": Permission denied"),
                std::string::npos) << texts[0];
      EXPECT_EQ(log.find("File " + a + " cannot be deleted"), std::string::npos) << log;
      EXPECT_NE(log.find("The audio cannot be removed from file " + a), std::string::npos) << log;
    }
    EXPECT_EQ(manager_->RunProblems(), texts);
  }
  Singleton<CKlLogger>::Instance() = previousLogger;
}

TEST_F(SourceProcessingTest, UnreadableRecordingKeepsItsAudio) {
  std::string a = dir_.File("in/a-1.zel");
  archtest::MakeDirs(dir_.File("in"));
  zeltest::WriteFile(a, std::string(3000, '\x07'));
  RunAndRecord(zel::MediaProcessing::kRemoveAudio);
  EXPECT_EQ(archtest::FileSizeOf(a), 3000);
}

TEST_F(SourceProcessingTest, DeleteRemovesOnlyWhatReachedTheArchive) {
  std::string a = Touch("in/a-1.zel");
  std::string b = Touch("in/b-2.zel");
  std::string c = Touch("in/c-3.zel");
  state_->writeLimit = 2;  // a threshold stops the folder tree after two copies
  EXPECT_EQ(RunAndRecord(zel::MediaProcessing::kDelete), 0);
  EXPECT_FALSE(zeltest::FileExists(a));
  EXPECT_FALSE(zeltest::FileExists(b));
  EXPECT_TRUE(zeltest::FileExists(c));
  CJobArchListEntry entry;
  ASSERT_TRUE(Singleton<CArchiveLogger>::Instance()->GetEntry(0, entry));
  EXPECT_EQ(entry.Sources().size(), 2u);
  EXPECT_EQ(entry.CallCount(), 2);
  EXPECT_EQ(sink_.lastJob.SourcesModified(), 1);
}

// The wizard's way: the job keeps the chosen calls as its sources, and the page
// that follows tells which originals were changed and why the others were kept.
TEST_F(SourceProcessingTest, OutcomesSayWhichOriginalsWereChangedAndWhy) {
  std::string a = Touch("in/a-1.zel"), b = Touch("in/b-2.zel"), c = Touch("in/c-3.zel");
  state_->writeLimit = 2;
  CJobArchListEntry job = Job({a, b, c});
  job.SetMediaProcessing(zel::MediaProcessing::kDelete);
  manager_->AddJob(job, &sink_);
  manager_->Start(false);
  WaitForEnd();
  EXPECT_TRUE(manager_->SourceOutcomes().empty());
  EXPECT_EQ(manager_->ProcessSourceRecordings(), 0);
  std::vector<std::tuple<std::string, bool, std::string>> seen;
  for (const auto& o : manager_->SourceOutcomes()) seen.emplace_back(o.Path, o.Changed, o.Why);
  EXPECT_EQ(seen, (std::vector<std::tuple<std::string, bool, std::string>>{
                      {a, true, ""}, {b, true, ""}, {c, false, "it did not reach the archive"}}));
  EXPECT_TRUE(zeltest::FileExists(c));
  manager_->ClearJobs();
}

TEST_F(SourceProcessingTest, KeepLeavesEverythingAndStillLogs) {
  std::string a = Touch("in/a-1.zel");
  std::string before = zeltest::ReadFile(a);
  EXPECT_EQ(RunAndRecord(zel::MediaProcessing::kKeep), 0);
  EXPECT_EQ(zeltest::ReadFile(a), before);
  EXPECT_EQ(sink_.lastJob.SourcesModified(), 0);
}

}  // namespace

namespace {

// With the real ZIP archiver: a threshold takes recordings back out of the
// archive, and only what stayed in it may be deleted at the source.
TEST_F(SourceProcessingTest, ZipThresholdKeepsTheSourcesOfRecordingsTakenBack) {
  manager_->SetArchiverFactory(nullptr);
  std::vector<std::string> paths;
  for (const char* name : {"a-1.zel", "b-2.zel", "c-3.zel"}) {
    std::string path = Touch(std::string("in/") + name);
    MakeRecording(path, 1300000000, 0);
    std::string noise(600 * 1024, '\0');
    std::mt19937 random(static_cast<unsigned>(path.size() + paths.size()));
    for (auto& c : noise) c = static_cast<char>(random());
    std::FILE* file = std::fopen(path.c_str(), "ab");
    ASSERT_NE(file, nullptr);
    std::fwrite(noise.data(), 1, noise.size(), file);
    std::fclose(file);
    paths.push_back(path);
  }
  CJobArchListEntry job = Job({dir_.File("in")}, {}, {}, zel::ArchiveType::kZip);
  job.SetTarget(dir_.File("out.zip"));
  job.SetThreshold(1);
  job.SetMediaProcessing(zel::MediaProcessing::kDelete);
  int index = -1;
  sink_.onFinished = [&](CJobArchListEntry* finished) { index = manager_->RecordFinishedRun(finished); };
  RunJob(job);
  EXPECT_EQ(manager_->GetRunStats().SelectedCount, 3);
  EXPECT_EQ(manager_->GetRunStats().ArchivedCount, 1);
  ASSERT_EQ(index, 0);
  EXPECT_FALSE(zeltest::FileExists(paths[0]));
  EXPECT_TRUE(zeltest::FileExists(paths[1]));
  EXPECT_TRUE(zeltest::FileExists(paths[2]));
  CJobArchListEntry entry;
  ASSERT_TRUE(Singleton<CArchiveLogger>::Instance()->GetEntry(0, entry));
  ASSERT_EQ(entry.Sources().size(), 1u);
  EXPECT_EQ(entry.Sources()[0].Path(), paths[0]);
}

}  // namespace

namespace {

// Neither deleting nor stripping touches a call on legal hold: it is archived,
// kept whole, and the run names the hold.
TEST_F(SourceProcessingTest, ACallOnLegalHoldIsArchivedAndKeptWhole) {
  auto holds = Singleton<CLegalHolds>::Instance();
  std::filesystem::create_directories(std::filesystem::path(holds->Path()).parent_path());
  for (auto media : {zel::MediaProcessing::kDelete, zel::MediaProcessing::kRemoveAudio}) {
    SCOPED_TRACE(static_cast<int>(media));
    archtest::ScopedMessages messages;
    archtest::ResetProcessLog();
    std::string held = Touch("in/a-1.zel"), other = Touch("in/b-1.zel");
    MakeRecording(held, 1300000000, 16000);
    std::string before = zeltest::ReadFile(held), otherBefore = zeltest::ReadFile(other), error;
    ASSERT_TRUE(holds->Add({CLegalHolds::Kind::kCall, held, "claim 17", "tester", 1}, error)) << error;
    ASSERT_GE(RunAndRecord(media), 0);
    EXPECT_EQ(zeltest::ReadFile(held), before);
    EXPECT_NE(zeltest::ReadFile(other), otherBefore);  // deleted or stripped
    auto outcomes = manager_->SourceOutcomes();
    auto kept = std::find_if(outcomes.begin(), outcomes.end(), [&](const auto& o) { return o.Path == held; });
    ASSERT_NE(kept, outcomes.end());
    EXPECT_FALSE(kept->Changed);
    EXPECT_NE(kept->Why.find("on legal hold"), std::string::npos) << kept->Why;
    EXPECT_NE(kept->Why.find("claim 17"), std::string::npos) << kept->Why;
    CLegalHolds::Hold released;
    ASSERT_TRUE(holds->Remove(CLegalHolds::Kind::kCall, held, released, error));
  }
}

}  // namespace

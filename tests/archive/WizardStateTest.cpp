#include <gtest/gtest.h>

#include "Archive/CArchiveWizardState.h"
#include "ArchiveTestSupport.h"
#include "recording/CKlFileListEntry.h"
#include "support/TestSupport.h"

namespace {

using S = CArchiveWizardState;

TEST(WizardStateTest, RequiredSpaceSwitchesUnitsAboveTheLimits) {
  EXPECT_EQ(S::SpaceText(0), "0 B");
  EXPECT_EQ(S::SpaceText(2048), "2048 B");
  EXPECT_EQ(S::SpaceText(2049), "2.00 KB");
  EXPECT_EQ(S::SpaceText(2097152), "2048.00 KB");
  EXPECT_EQ(S::SpaceText(2097153), "2.00 MB");
  EXPECT_EQ(S::SpaceText(5ULL * 1024 * 1024 * 1024), "5120.00 MB");
}

TEST(WizardStateTest, JobChecksComeInTheirOrder) {
  S state;
  EXPECT_EQ(state.CallsProblem(), "Please, select calls to be archived.");
  EXPECT_EQ(state.JobProblem(), "Archive path must be specified.");
  state.SetArchivePath("/tmp/out/");
  EXPECT_EQ(state.ArchivePath(), "/tmp/out");
  // Nothing else chosen either: the method is named first.
  EXPECT_EQ(state.JobProblem(), "Write method must be specified.");
  state.SetArchiveType(zel::ArchiveType::kZip);
  EXPECT_EQ(state.MethodText(), "ZIP");
  EXPECT_EQ(state.JobProblem(), "Calls modification must be specified.");
  state.SetMediaProcessing(0);
  EXPECT_EQ(state.MediaText(), "Don't modify");
  EXPECT_TRUE(state.SkipsModification());
  EXPECT_EQ(state.JobProblem(), "Archive structure must be specified.");
  state.SetStructureType(3);
  EXPECT_EQ(state.StructureText(), "By Directory");
  EXPECT_EQ(state.JobProblem(), "");
  state.SetMediaProcessing(2);
  EXPECT_FALSE(state.SkipsModification());
  state.Reset();
  EXPECT_EQ(state.MethodText(), "Pending");
  EXPECT_EQ(state.LogIndex(), -1);
}

TEST(WizardStateTest, CallsAndJobCarryTheChoices) {
  zeltest::TempDir dir;
  archtest::MakeRecording(dir.File("a-1.zel"), 1300000000, 3000);
  archtest::MakeRecording(dir.File("b-2.zel"), 1300000100, 10);
  CKlFileListEntry a, b;
  a.SetPath(dir.File("a-1.zel"));
  b.SetPath(dir.File("b-2.zel"));
  S state;
  state.SetCalls(0, {&a, &b});
  uint64_t bytes = a.FileSize() + b.FileSize();
  EXPECT_EQ(state.CallCount(), 2);
  EXPECT_EQ(state.RequiredBytes(), bytes);
  EXPECT_EQ(state.RequiredSpace(), S::SpaceText(bytes));
  state.SetArchivePath(dir.File("out.iso"));
  state.SetArchiveType(zel::ArchiveType::kIso);
  state.SetStructureType(1);
  state.SetMediaProcessing(1);
  CJobArchListEntry job = state.BuildJob({&a, &b}, "ann", 1400000000);
  EXPECT_EQ(job.Target(), dir.File("out.iso"));
  EXPECT_EQ(job.ArchiveType(), zel::ArchiveType::kIso);
  EXPECT_EQ(job.StructureType(), zel::StructureType::kByUser);
  EXPECT_EQ(job.MediaProcessing(), zel::MediaProcessing::kDelete);
  EXPECT_EQ(job.CallCount(), 2);
  EXPECT_EQ(job.User(), "ann");
  EXPECT_EQ(job.JobTime(), 1400000000);
  EXPECT_EQ(job.State(), 0);
  ASSERT_EQ(job.Sources().size(), 2u);
  EXPECT_EQ(job.Sources()[1].Path(), dir.File("b-2.zel"));
}

TEST(WizardStateTest, SummaryTexts) {
  zeltest::ScopedEnv tz("TZ", "UTC");
  tzset();
  EXPECT_EQ(S::ClockText(archtest::Utc(2026, 12, 7, 4, 5, 9)), "04:05:09");
  EXPECT_EQ(S::WriteDurationText(0), "Less Then 1 second");
  EXPECT_EQ(S::DurationText(0), "00:00:00");
  EXPECT_EQ(S::WriteDurationText(3723), "01:02:03");
  EXPECT_EQ(S::DurationText(360000), "100:00:00");
  using O = SourceRecordingOutcome;
  const O a{"/c/a.zel", true, ""}, b{"/c/b.zel", true, ""};
  const O missed{"/c/m.zel", false, "it did not reach the archive"};
  const O locked{"/c/l.zel", false, "it cannot be deleted: Permission denied"};
  struct Case {
    zel::MediaProcessing media;
    int modified;
    std::vector<O> outcomes;
    std::string text;
  } cases[] = {
      {zel::MediaProcessing::kDelete, 0, {a}, "No calls were modified."},
      {zel::MediaProcessing::kKeep, 1, {}, "No calls were modified."},
      {zel::MediaProcessing::kDelete, 1, {a, b}, "All archived original files were deleted."},
      {zel::MediaProcessing::kRemoveAudio, 1, {a}, "Audio was removed from all archived original files."},
      {zel::MediaProcessing::kDelete, 1, {a, missed, locked},
       "1 of 3 original files were deleted. Kept: m.zel (it did not reach the archive); "
       "l.zel (it cannot be deleted: Permission denied)."},
      {zel::MediaProcessing::kRemoveAudio, 1, {b, missed}, "Audio was removed from 1 of 2 original files. "
                                                           "Kept: m.zel (it did not reach the archive)."},
      {zel::MediaProcessing::kDelete, 1, {missed, missed},
       "No calls were modified. Kept: m.zel (it did not reach the archive); m.zel (it did not reach the archive)."},
      {zel::MediaProcessing::kDelete, 1, std::vector<O>(12, missed), ""},
  };
  for (const auto& c : cases) {
    CJobArchListEntry job;
    job.SetMediaProcessing(c.media);
    job.SetSourcesModified(c.modified);
    std::string text = S::ModificationText(job, c.outcomes);
    if (c.text.empty()) {
      EXPECT_NE(text.find("; and 2 more."), std::string::npos) << text;
    } else {
      EXPECT_EQ(text, c.text);
    }
  }
  EXPECT_EQ(S::ArchiveFolder(zel::ArchiveType::kDisk, "/a/b"), "/a/b");
  EXPECT_EQ(S::ArchiveFolder(zel::ArchiveType::kZip, "/a/b/Archive.zip"), "/a/b");
  EXPECT_EQ(S::ArchiveFolder(zel::ArchiveType::kIso, "/Archive.iso"), "/");
  EXPECT_EQ(S::ModificationLabels(2)[1], "&Start Remove Audio");
  EXPECT_EQ(S::ModificationLabels(1)[2], "&Cancel Delete");
}

}  // namespace

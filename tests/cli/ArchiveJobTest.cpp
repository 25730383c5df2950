#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "Archive/ArchiveRunSummary.h"
#include "Archive/CArchiveJobBuilder.h"
#include "Archive/CJobArchScheduler.h"
#include "support/TestSupport.h"

namespace {

TEST(ArchiveJobTest, BuiltJobsHoldAbsolutePathsAndCountTheSources) {
  zeltest::TempDir dir;
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  CArchiveJobBuilder builder;
  builder.AddSource("calls/../calls/a.zel").AddSource(dir.path() + "/other/").SetTarget("out/x.zip");
  builder.SetArchiveType(zel::ArchiveType::kZip).SetThreshold(650, true).SetJobTime(1700000000);
  CJobArchListEntry job = builder.Build();
  ASSERT_EQ(::chdir(previous), 0);

  std::string here = std::filesystem::path(dir.path()).lexically_normal().string();
  ASSERT_EQ(job.Sources().size(), 2u);
  EXPECT_EQ(job.Sources()[0].Path(), here + "/calls/a.zel");
  EXPECT_EQ(job.Target(), here + "/out/x.zip");
  EXPECT_EQ(job.CallCount(), 2);
  EXPECT_EQ(job.Threshold(), 650);
  EXPECT_EQ(job.CancelJob(), 1);
  EXPECT_EQ(job.JobTime(), 1700000000);
  EXPECT_EQ(job.User(), CArchiveJobBuilder::CurrentUser());
  EXPECT_EQ(builder.Problem(), "");
}

TEST(ArchiveJobTest, ProblemsOfAnIncompleteJob) {
  CArchiveJobBuilder builder;
  EXPECT_EQ(builder.Problem(), "no source to archive");
  builder.AddSource("/calls");
  EXPECT_EQ(builder.Problem(), "unknown archive type");
  builder.SetArchiveType(zel::ArchiveType::kIso);
  EXPECT_EQ(builder.Problem(), "no archive target");
  builder.SetTarget("/a.iso").SetMediaProcessing(static_cast<zel::MediaProcessing>(3));
  EXPECT_EQ(builder.Problem(), "unknown media processing");
}

TEST(ArchiveJobTest, SummaryTextsAndWhatCountsAsFailed) {
  ArchiveRunStats stats;
  stats.SelectedCount = 3;
  stats.ArchivedCount = 2;
  EXPECT_EQ(ArchiveRunSummary(stats, false).Text(), "Archive Calls finished: 2 (from 3) calls archived.");
  EXPECT_EQ(ArchiveRunSummary(stats, true).Text(), "Archive Calls cancelled: 2 (from 3) calls archived.");
  EXPECT_TRUE(ArchiveRunSummary(stats, false).Failed());  // one selected call did not reach the archive
  EXPECT_TRUE(ArchiveRunSummary(stats, true).Failed());
  stats.ArchivedCount = 3;
  EXPECT_FALSE(ArchiveRunSummary(stats, false).Failed());
  stats.Problems = 1;  // e.g. a source that could not be deleted
  EXPECT_TRUE(ArchiveRunSummary(stats, false).Failed());
  stats.Problems = 0;
  stats.ArchivedCount = 0;
  EXPECT_TRUE(ArchiveRunSummary(stats, false).Failed());  // selected, none reached the archive
  stats.SelectedCount = 0;
  EXPECT_FALSE(ArchiveRunSummary(stats, false).Failed());  // nothing to do is no failure
  stats.Aborted = 1;
  EXPECT_TRUE(ArchiveRunSummary(stats, false).Failed());
}

TEST(ArchiveJobTest, ScheduleSizeLimitAndItsCheckBoxFollowEachOther) {
  CJobArchScheduler::Settings s;
  s.SetCancelJob(true);  // checked with the default size
  EXPECT_EQ(s.ThresholdSize, 700);
  s.SetCancelJob(false);
  EXPECT_EQ(s.ThresholdSize, 0);
  s.SetCancelJob(true);  // checked again without a size: it needs one
  EXPECT_EQ(s.ThresholdSize, 700);
  s.SetThresholdSize(0);
  EXPECT_FALSE(s.CancelJob);
  s.SetThresholdSize(120);
  EXPECT_TRUE(s.CancelJob);
  EXPECT_EQ(s.ThresholdSize, 120);
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "Archive/CArchiveLogger.h"
#include "Archive/CJobArchScheduler.h"
#include "Archive/CRetention.h"
#include "ArchiveTestSupport.h"
#include "core/AuditTrail.h"
#include "organiser/CHotLists.h"
#include "recording/CLegalHolds.h"
#include "recording/CKlRecordFileHdr.h"
#include "support/TestSupport.h"

namespace {

constexpr int64_t kNow = 1800000000;
constexpr int64_t kDay = 86400;

struct Call {
  const char* name;
  int64_t age;        // days
  uint32_t seconds;
  uint32_t important;
  const char* caller;
  const char* expected;  // "remove", "keep: <why>" or "" when the rule does not choose it
};

const Call kCalls[] = {
    {"old.zel", 400, 120, 0, "100", "remove"},
    {"short.zel", 1, 2, 0, "101", "remove"},
    {"sub/old-short.zel", 500, 1, 0, "102", "remove"},
    {"important.zel", 400, 120, 1, "103", "keep: marked Important"},
    {"reviewed.zel", 400, 120, 0, "104", "keep: in Calls for Review"},
    {"held.zel", 400, 120, 0, "105", "keep: on legal hold since"},
    {"caller-held.zel", 400, 1, 0, "555", "keep: on legal hold (all calls of 555)"},
    {"recent.zel", 10, 120, 0, "106", ""},
};

class RetentionTest : public ::testing::TestWithParam<CRetention::Action> {
 protected:
  void SetUp() override {
    archtest::ResetProcessLog();
    auto holds = Singleton<CLegalHolds>::Instance();
    std::filesystem::create_directories(std::filesystem::path(holds->Path()).parent_path());
    std::filesystem::remove(holds->Path());
    for (const Call& call : kCalls) {
      std::string path = dir_.File(std::string("calls/") + call.name);
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      CKlRecordFileHdr header;
      header.SetStartTime(static_cast<int32_t>(kNow - call.age * kDay));
      header.SetDuration(call.seconds);
      header.SetImportant(call.important);
      header.SetCallerId(call.caller);
      ASSERT_EQ(header.SaveHeader(path), 1);
      zeltest::WriteFile(path, zeltest::ReadFile(path) + std::string(800, 'U'));
    }
    CHotLists review;
    review.Add({1, -1, "Check", dir_.File("calls/reviewed.zel"), 0});
    ASSERT_TRUE(review.Save());
    std::string error;
    ASSERT_TRUE(holds->Add({CLegalHolds::Kind::kCall, dir_.File("calls/held.zel"), "claim 17", "", 0}, error));
    ASSERT_TRUE(holds->Add({CLegalHolds::Kind::kCaller, "555", "claim 18", "", 0}, error));
    CRetention::Settings s;
    s.OlderThanDays = 365;
    s.ShorterThanSeconds = 5;
    s.How = GetParam();
    s.Folders = {dir_.File("calls")};
    retention_.SetSettings(s);
    // The archive action archives with the scheduled job's settings.
    auto scheduler = Singleton<CJobArchScheduler>::Instance();
    std::filesystem::remove(scheduler->SchedulePath());
    CJobArchScheduler::Settings archive;
    archive.ArchiveType = zel::ArchiveType::kDisk;
    archive.ArchivePath = dir_.File("archive/");
    scheduler->SetSettings(archive);
  }
  std::map<std::string, std::string> States(const CRetention::Result& result, bool run) {
    std::map<std::string, std::string> states;
    for (const auto& item : result.Items) {
      std::string name = item.Path.substr(dir_.File("calls/").size());
      states[name] = !item.KeptBecause.empty() ? "keep: " + item.KeptBecause
                     : run && !item.Removed    ? "failed: " + item.Problem
                                               : "remove";
    }
    return states;
  }

  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
  CRetention retention_{dir_.File("retention.xml")};
};

TEST_P(RetentionTest, RemovesOldAndShortCallsAndKeepsTheExempt) {
  auto preview = States(retention_.Preview(kNow), false);
  auto run = States(retention_.Run(kNow), true);
  for (const Call& call : kCalls) {
    SCOPED_TRACE(call.name);
    const std::string path = dir_.File(std::string("calls/") + call.name);
    const std::string expected = call.expected;
    if (expected.empty()) {
      EXPECT_EQ(preview.count(call.name), 0u);
    } else {
      EXPECT_EQ(preview[call.name].rfind(expected, 0), 0u) << preview[call.name];
      EXPECT_EQ(run[call.name].rfind(expected, 0), 0u) << run[call.name];
    }
    EXPECT_EQ(std::filesystem::exists(path), expected != "remove");
    const bool inTrash = std::filesystem::exists(sandbox_.DataHome() + "/Trash/files/" +
                                                 std::filesystem::path(call.name).filename().string());
    EXPECT_EQ(inTrash, expected == "remove" && GetParam() == CRetention::Action::kTrash);
    // Each removal, and only a removal, is in the audit trail with the file's hash.
    auto lines = zel::AuditTrail().Read({path, "", ""});
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](const auto& l) { return l.action != "retention removal"; }),
                lines.end());
    ASSERT_EQ(lines.size(), expected == "remove" ? 1u : 0u);
    if (!lines.empty() && GetParam() != CRetention::Action::kArchive) {
      EXPECT_EQ(lines[0].before.size(), 64u);
    }
  }
  auto log = Singleton<CArchiveLogger>::Instance();
  log->Load(true);
  ASSERT_EQ(log->Count(), 1);
  EXPECT_EQ(log->Entries()[0].Sources().size(), 3u);
  EXPECT_TRUE(zel::AuditTrail().Verify().ok);
  if (GetParam() == CRetention::Action::kArchive) {
    EXPECT_TRUE(std::filesystem::exists(dir_.File("archive/Diza Didurido Job/old.zel")));
  }
}

INSTANTIATE_TEST_SUITE_P(Actions, RetentionTest,
                         ::testing::Values(CRetention::Action::kTrash, CRetention::Action::kDelete,
                                           CRetention::Action::kArchive));

}  // namespace

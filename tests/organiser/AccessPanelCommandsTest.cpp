#include <gtest/gtest.h>
#include <sys/stat.h>

#include "OrganiserTestSupport.h"
#include "organiser/AccessPanelCommands.h"
#include "organiser/CShortCuts.h"

namespace {

// Records the messages and answers every question with `answer`.
class AnsweringSink : public orgtest::RecordingSink {
 public:
  explicit AnsweringSink(Answer answer) : answer_(answer) {}
  Answer AskYesNo(const std::string& text, const std::string&) override {
    questions.push_back(text);
    return answer_;
  }
  std::vector<std::string> questions;

 private:
  Answer answer_;
};

class AccessPanelCommandsTest : public ::testing::Test {
 protected:
  std::shared_ptr<AnsweringSink> Install(IMessageSink::Answer answer) {
    auto sink = std::make_shared<AnsweringSink>(answer);
    zel::SetMessageSink(sink);
    return sink;
  }
  void TearDown() override { zel::SetMessageSink(nullptr); }

  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
};

TEST_F(AccessPanelCommandsTest, CopyRecordingsAsksThenCopiesRecordingsOnly) {
  ::mkdir(dir_.File("to").c_str(), 0755);
  zeltest::WriteFile(dir_.File("a.ZEL"), "first");
  zeltest::WriteFile(dir_.File("notes.txt"), "text");
  zeltest::WriteFile(dir_.File("to/a.zel"), "old copy");
  const std::vector<std::string> files = {dir_.File("a.ZEL"), dir_.File("notes.txt"), dir_.File("gone.zel")};

  auto no = Install(IMessageSink::Answer::No);
  EXPECT_EQ(zel::CopyRecordingsToFolder(files, dir_.File("to")), -1);
  ASSERT_EQ(no->questions.size(), 1u);
  EXPECT_EQ(no->questions[0], "Are you sure want to copy recordings(s) to " + dir_.File("to") + "?\n3 recordings");
  EXPECT_EQ(zeltest::ReadFile(dir_.File("to/a.zel")), "old copy");

  auto yes = Install(IMessageSink::Answer::Yes);
  EXPECT_EQ(zel::CopyRecordingsToFolder(files, dir_.File("to")), 1);
  EXPECT_EQ(zeltest::ReadFile(dir_.File("to/a.zel")), "first");
  EXPECT_FALSE(zeltest::FileExists(dir_.File("to/notes.zel")));
  EXPECT_TRUE(yes->messages.empty());
}

TEST_F(AccessPanelCommandsTest, FailedCopyIsReportedAndTheNextFileTried) {
  // A folder where the copy of "a" should go makes that copy fail, even for root.
  ::mkdir(dir_.File("locked").c_str(), 0755);
  ::mkdir(dir_.File("locked/a.zel").c_str(), 0755);
  zeltest::WriteFile(dir_.File("a.zel"), "a");
  zeltest::WriteFile(dir_.File("b.zel"), "b");
  auto yes = Install(IMessageSink::Answer::Yes);
  EXPECT_EQ(zel::CopyRecordingsToFolder({dir_.File("a.zel"), dir_.File("b.zel")}, dir_.File("locked")), 1);
  ASSERT_EQ(yes->messages.size(), 1u);
  EXPECT_EQ(yes->messages[0].text, "Could not copy file " + dir_.File("a.zel") + " to " + dir_.File("locked/a.zel"));
  EXPECT_EQ(zeltest::ReadFile(dir_.File("locked/b.zel")), "b");
}

TEST_F(AccessPanelCommandsTest, SubfolderShortcutsSkipFilesAndKeepOrder) {
  for (const char* name : {"zeta", "alpha", "alpha/inner"}) ::mkdir(dir_.File(name).c_str(), 0755);
  zeltest::WriteFile(dir_.File("plain.zel"), "x");
  CShortCuts store;
  store.Load();
  EXPECT_EQ(zel::AddSubfolderShortcuts(store, 0, dir_.path()), 2);
  ASSERT_EQ(store.Count(), 3u);
  const CollectionEntry& first = *store.Entries()[1];
  EXPECT_EQ(first.name, "alpha");
  EXPECT_EQ(first.target, dir_.File("alpha"));
  EXPECT_EQ(first.parentId, 0);
  EXPECT_EQ(first.isGroup, 0);
  EXPECT_EQ(store.Entries()[2]->name, "zeta");
  EXPECT_EQ(store.Entries()[2]->id, 2);
  EXPECT_EQ(zel::AddSubfolderShortcuts(store, 0, dir_.File("missing")), 0);

  EXPECT_EQ(zel::ContainingFolder("/a/b/c.zel"), "/a/b");
  EXPECT_EQ(zel::ContainingFolder("/c.zel"), "/");
}

}  // namespace

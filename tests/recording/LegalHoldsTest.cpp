#include <gtest/gtest.h>
#include <unistd.h>

#include "recording/CLegalHolds.h"
#include "recording/CKlRecordFileHdr.h"
#include "support/TestSupport.h"

namespace {

// Which calls a hold list keeps: by path, by the caller id in the header, and all
// of them while a damaged list stands in for the lost holds.
TEST(LegalHoldsTest, HoldForFindsTheHoldOfACallOrItsCaller) {
  zeltest::XdgSandbox sandbox;
  zeltest::TempDir dir;
  auto call = [&](const std::string& name, const std::string& caller) {
    CKlRecordFileHdr header;
    header.SetCallerId(caller);
    header.SaveHeader(dir.File(name));
    return dir.File(name);
  };
  const std::string byPath = call("a.zel", "100"), byCaller = call("b.zel", "555"), free = call("c.zel", "101");
  zeltest::ScopedMessages messages;
  CLegalHolds holds(dir.File("hold.xml"));
  std::string error;
  ASSERT_TRUE(holds.Add({CLegalHolds::Kind::kCall, byPath, "claim 17", "", 0}, error));
  ASSERT_TRUE(holds.Add({CLegalHolds::Kind::kCaller, "555", "claim 18", "", 0}, error));
  EXPECT_FALSE(holds.Add({CLegalHolds::Kind::kCaller, "555", "again", "", 0}, error));
  ASSERT_EQ(::symlink(dir.path().c_str(), dir.File("linked").c_str()), 0);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {byPath, "claim 17"}, {dir.File("linked/a.zel"), "claim 17"}, {byCaller, "claim 18"}, {free, ""}};
  for (const auto& [path, reason] : expected) {
    auto hold = holds.HoldFor(path);
    EXPECT_EQ(hold ? hold->reason : "", reason) << path;
  }
  // Another process's view: the same file, read afresh.
  EXPECT_EQ(CLegalHolds(dir.File("hold.xml")).Holds().size(), 2u);
  zeltest::WriteFile(dir.File("hold.xml"), "<holds version=\"1\"><hold");
  auto hold = holds.HoldFor(free);
  ASSERT_TRUE(hold.has_value());
  EXPECT_NE(hold->reason.find("damaged"), std::string::npos);
  EXPECT_EQ(messages.messages().size(), 1u);  // the user is told of the set-aside file
}

}  // namespace

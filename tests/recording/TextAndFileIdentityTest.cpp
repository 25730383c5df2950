#include <gtest/gtest.h>
#include <unistd.h>

#include "core/Cp1252.h"
#include "core/SameFile.h"
#include "support/TestSupport.h"

namespace {

TEST(SameFileTest, LinksAndOtherNamesOfOneFileAreTheSame) {
  zeltest::TempDir dir;
  const std::string a = dir.File("a.zel");
  zeltest::WriteFile(a, "x");
  zeltest::WriteFile(dir.File("b.zel"), "x");
  ASSERT_EQ(symlink(a.c_str(), dir.File("link.zel").c_str()), 0);
  ASSERT_EQ(link(a.c_str(), dir.File("hard.zel").c_str()), 0);

  EXPECT_TRUE(zel::IsSameFile(a, dir.path() + "/./a.zel"));
  EXPECT_TRUE(zel::IsSameFile(a, dir.File("link.zel")));
  EXPECT_TRUE(zel::IsSameFile(dir.File("hard.zel"), a));
  EXPECT_FALSE(zel::IsSameFile(a, dir.File("b.zel")));  // equal content, another file
  EXPECT_FALSE(zel::IsSameFile(a, dir.File("missing.zel")));
  EXPECT_FALSE(zel::IsSameFile(dir.File("missing.zel"), dir.File("missing.zel")));
}

TEST(Cp1252FitTest, TellsWhetherATextSurvivesTheHeader) {
  EXPECT_TRUE(zel::FitsCp1252(""));
  EXPECT_TRUE(zel::FitsCp1252("M\xC3\xBCller \xE2\x82\xAC 5"));  // ü and the euro sign
  EXPECT_TRUE(zel::FitsCp1252("\xC2\x81"));                      // undefined byte kept as C1
  EXPECT_FALSE(zel::FitsCp1252("Zhang \xE4\xB8\xAD"));           // a CJK character
  EXPECT_FALSE(zel::FitsCp1252("\xF0\x9F\x98\x80"));             // an emoji
  EXPECT_FALSE(zel::FitsCp1252("a\xFF"));                        // not UTF-8
  EXPECT_FALSE(zel::FitsCp1252("\xC3"));                         // cut in the middle
  // The conversion itself is unchanged by sharing the walk.
  EXPECT_EQ(zel::Utf8ToCp1252("\xC3\xA4\xE4\xB8\xAD!\xC3"), "\xE4?!?");
}

}  // namespace

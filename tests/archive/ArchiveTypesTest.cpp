#include <gtest/gtest.h>

#include <set>
#include <string>

#include "Archive/ArchiveTypes.h"

namespace {

// Every keyword names its own value, once; numbers outside a table have no row.
template <typename Enum>
void ExpectKeywordsRoundTrip() {
  std::set<std::string> seen;
  for (const auto& row : zel::Texts(Enum{})) {
    EXPECT_TRUE(seen.insert(row.Keyword).second) << row.Keyword;
    EXPECT_EQ(zel::FromKeyword<Enum>(row.Keyword), row.Value);
    EXPECT_EQ(zel::TextOf(row.Value), &row);
  }
  EXPECT_FALSE(zel::FromKeyword<Enum>("").has_value());
  EXPECT_EQ(zel::TextOf(static_cast<Enum>(99)), nullptr);
}

TEST(ArchiveTypesTest, KeywordsAndTablesAgree) {
  ExpectKeywordsRoundTrip<zel::ArchiveType>();
  ExpectKeywordsRoundTrip<zel::StructureType>();
  ExpectKeywordsRoundTrip<zel::MediaProcessing>();
  ExpectKeywordsRoundTrip<zel::SelectionType>();
  EXPECT_EQ(zel::KeywordChoice<zel::ArchiveType>(), "disk, zip or iso");
  EXPECT_FALSE(zel::FromKeyword<zel::ArchiveType>("ZIP").has_value());  // exact match only
}

TEST(ArchiveTypesTest, FallbackTextsForUnknownNumbers) {
  auto unknown = static_cast<zel::ArchiveType>(7);
  EXPECT_STREQ(zel::ArchiveLogName(unknown), "Disk");
  EXPECT_STREQ(zel::ArchiveReportName(unknown), "Unsupported Archive Type");
  EXPECT_STREQ(zel::ArchiveListName(unknown), "UNKNOWN");
  EXPECT_STREQ(zel::StructureReportName(static_cast<zel::StructureType>(-1)), "Unsupported structure type");
}

}  // namespace

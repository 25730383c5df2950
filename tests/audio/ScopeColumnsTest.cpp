#include <gtest/gtest.h>

#include <vector>

#include "audio/CScopeColumns.h"

TEST(ScopeColumns, MinAndMaxPerColumnWhenSamplesOutnumberColumns) {
  std::vector<int16_t> s = {1, -5, 7, 2, 0, 3, -32768, 32767, 4};
  std::vector<CScopeColumns::Column> c;
  CScopeColumns::Compute(s.data(), 9, 9, 3, c);
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].min, -5);
  EXPECT_EQ(c[0].max, 7);
  EXPECT_EQ(c[1].min, 0);
  EXPECT_EQ(c[1].max, 3);
  EXPECT_EQ(c[2].min, -32768);
  EXPECT_EQ(c[2].max, 32767);
  // Columns past the decoded samples stay 0.
  CScopeColumns::Compute(s.data(), 4, 9, 3, c);
  EXPECT_EQ(c[1].min, 2);
  EXPECT_EQ(c[1].max, 2);
  EXPECT_EQ(c[2].min, 0);
  EXPECT_EQ(c[2].max, 0);
}

TEST(ScopeColumns, InterpolatesAndRoundsWhenColumnsOutnumberSamples) {
  std::vector<int16_t> s = {0, 10, -10};
  std::vector<CScopeColumns::Column> c;
  CScopeColumns::Compute(s.data(), 3, 3, 5, c);
  std::vector<int> want = {0, 5, 10, 0, -10};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(c[i].min, want[i]) << i;
    EXPECT_EQ(c[i].max, want[i]) << i;
  }
  CScopeColumns::Compute(std::vector<int16_t>{0, 3}.data(), 2, 2, 3, c);
  EXPECT_EQ(c[1].min, 2);  // 1.5 rounds away from zero
  CScopeColumns::Compute(nullptr, 0, 0, 4, c);
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[3].max, 0);
}

TEST(ScopeColumns, UpdateRecomputesOnlyWhenItsInputsChange) {
  std::vector<int16_t> s(1000, 7);
  CScopeColumns cols;
  EXPECT_TRUE(cols.Update(s.data(), 500, 1000, 10));
  EXPECT_FALSE(cols.Update(s.data(), 500, 1000, 10));
  EXPECT_EQ(cols.Columns()[9].max, 0);
  EXPECT_TRUE(cols.Update(s.data(), 1000, 1000, 10));
  EXPECT_EQ(cols.Columns()[9].max, 7);
  EXPECT_TRUE(cols.Update(s.data(), 1000, 1000, 20));
  EXPECT_EQ(cols.Columns().size(), 20u);
}

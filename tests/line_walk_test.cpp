#include "lib/table/line_walk.h"

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

namespace vantrel {

void PrintTo(const Cell& cell, std::ostream* out) {
  *out << "(" << cell.x << ", " << cell.y << ")";
}

namespace {

TEST(RoundCoord, RoundsHalvesUpAndTruncatesNegatives) {
  struct Case {
    float v;
    std::int32_t expected;
  } cases[] = {
      {0.0f, 0},         {0.49999997f, 0}, {0.5f, 1},  {1.4999999f, 1},
      {2.5f, 3},         {3.0f, 3},        {2.25f, 2}, {46339.5f, 46340},
      {-2.7f, -2},       {-0.5f, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.v);
    EXPECT_EQ(round_coord(c.v), c.expected);
  }
}

TEST(WalkLine, StepsAlongTheLongerAxisWithSinglePrecisionRounding) {
  struct Case {
    std::int32_t x, y;
    std::vector<WalkPoint> expected;
  } cases[] = {
      {0, 0, {}},
      {2, 1, {{1, 1}, {2, 1}}},  // 1 * 0.5 rounds up
      {3, 1, {{1, 0}, {2, 1}, {3, 1}}},
      {4, 3, {{1, 1}, {2, 2}, {3, 2}, {4, 3}}},
      {2, 5, {{0, 1}, {1, 2}, {1, 3}, {2, 4}, {2, 5}}},
      {3, 3, {{1, 1}, {2, 2}, {3, 3}}},
      {0, 3, {{0, 1}, {0, 2}, {0, 3}}},
      {-2, -1, {{-1, 0}, {-2, -1}}},
      {1, -2, {{1, -1}, {1, -2}}},  // 1 * -0.5 rounds to 0.5, then up
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
    EXPECT_EQ(walk_line(c.x, c.y), c.expected);
  }
}

TEST(WalkLine, RoundsSlopeAndProductsToSinglePrecision) {
  // The single-precision slope of 1/82 lies below 1/82: exact arithmetic
  // would give (1, 41).
  EXPECT_EQ(walk_line(1, 82)[40], (WalkPoint{0, 41}));
  // 49 * s lies just below 0.5 in double but rounds to 0.5 in single.
  EXPECT_EQ(walk_line(1, 98)[48], (WalkPoint{1, 49}));
}

TEST(WalkLine, HasOnePointPerStepAndEndsAtItsEndpoint) {
  for (std::int32_t x = 0; x <= 60; ++x) {
    for (std::int32_t y = 0; y <= 60; ++y) {
      if (x == 0 && y == 0) continue;
      const std::vector<WalkPoint> walk = walk_line(x, y);
      ASSERT_EQ(walk.size(), static_cast<std::size_t>(std::max(x, y)));
      EXPECT_EQ(walk.back(), (WalkPoint{x, y}));
      for (std::size_t n = 1; n < walk.size(); ++n) {
        // Both coordinates move by 0 or 1 per step.
        ASSERT_LE(walk[n].x - walk[n - 1].x, 1);
        ASSERT_LE(walk[n].y - walk[n - 1].y, 1);
        ASSERT_GE(walk[n].x - walk[n - 1].x, 0);
        ASSERT_GE(walk[n].y - walk[n - 1].y, 0);
      }
    }
  }
}

TEST(ComputeWalk, EqualsThePlainWalk) {
  // Every endpoint of a small radius, and long walks near the largest.
  std::vector<Endpoint> ends;
  for (std::int32_t x = 0; x <= 90; ++x) {
    for (std::int32_t y = 0; y <= 90; ++y) {
      if (x != 0 || y != 0) ends.push_back({x, y});
    }
  }
  for (std::int32_t across : {0, 1, 9999, 10000, 23170, 46339, 46340}) {
    ends.push_back({46340, across});
    ends.push_back({across, 46340});
  }
  std::vector<MinorCoord> minor(walk_room(46340));
  std::vector<std::uint32_t> cells(minor.size());
  for (const Endpoint end : ends) {
    SCOPED_TRACE(testing::PrintToString(end));
    const std::vector<WalkPoint> expected = walk_line(end.x, end.y);
    for (const bool with_cells : {false, true}) {
      const std::uint32_t width = 46341;
      const CompactWalk walk =
          with_cells ? compute_walk_and_cells(end, minor.data(), cells.data(), width)
                     : compute_walk(end, minor.data());
      ASSERT_EQ(walk.minor.size(), expected.size());
      for (std::size_t k = 0; k < expected.size(); ++k) {
        const auto major = static_cast<std::int32_t>(k + 1);
        const WalkPoint point = walk.along_x() ? WalkPoint{major, walk.minor[k]}
                                               : WalkPoint{walk.minor[k], major};
        ASSERT_EQ(point, expected[k]) << "point " << k + 1;
        if (with_cells) {
          ASSERT_EQ(cells[k], static_cast<std::uint32_t>(walk.minor[k]) * width +
                                  static_cast<std::uint32_t>(major));
        }
      }
    }
  }
}

}  // namespace
}  // namespace vantrel

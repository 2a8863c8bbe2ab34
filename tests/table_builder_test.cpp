#include "table_builder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "memory_sink.h"

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

TEST(TableEndpoints, MatchKnownTables) {
  struct Case {
    std::int32_t radius;
    std::vector<Endpoint> ascending;
  } cases[] = {
      {1, {{0, 1}}},
      {2, {{0, 2}, {1, 2}}},  // (2, 1) shares the byte of (0, 2)
      {3, {{0, 3}, {1, 3}, {2, 1}, {2, 2}}},
      {4, {{0, 4}, {1, 4}, {2, 3}, {3, 1}, {3, 2}, {3, 3}}},
      {5, {{0, 5}, {1, 5}, {2, 5}, {3, 3}, {3, 4}, {4, 1}, {4, 2}, {4, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.radius);
    EXPECT_EQ(table_endpoints(c.radius), c.ascending);
  }
}

TEST(TableEndpoints, LineCountsOfKnownTables) {
  const std::int32_t first_twelve[] = {1, 2, 4, 6, 8, 10, 13, 14, 14, 19, 19, 20};
  for (std::int32_t radius = 1; radius <= 12; ++radius) {
    EXPECT_EQ(table_endpoints(radius).size(),
              static_cast<std::size_t>(first_twelve[radius - 1]))
        << "radius " << radius;
  }
  struct Case {
    std::int32_t radius;
    std::size_t lines;
  } cases[] = {{16, 30}, {32, 60}, {64, 124}, {100, 196}};
  for (const Case& c : cases) {
    EXPECT_EQ(table_endpoints(c.radius).size(), c.lines) << "radius " << c.radius;
  }
}

TEST(TableEndpoints, HoldForEveryTable) {
  for (std::int32_t radius = 1; radius <= 200; ++radius) {
    SCOPED_TRACE(radius);
    const std::vector<Endpoint> endpoints = table_endpoints(radius);
    ASSERT_FALSE(endpoints.empty());
    EXPECT_EQ(endpoints.front(), (Endpoint{0, radius}));
    EXPECT_TRUE(std::adjacent_find(endpoints.begin(), endpoints.end(),
                                   [](Endpoint a, Endpoint b) { return !(a < b); }) ==
                endpoints.end())
        << "not strictly ascending";
    for (const Endpoint& end : endpoints) {
      EXPECT_GE(end.x, 0);
      EXPECT_LT(end.x, radius);
      EXPECT_GE(end.y, 0);
      EXPECT_LE(end.y, radius);
    }
  }
}

TEST(BuildTable, WritesTheBlockInDescendingOrderAndPrintsProgress) {
  std::string bytes;
  TableStream stream;
  attach_memory(stream, &bytes);
  std::FILE* console = std::tmpfile();
  ASSERT_NE(console, nullptr);

  TableBuilder builder(stream);
  EXPECT_EQ(builder.build(4, console), 6);
  stream.close();

  EXPECT_EQ(bytes,
            "\r\n\r\n[Table4]\r\n{"
            "\r\n\tnumlines=6;"
            "\r\n\tline1=3,1,1,2,2,3,3;"
            "\r\n\tline2=3,1,1,2,1,3,2;"
            "\r\n\tline3=3,1,0,2,1,3,1;"
            "\r\n\tline4=3,1,1,1,2,2,3;"
            "\r\n\tline5=4,0,1,1,2,1,3,1,4;"
            "\r\n\tline6=4,0,1,0,2,0,3,0,4;"
            "\r\n}");
  std::rewind(console);
  char printed[64] = {};
  const std::size_t size = std::fread(printed, 1, sizeof printed - 1, console);
  std::fclose(console);
  EXPECT_EQ(std::string(printed, size), "\n\nCreating Table 4\n6 Lines");
}

}  // namespace
}  // namespace vantrel

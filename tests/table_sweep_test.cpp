#include "lib/table/table_sweep.h"

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "lib/table/line_walk.h"

namespace vantrel {

void PrintTo(const Cell& cell, std::ostream* out);  // line_walk_test.cpp

namespace {

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
      // The circles take the nearest cell, at most half a cell out;
      // file_size.cpp counts on it.
      EXPECT_LT(end.x * end.x + end.y * end.y, radius * radius + radius);
    }
  }
}

TEST(TableEndpoints, LinesCoverEveryCellWithinTheRadius) {
  // What a table is for: every cell (x, y), x and y >= 1, within the
  // table's radius lies on one of its lines.
  for (std::int32_t radius = 1; radius <= 300; ++radius) {
    SCOPED_TRACE(radius);
    const auto width = static_cast<std::size_t>(radius) + 1;
    std::vector<bool> covered(width * width);
    for (const Endpoint end : table_endpoints(radius)) {
      for (const WalkPoint p : walk_line(end.x, end.y)) {
        covered[static_cast<std::size_t>(p.y) * width + static_cast<std::size_t>(p.x)] = true;
      }
    }
    for (std::int32_t x = 1; x <= radius; ++x) {
      for (std::int32_t y = 1; x * x + y * y <= radius * radius; ++y) {
        ASSERT_TRUE(covered[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)])
            << "(" << x << ", " << y << ") is on no line";
      }
    }
  }
}

}  // namespace
}  // namespace vantrel

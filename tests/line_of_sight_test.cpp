// Lines of sight against the views they must agree with: every target from
// every viewer, near the map's edges too, with walls seen or not.
#include "vantrel/line_of_sight.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "view_reference.h"

namespace vantrel {
namespace {

// sees() of every target from `viewer` against the reference view, in the
// form that takes bytes and, for every other target, the one that takes a
// predicate.
void expect_sees_the_view(const LineOfSight& sight, const Table& table, const Map& map,
                          Cell viewer, Walls walls) {
  const std::vector<std::uint8_t> view = reference_view(table, map, viewer, walls);
  const std::span<const std::uint8_t> opaque(map.opaque);
  for (int y = 0; y < map.height; ++y) {
    for (int x = 0; x < map.width; ++x) {
      const bool in_view = view[static_cast<std::size_t>(y * map.width + x)] != 0;
      ASSERT_EQ(sight.sees(viewer, {x, y}, map.width, map.height, opaque, walls), in_view)
          << "target " << x << "," << y;
      if ((x + y) % 2 == 0) {
        Error error;
        ASSERT_EQ(sight.sees(viewer, {x, y}, map.width, map.height,
                             [&](int cx, int cy) { return map.is_opaque(cx, cy); }, walls, error),
                  in_view)
            << "target " << x << "," << y;
        ASSERT_FALSE(error);
      }
    }
  }
}

TEST(LineOfSight, SeesExactlyTheViewFromEveryViewer) {
  // make_table's straight lines, and lines that turn back, as a table file
  // may hold: near an edge they leave the map and come back onto it.
  const Table crooked(3, {{{1, 0}, {2, 1}, {1, 2}, {0, 3}},
                          {{1, 1}, {2, 0}, {3, 1}},
                          {{0, 1}, {1, 2}, {2, 3}}});
  for (const Table& table : {make_table(1), make_table(4), make_table(12), crooked}) {
    const int radius = table.radius();
    const FieldOfView fov(table);
    const LineOfSight sight(fov);
    EXPECT_EQ(sight.radius(), radius);
    for (std::uint32_t seed = 0; seed < 4; ++seed) {
      // Wider than the view, so that some targets lie beyond the radius;
      // every viewer, so that every edge cuts lines.
      const Map map = random_map(2 * radius + 4 + static_cast<int>(seed), 2 * radius + 1,
                                 seed % 2 == 0 ? 0.15 : 0.35, seed);
      for (int y = 0; y < map.height; ++y) {
        for (int x = 0; x < map.width; ++x) {
          for (const Walls walls : {Walls::kSeen, Walls::kUnseen, Walls::kFacing}) {
            SCOPED_TRACE("radius " + std::to_string(radius) + ", seed " + std::to_string(seed) +
                         ", viewer " + std::to_string(x) + "," + std::to_string(y) +
                         ", walls " + std::to_string(static_cast<int>(walls)));
            expect_sees_the_view(sight, table, map, {x, y}, walls);
          }
        }
      }
    }
  }
}

TEST(LineOfSight, RefusesACellOffTheMapOrAMapOfTheWrongSize) {
  const LineOfSight sight(FieldOfView(make_table(5)));
  const std::vector<std::uint8_t> opaque(6 * 4);
  const struct {
    Cell viewer;
    Cell target;
    int width;
    int height;
    std::size_t size;
  } kCases[] = {
      {{-1, 0}, {1, 1}, 6, 4, 24}, {{6, 0}, {1, 1}, 6, 4, 24}, {{1, 1}, {0, 4}, 6, 4, 24},
      {{1, 1}, {0, -1}, 6, 4, 24}, {{0, 0}, {1, 1}, 0, 0, 0},  {{1, 1}, {2, 2}, 6, 4, 23},
      {{1, 1}, {2, 2}, 4, 6, 23},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.viewer.x) + "," + std::to_string(c.viewer.y) + " to " +
                 std::to_string(c.target.x) + "," + std::to_string(c.target.y));
    const std::span<const std::uint8_t> map(opaque.data(), c.size);
    EXPECT_THROW(sight.sees(c.viewer, c.target, c.width, c.height, map), std::invalid_argument);
    Error error;
    EXPECT_FALSE(sight.sees(c.viewer, c.target, c.width, c.height, map, Walls::kSeen, error));
    EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
    EXPECT_NE(error.message.find("LineOfSight::sees"), std::string::npos);
  }
  auto clear = [](int, int) { return false; };
  EXPECT_THROW(sight.sees({0, 0}, {7, 0}, 6, 4, clear), std::invalid_argument);
  Error error;
  EXPECT_FALSE(sight.sees({0, 0}, {7, 0}, 6, 4, clear, error));
  EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
  // On the map: a target beyond the radius is simply not seen.
  EXPECT_TRUE(sight.sees({0, 0}, {5, 0}, 20, 1, clear, error));
  EXPECT_FALSE(sight.sees({0, 0}, {6, 0}, 20, 1, clear, error));
  EXPECT_FALSE(error);
}

}  // namespace
}  // namespace vantrel

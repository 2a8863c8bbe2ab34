// The field of view of a table against its definition: each line turned by
// the 8 symmetries of the square and walked from the viewer, here line by
// line, up to the first opaque cell or the map's edge.
#include "vantrel/field_of_view.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

struct Map {
  int width;
  int height;
  std::vector<std::uint8_t> opaque;  // row by row

  bool is_opaque(int x, int y) const { return opaque[static_cast<std::size_t>(y * width + x)] != 0; }
};

Map random_map(int width, int height, double share, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::bernoulli_distribution wall(share);
  Map map{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width * height))};
  for (std::uint8_t& cell : map.opaque) cell = wall(random) ? 1 : 0;
  return map;
}

// (x, y) turned by symmetry `turn` (0 to 7) of the square.
Cell turned(Cell c, int turn) {
  if (turn & 4) std::swap(c.x, c.y);
  if (turn & 1) c.x = -c.x;
  if (turn & 2) c.y = -c.y;
  return c;
}

// The view by its definition, one turned line after another.
std::vector<std::uint8_t> reference_view(const Table& table, const Map& map, Cell viewer) {
  std::vector<std::uint8_t> view(map.opaque.size(), 0);
  view[static_cast<std::size_t>(viewer.y * map.width + viewer.x)] = 1;
  for (const std::vector<Cell>& line : table.lines()) {
    for (int turn = 0; turn < 8; ++turn) {
      for (const Cell& cell : line) {
        const Cell step = turned(cell, turn);
        const int x = viewer.x + step.x;
        const int y = viewer.y + step.y;
        if (x < 0 || y < 0 || x >= map.width || y >= map.height) break;
        view[static_cast<std::size_t>(y * map.width + x)] = 1;
        if (map.is_opaque(x, y)) break;
      }
    }
  }
  return view;
}

// The view computed both ways, from an opacity predicate and from a map of
// bytes, which must agree.
std::vector<std::uint8_t> view_of(const FieldOfView& fov, const Map& map, Cell viewer) {
  std::vector<std::uint8_t> view(map.opaque.size(), 7);
  fov.compute(viewer, map.width, map.height, [&](int x, int y) { return map.is_opaque(x, y); },
              view);
  std::vector<std::uint8_t> from_bytes(map.opaque.size(), 7);
  fov.compute(viewer, map.width, map.height, std::span<const std::uint8_t>(map.opaque),
              from_bytes);
  EXPECT_EQ(view, from_bytes);
  return view;
}

TEST(FieldOfView, OnAnOpenMapSeesEveryCellWithinTheRadius) {
  for (const int radius : {1, 2, 5, 12, 31, 50}) {
    SCOPED_TRACE(radius);
    const int side = 2 * radius + 1;
    const Map open{side, side, std::vector<std::uint8_t>(static_cast<std::size_t>(side * side))};
    const std::vector<std::uint8_t> view = view_of(FieldOfView(make_table(radius)), open, {radius, radius});
    // Within the radius: at i cells from one axis and j >= i from the other,
    // j no more than the nearest whole number to sqrt(radius^2 - i^2).
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        const int i = std::min(std::abs(x - radius), std::abs(y - radius));
        const int j = std::max(std::abs(x - radius), std::abs(y - radius));
        const bool within = j <= static_cast<int>(std::sqrt(radius * radius - i * i) + 0.5);
        EXPECT_EQ(view[static_cast<std::size_t>(y * side + x)], within ? 1 : 0) << x << "," << y;
      }
    }
  }
}

TEST(FieldOfView, AnOpaqueCellHidesWhatLiesBehindItOnEveryLineThroughIt) {
  const Table table = make_table(9);
  const FieldOfView fov(table);
  const int side = 19;
  Map map{side, side, std::vector<std::uint8_t>(side * side)};
  map.opaque[static_cast<std::size_t>(11 * side + 12)] = 1;  // the wall at (12, 11)
  const std::vector<std::uint8_t> view = view_of(fov, map, {9, 9});
  EXPECT_EQ(view, reference_view(table, map, {9, 9}));
  EXPECT_EQ(view[11 * side + 12], 1);  // the wall itself is seen
  EXPECT_EQ(view[13 * side + 15], 0);  // straight behind it
  EXPECT_EQ(view[9 * side + 18], 1);   // beside it
}

TEST(FieldOfView, AgreesWithItsDefinitionOnRandomMapsFromAnywhere) {
  for (const int radius : {3, 12, 25}) {
    const Table table = make_table(radius);
    const FieldOfView fov(table);
    for (std::uint32_t seed = 0; seed < 12; ++seed) {
      const Map map = random_map(2 * radius + 3 + static_cast<int>(seed % 5), 2 * radius + 1,
                                 seed % 3 == 0 ? 0.1 : 0.3, seed);
      std::mt19937 random(seed);
      // The middle, the corners and places at random, near edges too.
      std::vector<Cell> viewers = {{map.width / 2, map.height / 2}, {0, 0}, {map.width - 1, map.height - 1}};
      for (int n = 0; n < 6; ++n) {
        viewers.push_back({static_cast<int>(random() % static_cast<unsigned>(map.width)),
                           static_cast<int>(random() % static_cast<unsigned>(map.height))});
      }
      for (const Cell& viewer : viewers) {
        SCOPED_TRACE("radius " + std::to_string(radius) + ", seed " + std::to_string(seed) +
                     ", viewer " + std::to_string(viewer.x) + "," + std::to_string(viewer.y));
        ASSERT_EQ(view_of(fov, map, viewer), reference_view(table, map, viewer));
      }
    }
  }
}

TEST(FieldOfView, TurningTheMapTurnsTheView) {
  const int radius = 10;
  const int side = 2 * radius + 1;
  const FieldOfView fov(make_table(radius));
  const Map map = random_map(side, side, 0.3, 42);
  const std::vector<std::uint8_t> view = view_of(fov, map, {radius, radius});
  for (int turn = 1; turn < 8; ++turn) {
    SCOPED_TRACE(turn);
    // Cell (x, y) of the turned map is cell turned((x, y)) of the map,
    // about the middle.
    Map turned_map = map;
    std::vector<std::uint8_t> turned_view(view.size());
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        const Cell to = turned({x - radius, y - radius}, turn);
        const auto at = static_cast<std::size_t>((to.y + radius) * side + to.x + radius);
        turned_map.opaque[at] = map.opaque[static_cast<std::size_t>(y * side + x)];
        turned_view[at] = view[static_cast<std::size_t>(y * side + x)];
      }
    }
    EXPECT_EQ(view_of(fov, turned_map, {radius, radius}), turned_view);
  }
}

TEST(FieldOfView, RefusesAViewerOffTheMapOrABufferOfTheWrongSize) {
  const FieldOfView fov(make_table(4));
  std::vector<std::uint8_t> view(100);
  auto clear = [](int, int) { return false; };
  EXPECT_THROW(fov.compute({10, 0}, 10, 10, clear, view), std::invalid_argument);
  EXPECT_THROW(fov.compute({0, -1}, 10, 10, clear, view), std::invalid_argument);
  EXPECT_THROW(fov.compute({0, 0}, 10, 9, clear, view), std::invalid_argument);
  EXPECT_NO_THROW(fov.compute({0, 0}, 10, 10, clear, view));
  // Lines that jump, as no table file holds them.
  EXPECT_THROW(FieldOfView(Table(2, {{{1, 1}, {3, 1}}})), std::invalid_argument);
  EXPECT_THROW(FieldOfView(Table(1, {{{32767, 0}}})), std::invalid_argument);
}

}  // namespace
}  // namespace vantrel

// The field of view by its definition, for the tests to compare against:
// each line of a table turned by the 8 symmetries of the square and walked
// from the viewer, line by line, up to the first opaque cell or the map's edge.
#ifndef VANTREL_TESTS_VIEW_REFERENCE_H_
#define VANTREL_TESTS_VIEW_REFERENCE_H_

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "vantrel/cell.h"
#include "vantrel/field_of_view.h"
#include "vantrel/table.h"

namespace vantrel {

struct Map {
  int width;
  int height;
  std::vector<std::uint8_t> opaque;  // row by row

  bool is_opaque(int x, int y) const { return opaque[static_cast<std::size_t>(y * width + x)] != 0; }
};

inline Map random_map(int width, int height, double share, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::bernoulli_distribution wall(share);
  Map map{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width * height))};
  for (std::uint8_t& cell : map.opaque) cell = wall(random) ? 1 : 0;
  return map;
}

// (x, y) turned by symmetry `turn` (0 to 7) of the square.
inline Cell turned(Cell c, int turn) {
  if (turn & 4) std::swap(c.x, c.y);
  if (turn & 1) c.x = -c.x;
  if (turn & 2) c.y = -c.y;
  return c;
}

// Walls::kFacing added to a view by its definition: each opaque cell W with
// a neighbour C that is clear, in `view` and no farther from the viewer than
// W along either axis comes into view. `reach`: no cell farther than it from
// the viewer on either axis is in `view` (the map's size will do).
inline std::vector<std::uint8_t> with_facing_walls(std::vector<std::uint8_t> view,
                                                   const Map& map, Cell viewer, int reach) {
  const std::vector<std::uint8_t> before = view;
  for (int y = std::max(0, viewer.y - reach - 1); y < std::min(map.height, viewer.y + reach + 2);
       ++y) {
    for (int x = std::max(0, viewer.x - reach - 1); x < std::min(map.width, viewer.x + reach + 2);
         ++x) {
      if (!map.is_opaque(x, y)) continue;
      for (int cy = y - 1; cy <= y + 1; ++cy) {
        for (int cx = x - 1; cx <= x + 1; ++cx) {
          if (cx < 0 || cy < 0 || cx >= map.width || cy >= map.height) continue;
          if (map.is_opaque(cx, cy) || before[static_cast<std::size_t>(cy * map.width + cx)] == 0) {
            continue;
          }
          if (std::abs(cx - viewer.x) <= std::abs(x - viewer.x) &&
              std::abs(cy - viewer.y) <= std::abs(y - viewer.y)) {
            view[static_cast<std::size_t>(y * map.width + x)] = 1;
          }
        }
      }
    }
  }
  return view;
}

// The view by its definition, one turned line after another: the viewer's
// cell, opaque or not, then each line up to the map's edge or its first
// opaque cell, which is in view unless by Walls::kUnseen; then, by
// Walls::kFacing, the walls next to the clear cells in view.
inline std::vector<std::uint8_t> reference_view(const Table& table, const Map& map, Cell viewer,
                                         Walls walls = Walls::kSeen) {
  if (walls == Walls::kFacing) {
    return with_facing_walls(reference_view(table, map, viewer, Walls::kSeen), map, viewer,
                             table.radius());
  }
  std::vector<std::uint8_t> view(map.opaque.size(), 0);
  view[static_cast<std::size_t>(viewer.y * map.width + viewer.x)] = 1;
  for (const std::vector<Cell>& line : table.lines()) {
    for (int turn = 0; turn < 8; ++turn) {
      for (const Cell& cell : line) {
        const Cell step = turned(cell, turn);
        const int x = viewer.x + step.x;
        const int y = viewer.y + step.y;
        if (x < 0 || y < 0 || x >= map.width || y >= map.height) break;
        if (map.is_opaque(x, y)) {
          if (walls != Walls::kUnseen) view[static_cast<std::size_t>(y * map.width + x)] = 1;
          break;
        }
        view[static_cast<std::size_t>(y * map.width + x)] = 1;
      }
    }
  }
  return view;
}

}  // namespace vantrel

#endif  // VANTREL_TESTS_VIEW_REFERENCE_H_

// The field of view by its definition, for the tests to compare against:
// each line of a table turned by the 8 symmetries of the square and walked
// from the viewer, line by line, up to the first opaque cell or the map's edge.
#ifndef VANTREL_TESTS_VIEW_REFERENCE_H_
#define VANTREL_TESTS_VIEW_REFERENCE_H_

#include <cstdint>
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

// The view by its definition, one turned line after another: the viewer's
// cell, opaque or not, then each line up to the map's edge or its first
// opaque cell, which is in view with Walls::kSeen only.
inline std::vector<std::uint8_t> reference_view(const Table& table, const Map& map, Cell viewer,
                                         Walls walls = Walls::kSeen) {
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
          if (walls == Walls::kSeen) view[static_cast<std::size_t>(y * map.width + x)] = 1;
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

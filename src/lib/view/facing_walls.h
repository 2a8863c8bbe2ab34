// Walls::kFacing added to a finished view: a pass over the square around
// the viewer, row by row, that lights each opaque cell next to a clear cell
// in view that is no farther from the viewer along either axis. Used where
// the view holds one viewer's view alone (compute() of a map of bytes, the
// symmetric view); a mark into a shared view lights the walls as it goes.
#ifndef VANTREL_VIEW_FACING_WALLS_H_
#define VANTREL_VIEW_FACING_WALLS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vantrel/cell.h"
#include "vantrel/field_of_view.h"

namespace vantrel {

// The walls that face the viewer around a clear cell in view at (dx, dy)
// from it, `at` its offset from the viewer's byte in the maps, as the lines
// reach it: `see(next, wx, wy)` for each opaque one, `next` its offset and
// (wx, wy) its place from the viewer. `wall` is the viewer's byte of the
// map; unless kInside (the map holds every cell a cell beyond the view), a
// neighbour off the map is passed over.
template <bool kInside, class See>
inline void face_walls(Cell viewer, int width, int height, const std::uint8_t* wall,
                       std::int32_t dx, std::int32_t dy, std::ptrdiff_t at, const See& see) {
  detail::for_each_facing(dx, dy, [&](int ox, int oy) {
    if constexpr (!kInside) {
      const std::int64_t x = std::int64_t{viewer.x} + dx + ox;
      const std::int64_t y = std::int64_t{viewer.y} + dy + oy;
      if (x < 0 || y < 0 || x >= width || y >= height) return;
    }
    const std::ptrdiff_t next = at + static_cast<std::ptrdiff_t>(oy) * width + ox;
    if (wall[next] != 0) see(next, dx + ox, dy + oy);
  });
}

// `seen` is the viewer's byte of its view, alone, 0 or 1 a cell, each row
// `seen_row` bytes after the one before (the map's width for a view of the
// whole map, less for a window of it); the map of width x height cells has
// `opaque` non-zero for an opaque cell. No cell in view lies farther than
// `reach` from the viewer on either axis, so the walls lit lie within
// reach + 1, which the view must hold. Reads and writes nothing beyond.
//
// A wall W at (wx, wy) from the viewer faces it from the cells next to it
// that are one step nearer along an axis on which W is off the viewer's
// line: (wx - sx, wy), (wx, wy - sy) and (wx - sx, wy - sy), s the signs.
// So each row looks at itself and at the row on the viewer's side of it;
// lighting only opaque cells, it changes no clear cell that a later one
// looks at.
inline void light_facing_walls(Cell viewer, int width, int height, int reach,
                               const std::uint8_t* opaque, std::uint8_t* seen_at_viewer,
                               std::ptrdiff_t seen_row) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kSeven = 0x7f7f7f7f7f7f7f7fu;
  auto load = [](const std::uint8_t* bytes) {
    std::uint64_t eight;
    std::memcpy(&eight, bytes, 8);
    return eight;
  };
  // 1 in each byte of eight that is not 0, 0 in the others. Bytewise, so
  // the same on either byte order.
  auto nonzero = [](std::uint64_t eight) {
    return ((((eight & kSeven) + kSeven) | eight) >> 7) & kOnes;
  };
  // 1 in each byte of eight cells that is clear and in view (a view's
  // bytes are 0 or 1).
  auto clear_seen = [&](const std::uint8_t* seen, const std::uint8_t* wall) {
    return load(seen) & (nonzero(load(wall)) ^ kOnes);
  };

  // Places are taken from the viewer, within the square and the map.
  const std::ptrdiff_t map_row = width;
  const std::int64_t far = std::int64_t{reach} + 1;
  const auto left = static_cast<int>(std::max<std::int64_t>(-far, -std::int64_t{viewer.x}));
  const auto right =
      static_cast<int>(std::min<std::int64_t>(far, std::int64_t{width} - 1 - viewer.x));
  const auto top = static_cast<int>(std::max<std::int64_t>(-far, -std::int64_t{viewer.y}));
  const auto bottom =
      static_cast<int>(std::min<std::int64_t>(far, std::int64_t{height} - 1 - viewer.y));
  const std::uint8_t* const wall_at_viewer =
      opaque + static_cast<std::ptrdiff_t>(viewer.y) * map_row + viewer.x;
  for (int dy = top; dy <= bottom; ++dy) {
    std::uint8_t* const seen = seen_at_viewer + dy * seen_row;
    const std::uint8_t* const wall = wall_at_viewer + dy * map_row;
    // The row on the viewer's side; on the viewer's own row, none.
    const int inward = dy > 0 ? -1 : dy < 0 ? 1 : 0;
    const std::uint8_t* const near_seen = seen + inward * seen_row;
    const std::uint8_t* const near_wall = wall + inward * map_row;
    auto clear_here = [&](int dx) { return seen[dx] & (wall[dx] == 0 ? 1 : 0); };
    auto clear_inward = [&](int dx) {
      return inward != 0 ? near_seen[dx] & (near_wall[dx] == 0 ? 1 : 0) : 0;
    };
    // The viewer's column looks only inward.
    if (wall[0] != 0 && clear_inward(0) != 0) seen[0] = 1;
    // Outwards on either side, `step` cells at a time, each cell looking
    // back at the cell before it (`back`, -step) in its row and the inward
    // one, and at the inward cell beside it. A cell lit is opaque, so
    // whether the cell after it reads it before or after makes no odds.
    auto side = [&](int step, int last) {
      const int back = -step;
      int dx = step;
      for (; step > 0 ? dx + 7 <= last : dx - 7 >= last; dx += 8 * step) {
        const int first = step > 0 ? dx : dx - 7;  // the lowest of the eight
        // Most of the square lies out of a view among walls: eight cells
        // with nothing in view beside them are passed over first.
        std::uint64_t near_in_view = load(seen + first + back);
        if (inward != 0) {
          near_in_view |= load(near_seen + first) | load(near_seen + first + back);
        }
        if (near_in_view == 0) continue;
        const std::uint64_t walls = nonzero(load(wall + first));
        if (walls == 0) continue;
        std::uint64_t faced = clear_seen(seen + first + back, wall + first + back);
        if (inward != 0) {
          faced |= clear_seen(near_seen + first, near_wall + first) |
                   clear_seen(near_seen + first + back, near_wall + first + back);
        }
        const std::uint64_t lit = walls & faced;
        if (lit != 0) {
          const std::uint64_t now = load(seen + first) | lit;
          std::memcpy(seen + first, &now, 8);
        }
      }
      for (; step > 0 ? dx <= last : dx >= last; dx += step) {
        if (wall[dx] == 0) continue;
        if ((clear_here(dx + back) | clear_inward(dx) | clear_inward(dx + back)) != 0) {
          seen[dx] = 1;
        }
      }
    };
    side(1, right);
    side(-1, left);
  }
}

}  // namespace vantrel

#endif  // VANTREL_VIEW_FACING_WALLS_H_

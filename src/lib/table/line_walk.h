// Line walks: the cells a straight line from the origin cell steps through,
// with the single-precision roundings that define them. Pure computation.
// Cells are (x, y) with x the column and y the row; origin (0, 0).
#ifndef VANTREL_LINE_WALK_H_
#define VANTREL_LINE_WALK_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lib/cell.h"

namespace vantrel {

// Rounds a non-negative coordinate to the nearest cell, halves going up
// (2.5 -> 3); the difference v - trunc(v) is exact in single precision.
// Negative values are truncated toward zero.
std::int32_t round_coord(float v);

// The cells a line from the origin (excluded) to (x, y) (included) steps
// through: max(|x|, |y|) points, one per step along the longer axis, the
// other coordinate rounded from single-precision slope and products. The
// plain definition, point by point; compute_walk is the fast equal.
std::vector<WalkPoint> walk_line(std::int32_t x, std::int32_t y);

// The number of points of the walk to `end`.
inline std::int32_t walk_length(Endpoint end) { return std::max(end.x, end.y); }

// Fast walks are computed in blocks of this many points; room for one of
// `length` points is rounded up to whole blocks.
inline constexpr std::size_t kWalkBlock = 8;
inline constexpr std::size_t walk_room(std::size_t length) {
  return (length + kWalkBlock - 1) / kWalkBlock * kWalkBlock;
}

// The walk to `end` (x, y >= 0, below 2^16), equal to walk_line's, stored
// in `minor`, which has room for walk_room(walk_length(end)) values.
CompactWalk compute_walk(Endpoint end, MinorCoord* minor);

// compute_walk, and also the index of each point's cell in a grid `width`
// bytes wide, in `cells` (the same room): minor * width + k for point k.
// Every index must fit 32 bits.
CompactWalk compute_walk_and_cells(Endpoint end, MinorCoord* minor,
                                   std::uint32_t* cells, std::uint32_t width);

}  // namespace vantrel

#endif  // VANTREL_LINE_WALK_H_

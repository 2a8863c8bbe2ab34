// A view cut to a cone once it is whole: the cells a cone leaves out are
// cleared a row at a time, where testing each cell as the lines reach it
// would cost a test a cell. Used where the view holds one viewer's view
// alone (compute() of a map of bytes, the symmetric view).
#ifndef VANTREL_VIEW_CONE_CUT_H_
#define VANTREL_VIEW_CONE_CUT_H_

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "vantrel/cell.h"
#include "vantrel/field_of_view.h"

namespace vantrel {

// What `call` says of a cone that is not one.
inline std::string cone_fault(const char* call, Cone cone) {
  // Every digit a double needs, so that a width just past 360 shows it.
  auto text = [](double degrees) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.17g", degrees);
    return std::string(digits);
  };
  return std::string(call) +
         ": a cone's width must be above 0 and at most 360 degrees, and its direction finite, "
         "not " + text(cone.width) + " and " + text(cone.direction);
}

namespace cone_cut {

// The cells of a row from `lo` to `hi`; empty when lo > hi.
struct Span {
  std::int64_t lo;
  std::int64_t hi;
};

// The cells from `lo` to `hi` of a row on the cone's side of one of its
// edges: `side(dx)` says whether a cell is, `slope` how that changes along
// the row and `crossing` where the edge crosses it. A half of the row, the
// whole or none: its end found from the crossing, then moved to exactly
// where `side` turns, so that the row agrees with the test of each cell.
template <class Side>
Span side_of_edge(std::int64_t lo, std::int64_t hi, double slope, double crossing, Side side) {
  if (slope == 0) return side(lo) ? Span{lo, hi} : Span{lo, lo - 1};
  const double clamped = std::clamp(crossing, static_cast<double>(lo - 1),
                                    static_cast<double>(hi + 1));
  if (slope > 0) {
    // From the first cell on the cone's side to the row's end.
    auto first = static_cast<std::int64_t>(std::ceil(clamped));
    while (first > lo && side(first - 1)) --first;
    while (first <= hi && !side(first)) ++first;
    return Span{first, hi};
  }
  // From the row's start to the last cell on the cone's side.
  auto last = static_cast<std::int64_t>(std::floor(clamped));
  while (last < hi && side(last + 1)) ++last;
  while (last >= lo && !side(last)) --last;
  return Span{lo, last};
}

}  // namespace cone_cut

// Clears the cells of a view that a cone leaves out, row by row within
// `reach` of the viewer, but the viewer's: the same cells as the cone's test
// of each, found at a few cells a row. `seen` is the viewer's byte of the
// view, each row `seen_row` bytes after the one before.
inline void cut_to_cone(const detail::ConeTest& cone, Cell viewer, int width, int height,
                        int reach, std::uint8_t* seen, std::ptrdiff_t seen_row) {
  const std::int64_t left = std::max<std::int64_t>(-std::int64_t{reach}, -std::int64_t{viewer.x});
  const std::int64_t right =
      std::min<std::int64_t>(reach, std::int64_t{width} - 1 - viewer.x);
  const std::int64_t top = std::max<std::int64_t>(-std::int64_t{reach}, -std::int64_t{viewer.y});
  const std::int64_t bottom =
      std::min<std::int64_t>(reach, std::int64_t{height} - 1 - viewer.y);
  for (std::int64_t dy = top; dy <= bottom; ++dy) {
    const auto y = static_cast<double>(dy);
    const cone_cut::Span first = cone_cut::side_of_edge(
        left, right, cone.first_slope(), cone.first_crossing(y),
        [&](std::int64_t dx) { return cone.after_first(static_cast<double>(dx), y); });
    const cone_cut::Span last = cone_cut::side_of_edge(
        left, right, cone.last_slope(), cone.last_crossing(y),
        [&](std::int64_t dx) { return cone.before_last(static_cast<double>(dx), y); });
    std::uint8_t* const row = seen + static_cast<std::ptrdiff_t>(dy) * seen_row;
    auto clear = [&](std::int64_t from, std::int64_t to) {
      if (from <= to) std::memset(row + from, 0, static_cast<std::size_t>(to - from + 1));
    };
    if (cone.convex()) {
      // In the cone: both sides at once, one span.
      const std::int64_t lo = std::max(first.lo, last.lo);
      const std::int64_t hi = std::min(first.hi, last.hi);
      if (lo > hi) {
        clear(left, right);
      } else {
        clear(left, lo - 1);
        clear(hi + 1, right);
      }
    } else {
      // In the cone: either side; out of it, the cells on neither, which
      // lie between the two spans (each of which reaches one end of the row
      // or is empty).
      for (std::int64_t dx = left; dx <= right; ++dx) {
        const bool in_first = dx >= first.lo && dx <= first.hi;
        const bool in_last = dx >= last.lo && dx <= last.hi;
        if (!in_first && !in_last) row[dx] = 0;
      }
    }
  }
  *seen = 1;
}

}  // namespace vantrel

#endif  // VANTREL_VIEW_CONE_CUT_H_

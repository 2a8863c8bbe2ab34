#include "lib/table/table_sweep.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "lib/table/line_walk.h"

namespace vantrel {
namespace {

// The nearest whole number to the square root of n >= 0, halves up.
std::int64_t nearest_root(std::int64_t n) {
  return static_cast<std::int64_t>(std::sqrt(static_cast<double>(n)) + 0.5);
}

// Which cells the lines taken so far step through.
//
// A line steps through cells with x <= y when it ends at x <= y (steep) and
// through cells with x >= y otherwise (shallow), and the sweep tests each
// candidate cell against the lines of its own side only. So the grid keeps
// one bit per side: a byte per pair of mirrored cells, at x * width + y for
// the steep cell (x, y) and at y * width + x for the shallow cell (x, y),
// width = radius + 1. The steep candidate (i, c) and the shallow one (c, i)
// then share a byte, both kinds of walk cover cells with the same loop, and
// a diagonal cell is covered when either bit is set. Walks run along the
// bytes mostly, one row per step of their minor coordinate, which keeps
// covering them cheap on caches.
//
// The tables themselves index cells as if the grid were `radius` cells wide
// although x runs from 0 to radius: cell (radius, y) shares a byte with
// (0, y + 1), which the first line of every table covers, so no line ends
// at x = radius. The tables depend on this, so the shallow cells
// (radius, y) start out covered.
class CoverageGrid {
 public:
  static constexpr unsigned char kSteep = 1;
  static constexpr unsigned char kShallow = 2;
  static constexpr unsigned char kBoth = kSteep | kShallow;

  explicit CoverageGrid(std::int32_t radius)
      : width_(static_cast<std::size_t>(radius) + 1),
        cells_(static_cast<std::size_t>(coverage_grid_size(radius)), 0) {
    for (std::int64_t y = 0; y < radius; ++y) *cell(radius, y) = kShallow;
  }

  std::size_t width() const { return width_; }

  // The byte of the steep cell (minor, major) and the shallow cell
  // (major, minor).
  unsigned char* cell(std::int64_t major, std::int64_t minor) {
    return cells_.data() + static_cast<std::size_t>(minor) * width_ +
           static_cast<std::size_t>(major);
  }

  // Covers the cells of a walk, given by their bytes (compute_walk_and_cells).
  void mark_line(const CompactWalk& walk, const std::uint32_t* cells) {
    const unsigned char side = walk.along_x() ? kShallow : kSteep;
    unsigned char* grid = cells_.data();
    const std::size_t length = walk.minor.size();
#pragma GCC unroll 4
    for (std::size_t k = 0; k < length; ++k) grid[cells[k]] |= side;
  }

 private:
  std::size_t width_;
  std::vector<unsigned char> cells_;
};

// Where the sweep of one circle stands. For each i, c is the nearest whole
// number to the square root of n = f - i*i (f the circle's squared radius,
// a whole number). No square root of an integer below 2^31 comes within
// rounding error of a half, so c is exactly the whole number with
// c(c - 1) < n <= c(c + 1). While i < c the circle falls by less than one
// cell per step, so c steps down by one at most, and cheaply.
struct CircleScan {
  std::int64_t c = 0;
  std::int64_t slack = 0;           // n - c(c - 1); c steps down once it is <= 0
  std::int64_t twice_i_plus_1 = 3;  // n falls by this as i grows
  std::int64_t twice_c_plus_1 = 0;
  const unsigned char* candidates = nullptr;  // the byte of (i, c) and (c, i)

  void advance(std::size_t width) {
    slack -= twice_i_plus_1;
    twice_i_plus_1 += 2;
    candidates += width;
    if (slack <= 0) {
      --c;
      slack += 2 * c;
      twice_c_plus_1 -= 2;
      candidates -= 1;
    }
  }
};

// Passes over the candidates that both kinds of line cover, which are most,
// up to the end of the circle (i >= c). A function of its own, so that this
// loop has its state in registers.
[[gnu::noinline]] CircleScan skip_covered(CircleScan scan, std::size_t width) {
  while (scan.twice_i_plus_1 < scan.twice_c_plus_1 &&
         *scan.candidates == CoverageGrid::kBoth) {
    scan.advance(width);
  }
  return scan;
}

// Fills `grid` (fresh) with the lines of the table of `radius`, appending
// their endpoints to `endpoints` in the order taken.
void sweep(std::int32_t radius, CoverageGrid& grid, EndpointList& endpoints) {
  std::vector<std::uint32_t> cells(walk_room(static_cast<std::size_t>(radius)));
  const auto width32 = static_cast<std::uint32_t>(grid.width());
  auto take = [&](std::int64_t x, std::int64_t y) {
    const Endpoint end{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)};
    grid.mark_line(
        compute_walk_and_cells(end, endpoints.append(end), cells.data(), width32),
        cells.data());
  };

  take(0, radius);

  // Circles of radius a, a - 0.5, ..., 1, largest first. Each accepted line
  // covers cells, so this order decides which lines enter the table.
  const std::size_t width = grid.width();
  for (float r = static_cast<float>(radius); r >= 1.0f;
       r = static_cast<float>(static_cast<double>(r) - 0.5)) {
    // Exact in double: r*r for whole radii, r*r - 0.25 for half radii.
    const auto f = static_cast<std::int64_t>(static_cast<double>(r) * r);
    CircleScan scan;  // from i = 1
    scan.c = nearest_root(f - 1);
    scan.slack = f - 1 - scan.c * (scan.c - 1);
    scan.twice_c_plus_1 = 2 * scan.c + 1;
    scan.candidates = grid.cell(scan.c, 1);
    for (;;) {
      scan = skip_covered(scan, width);
      if (scan.twice_i_plus_1 >= scan.twice_c_plus_1) break;
      const std::int64_t i = scan.twice_i_plus_1 / 2;
      if ((*scan.candidates & CoverageGrid::kSteep) == 0) take(i, scan.c);
      if ((*scan.candidates & CoverageGrid::kShallow) == 0) take(scan.c, i);
      scan.advance(width);
    }
    // Leaving the loop, c may have had to fall by two.
    const std::int64_t i = scan.twice_i_plus_1 / 2;
    const std::int64_t c = nearest_root(f - i * i);
    if (i == c && *grid.cell(i, i) == 0) take(i, i);
  }
}

}  // namespace

MinorCoord* EndpointList::append(Endpoint end) {
  const std::size_t room = walk_room(static_cast<std::size_t>(walk_length(end)));
  if (kept_capacity_ - kept_used_ >= room) {
    if (kept_size_ - kept_used_ < room) {
      // Grow, up to the capacity, by doubling, and at once to about what a
      // table needs: the first walk of a table is its longest, a table of
      // radius a keeps some 1.5 a^2 points.
      const std::size_t size = std::min(
          kept_capacity_, std::max({kept_used_ + room, 2 * kept_size_, 2 * room * room}));
      std::unique_ptr<MinorCoord[]> larger(new MinorCoord[size]);
      std::copy_n(kept_.get(), kept_used_, larger.get());
      kept_ = std::move(larger);
      kept_size_ = size;
    }
    entries_.push_back({end, kept_used_});
    kept_used_ += room;
    return kept_.get() + entries_.back().walk_offset;
  }
  entries_.push_back({end, kNotKept});
  if (scratch_.size() < room) scratch_.resize(room);
  return scratch_.data();
}

void EndpointList::sort() {
  std::sort(entries_.begin(), entries_.end(),
            [](const Entry& a, const Entry& b) { return a.end < b.end; });
}

void EndpointList::clear() {
  entries_.clear();
  kept_used_ = 0;
}

void sweep_table(std::int32_t radius, EndpointList& endpoints) {
  endpoints.clear();
  CoverageGrid grid(radius);
  sweep(radius, grid, endpoints);
  endpoints.sort();
}

std::vector<Endpoint> table_endpoints(std::int32_t radius) {
  EndpointList endpoints;
  sweep_table(radius, endpoints);
  std::vector<Endpoint> ends;
  ends.reserve(endpoints.entries().size());
  for (const EndpointList::Entry& entry : endpoints.entries()) ends.push_back(entry.end);
  return ends;
}

}  // namespace vantrel

#include "table_builder.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>

namespace vantrel {
namespace {

// Rounds a double-precision result to single precision; the walk's
// coordinates are defined by exactly these roundings.
float to_single(double value) { return static_cast<float>(value); }

// Single-precision arithmetic must happen in single precision, not in a
// wider register format, for compute_walk to equal walk_line.
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must be IEEE single");

// Walks are computed in blocks of this many points; room for a walk is
// rounded up to whole blocks.
constexpr std::size_t kWalkBlock = 4;

std::size_t walk_room(std::size_t length) {
  return (length + kWalkBlock - 1) / kWalkBlock * kWalkBlock;
}

// Fills `minor` (room for walk_room(max(x, y)) values) with the walk to
// `end`, x and y >= 0, and returns it. The same numbers as walk_line, in
// blocks the compiler vectorizes: k < 2^24 and the single-precision slope
// multiply exactly in double, so rounding that product to single precision
// is the single-precision product itself.
CompactWalk compute_walk(Endpoint end, std::uint32_t* minor) {
  const bool along_x = end.x > end.y;
  const std::int32_t length = along_x ? end.x : end.y;
  const std::int32_t across = along_x ? end.y : end.x;
  const float slope = to_single(static_cast<double>(across) / length);
  const auto room =
      static_cast<std::int32_t>(walk_room(static_cast<std::size_t>(length)));
  for (std::int32_t k = 1; k <= room; ++k) {
    const float v = static_cast<float>(k) * slope;
    const auto whole = static_cast<std::int32_t>(v);
    minor[k - 1] = static_cast<std::uint32_t>(
        whole + (v - static_cast<float>(whole) >= 0.5f ? 1 : 0));
  }
  return {end, {minor, static_cast<std::size_t>(length)}};
}

std::int32_t walk_length(Endpoint end) { return std::max(end.x, end.y); }

// The nearest whole number to the square root of n >= 0, halves up.
std::int64_t nearest_root(std::int64_t n) {
  return static_cast<std::int64_t>(std::sqrt(static_cast<double>(n)) + 0.5);
}

// One byte per cell, 0 = uncovered. The grid is `radius` cells wide although
// x runs from 0 to radius: cell (radius, y) shares the byte of (0, y + 1).
// The first line of every table covers the whole column x = 0, so those
// cells read as covered and no line ends at x = radius; the tables depend on
// this, so the narrow layout stays.
class CoverageGrid {
 public:
  explicit CoverageGrid(std::int32_t radius)
      : width_(static_cast<std::size_t>(radius)),
        cells_(width_ * (width_ + 1), 0) {}

  std::size_t width() const { return width_; }
  const unsigned char* cell(std::int64_t x, std::int64_t y) const {
    return cells_.data() + static_cast<std::size_t>(y) * width_ +
           static_cast<std::size_t>(x);
  }

  // Covers every cell of the walk.
  void mark_line(const CompactWalk& walk) {
    const std::uint32_t* minor = walk.minor.data();
    const std::size_t length = walk.minor.size();
    const std::size_t width = width_;
    unsigned char* cells = cells_.data();
    if (walk.along_x()) {
#pragma GCC unroll 4
      for (std::size_t k = 0; k < length; ++k) {
        cells[static_cast<std::size_t>(minor[k]) * width + k + 1] = 1;
      }
    } else {
      unsigned char* row = cells + width;
#pragma GCC unroll 4
      for (std::size_t k = 0; k < length; ++k) {
        row[minor[k]] = 1;
        row += width;
      }
    }
  }

 private:
  std::size_t width_;
  std::vector<unsigned char> cells_;
};

// Fills `grid` (fresh, all uncovered) with the lines of the table of
// `radius`, appending their endpoints to `endpoints` in the order taken.
void sweep(std::int32_t radius, CoverageGrid& grid, EndpointList& endpoints) {
  auto take = [&](std::int64_t x, std::int64_t y) {
    const Endpoint end{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)};
    grid.mark_line(compute_walk(end, endpoints.append(end)));
  };
  auto take_if_uncovered = [&](std::int64_t x, std::int64_t y) {
    if (*grid.cell(x, y) == 0) take(x, y);
  };

  take(0, radius);

  // Circles of radius a, a - 0.5, ..., 1, largest first. Each accepted line
  // covers cells, so this order decides which lines enter the table.
  const auto width = static_cast<std::ptrdiff_t>(grid.width());
  for (float r = static_cast<float>(radius); r >= 1.0f; r = to_single(r - 0.5)) {
    // Exact in double: r*r for whole radii, r*r - 0.25 for half radii.
    const auto f = static_cast<std::int64_t>(static_cast<double>(r) * r);
    // For each i, c is the nearest whole number to the square root of
    // n = f - i*i. No square root of an integer below 2^31 comes within
    // rounding error of a half, so c is exactly the whole number with
    // c(c - 1) < n <= c(c + 1). While i < c the circle falls by less than
    // one cell per step, so c steps down by one at most, and cheaply.
    std::int64_t n = f - 1;
    std::int64_t c = nearest_root(n);
    std::int64_t c_floor = c * (c - 1);
    std::int64_t twice_i_plus_1 = 3;  // n falls by this as i grows
    const unsigned char* at_i_c = grid.cell(1, c);
    const unsigned char* at_c_i = grid.cell(c, 1);
    // (i, c) lies (c - i)(width - 1) bytes after (c, i): i < c exactly
    // while it lies after.
    while (at_c_i < at_i_c) {
      if ((*at_i_c & *at_c_i) == 0) {  // mostly both are covered
        const std::int64_t i = twice_i_plus_1 / 2;
        if (*at_i_c == 0) take(i, c);
        if (*at_c_i == 0) take(c, i);
      }
      n -= twice_i_plus_1;
      twice_i_plus_1 += 2;
      at_i_c += 1;
      at_c_i += width;
      if (n <= c_floor) {
        --c;
        c_floor -= 2 * c;
        at_i_c -= width;
        at_c_i -= 1;
      }
    }
    // Leaving the loop, c may have had to fall by two.
    const std::int64_t i = twice_i_plus_1 / 2;
    c = nearest_root(n);
    if (i == c) take_if_uncovered(c, c);
  }
}

}  // namespace

std::int32_t round_coord(float v) {
  auto whole = static_cast<std::int32_t>(v);
  return v - static_cast<float>(whole) >= 0.5f ? whole + 1 : whole;
}

std::vector<WalkPoint> walk_line(std::int32_t x, std::int32_t y) {
  std::vector<WalkPoint> walk;
  const std::int64_t abs_x = std::llabs(x);
  const std::int64_t abs_y = std::llabs(y);
  if (abs_x > abs_y) {
    const float slope = to_single(static_cast<double>(y) / x);
    const std::int32_t step = x >= 0 ? 1 : -1;
    walk.reserve(static_cast<std::size_t>(abs_x));
    for (std::int64_t n = 1; n <= abs_x; ++n) {
      const auto p = static_cast<std::int32_t>(n * step);
      walk.push_back({p, round_coord(to_single(p * static_cast<double>(slope)))});
    }
  } else if (y != 0) {
    const float slope = to_single(static_cast<double>(x) / y);
    const std::int32_t step = y >= 0 ? 1 : -1;
    walk.reserve(static_cast<std::size_t>(abs_y));
    for (std::int64_t n = 1; n <= abs_y; ++n) {
      const auto q = static_cast<std::int32_t>(n * step);
      walk.push_back({round_coord(to_single(q * static_cast<double>(slope))), q});
    }
  }
  return walk;
}

std::uint32_t* EndpointList::append(Endpoint end) {
  const std::size_t room = walk_room(static_cast<std::size_t>(walk_length(end)));
  if (kKeptPoints - kept_used_ >= room) {
    if (!kept_) kept_.reset(new std::uint32_t[kKeptPoints]);
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

std::vector<Endpoint> table_endpoints(std::int32_t radius) {
  CoverageGrid grid(radius);
  EndpointList endpoints;
  sweep(radius, grid, endpoints);
  endpoints.sort();
  std::vector<Endpoint> ends;
  for (const EndpointList::Entry& entry : endpoints.entries()) ends.push_back(entry.end);
  return ends;
}

std::int32_t build_table(std::int32_t radius, EndpointList& endpoints,
                         TableStream& stream, std::FILE* console) {
  CoverageGrid grid(radius);
  write_table_opening(stream, radius);
  if (console != nullptr) {
    std::fprintf(console, "\n\nCreating Table %d", static_cast<int>(radius));
    std::fflush(console);
  }
  sweep(radius, grid, endpoints);
  endpoints.sort();

  const auto line_count = static_cast<std::int32_t>(endpoints.entries().size());
  write_line_count(stream, line_count);
  std::vector<std::uint32_t> recomputed;
  std::int32_t number = 1;
  const auto& entries = endpoints.entries();
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    const std::uint32_t* kept = endpoints.kept_walk(*entry);
    if (kept != nullptr) {
      const auto length = static_cast<std::size_t>(walk_length(entry->end));
      write_line_entry(stream, number++, {entry->end, {kept, length}});
    } else {
      recomputed.resize(walk_room(static_cast<std::size_t>(radius)));
      write_line_entry(stream, number++, compute_walk(entry->end, recomputed.data()));
    }
  }
  endpoints.clear();
  if (console != nullptr) {
    std::fprintf(console, "\n%d Lines", static_cast<int>(line_count));
    std::fflush(console);
  }
  write_table_closing(stream);
  return line_count;
}

}  // namespace vantrel

#include "table_builder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

namespace vantrel {
namespace {

// One byte per cell, 0 = uncovered. The grid is `radius` cells wide although
// x runs from 0 to radius: cell (radius, y) shares the byte of (0, y + 1).
// The first line of every table covers the whole column x = 0, so those
// cells read as covered and no line ends at x = radius; the tables depend on
// this, so the narrow layout stays.
class CoverageGrid {
 public:
  explicit CoverageGrid(std::int32_t radius)
      : width_(radius),
        cells_(static_cast<std::size_t>(radius) *
                   (static_cast<std::size_t>(radius) + 1),
               0) {}

  bool covered(Cell cell) const { return cells_[index(cell)] != 0; }

  // Covers every cell of the walk to (x, y).
  void mark_line(Cell end) {
    for (const WalkPoint& point : walk_line(end.x, end.y)) {
      cells_[index(point)] = 1;
    }
  }

 private:
  std::size_t index(Cell cell) const {
    return static_cast<std::size_t>(cell.y) * static_cast<std::size_t>(width_) +
           static_cast<std::size_t>(cell.x);
  }

  std::int32_t width_;
  std::vector<unsigned char> cells_;
};

// Rounds a double-precision result to single precision; the walk's
// coordinates are defined by exactly these two roundings.
float to_single(double value) { return static_cast<float>(value); }

std::int32_t nearest_whole(double value) {
  return static_cast<std::int32_t>(value + 0.5);
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

namespace {

// Fills `grid` (fresh, all uncovered) with the lines of the table of
// `radius` and returns their endpoints in ascending order.
std::vector<Endpoint> sweep(CoverageGrid& grid, std::int32_t radius) {
  std::vector<Endpoint> endpoints;
  auto take_if_uncovered = [&](Cell cell) {
    if (grid.covered(cell)) return;
    grid.mark_line(cell);
    endpoints.push_back(cell);
  };

  const Endpoint column_end{0, radius};
  grid.mark_line(column_end);
  endpoints.push_back(column_end);

  // Circles of radius a, a - 0.5, ..., 1, largest first. Each accepted line
  // covers cells, so this order decides which lines enter the table.
  for (float r = static_cast<float>(radius); r >= 1.0f; r = to_single(r - 0.5)) {
    // Exact in double: r*r for whole radii, r*r - 0.25 for half radii.
    const auto f = static_cast<std::int64_t>(static_cast<double>(r) * r);
    std::int64_t i = 1;
    std::int32_t c = nearest_whole(std::sqrt(static_cast<double>(f - 1)));
    while (i < c) {
      const auto row = static_cast<std::int32_t>(i);
      take_if_uncovered({row, c});
      take_if_uncovered({c, row});
      ++i;
      c = nearest_whole(std::sqrt(static_cast<double>(f - i * i)));
    }
    if (i == c) take_if_uncovered({c, c});
  }

  std::sort(endpoints.begin(), endpoints.end());
  return endpoints;
}

}  // namespace

std::vector<Endpoint> table_endpoints(std::int32_t radius) {
  CoverageGrid grid(radius);
  return sweep(grid, radius);
}

std::int32_t build_table(std::int32_t radius, TableStream& stream,
                         std::FILE* console) {
  CoverageGrid grid(radius);
  write_table_opening(stream, radius);
  if (console != nullptr) {
    std::fprintf(console, "\n\nCreating Table %d", static_cast<int>(radius));
    std::fflush(console);
  }
  const std::vector<Endpoint> endpoints = sweep(grid, radius);
  const auto line_count = static_cast<std::int32_t>(endpoints.size());
  write_line_count(stream, line_count);
  std::int32_t number = 1;
  for (auto it = endpoints.rbegin(); it != endpoints.rend(); ++it) {
    write_line_entry(stream, number++, walk_line(it->x, it->y));
  }
  if (console != nullptr) {
    std::fprintf(console, "\n%d Lines", static_cast<int>(line_count));
    std::fflush(console);
  }
  write_table_closing(stream);
  return line_count;
}

}  // namespace vantrel

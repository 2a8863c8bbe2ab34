#include "lib/table/line_walk.h"

#include <cfloat>
#include <cstdlib>

namespace vantrel {
namespace {

// Rounds a double-precision result to single precision; the walk's
// coordinates are defined by exactly these roundings.
float to_single(double value) { return static_cast<float>(value); }

// Single-precision arithmetic must happen in single precision, not in a
// wider register format, for compute_walk to equal walk_line.
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must be IEEE single");

// Where the platform can pick a function's version when the program loads,
// the walk also comes in a version for processors with AVX2. (Not under
// ThreadSanitizer, whose runtime is not ready when the loader picks.) The
// versions are local to this file, behind plain functions: the compilers
// give the symbol that picks a version default visibility whatever is
// asked, and a shared object that links the static library would export it.
#if defined(__x86_64__) && defined(__ELF__) && defined(__clang__)
#define VANTREL_WALK_VERSIONS __attribute__((target_clones("default", "avx2")))
#elif defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && \
    !defined(__SANITIZE_THREAD__)
#define VANTREL_WALK_VERSIONS __attribute__((target_clones("default", "avx2")))
#else
#define VANTREL_WALK_VERSIONS
#endif

// The same numbers as walk_line, in blocks the compiler vectorizes: k < 2^24
// and the single-precision slope multiply exactly in double, so rounding
// that product to single precision is the single-precision product itself.
template <bool kCells>
inline CompactWalk walk_into(Endpoint end, MinorCoord* minor, std::uint32_t* cells,
                             std::uint32_t width) {
  const bool along_x = end.x > end.y;
  const std::int32_t length = along_x ? end.x : end.y;
  const std::int32_t across = along_x ? end.y : end.x;
  const float slope = to_single(static_cast<double>(across) / length);
  const auto room =
      static_cast<std::int32_t>(walk_room(static_cast<std::size_t>(length)));
  for (std::int32_t k = 1; k <= room; ++k) {
    const float v = static_cast<float>(k) * slope;
    const auto whole = static_cast<std::int32_t>(v);
    const auto m = static_cast<std::uint32_t>(
        whole + (v - static_cast<float>(whole) >= 0.5f ? 1 : 0));
    minor[k - 1] = static_cast<MinorCoord>(m);
    if constexpr (kCells) cells[k - 1] = m * width + static_cast<std::uint32_t>(k);
  }
  return {end, {minor, static_cast<std::size_t>(length)}};
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

VANTREL_WALK_VERSIONS
static CompactWalk walk_versions(Endpoint end, MinorCoord* minor) {
  return walk_into<false>(end, minor, nullptr, 0);
}

VANTREL_WALK_VERSIONS
static CompactWalk walk_and_cells_versions(Endpoint end, MinorCoord* minor,
                                           std::uint32_t* cells, std::uint32_t width) {
  return walk_into<true>(end, minor, cells, width);
}

CompactWalk compute_walk(Endpoint end, MinorCoord* minor) { return walk_versions(end, minor); }

CompactWalk compute_walk_and_cells(Endpoint end, MinorCoord* minor, std::uint32_t* cells,
                                   std::uint32_t width) {
  return walk_and_cells_versions(end, minor, cells, width);
}

}  // namespace vantrel

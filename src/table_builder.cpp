#include "table_builder.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <utility>

namespace vantrel {
namespace {

// Rounds a double-precision result to single precision; the walk's
// coordinates are defined by exactly these roundings.
float to_single(double value) { return static_cast<float>(value); }

// Single-precision arithmetic must happen in single precision, not in a
// wider register format, for compute_walk to equal walk_line.
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must be IEEE single");

// Walks are computed in blocks of this many points (as wide as the widest
// vectors used below); room for a walk is rounded up to whole blocks.
constexpr std::size_t kWalkBlock = 8;

// Where the platform can pick a function's version when the program loads,
// the walk also comes in a version for processors with AVX2. (Not under
// ThreadSanitizer, whose runtime is not ready when the loader picks.)
#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && \
    !defined(__SANITIZE_THREAD__)
#define VANTREL_WALK_VERSIONS __attribute__((target_clones("default", "avx2")))
#else
#define VANTREL_WALK_VERSIONS
#endif

std::size_t walk_room(std::size_t length) {
  return (length + kWalkBlock - 1) / kWalkBlock * kWalkBlock;
}

// Fills `minor` (room for walk_room(max(x, y)) values) with the walk to
// `end`, x and y >= 0, and returns it; with kCells, also fills `cells` with
// the grid byte of each point, minor * width + k for point k. The same
// numbers as walk_line, in blocks the compiler vectorizes: k < 2^24 and the
// single-precision slope multiply exactly in double, so rounding that
// product to single precision is the single-precision product itself.
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

VANTREL_WALK_VERSIONS
CompactWalk compute_walk(Endpoint end, MinorCoord* minor) {
  return walk_into<false>(end, minor, nullptr, 0);
}

VANTREL_WALK_VERSIONS
CompactWalk compute_walk_and_cells(Endpoint end, MinorCoord* minor,
                                   std::uint32_t* cells, std::uint32_t width) {
  return walk_into<true>(end, minor, cells, width);
}

std::int32_t walk_length(Endpoint end) { return std::max(end.x, end.y); }

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
      : width_(static_cast<std::size_t>(radius) + 1), cells_(width_ * width_, 0) {
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
  for (float r = static_cast<float>(radius); r >= 1.0f; r = to_single(r - 0.5)) {
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

std::vector<Endpoint> table_endpoints(std::int32_t radius) {
  CoverageGrid grid(radius);
  EndpointList endpoints;
  sweep(radius, grid, endpoints);
  endpoints.sort();
  std::vector<Endpoint> ends;
  for (const EndpointList::Entry& entry : endpoints.entries()) ends.push_back(entry.end);
  return ends;
}

namespace {

// Large tables have their first entries formatted here and the rest on the
// worker, a buffer of the stream at a time. This thread's share of a table's
// room (LineEntryText::room), in percent, balances the threads: this one
// also sweeps, the worker also writes.
constexpr std::size_t kFirstPartShare = 40;
// Smaller tables are formatted faster than handed over.
constexpr std::size_t kSideFromRoom = std::size_t{256} << 10;

std::size_t entry_room(Endpoint end) {
  return LineEntryText::room(static_cast<std::size_t>(walk_length(end)));
}

void print_creating(std::FILE* console, std::int32_t radius) {
  if (console == nullptr) return;
  std::fprintf(console, "\n\nCreating Table %d", static_cast<int>(radius));
  std::fflush(console);
}

void print_line_count(std::FILE* console, std::size_t line_count) {
  if (console == nullptr) return;
  std::fprintf(console, "\n%d Lines", static_cast<int>(line_count));
  std::fflush(console);
}

}  // namespace

// A swept table, with what the worker needs to format some of its lines.
// The endpoints are ascending; the lines are written descending.
struct TableBuilder::Table {
  explicit Table(std::size_t kept_points) : endpoints(kept_points) {}

  std::size_t line_count() const { return endpoints.entries().size(); }

  // The endpoint of line `k` (from 0).
  Endpoint line_end(std::size_t k) const {
    return endpoints.entries()[line_count() - 1 - k].end;
  }

  // The walk of line `k`: the kept one, or else computed into `scratch`.
  CompactWalk line_walk(std::size_t k, MinorCoord* scratch) const {
    const EndpointList::Entry& entry = endpoints.entries()[line_count() - 1 - k];
    if (const MinorCoord* kept = endpoints.kept_walk(entry)) {
      return {entry.end, {kept, static_cast<std::size_t>(walk_length(entry.end))}};
    }
    return compute_walk(entry.end, scratch);
  }

  // Stores the entries of lines first .. last - 1 at `out`; returns their end.
  char* put_lines(char* out, std::size_t first, std::size_t last) {
    for (std::size_t k = first; k < last; ++k) {
      out = text.put(out, static_cast<std::int32_t>(k + 1), line_walk(k, walk.data()));
    }
    return out;
  }

  EndpointList endpoints;
  LineEntryText text;             // prepared for the table; both threads read it
  std::vector<MinorCoord> walk;   // recomputed walks, the worker
  Worker::Ticket last_fill = 0;   // the worker's last job on the lines
};

TableBuilder::TableBuilder(TableStream& stream, std::size_t kept_points)
    : stream_(stream),
      tables_{std::make_unique<Table>(kept_points), std::make_unique<Table>(kept_points)} {}

TableBuilder::~TableBuilder() {
  for (const auto& table : tables_) stream_.wait_for(table->last_fill);
}

void TableBuilder::write_lines(std::int32_t radius, Table& table) {
  const std::size_t count = table.line_count();
  write_line_count(stream_, static_cast<std::int32_t>(count));
  walk_.resize(walk_room(static_cast<std::size_t>(radius)));
  const bool numbered = count <= static_cast<std::size_t>(NumberTexts::kLargest);
  if (numbered) table.text.prepare(std::max(static_cast<std::int32_t>(count), radius));
  auto write = [&](std::size_t k) {
    const auto number = static_cast<std::int32_t>(k + 1);
    const CompactWalk walk = table.line_walk(k, walk_.data());
    if (!numbered) {
      write_line_entry(stream_, number, walk);
    } else if (char* out = stream_.reserve(entry_room(walk.end))) {
      stream_.commit(table.text.put(out, number, walk));
    }
  };

  // This thread's part first: a small table whole, else the first share.
  std::size_t table_room = 0;
  for (const EndpointList::Entry& entry : table.endpoints.entries()) {
    table_room += entry_room(entry.end);
  }
  std::size_t first_part = count;
  if (numbered && table_room >= kSideFromRoom) {
    first_part = 0;
    for (std::size_t room = 0; room * 100 < table_room * kFirstPartShare;) {
      room += entry_room(table.line_end(first_part++));
    }
  }
  std::size_t next = 0;
  for (; next < first_part; ++next) write(next);

  // The worker's part, in buffer-sized pieces.
  static_assert(LineEntryText::room(std::numeric_limits<MinorCoord>::max()) <=
                TableStream::kBufferSize);
  table.walk.resize(walk_.size());
  while (next < count) {
    std::size_t end = next + 1;
    for (std::size_t room = entry_room(table.line_end(next)); end < count; ++end) {
      room += entry_room(table.line_end(end));
      if (room > TableStream::kBufferSize) break;
    }
    const Worker::Ticket fill = stream_.write_on_worker(
        [&table, next, end](char* out) { return table.put_lines(out, next, end); });
    if (fill == 0) {  // no worker thread after all
      for (; next < count; ++next) write(next);
      break;
    }
    table.last_fill = fill;
    next = end;
  }
}

std::int32_t TableBuilder::build(std::int32_t radius, std::FILE* console) {
  Table& table = *tables_[next_table_];
  next_table_ = 1 - next_table_;
  CoverageGrid grid(radius);
  // The worker may still be formatting the lines this table held last.
  stream_.wait_for(table.last_fill);
  table.last_fill = 0;
  table.endpoints.clear();
  write_table_opening(stream_, radius);
  print_creating(console, radius);
  sweep(radius, grid, table.endpoints);
  table.endpoints.sort();
  const std::size_t line_count = table.line_count();
  write_lines(radius, table);
  print_line_count(console, line_count);
  write_table_closing(stream_);
  return static_cast<std::int32_t>(line_count);
}

}  // namespace vantrel

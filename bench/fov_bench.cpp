// vantrel's field of view against libtcod's, per computation, on the maps a
// game's sight meets: radius 12 and 50, 10% or 30% of the cells opaque at
// random, or none. Each map is just large enough, (2k + 1) x (2k + 1) cells
// with the viewer in the middle.
//
// Before the timings it prints, for each case, how many cells of the disc
// x^2 + y^2 <= k^2 around the viewer vantrel and each libtcod algorithm
// agree on, whether vantrel's view is symmetric on these maps, and that its
// computations allocated nothing; after them, a table of nanoseconds per
// computation (the median over --benchmark_repetitions runs, CPU time),
// with the ratio of vantrel's to libtcod's fastest; then what sees() of a
// viewer and a target within radius 12 costs against a whole view, after
// checking it against the view for every pair. The symmetric view
// (SymmetricView) has rows of its own against libtcod's
// SYMMETRIC_SHADOWCAST, after a check that on every map of each case it is
// symmetric in every pair of clear cells and allocates nothing. Steadier figures on a
// busy machine (about two and a half minutes):
//   fov_bench --benchmark_min_time=0.1 --benchmark_repetitions=9
//             --benchmark_enable_random_interleaving=true
//             --benchmark_display_aggregates_only=true
// libtcod is needed by this program only, never by the library.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <libtcod/bresenham.h>
#include <libtcod/fov.h>

#include "vantrel/field_of_view.h"
#include "vantrel/fog_of_war.h"
#include "vantrel/line_of_sight.h"
#include "vantrel/symmetric_view.h"
#include "vantrel/table.h"
#include "vantrel/vantrel.h"

// Every allocation of this program, counted, so that the report can show
// that computing a view allocates nothing (operator new[] and the nothrow
// forms come here too). Atomic, since fog of war runs on threads of its own.
namespace {
std::atomic<std::uint64_t> allocations{0};
}  // namespace

// None of the three inlined: GCC, seeing malloc() behind operator new or
// free() behind operator delete, takes the pair for a mismatch
// (-Wmismatched-new-delete).
[[gnu::noinline]] void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* block) noexcept { std::free(block); }
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

// A viewer at the middle of maps of (2 * radius + 1)^2 cells, each cell
// opaque with probability opaque_percent / 100, but the viewer's.
struct Case {
  int radius;
  int opaque_percent;
};
constexpr Case kCases[] = {{12, 10}, {12, 30}, {12, 0}, {50, 10}, {50, 30}, {50, 0}};

// Maps cycle through the timings, so that no single map decides a figure.
constexpr int kMapsPerCase = 16;

struct Map {
  int size = 0;                      // cells on a side
  std::vector<std::uint8_t> opaque;  // size * size, row by row: 1 opaque
  bool is_opaque(int x, int y) const {
    return opaque[static_cast<std::size_t>(y * size + x)] != 0;
  }
};

// The case's maps, each from a seed of its own; the open map is one.
std::vector<Map> make_maps(const Case& c) {
  const int size = 2 * c.radius + 1;
  const int count = c.opaque_percent == 0 ? 1 : kMapsPerCase;
  // A threshold on the generator's 32-bit output rather than a
  // distribution, whose values the standard leaves to each library.
  const auto threshold =
      static_cast<std::uint32_t>((std::uint64_t{1} << 32) * static_cast<unsigned>(c.opaque_percent) / 100);
  std::vector<Map> maps;
  for (int m = 0; m < count; ++m) {
    std::mt19937 random(static_cast<std::uint32_t>(c.radius * 10000 + c.opaque_percent * 100 + m));
    Map map{size, std::vector<std::uint8_t>(static_cast<std::size_t>(size * size))};
    for (std::uint8_t& cell : map.opaque) cell = random() < threshold ? 1 : 0;
    map.opaque[static_cast<std::size_t>(c.radius * size + c.radius)] = 0;
    maps.push_back(std::move(map));
  }
  return maps;
}

// "r12/opaque10", "r50/open". Appended piece by piece: GCC 12 warns
// falsely of an overlap in "text" + std::string.
std::string case_name(const Case& c) {
  std::string name = "r";
  name.append(std::to_string(c.radius)).append("/");
  if (c.opaque_percent == 0) return name.append("open");
  return name.append("opaque").append(std::to_string(c.opaque_percent));
}

struct Algorithm {
  TCOD_fov_algorithm_t id;
  const char* name;
};
constexpr Algorithm kAlgorithms[] = {
    {FOV_BASIC, "BASIC"},
    {FOV_DIAMOND, "DIAMOND"},
    {FOV_SHADOW, "SHADOW"},
    {FOV_PERMISSIVE_0, "PERMISSIVE_0"},
    {FOV_PERMISSIVE_1, "PERMISSIVE_1"},
    {FOV_PERMISSIVE_2, "PERMISSIVE_2"},
    {FOV_PERMISSIVE_3, "PERMISSIVE_3"},
    {FOV_PERMISSIVE_4, "PERMISSIVE_4"},
    {FOV_PERMISSIVE_5, "PERMISSIVE_5"},
    {FOV_PERMISSIVE_6, "PERMISSIVE_6"},
    {FOV_PERMISSIVE_7, "PERMISSIVE_7"},
    {FOV_PERMISSIVE_8, "PERMISSIVE_8"},
    {FOV_RESTRICTIVE, "RESTRICTIVE"},
    {FOV_SYMMETRIC_SHADOWCAST, "SYMMETRIC_SHADOWCAST"},
};
// vantrel's rows: the map handed over as bytes; as a lambda is_opaque that
// captures the map's address and row length by value; and as one that
// captures the map by reference. The compiler keeps what the second
// captured in registers across the view's stores, but reloads what the
// third reads after each, since a store of a byte may change anything.
struct Ours {
  const char* name;
  const char* label;
};
constexpr Ours kOurs{"vantrel", "vantrel (bytes)"};
constexpr Ours kOursByValue{"vantrel_lambda_by_value", "vantrel (lambda [=])"};
constexpr Ours kOursByReference{"vantrel_lambda_by_reference", "vantrel (lambda [&])"};
// The bytes again, through the C API, vantrel/vantrel.h.
constexpr Ours kOursThroughC{"vantrel_c_api", "vantrel (C API)"};
// The symmetric view, of bytes, against libtcod's symmetric one.
constexpr Ours kOursSymmetric{"vantrel_symmetric", "vantrel symmetric"};
constexpr const char* kTheirSymmetric = "SYMMETRIC_SHADOWCAST";

struct TcodMapDeleter {
  void operator()(TCOD_Map* map) const { TCOD_map_delete(map); }
};
using TcodMap = std::unique_ptr<TCOD_Map, TcodMapDeleter>;

TcodMap make_tcod_map(const Map& map) {
  TcodMap tcod(TCOD_map_new(map.size, map.size));
  if (!tcod) throw std::bad_alloc();
  for (int y = 0; y < map.size; ++y) {
    for (int x = 0; x < map.size; ++x) {
      const bool clear = !map.is_opaque(x, y);
      TCOD_map_set_properties(tcod.get(), x, y, clear, clear);
    }
  }
  return tcod;
}

// One case, ready to time: its maps as vantrel reads them and as libtcod
// holds them, the field of view of its radius and a view to fill.
struct Setup {
  Case c;
  std::vector<Map> maps;
  std::vector<TcodMap> tcod_maps;
  const vantrel::FieldOfView* fov;
  const vantrel_fov* c_fov;  // the same field of view, made through the C API
  const vantrel::SymmetricView* symmetric;  // the symmetric view of the same table
  std::vector<std::uint8_t> in_view;
};

void compute_ours(const Setup& s, const Map& map, vantrel::Cell viewer,
                  std::span<std::uint8_t> in_view) {
  s.fov->compute(viewer, map.size, map.size, std::span<const std::uint8_t>(map.opaque),
                 in_view);
}

void compute_symmetric(const Setup& s, const Map& map, vantrel::Cell viewer,
                       std::span<std::uint8_t> in_view) {
  s.symmetric->compute(viewer, map.size, map.size, std::span<const std::uint8_t>(map.opaque),
                       in_view);
}

void compute_ours_through_c(const Setup& s, const Map& map, vantrel::Cell viewer,
                            std::span<std::uint8_t> in_view) {
  vantrel_fov_compute(s.c_fov, viewer.x, viewer.y, map.size, map.size, map.opaque.data(),
                      in_view.data());
}

void compute_ours_by_value(const Setup& s, const Map& map, vantrel::Cell viewer,
                           std::span<std::uint8_t> in_view) {
  s.fov->compute(viewer, map.size, map.size,
                 [opaque = map.opaque.data(), size = map.size](int x, int y) {
                   return opaque[y * size + x] != 0;
                 },
                 in_view);
}

void compute_ours_by_reference(const Setup& s, const Map& map, vantrel::Cell viewer,
                               std::span<std::uint8_t> in_view) {
  s.fov->compute(viewer, map.size, map.size,
                 [&map](int x, int y) { return map.is_opaque(x, y); }, in_view);
}

// --- What the views are: agreement, symmetry, allocations ----------------

bool in_disc(const Case& c, int x, int y) {
  const int dx = x - c.radius;
  const int dy = y - c.radius;
  return dx * dx + dy * dy <= c.radius * c.radius;
}

// Counts over the disc of every map of the case: cells both see or both do
// not, cells in vantrel's view alone, cells in libtcod's alone.
struct Agreement {
  long agree = 0;
  long ours_only = 0;
  long theirs_only = 0;
};

// Symmetry, on each map with A the viewer: for every clear cell B != A of
// the disc, the view from B is computed and "A sees B" is compared with
// "B sees A". A pair where they differ is asymmetric.
struct Symmetry {
  long pairs = 0;
  long a_sees_b_only = 0;
  long b_sees_a_only = 0;
  long computations = 0;
  std::uint64_t allocations = 0;
};

Symmetry check_symmetry(Setup& s) {
  Symmetry result;
  const int k = s.c.radius;
  const vantrel::Cell a{k, k};
  std::vector<std::uint8_t> from_a(s.in_view.size());
  std::vector<std::uint8_t>& from_b = s.in_view;
  const std::uint64_t before = allocations;
  for (const Map& map : s.maps) {
    compute_ours(s, map, a, from_a);
    ++result.computations;
    for (int y = 0; y < map.size; ++y) {
      for (int x = 0; x < map.size; ++x) {
        if ((x == k && y == k) || !in_disc(s.c, x, y) || map.is_opaque(x, y)) continue;
        compute_ours(s, map, vantrel::Cell{x, y}, from_b);
        ++result.computations;
        const bool a_sees_b = from_a[static_cast<std::size_t>(y * map.size + x)] != 0;
        const bool b_sees_a = from_b[static_cast<std::size_t>(k * map.size + k)] != 0;
        ++result.pairs;
        if (a_sees_b && !b_sees_a) ++result.a_sees_b_only;
        if (b_sees_a && !a_sees_b) ++result.b_sees_a_only;
      }
    }
  }
  result.allocations = allocations - before;
  return result;
}

Agreement compare_with(Setup& s, TCOD_fov_algorithm_t algorithm) {
  Agreement result;
  const int k = s.c.radius;
  for (std::size_t m = 0; m < s.maps.size(); ++m) {
    const Map& map = s.maps[m];
    TCOD_Map* tcod = s.tcod_maps[m].get();
    compute_ours(s, map, vantrel::Cell{k, k}, s.in_view);
    TCOD_map_compute_fov(tcod, k, k, k, true, algorithm);
    for (int y = 0; y < map.size; ++y) {
      for (int x = 0; x < map.size; ++x) {
        if (!in_disc(s.c, x, y)) continue;
        const bool ours = s.in_view[static_cast<std::size_t>(y * map.size + x)] != 0;
        const bool theirs = TCOD_map_is_in_fov(tcod, x, y);
        if (ours == theirs) {
          ++result.agree;
        } else if (ours) {
          ++result.ours_only;
        } else {
          ++result.theirs_only;
        }
      }
    }
  }
  return result;
}

// The symmetric view from every clear cell of every map of the case, each
// against the others: a pair of clear cells where one sees the other but
// not the other way round is asymmetric.
Symmetry check_symmetric_views(Setup& s) {
  Symmetry result;
  const auto cells = static_cast<std::size_t>(s.maps[0].size * s.maps[0].size);
  std::vector<bool> sees(cells * cells);  // [a * cells + b]: a sees b
  std::vector<std::uint8_t>& view = s.in_view;
  for (const Map& map : s.maps) {
    std::fill(sees.begin(), sees.end(), false);
    const std::uint64_t before = allocations;
    for (std::size_t a = 0; a < cells; ++a) {
      if (map.opaque[a] != 0) continue;
      const vantrel::Cell viewer{static_cast<int>(a % static_cast<std::size_t>(map.size)),
                                 static_cast<int>(a / static_cast<std::size_t>(map.size))};
      compute_symmetric(s, map, viewer, view);
      ++result.computations;
      for (std::size_t b = 0; b < cells; ++b) sees[a * cells + b] = view[b] != 0;
    }
    result.allocations += allocations - before;
    for (std::size_t a = 0; a < cells; ++a) {
      for (std::size_t b = a + 1; b < cells; ++b) {
        if (map.opaque[a] != 0 || map.opaque[b] != 0) continue;
        ++result.pairs;
        const bool a_sees_b = sees[a * cells + b];
        const bool b_sees_a = sees[b * cells + a];
        if (a_sees_b && !b_sees_a) ++result.a_sees_b_only;
        if (b_sees_a && !a_sees_b) ++result.b_sees_a_only;
      }
    }
  }
  return result;
}

// Prints the report; false when a computation allocated or a symmetric view
// was not symmetric.
bool report_views(std::vector<Setup>& setups) {
  bool allocation_free = true;
  std::printf("Cells of the disc x^2 + y^2 <= k^2 around the viewer, summed over the maps:\n"
              "in view of both or of neither (agree), of vantrel only, of libtcod only.\n");
  for (Setup& s : setups) {
    const long disc_cells = [&] {
      long n = 0;
      for (int y = 0; y < s.maps[0].size; ++y) {
        for (int x = 0; x < s.maps[0].size; ++x) n += in_disc(s.c, x, y) ? 1 : 0;
      }
      return n;
    }();
    std::printf("\n%s: %zu map(s) of %dx%d, %ld cells in the disc\n", case_name(s.c).c_str(),
                s.maps.size(), s.maps[0].size, s.maps[0].size, disc_cells);
    std::printf("  %-22s %9s %13s %13s\n", "libtcod algorithm", "agree", "vantrel only",
                "libtcod only");
    for (const Algorithm& algorithm : kAlgorithms) {
      const Agreement a = compare_with(s, algorithm.id);
      std::printf("  %-22s %9ld %13ld %13ld\n", algorithm.name, a.agree, a.ours_only,
                  a.theirs_only);
    }
    const Symmetry sym = check_symmetry(s);
    std::printf("  vantrel symmetric: %s (%ld pairs of the viewer and a clear cell; "
                "viewer sees cell only: %ld, cell sees viewer only: %ld)\n",
                sym.a_sees_b_only + sym.b_sees_a_only == 0 ? "yes" : "no", sym.pairs,
                sym.a_sees_b_only, sym.b_sees_a_only);
    std::printf("  allocations in %ld vantrel computations: %llu\n", sym.computations,
                static_cast<unsigned long long>(sym.allocations));
    if (sym.allocations != 0) allocation_free = false;
    const Symmetry symmetric = check_symmetric_views(s);
    std::printf("  vantrel symmetric view symmetric: %s (%ld pairs of clear cells; "
                "one sees the other only: %ld, the other the one only: %ld)\n",
                symmetric.a_sees_b_only + symmetric.b_sees_a_only == 0 ? "yes" : "no",
                symmetric.pairs, symmetric.a_sees_b_only, symmetric.b_sees_a_only);
    std::printf("  allocations in %ld symmetric computations: %llu\n", symmetric.computations,
                static_cast<unsigned long long>(symmetric.allocations));
    if (symmetric.allocations != 0 || symmetric.a_sees_b_only + symmetric.b_sees_a_only != 0) {
      allocation_free = false;
    }
  }
  std::printf("\n");
  std::fflush(stdout);
  return allocation_free;
}

// --- Large maps: what a view costs as the map grows ------------------------

// Radius 12 on maps of 25^2, 400^2 and 2000^2 cells, 10% opaque: the same
// viewer (the middle, amid the same cells on each map) again and again, or viewers at a fixed list of random
// places. Timed: mark() after clearing the (2k + 1)^2 square of the previous
// view, as an engine that redraws one unit's view does; compute(), which
// clears the whole map; each libtcod algorithm on the same map.
constexpr int kLargeRadius = 12;
constexpr int kLargeOpaquePercent = 10;
constexpr int kLargeSizes[] = {25, 400, 2000};
constexpr int kLargeViewers = 64;

struct LargeCase {
  Map map;
  bool same_viewer;
  std::vector<vantrel::Cell> viewers;
  TcodMap tcod;
  const vantrel::FieldOfView* fov;
  std::vector<std::uint8_t> in_view;
};

// "25x25/same", "2000x2000/random".
std::string large_case_name(const LargeCase& c) {
  std::string name = std::to_string(c.map.size);
  name.append("x").append(std::to_string(c.map.size));
  return name.append(c.same_viewer ? "/same" : "/random");
}

std::string large_timing_name(const LargeCase& c, const char* who) {
  return "fov_large/r12/" + large_case_name(c) + "/" + who;
}

// Every map holds the same cells in the (2k + 1)^2 square around its middle,
// so that the same viewer there sees the same view on each: the rest is the
// map's own, from a seed of its size.
std::vector<LargeCase> make_large_cases(const vantrel::FieldOfView& fov) {
  const auto threshold = static_cast<std::uint32_t>(
      (std::uint64_t{1} << 32) * static_cast<unsigned>(kLargeOpaquePercent) / 100);
  constexpr int kSide = 2 * kLargeRadius + 1;
  std::vector<std::uint8_t> middle(kSide * kSide);
  std::mt19937 middle_random(1);
  for (std::uint8_t& cell : middle) cell = middle_random() < threshold ? 1 : 0;
  std::vector<LargeCase> cases;
  for (const bool same_viewer : {true, false}) {
    for (const int size : kLargeSizes) {
      std::mt19937 random(static_cast<std::uint32_t>(size));
      Map map{size, std::vector<std::uint8_t>(static_cast<std::size_t>(size) *
                                              static_cast<std::size_t>(size))};
      for (std::uint8_t& cell : map.opaque) cell = random() < threshold ? 1 : 0;
      const int corner = size / 2 - kLargeRadius;
      for (int y = 0; y < kSide; ++y) {
        std::copy_n(middle.begin() + y * kSide, kSide,
                    map.opaque.begin() + static_cast<std::ptrdiff_t>(corner + y) * size + corner);
      }
      std::vector<vantrel::Cell> viewers;
      if (same_viewer) {
        viewers.push_back({size / 2, size / 2});
      } else {
        for (int n = 0; n < kLargeViewers; ++n) {
          viewers.push_back({static_cast<int>(random() % static_cast<unsigned>(size)),
                             static_cast<int>(random() % static_cast<unsigned>(size))});
        }
      }
      for (const vantrel::Cell viewer : viewers) {
        map.opaque[static_cast<std::size_t>(viewer.y) * static_cast<std::size_t>(size) +
                   static_cast<std::size_t>(viewer.x)] = 0;
      }
      TcodMap tcod = make_tcod_map(map);
      const std::size_t cells = map.opaque.size();
      cases.push_back(LargeCase{std::move(map), same_viewer, std::move(viewers), std::move(tcod),
                                &fov, std::vector<std::uint8_t>(cells)});
    }
  }
  return cases;
}

// What the engine clears before marking the next view: the square of
// (2k + 1)^2 cells around the last viewer, within the map.
void clear_square(std::span<std::uint8_t> in_view, int size, vantrel::Cell viewer, int k) {
  const int left = std::max(viewer.x - k, 0);
  const int right = std::min(viewer.x + k, size - 1);
  for (int y = std::max(viewer.y - k, 0); y <= std::min(viewer.y + k, size - 1); ++y) {
    std::fill_n(in_view.begin() + static_cast<std::ptrdiff_t>(y) * size + left, right - left + 1,
                std::uint8_t{0});
  }
}

// The view marked after clearing the last one's square, against compute's,
// for every viewer in turn; false when a computation allocated.
bool report_large(std::vector<LargeCase>& cases) {
  bool allocation_free = true;
  std::printf("Large maps, radius %d, %d%% opaque: mark() after clearing the last view's "
              "square against compute()\n",
              kLargeRadius, kLargeOpaquePercent);
  for (LargeCase& c : cases) {
    std::vector<std::uint8_t> computed(c.in_view.size());
    std::fill(c.in_view.begin(), c.in_view.end(), std::uint8_t{0});
    long differ = 0;
    const std::uint64_t before = allocations;
    vantrel::Cell previous = c.viewers.front();
    for (const vantrel::Cell viewer : c.viewers) {
      clear_square(c.in_view, c.map.size, previous, kLargeRadius);
      c.fov->mark(viewer, c.map.size, c.map.size, std::span<const std::uint8_t>(c.map.opaque),
                  c.in_view);
      c.fov->compute(viewer, c.map.size, c.map.size, std::span<const std::uint8_t>(c.map.opaque),
                     computed);
      differ += c.in_view == computed ? 0 : 1;
      previous = viewer;
    }
    const std::uint64_t allocated = allocations - before;
    std::printf("  %-18s %3zu viewer(s): views that differ: %ld; allocations in %zu "
                "computations: %llu\n",
                large_case_name(c).c_str(), c.viewers.size(), differ, 2 * c.viewers.size(),
                static_cast<unsigned long long>(allocated));
    if (allocated != 0) allocation_free = false;
  }
  std::printf("\n");
  std::fflush(stdout);
  return allocation_free;
}

// Each iteration is one view, from the case's viewers in turn.
void time_mark_and_clear(benchmark::State& state, LargeCase* c) {
  std::fill(c->in_view.begin(), c->in_view.end(), std::uint8_t{0});
  vantrel::Cell previous = c->viewers.front();
  std::size_t v = 0;
  for (auto _ : state) {
    const vantrel::Cell viewer = c->viewers[v];
    clear_square(c->in_view, c->map.size, previous, kLargeRadius);
    c->fov->mark(viewer, c->map.size, c->map.size, std::span<const std::uint8_t>(c->map.opaque),
                 c->in_view);
    benchmark::DoNotOptimize(c->in_view.data());
    benchmark::ClobberMemory();
    previous = viewer;
    if (++v == c->viewers.size()) v = 0;
  }
}

void time_compute_large(benchmark::State& state, LargeCase* c) {
  std::size_t v = 0;
  for (auto _ : state) {
    c->fov->compute(c->viewers[v], c->map.size, c->map.size,
                    std::span<const std::uint8_t>(c->map.opaque), c->in_view);
    benchmark::DoNotOptimize(c->in_view.data());
    benchmark::ClobberMemory();
    if (++v == c->viewers.size()) v = 0;
  }
}

void time_tcod_large(benchmark::State& state, LargeCase* c, TCOD_fov_algorithm_t algorithm) {
  std::size_t v = 0;
  for (auto _ : state) {
    const vantrel::Cell viewer = c->viewers[v];
    TCOD_map_compute_fov(c->tcod.get(), viewer.x, viewer.y, kLargeRadius, true, algorithm);
    benchmark::ClobberMemory();
    if (++v == c->viewers.size()) v = 0;
  }
}

// --- Lines of sight: one cell against the whole view ----------------------

std::string timing_name(const Case& c, const char* who) {
  return "fov/" + case_name(c) + "/" + who;
}

// sees() of a viewer and a target at random within the radius of each
// other (x^2 + y^2 <= k^2), on the maps of the radius 12 cases, against
// what a whole view costs there. The same pairs on every map.
constexpr int kSightRadius = 12;
constexpr int kSightPairs = 512;

struct SightCase {
  const Setup* setup;
  const vantrel::LineOfSight* line;
  std::vector<std::pair<vantrel::Cell, vantrel::Cell>> pairs;  // viewer, target
};

std::vector<SightCase> make_sight_cases(const std::vector<Setup>& setups,
                                        const vantrel::LineOfSight& line) {
  std::vector<SightCase> cases;
  for (const Setup& s : setups) {
    if (s.c.radius != kSightRadius) continue;
    SightCase c{&s, &line, {}};
    std::mt19937 random(12);
    const int size = s.maps[0].size;
    while (c.pairs.size() < kSightPairs) {
      const vantrel::Cell viewer{static_cast<int>(random() % static_cast<unsigned>(size)),
                                 static_cast<int>(random() % static_cast<unsigned>(size))};
      const vantrel::Cell target{static_cast<int>(random() % static_cast<unsigned>(size)),
                                 static_cast<int>(random() % static_cast<unsigned>(size))};
      const int dx = target.x - viewer.x;
      const int dy = target.y - viewer.y;
      if (dx * dx + dy * dy <= kSightRadius * kSightRadius) c.pairs.emplace_back(viewer, target);
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

std::string sight_timing_name(const SightCase& c) {
  return timing_name(c.setup->c, "vantrel_sees");
}

// What libtcod users check "can A see B" with: a Bresenham line from A to B
// (TCOD_line) with no opaque cell between them. TCOD_line's listener takes
// no argument of the caller's, so the map and ends wait here.
struct BresenhamLook {
  const Map* map;
  vantrel::Cell from;
  vantrel::Cell to;
};
BresenhamLook bresenham_look;

bool bresenham_clear(vantrel::Cell from, vantrel::Cell to, const Map& map) {
  bresenham_look = {&map, from, to};
  return TCOD_line(from.x, from.y, to.x, to.y, [](int x, int y) -> bool {
    const BresenhamLook& look = bresenham_look;
    if ((x == look.from.x && y == look.from.y) || (x == look.to.x && y == look.to.y)) return true;
    return !look.map->is_opaque(x, y);
  });
}

// How often a Bresenham line disagrees with each of libtcod's own views on
// the pairs of sees(), the target in view against the line clear.
void report_bresenham(const std::vector<SightCase>& cases) {
  std::printf("Bresenham lines (TCOD_line) against libtcod's views of the same pairs: "
              "pairs that disagree\n");
  for (const SightCase& c : cases) {
    std::printf("  %-14s", case_name(c.setup->c).c_str());
    for (const Algorithm& algorithm : kAlgorithms) {
      long disagree = 0;
      long pairs = 0;
      for (std::size_t m = 0; m < c.setup->maps.size(); ++m) {
        const Map& map = c.setup->maps[m];
        TCOD_Map* tcod = c.setup->tcod_maps[m].get();
        for (const auto& [viewer, target] : c.pairs) {
          TCOD_map_compute_fov(tcod, viewer.x, viewer.y, kSightRadius, true, algorithm.id);
          const bool seen = TCOD_map_is_in_fov(tcod, target.x, target.y);
          disagree += seen != bresenham_clear(viewer, target, map) ? 1 : 0;
          ++pairs;
        }
      }
      std::printf(" %s %.1f%%", algorithm.name, 100.0 * static_cast<double>(disagree) /
                                                    static_cast<double>(pairs));
    }
    std::printf("\n");
  }
  std::printf("\n");
  std::fflush(stdout);
}

// Each pair's sees() against the viewer's whole view, on every map; false
// when one disagrees or sees() allocated.
bool report_sees(const std::vector<SightCase>& cases) {
  bool sound = true;
  std::printf("Lines of sight, radius %d: sees() of %d pairs within the radius on each map "
              "against the viewer's view\n",
              kSightRadius, kSightPairs);
  for (const SightCase& c : cases) {
    long disagree = 0;
    long calls = 0;
    std::uint64_t allocated = 0;
    for (const Map& map : c.setup->maps) {
      std::vector<std::uint8_t> view(map.opaque.size());
      for (const auto& [viewer, target] : c.pairs) {
        c.setup->fov->compute(viewer, map.size, map.size,
                              std::span<const std::uint8_t>(map.opaque), view);
        const std::uint64_t before = allocations;
        const bool seen = c.line->sees(viewer, target, map.size, map.size,
                                       std::span<const std::uint8_t>(map.opaque));
        allocated += allocations - before;
        ++calls;
        if (seen != (view[static_cast<std::size_t>(target.y * map.size + target.x)] != 0)) {
          ++disagree;
        }
      }
    }
    std::printf("  %-14s %ld pairs: disagreements with the view: %ld; allocations: %llu\n",
                case_name(c.setup->c).c_str(), calls, disagree,
                static_cast<unsigned long long>(allocated));
    if (disagree != 0 || allocated != 0) sound = false;
  }
  std::printf("\n");
  std::fflush(stdout);
  return sound;
}

// Each iteration is one pair, the pairs in turn on the maps in turn.
void time_sees(benchmark::State& state, const SightCase* c) {
  const std::vector<Map>& maps = c->setup->maps;
  std::size_t m = 0;
  std::size_t p = 0;
  for (auto _ : state) {
    const auto& [viewer, target] = c->pairs[p];
    const Map& map = maps[m];
    benchmark::DoNotOptimize(c->line->sees(viewer, target, map.size, map.size,
                                           std::span<const std::uint8_t>(map.opaque)));
    if (++p == c->pairs.size()) {
      p = 0;
      if (++m == maps.size()) m = 0;
    }
  }
}

// --- Fog of war: many viewers into one map ---------------------------------

// 10,000 viewers at random on a map of 1024^2 cells, 10% opaque, radius 12:
// one update of FogOfWar, on one thread and on two, against libtcod's loop
// that an engine writes, a view then its square OR-ed into the map.
constexpr int kFogSize = 1024;
constexpr int kFogViewers = 10000;
constexpr int kFogRadius = 12;
constexpr int kFogOpaquePercent = 10;

struct FogCase {
  Map map;
  std::vector<vantrel::Cell> viewers;
  TcodMap tcod;
  const vantrel::FieldOfView* fov;
  std::vector<std::uint8_t> visible;
  std::vector<std::uint8_t> explored;
};

FogCase make_fog_case(const vantrel::FieldOfView& fov) {
  std::mt19937 random(1024);
  const auto threshold = static_cast<std::uint32_t>((std::uint64_t{1} << 32) *
                                                    kFogOpaquePercent / 100);
  Map map{kFogSize, std::vector<std::uint8_t>(std::size_t{kFogSize} * kFogSize)};
  for (std::uint8_t& cell : map.opaque) cell = random() < threshold ? 1 : 0;
  std::vector<vantrel::Cell> viewers;
  for (int n = 0; n < kFogViewers; ++n) {
    viewers.push_back({static_cast<int>(random() % kFogSize), static_cast<int>(random() % kFogSize)});
  }
  TcodMap tcod = make_tcod_map(map);
  const std::size_t cells = map.opaque.size();
  return FogCase{std::move(map), std::move(viewers), std::move(tcod), &fov,
                 std::vector<std::uint8_t>(cells), std::vector<std::uint8_t>(cells)};
}

// libtcod's view from `viewer`, OR-ed into `visible` over its square.
void tcod_fog_view(const FogCase& c, vantrel::Cell viewer, TCOD_fov_algorithm_t algorithm,
                   std::span<std::uint8_t> visible) {
  TCOD_map_compute_fov(c.tcod.get(), viewer.x, viewer.y, kFogRadius, true, algorithm);
  const TCOD_MapCell* const cells = c.tcod->cells;
  const int right = std::min(viewer.x + kFogRadius, kFogSize - 1);
  for (int y = std::max(viewer.y - kFogRadius, 0);
       y <= std::min(viewer.y + kFogRadius, kFogSize - 1); ++y) {
    for (int x = std::max(viewer.x - kFogRadius, 0); x <= right; ++x) {
      const std::size_t at = static_cast<std::size_t>(y) * kFogSize + static_cast<std::size_t>(x);
      visible[at] |= cells[at].fov ? 1 : 0;
    }
  }
}

// One update on one thread and on two against the union of the viewers'
// views marked one by one; false when they differ or an update allocated.
bool report_fog(FogCase& c) {
  std::vector<std::uint8_t> expected(c.visible.size());
  for (const vantrel::Cell viewer : c.viewers) {
    c.fov->mark(viewer, kFogSize, kFogSize, std::span<const std::uint8_t>(c.map.opaque), expected);
  }
  bool sound = true;
  std::printf("Fog of war, %d viewers at random on %d^2 cells, radius %d, %d%% opaque: "
              "updates against the views marked one by one\n",
              kFogViewers, kFogSize, kFogRadius, kFogOpaquePercent);
  for (const int threads : {1, 2}) {
    vantrel::FogOfWar fog(threads);
    std::fill(c.visible.begin(), c.visible.end(), std::uint8_t{0});
    std::fill(c.explored.begin(), c.explored.end(), std::uint8_t{0});
    const std::uint64_t before = allocations;
    fog.update(*c.fov, c.viewers, kFogSize, kFogSize, c.map.opaque, c.visible, c.explored);
    const std::uint64_t allocated = allocations - before;
    const bool same = c.visible == expected && c.explored == expected;
    std::printf("  %d thread(s): %s; allocations in the update: %llu\n", threads,
                same ? "the same views" : "VIEWS DIFFER",
                static_cast<unsigned long long>(allocated));
    if (!same || allocated != 0) sound = false;
  }
  std::printf("\n");
  std::fflush(stdout);
  return sound;
}

// Each iteration is one update of every viewer: the caller clears the map
// of cells in view, then the FogOfWar marks it and the explored map.
void time_fog(benchmark::State& state, FogCase* c, int threads) {
  vantrel::FogOfWar fog(threads);
  for (auto _ : state) {
    std::fill(c->visible.begin(), c->visible.end(), std::uint8_t{0});
    fog.update(*c->fov, c->viewers, kFogSize, kFogSize, c->map.opaque, c->visible, c->explored);
    benchmark::DoNotOptimize(c->visible.data());
    benchmark::ClobberMemory();
  }
}

// Each iteration is one viewer of libtcod's loop, the viewers in turn: a
// whole update costs kFogViewers iterations, and the map's clearing, which
// is left out here, since it is a small part of it.
void time_tcod_fog(benchmark::State& state, FogCase* c, TCOD_fov_algorithm_t algorithm) {
  std::size_t v = 0;
  for (auto _ : state) {
    tcod_fog_view(*c, c->viewers[v], algorithm, c->visible);
    benchmark::ClobberMemory();
    if (++v == c->viewers.size()) v = 0;
  }
}

std::string fog_timing_name(const char* who) { return std::string("fog/") + who; }

// --- Timings ---------------------------------------------------------------

// Each iteration is one computation, on the case's maps in turn.
template <auto compute>
void time_ours(benchmark::State& state, Setup* s) {
  const vantrel::Cell viewer{s->c.radius, s->c.radius};
  std::size_t m = 0;
  for (auto _ : state) {
    compute(*s, s->maps[m], viewer, s->in_view);
    benchmark::DoNotOptimize(s->in_view.data());
    benchmark::ClobberMemory();
    if (++m == s->maps.size()) m = 0;
  }
}

void time_tcod(benchmark::State& state, Setup* s, TCOD_fov_algorithm_t algorithm) {
  const int k = s->c.radius;
  std::size_t m = 0;
  for (auto _ : state) {
    TCOD_map_compute_fov(s->tcod_maps[m].get(), k, k, k, true, algorithm);
    benchmark::ClobberMemory();
    if (++m == s->tcod_maps.size()) m = 0;
  }
}

// The console's output, then a table of the figures: a row per field of
// view, a column per case, in ns per computation, with the ratio of
// vantrel's to libtcod's fastest.
class FigureTable : public benchmark::ConsoleReporter {
 public:
  FigureTable(std::span<const Setup> setups, std::span<const LargeCase> large,
              std::span<const SightCase> sights)
      : setups_(setups), large_(large), sights_(sights) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      Figures& f = figures_[run.run_name.function_name];
      // Fog of war runs on threads besides the timing one: its time is the
      // wall's.
      const bool wall = run.run_name.function_name.rfind("fog/", 0) == 0;
      const double ns = wall ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
      if (run.run_type == Run::RT_Iteration) {
        f.runs.push_back(ns);
      } else if (run.aggregate_name == "median") {
        f.median = ns;
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nns per computation (CPU time, median of the runs)\n\n| %-20s |", "");
    for (const Setup& s : setups_) std::printf(" %12s |", case_name(s.c).c_str());
    std::printf("\n|%s|", std::string(22, '-').c_str());
    for (std::size_t i = 0; i < setups_.size(); ++i) std::printf("%s:|", std::string(13, '-').c_str());
    std::printf("\n");
    const Ours forms[] = {kOurs, kOursByValue, kOursByReference, kOursThroughC};
    std::vector<std::vector<double>> ours;
    for (const Ours& form : forms) {
      ours.push_back(row(form.name));
      print_row(form.label, ours.back());
    }
    std::vector<double> fastest(setups_.size(), -1);
    std::vector<std::string> fastest_name(setups_.size(), "-");
    for (const Algorithm& algorithm : kAlgorithms) {
      const std::vector<double> theirs = row(algorithm.name);
      for (std::size_t i = 0; i < setups_.size(); ++i) {
        if (theirs[i] >= 0 && (fastest[i] < 0 || theirs[i] < fastest[i])) {
          fastest[i] = theirs[i];
          fastest_name[i] = algorithm.name;
        }
      }
      print_row(algorithm.name, theirs);
    }
    std::printf("| %-20s |", "fastest libtcod");
    for (const std::string& name : fastest_name) std::printf(" %12s |", name.c_str());
    std::printf("\n");
    print_ratios("bytes / fastest", ours[0], fastest);
    print_ratios("lambda [=] / fastest", ours[1], fastest);
    print_ratios("lambda [&] / fastest", ours[2], fastest);
    std::printf("| %-20s |", "goal: at most");
    for (const Setup& s : setups_) std::printf(" %12.2f |", s.c.opaque_percent == 0 ? 1.0 : 0.5);
    std::printf("\n");
    print_symmetric();
    print_large();
    print_sees();
    print_fog();
    std::fflush(stdout);
  }

 private:
  struct Figures {
    std::vector<double> runs;
    double median = -1;
  };

  // The median's figure, or the median of the runs seen; -1 if none ran.
  double figure(const std::string& name) {
    const auto found = figures_.find(name);
    if (found == figures_.end()) return -1;
    Figures& f = found->second;
    if (f.median >= 0) return f.median;
    if (f.runs.empty()) return -1;
    std::sort(f.runs.begin(), f.runs.end());
    const std::size_t n = f.runs.size();
    return n % 2 == 1 ? f.runs[n / 2] : (f.runs[n / 2 - 1] + f.runs[n / 2]) / 2;
  }

  // The symmetric views' table, when its row ran: vantrel's against
  // libtcod's SYMMETRIC_SHADOWCAST.
  void print_symmetric() {
    const std::vector<double> ours = row(kOursSymmetric.name);
    if (std::all_of(ours.begin(), ours.end(), [](double ns) { return ns < 0; })) return;
    const std::vector<double> theirs = row(kTheirSymmetric);
    std::printf("\nSymmetric views: ns per computation (CPU time, median of the runs)\n\n"
                "| %-20s |",
                "");
    for (const Setup& s : setups_) std::printf(" %12s |", case_name(s.c).c_str());
    std::printf("\n|%s|", std::string(22, '-').c_str());
    for (std::size_t i = 0; i < setups_.size(); ++i) std::printf("%s:|", std::string(13, '-').c_str());
    std::printf("\n");
    print_row(kOursSymmetric.label, ours);
    print_row(kTheirSymmetric, theirs);
    print_ratios("vantrel / libtcod", ours, theirs);
    std::printf("| %-20s |", "goal: at most");
    for (const Setup& s : setups_) std::printf(" %12.2f |", s.c.radius <= 12 ? 0.5 : 1.0);
    std::printf("\n");
  }

  // The large maps' table, when any of its rows ran: a column per case, and
  // each way's time on the largest map over its time on the smallest.
  void print_large() {
    std::vector<double> marks;
    for (const LargeCase& c : large_) marks.push_back(figure(large_timing_name(c, "mark_clear")));
    if (std::all_of(marks.begin(), marks.end(), [](double ns) { return ns < 0; })) return;
    std::printf("\nLarge maps, radius %d, %d%% opaque: ns per view (CPU time, median of the "
                "runs)\n\n| %-24s |",
                kLargeRadius, kLargeOpaquePercent, "");
    for (const LargeCase& c : large_) std::printf(" %16s |", large_case_name(c).c_str());
    std::printf("\n|%s|", std::string(26, '-').c_str());
    for (std::size_t i = 0; i < large_.size(); ++i) {
      std::printf("%s:|", std::string(17, '-').c_str());
    }
    std::printf("\n");
    std::vector<double> computes;
    std::vector<double> fastest(large_.size(), -1);
    std::vector<std::string> fastest_name(large_.size(), "-");
    for (std::size_t i = 0; i < large_.size(); ++i) {
      computes.push_back(figure(large_timing_name(large_[i], "compute")));
      for (const Algorithm& algorithm : kAlgorithms) {
        const double ns = figure(large_timing_name(large_[i], algorithm.name));
        if (ns >= 0 && (fastest[i] < 0 || ns < fastest[i])) {
          fastest[i] = ns;
          fastest_name[i] = algorithm.name;
        }
      }
    }
    const std::pair<const char*, const std::vector<double>*> rows[] = {
        {"mark + clear the square", &marks},
        {"compute", &computes},
        {"fastest libtcod", &fastest}};
    for (const auto& [name, figures] : rows) {
      std::printf("| %-24s |", name);
      for (const double ns : *figures) {
        if (ns >= 0) {
          std::printf(" %16.0f |", ns);
        } else {
          std::printf(" %16s |", "-");
        }
      }
      std::printf("\n");
    }
    std::printf("| %-24s |", "libtcod's fastest is");
    for (const std::string& name : fastest_name) std::printf(" %16s |", name.c_str());
    std::printf("\n\nLargest map / smallest, same viewer and random viewers (goal for mark: "
                "at most 1.5 and 8):\n");
    for (const auto& [name, figures] : rows) {
      std::printf("  %-24s", name);
      // The cases run the sizes in turn, the same viewer's first.
      for (std::size_t first = 0; first < large_.size(); first += std::size(kLargeSizes)) {
        const double smallest = (*figures)[first];
        const double largest = (*figures)[first + std::size(kLargeSizes) - 1];
        if (smallest > 0 && largest >= 0) {
          std::printf(" %10.2f", largest / smallest);
        } else {
          std::printf(" %10s", "-");
        }
      }
      std::printf("\n");
    }
  }

  // Fog of war against libtcod's loop, when it ran: milliseconds per
  // update of every viewer.
  void print_fog() {
    const double one = figure(fog_timing_name("vantrel_1_thread"));
    const double two = figure(fog_timing_name("vantrel_2_threads"));
    if (one < 0 && two < 0) return;
    double fastest = -1;
    const char* fastest_name = "-";
    for (const Algorithm& algorithm : kAlgorithms) {
      const double ns = figure(fog_timing_name(algorithm.name));
      if (ns >= 0 && (fastest < 0 || ns < fastest)) {
        fastest = ns;
        fastest_name = algorithm.name;
      }
    }
    if (fastest >= 0) fastest *= kFogViewers;
    std::printf("\nFog of war, %d viewers at random on %d^2 cells, radius %d, %d%% opaque: "
                "ms per update (wall time, median of the runs)\n\n"
                "| %-36s | %10s | %12s |\n|%s|%s:|%s:|\n",
                kFogViewers, kFogSize, kFogRadius, kFogOpaquePercent, "", "ms", "/ libtcod",
                std::string(38, '-').c_str(), std::string(11, '-').c_str(),
                std::string(13, '-').c_str());
    auto line = [&](const std::string& name, double ns) {
      if (ns < 0) return;
      std::printf("| %-36s | %10.2f |", name.c_str(), ns / 1e6);
      if (fastest > 0) {
        std::printf(" %12.3f |\n", ns / fastest);
      } else {
        std::printf(" %12s |\n", "-");
      }
    };
    line("vantrel FogOfWar, 1 thread", one);
    line("vantrel FogOfWar, 2 threads", two);
    line(std::string("libtcod loop (") + fastest_name + ")", fastest);
    if (one > 0 && two > 0) {
      std::printf("\n2 threads against 1: %.2f times as fast (goal: at least 1.7); "
                  "goal against libtcod: at most 0.2\n",
                  one / two);
    }
  }

  // sees() against a whole view from the middle of the same maps, when it
  // ran: a column per case.
  void print_sees() {
    std::vector<double> sees;
    std::vector<double> views;
    for (const SightCase& c : sights_) {
      sees.push_back(figure(sight_timing_name(c)));
      views.push_back(figure(timing_name(c.setup->c, kOurs.name)));
    }
    if (std::all_of(sees.begin(), sees.end(), [](double ns) { return ns < 0; })) return;
    std::printf("\nLines of sight, radius %d: ns per sees() of a pair within the radius "
                "against a view (CPU time, median of the runs)\n\n| %-20s |",
                kSightRadius, "");
    for (const SightCase& c : sights_) std::printf(" %12s |", case_name(c.setup->c).c_str());
    std::printf("\n|%s|", std::string(22, '-').c_str());
    for (std::size_t i = 0; i < sights_.size(); ++i) {
      std::printf("%s:|", std::string(13, '-').c_str());
    }
    std::printf("\n");
    print_row("sees", sees);
    print_row("vantrel (bytes)", views);
    print_ratios("sees / view", sees, views);
    std::printf("| %-20s |", "goal: at most");
    for (std::size_t i = 0; i < sights_.size(); ++i) std::printf(" %12.2f |", 0.1);
    std::printf("\n");
  }

  // One field of view's figures, a case after another.
  std::vector<double> row(const char* who) {
    std::vector<double> figures;
    for (const Setup& s : setups_) figures.push_back(figure(timing_name(s.c, who)));
    return figures;
  }

  static void print_ratios(const char* name, const std::vector<double>& ours,
                           const std::vector<double>& fastest) {
    std::printf("| %-20s |", name);
    for (std::size_t i = 0; i < ours.size(); ++i) {
      if (ours[i] >= 0 && fastest[i] > 0) {
        std::printf(" %12.2f |", ours[i] / fastest[i]);
      } else {
        std::printf(" %12s |", "-");
      }
    }
    std::printf("\n");
  }

  static void print_row(const char* name, const std::vector<double>& row) {
    std::printf("| %-20s |", name);
    for (const double ns : row) {
      if (ns >= 0) {
        std::printf(" %12.0f |", ns);
      } else {
        std::printf(" %12s |", "-");
      }
    }
    std::printf("\n");
  }

  std::span<const Setup> setups_;
  std::span<const LargeCase> large_;
  std::span<const SightCase> sights_;
  std::map<std::string, Figures> figures_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  // Built once per radius, as a game would, before anything is timed.
  std::map<int, vantrel::FieldOfView> views;
  std::map<int, vantrel_fov*> c_views;
  std::map<int, vantrel::SymmetricView> symmetric_views;
  std::vector<Setup> setups;
  for (const Case& c : kCases) {
    auto view = views.find(c.radius);
    if (view == views.end()) {
      view = views.emplace(c.radius, vantrel::FieldOfView(vantrel::make_table(c.radius))).first;
      vantrel_table* table = nullptr;
      vantrel_fov* c_view = nullptr;
      if (vantrel_table_make(c.radius, &table) != VANTREL_OK ||
          vantrel_fov_new(table, &c_view) != VANTREL_OK) {
        std::fprintf(stderr, "fov_bench: %s\n", vantrel_last_error());
        return 1;
      }
      vantrel_table_free(table);
      c_views[c.radius] = c_view;
      symmetric_views.emplace(c.radius, vantrel::SymmetricView(view->second));
    }
    Setup s{c, make_maps(c), {}, &view->second, c_views[c.radius], &symmetric_views.at(c.radius),
            {}};
    for (const Map& map : s.maps) s.tcod_maps.push_back(make_tcod_map(map));
    s.in_view.resize(s.maps[0].opaque.size());
    setups.push_back(std::move(s));
  }

  std::vector<LargeCase> large_cases = make_large_cases(views.at(kLargeRadius));
  const bool views_allocation_free = report_views(setups);
  const bool allocation_free = report_large(large_cases) && views_allocation_free;
  const vantrel::LineOfSight line(views.at(kSightRadius));
  const std::vector<SightCase> sight_cases = make_sight_cases(setups, line);
  const bool sees_sound = report_sees(sight_cases);
  report_bresenham(sight_cases);

  for (Setup& s : setups) {
    benchmark::RegisterBenchmark(timing_name(s.c, kOurs.name).c_str(), time_ours<compute_ours>,
                                 &s);
    benchmark::RegisterBenchmark(timing_name(s.c, kOursByValue.name).c_str(),
                                 time_ours<compute_ours_by_value>, &s);
    benchmark::RegisterBenchmark(timing_name(s.c, kOursByReference.name).c_str(),
                                 time_ours<compute_ours_by_reference>, &s);
    benchmark::RegisterBenchmark(timing_name(s.c, kOursThroughC.name).c_str(),
                                 time_ours<compute_ours_through_c>, &s);
    benchmark::RegisterBenchmark(timing_name(s.c, kOursSymmetric.name).c_str(),
                                 time_ours<compute_symmetric>, &s);
    for (const Algorithm& algorithm : kAlgorithms) {
      benchmark::RegisterBenchmark(timing_name(s.c, algorithm.name).c_str(), time_tcod, &s,
                                   algorithm.id);
    }
  }
  for (LargeCase& c : large_cases) {
    benchmark::RegisterBenchmark(large_timing_name(c, "mark_clear").c_str(), time_mark_and_clear,
                                 &c);
    benchmark::RegisterBenchmark(large_timing_name(c, "compute").c_str(), time_compute_large, &c);
    for (const Algorithm& algorithm : kAlgorithms) {
      benchmark::RegisterBenchmark(large_timing_name(c, algorithm.name).c_str(), time_tcod_large,
                                   &c, algorithm.id);
    }
  }
  for (const SightCase& c : sight_cases) {
    benchmark::RegisterBenchmark(sight_timing_name(c).c_str(), time_sees, &c);
  }
  FogCase fog_case = make_fog_case(views.at(kFogRadius));
  const bool fog_sound = report_fog(fog_case);
  for (const int threads : {1, 2}) {
    benchmark::RegisterBenchmark(
        fog_timing_name(threads == 1 ? "vantrel_1_thread" : "vantrel_2_threads").c_str(),
        time_fog, &fog_case, threads)
        ->UseRealTime();
  }
  for (const Algorithm& algorithm : kAlgorithms) {
    benchmark::RegisterBenchmark(fog_timing_name(algorithm.name).c_str(), time_tcod_fog,
                                 &fog_case, algorithm.id)
        ->UseRealTime();
  }
  FigureTable table(setups, large_cases, sight_cases);
  benchmark::RunSpecifiedBenchmarks(&table);
  benchmark::Shutdown();
  for (const auto& [radius, c_view] : c_views) vantrel_fov_free(c_view);
  if (!allocation_free) {
    std::fprintf(stderr,
                 "fov_bench: vantrel's field of view allocated while computing, or a symmetric "
                 "view was not symmetric\n");
    return 1;
  }
  if (!fog_sound) {
    std::fprintf(stderr, "fov_bench: fog of war differed from the views, or allocated\n");
    return 1;
  }
  if (!sees_sound) {
    std::fprintf(stderr, "fov_bench: sees() disagreed with the view, or allocated\n");
    return 1;
  }
  return 0;
}

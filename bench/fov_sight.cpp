// Lines of sight, one cell against the whole view: what sees() of a viewer
// and a target at random within the radius of each other (x^2 + y^2 <= k^2)
// costs on the maps of the radius 12 cases, the same pairs on every map,
// against what a whole view costs there. Before the timings, how often the
// Bresenham line that libtcod users check "can A see B" with disagrees with
// libtcod's own views on those pairs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <libtcod/bresenham.h>
#include <libtcod/fov.h>

#include "fov_bench.h"
#include "vantrel/line_of_sight.h"

namespace fov_bench {
namespace {

constexpr int kSightPairs = 512;

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

}  // namespace

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

// The target in each of libtcod's views against the line clear.
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

void register_sight_timings(const std::vector<SightCase>& cases) {
  for (const SightCase& c : cases) {
    benchmark::RegisterBenchmark(sight_timing_name(c).c_str(), time_sees, &c);
  }
}

}  // namespace fov_bench

// Fog of war, many viewers into one map: 10,000 viewers at random on a map
// of 1024^2 cells, 10% opaque, radius 12. Timed: one update of FogOfWar, on
// one thread and on two, against the loop an engine writes around libtcod,
// a view then its square OR-ed into the map, for each algorithm.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <libtcod/fov.h>

#include "fov_bench.h"
#include "vantrel/field_of_view.h"
#include "vantrel/fog_of_war.h"

namespace fov_bench {
namespace {

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

}  // namespace

FogCase make_fog_case(const vantrel::FieldOfView& fov) {
  std::mt19937 random(1024);
  const auto threshold = static_cast<std::uint32_t>((std::uint64_t{1} << 32) *
                                                    kFogOpaquePercent / 100);
  Map map{kFogSize, std::vector<std::uint8_t>(std::size_t{kFogSize} * kFogSize)};
  for (std::uint8_t& cell : map.opaque) cell = random() < threshold ? 1 : 0;
  std::vector<vantrel::Cell> viewers;
  for (int n = 0; n < kFogViewers; ++n) {
    viewers.push_back(
        {static_cast<int>(random() % kFogSize), static_cast<int>(random() % kFogSize)});
  }
  TcodMap tcod = make_tcod_map(map);
  const std::size_t cells = map.opaque.size();
  return FogCase{std::move(map), std::move(viewers), std::move(tcod), &fov,
                 std::vector<std::uint8_t>(cells), std::vector<std::uint8_t>(cells)};
}

std::string fog_timing_name(const char* who) { return std::string("fog/") + who; }

// Wall time: the FogOfWar's threads work besides the timing one.
void register_fog_timings(FogCase& c) {
  for (const int threads : {1, 2}) {
    benchmark::RegisterBenchmark(
        fog_timing_name(threads == 1 ? "vantrel_1_thread" : "vantrel_2_threads").c_str(),
        time_fog, &c, threads)
        ->UseRealTime();
  }
  for (const Algorithm& algorithm : kAlgorithms) {
    benchmark::RegisterBenchmark(fog_timing_name(algorithm.name).c_str(), time_tcod_fog, &c,
                                 algorithm.id)
        ->UseRealTime();
  }
}

}  // namespace fov_bench

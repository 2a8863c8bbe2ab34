// What a view costs as the map grows: radius 12 on maps of 25^2, 400^2 and
// 2000^2 cells, 10% opaque, the same viewer (the middle, amid the same
// cells on each map) again and again, or viewers at a fixed list of random
// places. Timed: mark() after clearing the (2k + 1)^2 square of the
// previous view, as an engine that redraws one unit's view does; compute(),
// which clears the whole map; each libtcod algorithm on the same map.
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

namespace fov_bench {
namespace {

constexpr int kLargeViewers = 64;

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

}  // namespace

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

void register_large_timings(std::vector<LargeCase>& cases) {
  for (LargeCase& c : cases) {
    benchmark::RegisterBenchmark(large_timing_name(c, "mark_clear").c_str(), time_mark_and_clear,
                                 &c);
    benchmark::RegisterBenchmark(large_timing_name(c, "compute").c_str(), time_compute_large, &c);
    for (const Algorithm& algorithm : kAlgorithms) {
      benchmark::RegisterBenchmark(large_timing_name(c, algorithm.name).c_str(), time_tcod_large,
                                   &c, algorithm.id);
    }
  }
}

}  // namespace fov_bench

// What one view costs, in ns per computation, on the maps of each case:
// vantrel's field of view in each of its forms (bytes, a lambda capturing
// by value, one capturing by reference, the C API), its symmetric view, and
// every algorithm of libtcod's, each from the middle of the case's maps in
// turn.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include <benchmark/benchmark.h>
#include <libtcod/fov.h>

#include "fov_bench.h"
#include "vantrel/field_of_view.h"
#include "vantrel/symmetric_view.h"
#include "vantrel/vantrel.h"

namespace fov_bench {
namespace {

void compute_symmetric(const Setup& s, const Map& map, vantrel::Cell viewer,
                       std::span<std::uint8_t> in_view) {
  s.symmetric->compute(viewer, map.size, map.size, std::span<const std::uint8_t>(map.opaque),
                       in_view);
}

void compute_facing(const Setup& s, const Map& map, vantrel::Cell viewer,
                    std::span<std::uint8_t> in_view) {
  s.fov->compute(viewer, map.size, map.size, std::span<const std::uint8_t>(map.opaque), in_view,
                 vantrel::Walls::kFacing);
}

void compute_cone(const Setup& s, const Map& map, vantrel::Cell viewer,
                  std::span<std::uint8_t> in_view) {
  s.fov->compute(viewer, map.size, map.size, std::span<const std::uint8_t>(map.opaque), in_view,
                 vantrel::Cone{270, 90});
}

// The map cleared as compute() clears it, then marked.
void compute_mark(const Setup& s, const Map& map, vantrel::Cell viewer,
                  std::span<std::uint8_t> in_view) {
  std::memset(in_view.data(), 0, in_view.size());
  s.fov->mark(viewer, map.size, map.size, std::span<const std::uint8_t>(map.opaque), in_view);
}

// The same, listing the cells.
void compute_list(const Setup& s, const Map& map, vantrel::Cell viewer,
                  std::span<std::uint8_t> in_view) {
  std::memset(in_view.data(), 0, in_view.size());
  benchmark::DoNotOptimize(s.fov->list(viewer, map.size, map.size,
                                       std::span<const std::uint8_t>(map.opaque), in_view,
                                       s.cells));
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

}  // namespace

void register_view_timings(std::vector<Setup>& setups) {
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
    benchmark::RegisterBenchmark(timing_name(s.c, kOursFacing.name).c_str(),
                                 time_ours<compute_facing>, &s);
    benchmark::RegisterBenchmark(timing_name(s.c, kOursCone.name).c_str(),
                                 time_ours<compute_cone>, &s);
    benchmark::RegisterBenchmark(timing_name(s.c, kOursMark.name).c_str(),
                                 time_ours<compute_mark>, &s);
    benchmark::RegisterBenchmark(timing_name(s.c, kOursList.name).c_str(),
                                 time_ours<compute_list>, &s);
    for (const Algorithm& algorithm : kAlgorithms) {
      benchmark::RegisterBenchmark(timing_name(s.c, algorithm.name).c_str(), time_tcod, &s,
                                   algorithm.id);
    }
  }
}

}  // namespace fov_bench

// vantrel's field of view against libtcod's, per computation, on the maps a
// game's sight meets: radius 12 and 50, 10% or 30% of the cells opaque at
// random, or none. Each map is just large enough, (2k + 1) x (2k + 1) cells
// with the viewer in the middle.
//
// Before the timings it prints, for each case, how many cells of the disc
// x^2 + y^2 <= k^2 around the viewer vantrel and each libtcod algorithm
// agree on and how far vantrel's plain view is from symmetric
// (fov_views.cpp), then how often a Bresenham line disagrees with libtcod's
// views (fov_sight.cpp). After them, a table of nanoseconds per computation
// (the median over --benchmark_repetitions runs, CPU time), with the ratio
// of vantrel's to libtcod's fastest (fov_timings.cpp); the symmetric view
// (SymmetricView) against libtcod's SYMMETRIC_SHADOWCAST; a view on maps
// up to 2000^2 cells (fov_large.cpp); what sees() of a viewer and a target
// within radius 12 costs against a whole view (fov_sight.cpp); and fog of
// war for 10,000 viewers (fov_fog.cpp). The tables are fov_figure_table.cpp's.
// That the views are right, and allocate nothing, is the tests' to check.
// Steadier figures on a busy machine (about two and a half minutes):
//   fov_bench --benchmark_min_time=0.1 --benchmark_repetitions=9
//             --benchmark_enable_random_interleaving=true
//             --benchmark_display_aggregates_only=true
// libtcod is needed by this program only, never by the library.
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "fov_bench.h"
#include "vantrel/field_of_view.h"
#include "vantrel/line_of_sight.h"
#include "vantrel/symmetric_view.h"
#include "vantrel/table.h"
#include "vantrel/vantrel.h"

namespace fov_bench {
namespace {

int run(int argc, char** argv) {
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
            {}, {}};
    for (const Map& map : s.maps) s.tcod_maps.push_back(make_tcod_map(map));
    s.in_view.resize(s.maps[0].opaque.size());
    s.cells.resize(s.fov->list_capacity());
    setups.push_back(std::move(s));
  }

  std::vector<LargeCase> large_cases = make_large_cases(views.at(kLargeRadius));
  report_views(setups);
  const vantrel::LineOfSight line(views.at(kSightRadius));
  const std::vector<SightCase> sight_cases = make_sight_cases(setups, line);
  report_bresenham(sight_cases);

  register_view_timings(setups);
  register_large_timings(large_cases);
  register_sight_timings(sight_cases);
  FogCase fog_case = make_fog_case(views.at(kFogRadius));
  register_fog_timings(fog_case);
  run_timings(setups, large_cases, sight_cases);
  benchmark::Shutdown();
  for (const auto& [radius, c_view] : c_views) vantrel_fov_free(c_view);
  return 0;
}

}  // namespace
}  // namespace fov_bench

int main(int argc, char** argv) { return fov_bench::run(argc, argv); }

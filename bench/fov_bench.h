// What the parts of fov_bench share: the cases it measures (a radius and a
// share of opaque cells), their maps as vantrel reads them and as libtcod
// holds them, the forms of vantrel's view it times and libtcod's
// algorithms; then what each part offers the others, part by part, as
// main() calls them.
#ifndef VANTREL_BENCH_FOV_BENCH_H_
#define VANTREL_BENCH_FOV_BENCH_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <libtcod/fov.h>

#include "vantrel/cell.h"
#include "vantrel/field_of_view.h"
#include "vantrel/line_of_sight.h"
#include "vantrel/symmetric_view.h"
#include "vantrel/vantrel.h"

namespace fov_bench {

// A viewer at the middle of maps of (2 * radius + 1)^2 cells, each cell
// opaque with probability opaque_percent / 100, but the viewer's.
struct Case {
  int radius;
  int opaque_percent;
};
inline constexpr Case kCases[] = {{12, 10}, {12, 30}, {12, 0}, {50, 10}, {50, 30}, {50, 0}};

// Maps cycle through the timings, so that no single map decides a figure.
inline constexpr int kMapsPerCase = 16;

struct Map {
  int size = 0;                      // cells on a side
  std::vector<std::uint8_t> opaque;  // size * size, row by row: 1 opaque
  bool is_opaque(int x, int y) const {
    return opaque[static_cast<std::size_t>(y * size + x)] != 0;
  }
};

// The case's maps, each from a seed of its own; the open map is one.
std::vector<Map> make_maps(const Case& c);

// "r12/opaque10", "r50/open".
std::string case_name(const Case& c);

// The name of a timing of the case: "fov/r12/opaque10/vantrel".
std::string timing_name(const Case& c, const char* who);

struct Algorithm {
  TCOD_fov_algorithm_t id;
  const char* name;
};
inline constexpr Algorithm kAlgorithms[] = {
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
inline constexpr Ours kOurs{"vantrel", "vantrel (bytes)"};
inline constexpr Ours kOursByValue{"vantrel_lambda_by_value", "vantrel (lambda [=])"};
inline constexpr Ours kOursByReference{"vantrel_lambda_by_reference", "vantrel (lambda [&])"};
// The bytes again, through the C API, vantrel/vantrel.h.
inline constexpr Ours kOursThroughC{"vantrel_c_api", "vantrel (C API)"};
// The symmetric view, of bytes, against libtcod's symmetric one.
inline constexpr Ours kOursSymmetric{"vantrel_symmetric", "vantrel symmetric"};
inline constexpr const char* kTheirSymmetric = "SYMMETRIC_SHADOWCAST";
// The view's modes: the walls facing the viewer (libtcod's nearest is its
// walls lit, SHADOW among them); a cone of 90 degrees (libtcod has none);
// the cells in view as a list, after clearing the map as compute() does.
inline constexpr Ours kOursFacing{"vantrel_facing", "vantrel walls facing"};
inline constexpr Ours kOursCone{"vantrel_cone90", "vantrel cone 90"};
inline constexpr Ours kOursList{"vantrel_list", "vantrel list"};
inline constexpr Ours kOursMark{"vantrel_mark", "vantrel mark"};

struct TcodMapDeleter {
  void operator()(TCOD_Map* map) const { TCOD_map_delete(map); }
};
using TcodMap = std::unique_ptr<TCOD_Map, TcodMapDeleter>;

// The map as libtcod holds it: a clear cell is transparent and walkable.
TcodMap make_tcod_map(const Map& map);

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
  // Room for the cells of a list; mutable, as the list is the timings'
  // scratch like in_view's bytes.
  mutable std::vector<vantrel::Cell> cells;
};

// vantrel's view of a map of bytes, as its first row times it.
inline void compute_ours(const Setup& s, const Map& map, vantrel::Cell viewer,
                         std::span<std::uint8_t> in_view) {
  s.fov->compute(viewer, map.size, map.size, std::span<const std::uint8_t>(map.opaque),
                 in_view);
}

// --- fov_views.cpp: what the views are ------------------------------------

// Prints, for each case, how many cells of the disc around the viewer
// vantrel and each libtcod algorithm agree on, and how far vantrel's plain
// view is from symmetric.
void report_views(std::vector<Setup>& setups);

// --- fov_timings.cpp: one view, vantrel's forms and libtcod's --------------

// The rows "fov/<case>/<who>": vantrel's forms, then each libtcod
// algorithm, a case after another.
void register_view_timings(std::vector<Setup>& setups);

// --- fov_large.cpp: what a view costs as the map grows ---------------------

inline constexpr int kLargeRadius = 12;
inline constexpr int kLargeOpaquePercent = 10;
inline constexpr int kLargeSizes[] = {25, 400, 2000};

struct LargeCase {
  Map map;
  bool same_viewer;
  std::vector<vantrel::Cell> viewers;
  TcodMap tcod;
  const vantrel::FieldOfView* fov;
  std::vector<std::uint8_t> in_view;
};

// The same viewer, then viewers at random, each on the maps of every size
// in turn.
std::vector<LargeCase> make_large_cases(const vantrel::FieldOfView& fov);

// "25x25/same", "2000x2000/random".
std::string large_case_name(const LargeCase& c);

// "fov_large/r12/25x25/same/<who>".
std::string large_timing_name(const LargeCase& c, const char* who);

void register_large_timings(std::vector<LargeCase>& cases);

// --- fov_sight.cpp: one cell against the whole view ------------------------

inline constexpr int kSightRadius = 12;

struct SightCase {
  const Setup* setup;
  const vantrel::LineOfSight* line;
  std::vector<std::pair<vantrel::Cell, vantrel::Cell>> pairs;  // viewer, target
};

// Pairs within kSightRadius of each other, on the maps of each case of that
// radius.
std::vector<SightCase> make_sight_cases(const std::vector<Setup>& setups,
                                        const vantrel::LineOfSight& line);

// "fov/r12/opaque10/vantrel_sees".
std::string sight_timing_name(const SightCase& c);

// Prints how often a Bresenham line disagrees with each of libtcod's views
// on the pairs of the cases.
void report_bresenham(const std::vector<SightCase>& cases);

void register_sight_timings(const std::vector<SightCase>& cases);

// --- fov_fog.cpp: many viewers into one map --------------------------------

inline constexpr int kFogSize = 1024;
inline constexpr int kFogViewers = 10000;
inline constexpr int kFogRadius = 12;
inline constexpr int kFogOpaquePercent = 10;

struct FogCase {
  Map map;
  std::vector<vantrel::Cell> viewers;
  TcodMap tcod;
  const vantrel::FieldOfView* fov;
  std::vector<std::uint8_t> visible;
  std::vector<std::uint8_t> explored;
};

FogCase make_fog_case(const vantrel::FieldOfView& fov);

// "fog/<who>".
std::string fog_timing_name(const char* who);

void register_fog_timings(FogCase& c);

// --- fov_figure_table.cpp: the tables after the timings --------------------

// Runs the timings chosen on the command line, printing the console's
// output, then a table of the figures of each part that ran.
void run_timings(std::span<const Setup> setups, std::span<const LargeCase> large,
                 std::span<const SightCase> sights);

}  // namespace fov_bench

#endif  // VANTREL_BENCH_FOV_BENCH_H_

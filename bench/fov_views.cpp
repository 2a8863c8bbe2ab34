// What the views are, printed before the timings: for each case, how many
// cells of the disc x^2 + y^2 <= k^2 around the viewer vantrel and each
// libtcod algorithm agree on, and how far vantrel's plain view is from
// symmetric (whether the viewer sees a cell exactly when the cell sees the
// viewer).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <libtcod/fov.h>

#include "fov_bench.h"

namespace fov_bench {
namespace {

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
};

Symmetry measure_symmetry(Setup& s) {
  Symmetry result;
  const int k = s.c.radius;
  const vantrel::Cell a{k, k};
  std::vector<std::uint8_t> from_a(s.in_view.size());
  std::vector<std::uint8_t>& from_b = s.in_view;
  for (const Map& map : s.maps) {
    compute_ours(s, map, a, from_a);
    for (int y = 0; y < map.size; ++y) {
      for (int x = 0; x < map.size; ++x) {
        if ((x == k && y == k) || !in_disc(s.c, x, y) || map.is_opaque(x, y)) continue;
        compute_ours(s, map, vantrel::Cell{x, y}, from_b);
        const bool a_sees_b = from_a[static_cast<std::size_t>(y * map.size + x)] != 0;
        const bool b_sees_a = from_b[static_cast<std::size_t>(k * map.size + k)] != 0;
        ++result.pairs;
        if (a_sees_b && !b_sees_a) ++result.a_sees_b_only;
        if (b_sees_a && !a_sees_b) ++result.b_sees_a_only;
      }
    }
  }
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

}  // namespace

void report_views(std::vector<Setup>& setups) {
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
    const Symmetry sym = measure_symmetry(s);
    std::printf("  vantrel symmetric: %s (%ld pairs of the viewer and a clear cell; "
                "viewer sees cell only: %ld, cell sees viewer only: %ld)\n",
                sym.a_sees_b_only + sym.b_sees_a_only == 0 ? "yes" : "no", sym.pairs,
                sym.a_sees_b_only, sym.b_sees_a_only);
  }
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace fov_bench

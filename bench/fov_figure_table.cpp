// The tables printed after the timings, from the figures of the runs (the
// median over --benchmark_repetitions, or of the runs seen): ns per
// computation of each field of view, vantrel's forms against libtcod's
// fastest; the symmetric views; the large maps; sees() against a view; fog
// of war. A table is left out when none of its rows ran.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "fov_bench.h"

namespace fov_bench {
namespace {

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
    for (std::size_t i = 0; i < setups_.size(); ++i) {
      std::printf("%s:|", std::string(13, '-').c_str());
    }
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
    print_modes(fastest);
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
  // The modes' table, when their rows ran: each mode, and its ratio to
  // libtcod's fastest view of the same maps (its walls lit, as libtcod's
  // nearest to the walls facing the viewer; libtcod has no cone nor list).
  void print_modes(const std::vector<double>& fastest) {
    const Ours modes[] = {kOursFacing, kOursCone, kOursMark, kOursList};
    std::vector<std::vector<double>> rows;
    for (const Ours& mode : modes) rows.push_back(row(mode.name));
    if (std::all_of(rows.begin(), rows.end(), [](const std::vector<double>& r) {
          return std::all_of(r.begin(), r.end(), [](double ns) { return ns < 0; });
        })) {
      return;
    }
    print_case_header("Modes of the view");
    print_row(kOurs.label, row(kOurs.name));
    for (std::size_t m = 0; m < rows.size(); ++m) print_row(modes[m].label, rows[m]);
    print_ratios("facing / fastest", rows[0], fastest);
    print_ratios("cone / fastest", rows[1], fastest);
    print_ratios("list / mark", rows[3], rows[2]);
  }

  // The title of a table of the cases' views, then its head: a column per
  // case.
  void print_case_header(const char* title) {
    std::printf("\n%s: ns per computation (CPU time, median of the runs)\n\n| %-20s |", title,
                "");
    for (const Setup& s : setups_) std::printf(" %12s |", case_name(s.c).c_str());
    std::printf("\n|%s|", std::string(22, '-').c_str());
    for (std::size_t i = 0; i < setups_.size(); ++i) {
      std::printf("%s:|", std::string(13, '-').c_str());
    }
    std::printf("\n");
  }

  void print_symmetric() {
    const std::vector<double> ours = row(kOursSymmetric.name);
    if (std::all_of(ours.begin(), ours.end(), [](double ns) { return ns < 0; })) return;
    const std::vector<double> theirs = row(kTheirSymmetric);
    print_case_header("Symmetric views");
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

void run_timings(std::span<const Setup> setups, std::span<const LargeCase> large,
                 std::span<const SightCase> sights) {
  FigureTable table(setups, large, sights);
  benchmark::RunSpecifiedBenchmarks(&table);
}

}  // namespace fov_bench

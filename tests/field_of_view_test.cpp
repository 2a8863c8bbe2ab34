// The field of view of a table against its definition: each line turned by
// the 8 symmetries of the square and walked from the viewer, here line by
// line, up to the first opaque cell or the map's edge.
#include "vantrel/field_of_view.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <numbers>
#include <random>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "view_reference.h"

namespace vantrel {
namespace {

// The view computed both ways, from an opacity predicate and from a map of
// bytes, which must agree.
std::vector<std::uint8_t> view_of(const FieldOfView& fov, const Map& map, Cell viewer) {
  std::vector<std::uint8_t> view(map.opaque.size(), 7);
  fov.compute(viewer, map.width, map.height, [&](int x, int y) { return map.is_opaque(x, y); },
              view);
  std::vector<std::uint8_t> from_bytes(map.opaque.size(), 7);
  fov.compute(viewer, map.width, map.height, std::span<const std::uint8_t>(map.opaque),
              from_bytes);
  EXPECT_EQ(view, from_bytes);
  return view;
}

TEST(FieldOfView, OnAnOpenMapSeesEveryCellWithinTheRadius) {
  for (const int radius : {1, 2, 5, 12, 31, 50}) {
    SCOPED_TRACE(radius);
    const int side = 2 * radius + 1;
    const Map open{side, side, std::vector<std::uint8_t>(static_cast<std::size_t>(side * side))};
    const std::vector<std::uint8_t> view = view_of(FieldOfView(make_table(radius)), open, {radius, radius});
    // Within the radius: at i cells from one axis and j >= i from the other,
    // j no more than the nearest whole number to sqrt(radius^2 - i^2).
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        const int i = std::min(std::abs(x - radius), std::abs(y - radius));
        const int j = std::max(std::abs(x - radius), std::abs(y - radius));
        const bool within = j <= static_cast<int>(std::sqrt(radius * radius - i * i) + 0.5);
        EXPECT_EQ(view[static_cast<std::size_t>(y * side + x)], within ? 1 : 0) << x << "," << y;
      }
    }
  }
}

TEST(FieldOfView, AnOpaqueCellHidesWhatLiesBehindItOnEveryLineThroughIt) {
  const Table table = make_table(9);
  const FieldOfView fov(table);
  const int side = 19;
  Map map{side, side, std::vector<std::uint8_t>(side * side)};
  map.opaque[static_cast<std::size_t>(11 * side + 12)] = 1;  // the wall at (12, 11)
  const std::vector<std::uint8_t> view = view_of(fov, map, {9, 9});
  EXPECT_EQ(view, reference_view(table, map, {9, 9}));
  EXPECT_EQ(view[11 * side + 12], 1);  // the wall itself is seen
  EXPECT_EQ(view[13 * side + 15], 0);  // straight behind it
  EXPECT_EQ(view[9 * side + 18], 1);   // beside it
}

TEST(FieldOfView, AgreesWithItsDefinitionOnRandomMapsFromAnywhere) {
  for (const int radius : {3, 12, 25}) {
    const Table table = make_table(radius);
    const FieldOfView fov(table);
    for (std::uint32_t seed = 0; seed < 12; ++seed) {
      const Map map = random_map(2 * radius + 3 + static_cast<int>(seed % 5), 2 * radius + 1,
                                 seed % 3 == 0 ? 0.1 : 0.3, seed);
      std::mt19937 random(seed);
      // The middle, the corners and places at random, near edges too.
      std::vector<Cell> viewers = {{map.width / 2, map.height / 2}, {0, 0}, {map.width - 1, map.height - 1}};
      for (int n = 0; n < 6; ++n) {
        viewers.push_back({static_cast<int>(random() % static_cast<unsigned>(map.width)),
                           static_cast<int>(random() % static_cast<unsigned>(map.height))});
      }
      for (const Cell& viewer : viewers) {
        SCOPED_TRACE("radius " + std::to_string(radius) + ", seed " + std::to_string(seed) +
                     ", viewer " + std::to_string(viewer.x) + "," + std::to_string(viewer.y));
        ASSERT_EQ(view_of(fov, map, viewer), reference_view(table, map, viewer));
      }
    }
  }
}

TEST(FieldOfView, TurningTheMapTurnsTheView) {
  const int radius = 10;
  const int side = 2 * radius + 1;
  const FieldOfView fov(make_table(radius));
  const Map map = random_map(side, side, 0.3, 42);
  const std::vector<std::uint8_t> view = view_of(fov, map, {radius, radius});
  for (int turn = 1; turn < 8; ++turn) {
    SCOPED_TRACE(turn);
    // Cell (x, y) of the turned map is cell turned((x, y)) of the map,
    // about the middle.
    Map turned_map = map;
    std::vector<std::uint8_t> turned_view(view.size());
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        const Cell to = turned({x - radius, y - radius}, turn);
        const auto at = static_cast<std::size_t>((to.y + radius) * side + to.x + radius);
        turned_map.opaque[at] = map.opaque[static_cast<std::size_t>(y * side + x)];
        turned_view[at] = view[static_cast<std::size_t>(y * side + x)];
      }
    }
    EXPECT_EQ(view_of(fov, turned_map, {radius, radius}), turned_view);
  }
}

// Each form of compute and mark, with the walls given, into `in_view`;
// each returns whether it took the arguments as a view.
struct Form {
  const char* name;
  bool clears;  // compute, which writes every byte; mark writes those in view
  std::function<bool(const FieldOfView&, const Map&, Cell, Walls, std::span<std::uint8_t>)> run;
};

const Form kForms[] = {
    {"compute, bytes", true,
     [](const FieldOfView& fov, const Map& map, Cell viewer, Walls walls, auto in_view) {
       fov.compute(viewer, map.width, map.height, std::span(map.opaque), in_view, walls);
       return true;
     }},
    {"compute, bytes, Error", true,
     [](const FieldOfView& fov, const Map& map, Cell viewer, Walls walls, auto in_view) {
       Error error;
       return fov.compute(viewer, map.width, map.height, std::span(map.opaque), in_view, walls,
                          error);
     }},
    {"compute, predicate", true,
     [](const FieldOfView& fov, const Map& map, Cell viewer, Walls walls, auto in_view) {
       fov.compute(viewer, map.width, map.height,
                   [&](int x, int y) { return map.is_opaque(x, y); }, in_view, walls);
       return true;
     }},
    {"compute, predicate, Error", true,
     [](const FieldOfView& fov, const Map& map, Cell viewer, Walls walls, auto in_view) {
       Error error;
       return fov.compute(viewer, map.width, map.height,
                          [&](int x, int y) { return map.is_opaque(x, y); }, in_view, walls,
                          error);
     }},
    {"mark, bytes", false,
     [](const FieldOfView& fov, const Map& map, Cell viewer, Walls walls, auto in_view) {
       fov.mark(viewer, map.width, map.height, std::span(map.opaque), in_view, walls);
       return true;
     }},
    {"mark, bytes, Error", false,
     [](const FieldOfView& fov, const Map& map, Cell viewer, Walls walls, auto in_view) {
       Error error;
       return fov.mark(viewer, map.width, map.height, std::span(map.opaque), in_view, walls,
                       error);
     }},
    // By value, as a map's address and width: the fast path of a predicate.
    {"mark, predicate", false,
     [](const FieldOfView& fov, const Map& map, Cell viewer, Walls walls, auto in_view) {
       fov.mark(viewer, map.width, map.height,
                [opaque = map.opaque.data(), width = map.width](int x, int y) {
                  return opaque[y * width + x] != 0;
                },
                in_view, walls);
       return true;
     }},
    {"mark, predicate, Error", false,
     [](const FieldOfView& fov, const Map& map, Cell viewer, Walls walls, auto in_view) {
       Error error;
       return fov.mark(viewer, map.width, map.height,
                       [&](int x, int y) { return map.is_opaque(x, y); }, in_view, walls,
                       error);
     }},
};

// Every form, both Walls, on random maps (some smaller than the view) from
// the corners, the middles of the edges, the middle and places at random:
// a cell in view is 1; a cell out of view is 0 after compute and keeps
// what it held after mark (the view starts as a pattern of 0, 1 and 2).
TEST(FieldOfView, ComputesAndMarksItsDefinitionByEachWalls) {
  int opaque_viewers = 0;
  for (const int radius : {3, 12}) {
    const Table table = make_table(radius);
    const FieldOfView fov(table);
    for (std::uint32_t seed = 0; seed < 6; ++seed) {
      const int width = seed == 5 ? 4 : 2 * radius + 3 + static_cast<int>(seed % 3) * 7;
      const int height = seed == 5 ? 2 : 2 * radius + 1;
      const Map map = random_map(width, height, seed % 2 == 0 ? 0.1 : 0.3, seed + 100);
      std::mt19937 random(seed);
      std::vector<Cell> viewers = {{0, 0},          {width - 1, 0},          {0, height - 1},
                                   {width - 1, height - 1}, {width / 2, 0}, {0, height / 2},
                                   {width / 2, height / 2}, {width - 1, height / 2}};
      for (int n = 0; n < 6; ++n) {
        viewers.push_back({static_cast<int>(random() % static_cast<unsigned>(width)),
                           static_cast<int>(random() % static_cast<unsigned>(height))});
      }
      std::vector<std::uint8_t> pattern(map.opaque.size());
      for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i % 3);
      for (const Cell& viewer : viewers) {
        opaque_viewers += map.is_opaque(viewer.x, viewer.y) ? 1 : 0;
        for (const Walls walls : {Walls::kSeen, Walls::kUnseen, Walls::kFacing}) {
          const std::vector<std::uint8_t> reference = reference_view(table, map, viewer, walls);
          for (const Form& form : kForms) {
            SCOPED_TRACE(testing::Message()
                         << form.name << ", walls " << static_cast<int>(walls)
                         << ", radius " << radius << ", seed " << seed << ", viewer " << viewer.x
                         << "," << viewer.y);
            std::vector<std::uint8_t> expected = reference;
            if (!form.clears) {
              for (std::size_t i = 0; i < expected.size(); ++i) {
                if (expected[i] == 0) expected[i] = pattern[i];
              }
            }
            std::vector<std::uint8_t> view = pattern;
            ASSERT_TRUE(form.run(fov, map, viewer, walls, view));
            ASSERT_EQ(view, expected);
          }
        }
      }
    }
  }
  // The viewer's own cell is in view even where it is opaque.
  EXPECT_GT(opaque_viewers, 0);
}

// Marking several viewers into one view gives the cells any of them sees,
// and Walls::kSeen is compute's view of old, byte for byte.
TEST(FieldOfView, MarksTheViewsOfSeveralViewersIntoOne) {
  const Table table = make_table(8);
  const FieldOfView fov(table);
  const Map map = random_map(40, 30, 0.2, 5);
  const Cell viewers[] = {{3, 4}, {20, 15}, {39, 29}, {21, 15}};
  std::vector<std::uint8_t> view(map.opaque.size(), 0);
  std::vector<std::uint8_t> expected(map.opaque.size(), 0);
  for (const Cell viewer : viewers) {
    fov.mark(viewer, map.width, map.height, std::span(map.opaque), view);
    const std::vector<std::uint8_t> alone = reference_view(table, map, viewer);
    for (std::size_t i = 0; i < alone.size(); ++i) expected[i] |= alone[i];
    std::vector<std::uint8_t> computed(map.opaque.size());
    fov.compute(viewer, map.width, map.height, std::span(map.opaque), computed, Walls::kSeen);
    EXPECT_EQ(computed, alone);
  }
  EXPECT_EQ(view, expected);
}

// mark refuses what compute refuses, naming itself, and leaves the view
// alone.
TEST(FieldOfView, MarkRefusesAViewerOffTheMapOrABufferOfTheWrongSize) {
  const FieldOfView fov(make_table(4));
  auto clear = [](int, int) { return false; };
  const std::vector<std::uint8_t> open(100, 0);
  const struct {
    Cell viewer;
    int width;
    int height;
    std::size_t map_size;
    std::size_t view_size;
  } cases[] = {
      {{10, 0}, 10, 10, 100, 100}, {{0, -1}, 10, 10, 100, 100}, {{0, 0}, 0, 0, 0, 0},
      {{0, 0}, 10, 10, 100, 99},   {{0, 0}, 10, 10, 99, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.viewer.x << "," << c.viewer.y << " on " << c.width
                                    << "x" << c.height << ", map " << c.map_size << ", view "
                                    << c.view_size);
    std::vector<std::uint8_t> view(c.view_size, 7);
    const std::span<const std::uint8_t> opaque(open.data(), c.map_size);
    EXPECT_THROW(fov.mark(c.viewer, c.width, c.height, opaque, view), std::invalid_argument);
    for (const Walls walls : {Walls::kSeen, Walls::kUnseen}) {
      Error error;
      EXPECT_FALSE(fov.mark(c.viewer, c.width, c.height, opaque, view, walls, error));
      EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
      EXPECT_NE(error.message.find("vantrel::FieldOfView::mark: the viewer must stand on the map"),
                std::string::npos);
      EXPECT_FALSE(fov.compute(c.viewer, c.width, c.height, opaque, view, walls, error));
      EXPECT_NE(error.message.find("vantrel::FieldOfView::compute:"), std::string::npos);
      if (c.map_size == c.view_size) {
        EXPECT_THROW(fov.mark(c.viewer, c.width, c.height, clear, view, walls),
                     std::invalid_argument);
        EXPECT_FALSE(fov.mark(c.viewer, c.width, c.height, clear, view, error));
        EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
      }
    }
    EXPECT_EQ(view, std::vector<std::uint8_t>(c.view_size, 7));
  }
}

// Each form of compute refuses what is not a view: by throwing, or by
// filling in an Error and leaving the view alone.
TEST(FieldOfView, RefusesAViewerOffTheMapOrABufferOfTheWrongSize) {
  const FieldOfView fov(make_table(4));
  auto clear = [](int, int) { return false; };
  const std::vector<std::uint8_t> open(100, 0);
  const struct {
    Cell viewer;
    int width;
    int height;
    std::size_t view_size;
  } cases[] = {
      {{10, 0}, 10, 10, 100}, {{0, -1}, 10, 10, 100}, {{0, 0}, 10, 9, 100},
      {{0, 0}, 0, 0, 0},      {{0, 0}, 10, 10, 99},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.viewer.x << "," << c.viewer.y << " on " << c.width
                                    << "x" << c.height << ", view " << c.view_size);
    std::vector<std::uint8_t> view(c.view_size, 7);
    const std::span<const std::uint8_t> opaque(open.data(), c.view_size);
    EXPECT_THROW(fov.compute(c.viewer, c.width, c.height, clear, view), std::invalid_argument);
    EXPECT_THROW(fov.compute(c.viewer, c.width, c.height, opaque, view), std::invalid_argument);
    Error error;
    error.message = "from before";
    EXPECT_FALSE(fov.compute(c.viewer, c.width, c.height, clear, view, error));
    EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
    EXPECT_NE(error.message.find("the viewer must stand on the map"), std::string::npos);
    error.clear();
    EXPECT_FALSE(fov.compute(c.viewer, c.width, c.height, opaque, view, error));
    EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
    EXPECT_EQ(view, std::vector<std::uint8_t>(c.view_size, 7));
  }
  // A map of bytes smaller than the map.
  std::vector<std::uint8_t> view(100);
  EXPECT_THROW(fov.compute({0, 0}, 10, 10, std::span(open.data(), 99), view),
               std::invalid_argument);

  Error error;
  error.code = Error::Code::kTableFile;
  EXPECT_TRUE(fov.compute({0, 0}, 10, 10, clear, view, error));
  EXPECT_FALSE(error);
  EXPECT_TRUE(fov.compute({0, 0}, 10, 10, std::span(open), view, error));
  EXPECT_FALSE(error);
}

TEST(FieldOfView, RefusesATableWhoseLinesJump) {
  // Lines that jump, as no table file holds them, or reach too far.
  // And an empty table, what a call without exceptions returns on failure.
  for (const Table& table : {Table(2, {{{1, 1}, {3, 1}}}), Table(1, {{{32767, 0}}}), Table()}) {
    EXPECT_THROW(FieldOfView{table}, std::invalid_argument);
    Error error;
    EXPECT_FALSE(FieldOfView::make(table, error));
    EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
    EXPECT_NE(error.message.find("vantrel::FieldOfView"), std::string::npos);
  }
  Error error;
  const std::optional<FieldOfView> fov = FieldOfView::make(make_table(3), error);
  ASSERT_TRUE(fov);
  EXPECT_FALSE(error);
  EXPECT_EQ(fov->radius(), 3);
}

// One FieldOfView shared by threads, each computing its own views (run
// under ThreadSanitizer in CI): the same views as one thread computes.
TEST(FieldOfView, ThreadsMayComputeWithOneFieldOfViewAtOnce) {
  const Table table = make_table(12);
  const FieldOfView fov(table);
  const Map map = random_map(64, 48, 0.2, 7);
  constexpr int kThreads = 4;
  constexpr int kViewers = 40;
  auto viewer = [&](int n) { return Cell{(n * 37) % map.width, (n * 11) % map.height}; };
  std::vector<std::vector<std::uint8_t>> expected;
  for (int n = 0; n < kViewers; ++n) {
    expected.push_back(reference_view(table, map, viewer(n)));
  }
  std::vector<std::vector<std::uint8_t>> found(kViewers);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int n = t; n < kViewers; n += kThreads) {
        std::vector<std::uint8_t> view(map.opaque.size());
        fov.compute(viewer(n), map.width, map.height, std::span(map.opaque), view);
        found[static_cast<std::size_t>(n)] = std::move(view);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(found, expected);
}

// An engine that keeps one view clears it once, then before each mark only
// the (2r + 1)^2 cells around the last viewer, r = radius(), or r + 1 for
// facing walls, which may lie a cell beyond: viewer after
// viewer on a map many times that square, its edges and corners among them,
// what it holds is compute()'s view. The hand-made line turns back, so that
// the table reaches farther than the ends of its lines.
TEST(FieldOfView, MarkAfterClearingTheLastViewersSquareIsTheWholeView) {
  const Table turning_back(4, {{{1, 0}, {2, 1}, {3, 1}, {2, 2}}});
  const Map map = random_map(160, 120, 0.15, 12);
  std::mt19937 random(12);
  // The corners and the middles of the edges, places at random, then a unit
  // walking a step at a time.
  std::vector<Cell> viewers = {{0, 0},  {159, 119}, {159, 0},  {0, 119},
                               {80, 0}, {0, 60},    {159, 60}, {80, 119}};
  for (int n = 0; n < 40; ++n) {
    viewers.push_back({static_cast<int>(random() % 160), static_cast<int>(random() % 120)});
  }
  for (int n = 0; n < 16; ++n) viewers.push_back({70 + n, 60 + n / 2});
  for (const Table& table : {make_table(12), turning_back}) {
    const FieldOfView fov(table);
    const int r = fov.radius();
    for (const Form& form : kForms) {
      if (form.clears) continue;
      for (const Walls walls : {Walls::kSeen, Walls::kUnseen, Walls::kFacing}) {
        SCOPED_TRACE(testing::Message() << form.name << ", radius " << r << ", walls "
                                        << static_cast<int>(walls));
        const int reach = walls == Walls::kFacing ? r + 1 : r;
        std::vector<std::uint8_t> view(map.opaque.size(), 0);
        std::vector<std::uint8_t> computed(map.opaque.size());
        Cell last = viewers.front();
        for (const Cell viewer : viewers) {
          for (int y = std::max(last.y - reach, 0); y <= std::min(last.y + reach, map.height - 1);
               ++y) {
            for (int x = std::max(last.x - reach, 0); x <= std::min(last.x + reach, map.width - 1);
                 ++x) {
              view[static_cast<std::size_t>(y * map.width + x)] = 0;
            }
          }
          ASSERT_TRUE(form.run(fov, map, viewer, walls, view));
          fov.compute(viewer, map.width, map.height, std::span(map.opaque), computed, walls);
          ASSERT_EQ(view, computed) << "viewer " << viewer.x << "," << viewer.y;
          last = viewer;
        }
      }
    }
  }
}

// list() writes each cell of the view once, the viewer first, and sets the
// view's bytes as mark() does; the cells a view already held are not listed
// again; what it refuses, it refuses before writing a byte.
TEST(FieldOfView, ListsEachCellInViewOnce) {
  const Table table = make_table(9);
  const FieldOfView fov(table);
  const Map map = random_map(33, 26, 0.2, 4);
  const std::span<const std::uint8_t> opaque(map.opaque);
  for (const Walls walls : {Walls::kSeen, Walls::kUnseen, Walls::kFacing}) {
    std::vector<Cell> cells(fov.list_capacity(walls));
    for (const Cell viewer : {Cell{0, 0}, Cell{16, 12}, Cell{32, 25}, Cell{3, 20}}) {
      SCOPED_TRACE(testing::Message() << "walls " << static_cast<int>(walls) << ", viewer "
                                      << viewer.x << "," << viewer.y);
      const std::vector<std::uint8_t> expected = reference_view(table, map, viewer, walls);
      std::vector<std::uint8_t> view(map.opaque.size(), 0);
      const std::size_t count = fov.list(viewer, map.width, map.height, opaque, view, cells, walls);
      EXPECT_EQ(view, expected);
      ASSERT_EQ(count, static_cast<std::size_t>(std::count(expected.begin(), expected.end(), 1)));
      EXPECT_EQ(cells[0].x, viewer.x);
      EXPECT_EQ(cells[0].y, viewer.y);
      std::vector<std::uint8_t> listed(map.opaque.size(), 0);
      for (std::size_t i = 0; i < count; ++i) {
        ASSERT_TRUE(cells[i].x >= 0 && cells[i].x < map.width && cells[i].y >= 0 &&
                    cells[i].y < map.height);
        ++listed[static_cast<std::size_t>(cells[i].y * map.width + cells[i].x)];
      }
      EXPECT_EQ(listed, expected);
      // Again into the same view: nothing is new.
      EXPECT_EQ(fov.list(viewer, map.width, map.height, opaque, view, cells, walls), 0u);
    }
  }

  std::vector<std::uint8_t> view(map.opaque.size(), 0);
  std::vector<Cell> cells(fov.list_capacity(Walls::kFacing), Cell{-1, -1});
  const std::span<Cell> short_list(cells.data(), fov.list_capacity(Walls::kFacing) - 1);
  Error error;
  EXPECT_EQ(fov.list({1, 1}, map.width, map.height, opaque, view, short_list, Walls::kFacing,
                     error),
            0u);
  EXPECT_EQ(error.message, "vantrel::FieldOfView::list: the list must hold " +
                               std::to_string(fov.list_capacity(Walls::kFacing)) + " cells, not " +
                               std::to_string(short_list.size()));
  EXPECT_THROW(fov.list({33, 1}, map.width, map.height, opaque, view, cells),
               std::invalid_argument);
  // A list over the view's own bytes, long enough for a view of radius 2.
  const FieldOfView near(make_table(2));
  const std::span<Cell> over_view(reinterpret_cast<Cell*>(view.data()), view.size() / sizeof(Cell));
  ASSERT_GE(over_view.size(), near.list_capacity());
  EXPECT_THROW(near.list({1, 1}, map.width, map.height, opaque, view, over_view),
               std::invalid_argument);
  EXPECT_EQ(std::count(view.begin(), view.end(), 0), static_cast<long>(view.size()));
  EXPECT_EQ(cells[0].x, -1);
}

// Whether (dx, dy) lies in `cone`, by the angle to it: within half the width
// of the direction, edges included (a millionth of a degree of rounding).
bool in_cone(Cone cone, int dx, int dy) {
  if (cone.width >= 360 || (dx == 0 && dy == 0)) return true;
  const double angle = std::atan2(dy, dx) * 180 / std::numbers::pi;
  const double off = std::remainder(angle - std::fmod(cone.direction, 360.0), 360.0);
  return std::fabs(off) <= cone.width / 2 + 1e-6;
}

// A view through a cone is the view's cells whose direction lies in the
// cone, then the walls that face its clear cells; compute, mark and list
// agree. Bad cones are refused before a byte is written.
TEST(FieldOfView, SeesThroughACone) {
  const Table table = make_table(10);
  const FieldOfView fov(table);
  const Map map = random_map(29, 25, 0.15, 21);
  const std::span<const std::uint8_t> opaque(map.opaque);
  // Directions of any size, as a turn more or less; widths down to a hair.
  const Cone cones[] = {{0, 90},    {270, 90},       {45, 1},        {200, 359},
                        {90, 180},  {13.7, 45.5},    {-90, 360},     {135, 90},
                        {720 + 315, 60}, {360e7 + 45, 90}, {1e300, 90}, {-1e300, 200},
                        {0, 1e-9},  {225, 1e-12}};
  std::vector<Cell> cells(fov.list_capacity(Walls::kFacing));
  for (const Cone cone : cones) {
    for (const Cell viewer : {Cell{14, 12}, Cell{0, 0}, Cell{28, 3}}) {
      for (const Walls walls : {Walls::kSeen, Walls::kUnseen, Walls::kFacing}) {
        SCOPED_TRACE(testing::Message() << "cone " << cone.direction << "," << cone.width
                                        << ", viewer " << viewer.x << "," << viewer.y
                                        << ", walls " << static_cast<int>(walls));
        std::vector<std::uint8_t> expected =
            reference_view(table, map, viewer, walls == Walls::kFacing ? Walls::kSeen : walls);
        for (int y = 0; y < map.height; ++y) {
          for (int x = 0; x < map.width; ++x) {
            if (!in_cone(cone, x - viewer.x, y - viewer.y)) {
              expected[static_cast<std::size_t>(y * map.width + x)] = 0;
            }
          }
        }
        if (walls == Walls::kFacing) {
          expected = with_facing_walls(expected, map, viewer, table.radius());
        }
        std::vector<std::uint8_t> view(map.opaque.size(), 7);
        fov.compute(viewer, map.width, map.height, opaque, view, cone, walls);
        EXPECT_EQ(view, expected);
        std::fill(view.begin(), view.end(), 0);
        fov.mark(viewer, map.width, map.height, opaque, view, cone, walls);
        EXPECT_EQ(view, expected);
        std::fill(view.begin(), view.end(), 0);
        const std::size_t count =
            fov.list(viewer, map.width, map.height, opaque, view, cells, cone, walls);
        EXPECT_EQ(view, expected);
        EXPECT_EQ(count, static_cast<std::size_t>(std::count(expected.begin(), expected.end(), 1)));
      }
    }
  }
  // 45 degrees each side of north holds the diagonals exactly.
  std::vector<std::uint8_t> open(81, 0);
  std::vector<std::uint8_t> view(81, 0);
  fov.compute({4, 4}, 9, 9, open, view, Cone{270, 90});
  EXPECT_EQ(view[0], 1);
  EXPECT_EQ(view[8], 1);
  EXPECT_EQ(view[9 * 4 + 0], 0);

  std::fill(view.begin(), view.end(), 5);
  for (const Cone bad : {Cone{0, 0}, Cone{0, 360.5}, Cone{std::nan(""), 90}, Cone{0, -1},
                         Cone{INFINITY, 90}, Cone{0, std::nan("")}}) {
    Error error;
    EXPECT_FALSE(fov.compute({4, 4}, 9, 9, open, view, bad, Walls::kSeen, error));
    EXPECT_NE(error.message.find("a cone's width must be above 0 and at most 360"),
              std::string::npos)
        << error.message;
    EXPECT_THROW(fov.mark({4, 4}, 9, 9, open, view, bad), std::invalid_argument);
    EXPECT_EQ(fov.list({4, 4}, 9, 9, open, view, cells, bad, Walls::kSeen, error), 0u);
    EXPECT_TRUE(error);
  }
  EXPECT_EQ(view, std::vector<std::uint8_t>(81, 5));
}

}  // namespace
}  // namespace vantrel

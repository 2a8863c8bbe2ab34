// Symmetric views against their definition, from the plain reference views
// of every cell of small maps: B is in A's view when each sees the other
// (or, for an opaque B, when A sees it). Every viewer, so that each edge of
// the map cuts the lines.
#include "vantrel/symmetric_view.h"

#include <sys/mman.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vantrel/line_of_sight.h"
#include "view_reference.h"

namespace vantrel {
namespace {

// Lines that turn back, leave the box of their ends, and one that passes
// back through the viewer's cell, as a hand-made table may hold.
Table crooked_table() {
  return Table(3, {{{1, 0}, {2, 1}, {1, 2}, {0, 3}},
                   {{1, 1}, {2, 0}, {3, 1}},
                   {{0, 1}, {1, 2}, {2, 3}},
                   {{1, 1}, {0, 0}, {1, 0}, {2, 0}}});
}

// A single line out of the box of its ends: near an edge of open ground it
// leaves the map one way and not the other, so that a cell sees its viewer
// or not.
Table skewed_table() { return Table(3, {{{-1, 1}, {0, 2}, {1, 3}}}); }

TEST(SymmetricView, IsTheViewWhereEachSeesTheOther) {
  const struct {
    const char* name;
    double walls;
  } kMaps[] = {{"open", 0.0}, {"2% opaque", 0.02}, {"10% opaque", 0.1}, {"30% opaque", 0.3}};
  for (const Table& table : {make_table(3), make_table(7), make_table(12), crooked_table(),
                              skewed_table()}) {
    const SymmetricView symmetric{FieldOfView(table)};
    const int radius = symmetric.radius();
    for (std::uint32_t m = 0; m < std::size(kMaps); ++m) {
      SCOPED_TRACE("radius " + std::to_string(radius) + ", " + kMaps[m].name);
      // Large enough that some viewers' ways back all lie on the map.
      const Map map = random_map(std::max(20, 2 * radius + 7), std::max(17, 2 * radius + 5),
                                 kMaps[m].walls, 100 + m);
      const std::size_t cells = map.opaque.size();
      auto cell_at = [&](std::size_t c) {
        return Cell{static_cast<int>(c % static_cast<std::size_t>(map.width)),
                    static_cast<int>(c / static_cast<std::size_t>(map.width))};
      };
      std::vector<std::vector<std::uint8_t>> plain(cells);
      for (std::size_t c = 0; c < cells; ++c) plain[c] = reference_view(table, map, cell_at(c));

      std::vector<std::vector<std::uint8_t>> seen(cells);
      for (std::size_t a = 0; a < cells; ++a) {
        const Cell viewer = cell_at(a);
        for (const Walls walls : {Walls::kSeen, Walls::kUnseen, Walls::kFacing}) {
          const std::vector<std::uint8_t> plain_with_walls =
              walls == Walls::kUnseen ? reference_view(table, map, viewer, walls) : plain[a];
          std::vector<std::uint8_t> expected(cells);
          for (std::size_t b = 0; b < cells; ++b) {
            expected[b] = b == a || (map.opaque[b] != 0 ? plain_with_walls[b] != 0
                                                        : plain[a][b] != 0 && plain[b][a] != 0);
          }
          // The walls facing the viewer from the symmetric view's clear cells.
          if (walls == Walls::kFacing) {
            expected = with_facing_walls(expected, map, viewer, std::max(map.width, map.height));
          }
          std::vector<std::uint8_t> in_view(cells, 7);
          symmetric.compute(viewer, map.width, map.height, map.opaque, in_view, walls);
          ASSERT_EQ(in_view, expected)
              << "viewer " << viewer.x << "," << viewer.y << ", walls " << static_cast<int>(walls);
          if (walls == Walls::kSeen) seen[a] = in_view;
        }
      }
      for (std::size_t a = 0; a < cells; ++a) {
        for (std::size_t b = a + 1; b < cells; ++b) {
          if (map.opaque[a] != 0 || map.opaque[b] != 0) continue;
          ASSERT_EQ(seen[a][b], seen[b][a]) << "cells " << a << " and " << b;
        }
      }
    }
  }
}

// LineOfSight::sees_both_ways() is the symmetric view's byte of every
// target, from every viewer, by each Walls, in the forms of bytes and of a
// predicate; and refuses a cell off the map naming itself.
TEST(SymmetricView, SeesBothWaysAsTheSymmetricViewHasIt) {
  for (const Table& table : {make_table(6), crooked_table(), skewed_table()}) {
    const FieldOfView plain(table);
    const SymmetricView symmetric(plain);
    const LineOfSight line(plain);
    const Map map = random_map(17, 14, 0.25, 7);
    const std::span<const std::uint8_t> opaque(map.opaque);
    auto is_opaque = [&](int x, int y) { return map.is_opaque(x, y); };
    std::vector<std::uint8_t> in_view(map.opaque.size());
    for (int vy = 0; vy < map.height; ++vy) {
      for (int vx = 0; vx < map.width; ++vx) {
        for (const Walls walls : {Walls::kSeen, Walls::kUnseen, Walls::kFacing}) {
          symmetric.compute({vx, vy}, map.width, map.height, opaque, in_view, walls);
          for (int y = 0; y < map.height; ++y) {
            for (int x = 0; x < map.width; ++x) {
              const bool seen = in_view[static_cast<std::size_t>(y * map.width + x)] != 0;
              ASSERT_EQ(line.sees_both_ways({vx, vy}, {x, y}, map.width, map.height, opaque, walls),
                        seen)
                  << "radius " << table.radius() << ", viewer " << vx << "," << vy << ", target "
                  << x << "," << y << ", walls " << static_cast<int>(walls);
              ASSERT_EQ(line.sees_both_ways({vx, vy}, {x, y}, map.width, map.height, is_opaque,
                                            walls),
                        seen);
            }
          }
        }
      }
    }
  }
  const LineOfSight line{FieldOfView(make_table(3))};
  const std::vector<std::uint8_t> opaque(12);
  Error error;
  EXPECT_FALSE(line.sees_both_ways({0, 0}, {4, 0}, 4, 3, opaque, Walls::kSeen, error));
  EXPECT_EQ(error.message,
            "vantrel::LineOfSight::sees_both_ways: the viewer and the target must stand on the "
            "map");
  EXPECT_THROW(line.sees_both_ways({0, 0}, {1, 1}, 4, 2, opaque), std::invalid_argument);
}

// Through a cone, the symmetric view is cut to the cone before its facing
// walls are lit, and sees() through a cone answers as the plain view through
// it, for every target.
TEST(SymmetricView, ConesCutTheSymmetricViewAndSees) {
  const Table table = make_table(8);
  const FieldOfView plain(table);
  const SymmetricView symmetric(plain);
  const LineOfSight line(plain);
  const Map map = random_map(23, 21, 0.2, 17);
  const std::span<const std::uint8_t> opaque(map.opaque);
  std::vector<std::uint8_t> view(map.opaque.size());
  std::vector<std::uint8_t> expected(map.opaque.size());
  for (const Cone cone : {Cone{0, 90}, Cone{225, 45}, Cone{90, 180}, Cone{10, 300}}) {
    const detail::ConeTest test(cone);
    for (const Cell viewer : {Cell{11, 10}, Cell{0, 20}, Cell{22, 0}}) {
      for (const Walls walls : {Walls::kSeen, Walls::kUnseen, Walls::kFacing}) {
        SCOPED_TRACE(testing::Message() << "cone " << cone.direction << "," << cone.width
                                        << ", viewer " << viewer.x << "," << viewer.y
                                        << ", walls " << static_cast<int>(walls));
        symmetric.compute(viewer, map.width, map.height, opaque, expected,
                          walls == Walls::kFacing ? Walls::kSeen : walls);
        for (int y = 0; y < map.height; ++y) {
          for (int x = 0; x < map.width; ++x) {
            if (!test.contains(x - viewer.x, y - viewer.y)) {
              expected[static_cast<std::size_t>(y * map.width + x)] = 0;
            }
          }
        }
        if (walls == Walls::kFacing) {
          expected = with_facing_walls(expected, map, viewer, plain.radius());
        }
        symmetric.compute(viewer, map.width, map.height, opaque, view, cone, walls);
        EXPECT_EQ(view, expected);

        plain.compute(viewer, map.width, map.height, opaque, view, cone, walls);
        for (int y = 0; y < map.height; ++y) {
          for (int x = 0; x < map.width; ++x) {
            ASSERT_EQ(line.sees(viewer, {x, y}, map.width, map.height, opaque, cone, walls),
                      view[static_cast<std::size_t>(y * map.width + x)] != 0)
                << "target " << x << "," << y;
          }
        }
      }
    }
  }
  Error error;
  EXPECT_FALSE(line.sees({0, 0}, {1, 1}, map.width, map.height, opaque, Cone{0, 0},
                         Walls::kSeen, error));
  EXPECT_NE(error.message.find("LineOfSight::sees: a cone's width"), std::string::npos);
  std::fill(view.begin(), view.end(), 9);
  EXPECT_THROW(symmetric.compute({0, 0}, map.width, map.height, opaque, view, Cone{0, 361}),
               std::invalid_argument);
  EXPECT_EQ(view, std::vector<std::uint8_t>(view.size(), 9));
}

// mark() sets the bytes of the symmetric view's cells and touches no other,
// from viewers anywhere on the map, its edges and corners too; what it
// refuses, it refuses before writing a byte.
TEST(SymmetricView, MarksTheSymmetricViewThroughAScratch) {
  for (const Table& table : {make_table(5), crooked_table()}) {
    const SymmetricView symmetric{FieldOfView(table)};
    const Map map = random_map(19, 14, 0.2, 23);
    const std::span<const std::uint8_t> opaque(map.opaque);
    std::vector<std::uint8_t> scratch(symmetric.scratch_size());
    std::vector<std::uint8_t> alone(map.opaque.size());
    std::vector<std::uint8_t> pattern(map.opaque.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i % 5);
    for (const Walls walls : {Walls::kSeen, Walls::kUnseen, Walls::kFacing}) {
      std::vector<std::uint8_t> all = pattern;
      std::vector<std::uint8_t> expected_all = pattern;
      for (int y = 0; y < map.height; y += 3) {
        for (int x = 0; x < map.width; x += 2) {
          SCOPED_TRACE(testing::Message() << "radius " << table.radius() << ", viewer " << x
                                          << "," << y << ", walls " << static_cast<int>(walls));
          symmetric.compute({x, y}, map.width, map.height, opaque, alone, walls);
          std::vector<std::uint8_t> expected = pattern;
          for (std::size_t i = 0; i < alone.size(); ++i) {
            if (alone[i] != 0) expected[i] = expected_all[i] = 1;
          }
          std::vector<std::uint8_t> view = pattern;
          symmetric.mark({x, y}, map.width, map.height, opaque, view, scratch, walls);
          ASSERT_EQ(view, expected);
          symmetric.mark({x, y}, map.width, map.height, opaque, all, scratch, walls);
        }
      }
      EXPECT_EQ(all, expected_all);
    }
  }
  const SymmetricView symmetric{FieldOfView(make_table(4))};
  const std::vector<std::uint8_t> opaque(100);
  std::vector<std::uint8_t> view(100, 7);
  std::vector<std::uint8_t> scratch(symmetric.scratch_size() - 1);
  Error error;
  EXPECT_FALSE(symmetric.mark({5, 5}, 10, 10, opaque, view, scratch, Walls::kSeen, error));
  EXPECT_EQ(error.message,
            "vantrel::SymmetricView::mark: the scratch must hold 121 bytes, not 120");
  scratch.resize(symmetric.scratch_size());
  // A scratch that runs into the view.
  std::vector<std::uint8_t> shared(300, 7);
  EXPECT_THROW(symmetric.mark({5, 5}, 10, 10, opaque, std::span(shared).first(100),
                              std::span(shared).subspan(50, 121)),
               std::invalid_argument);
  EXPECT_EQ(shared, std::vector<std::uint8_t>(300, 7));
  EXPECT_THROW(symmetric.mark({10, 5}, 10, 10, opaque, view, scratch), std::invalid_argument);
  EXPECT_EQ(view, std::vector<std::uint8_t>(100, 7));
}

TEST(SymmetricView, RefusesWhatIsNotAViewAndRadiiBeyondItsLargest) {
  const SymmetricView symmetric{FieldOfView(make_table(5))};
  const std::vector<std::uint8_t> opaque(6 * 4);
  const struct {
    Cell viewer;
    int width;
    int height;
    std::size_t map_size;
    std::size_t view_size;
  } kCases[] = {
      {{-1, 0}, 6, 4, 24, 24}, {{6, 0}, 6, 4, 24, 24}, {{0, 4}, 6, 4, 24, 24},
      {{0, 0}, 0, 0, 0, 0},    {{1, 1}, 6, 4, 23, 24}, {{1, 1}, 6, 4, 24, 23},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.viewer.x) + "," + std::to_string(c.viewer.y) + " on " +
                 std::to_string(c.width) + "x" + std::to_string(c.height));
    std::vector<std::uint8_t> in_view(c.view_size, 5);
    const std::span<const std::uint8_t> map(opaque.data(), c.map_size);
    EXPECT_THROW(symmetric.compute(c.viewer, c.width, c.height, map, in_view),
                 std::invalid_argument);
    Error error;
    EXPECT_FALSE(symmetric.compute(c.viewer, c.width, c.height, map, in_view, error));
    EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
    EXPECT_NE(error.message.find("SymmetricView::compute"), std::string::npos);
    EXPECT_EQ(in_view, std::vector<std::uint8_t>(c.view_size, 5));
  }

  const FieldOfView largest(make_table(SymmetricView::kLargestSymmetricRadius + 1));
  EXPECT_THROW(SymmetricView{largest}, std::invalid_argument);
  Error error;
  EXPECT_FALSE(SymmetricView::make(largest, error));
  EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
  EXPECT_TRUE(SymmetricView::make(FieldOfView(make_table(3)), error));
  EXPECT_FALSE(error);
}

// A line that steps back and forth would cost the index the square of its
// length: a table of radius 2 with one such line of 20,000 cells is
// refused at once, while its plain view is built as any other.
TEST(SymmetricView, RefusesALineLongerThanTwiceItsReach) {
  std::vector<Cell> bouncing;
  for (int i = 0; i < 20000; ++i) bouncing.push_back(Cell{1, i % 2});
  const FieldOfView view(Table(2, {bouncing}));
  Error error;
  EXPECT_FALSE(SymmetricView::make(view, error));
  EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
  EXPECT_NE(error.message.find("a line of the table has more than 2 cells"), std::string::npos)
      << error.message;
  // The longest line it takes: out along one axis, then along the other.
  EXPECT_TRUE(SymmetricView::make(FieldOfView(Table(2, {{{1, 0}, {2, 0}, {2, 1}, {2, 2}}})),
                                  error))
      << error.message;
}

// Lines that wander, each no longer than twice the radius, cost the index
// the square of their lengths each: many of them are refused, where the
// tables of make_table, whose lines share their cells, never are.
TEST(SymmetricView, RefusesLinesThatWanderBeyondWhatAnyTableOfItsRadiusHolds) {
  constexpr int kRadius = 4;
  // Walks of 2 * kRadius cells from the origin, no cell twice, within the
  // quarter square: found depth first.
  std::vector<std::vector<Cell>> lines;
  std::vector<Cell> walk;
  auto extend = [&](auto& self) -> void {
    if (lines.size() == 500) return;
    if (walk.size() == 2 * kRadius) {
      lines.push_back(walk);
      return;
    }
    const Cell from = walk.empty() ? Cell{0, 0} : walk.back();
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        const Cell to{from.x + dx, from.y + dy};
        if ((dx == 0 && dy == 0) || to.x < 0 || to.y < 0 || to.x > kRadius || to.y > kRadius ||
            (to.x == 0 && to.y == 0) || std::find(walk.begin(), walk.end(), to) != walk.end()) {
          continue;
        }
        walk.push_back(to);
        self(self);
        walk.pop_back();
      }
    }
  };
  extend(extend);
  ASSERT_EQ(lines.size(), 500u);
  const FieldOfView wandering(Table(kRadius, lines));
  Error error;
  EXPECT_FALSE(SymmetricView::make(wandering, error));
  EXPECT_NE(error.message.find("cells before their ends, 6 times the cube of the radius 4"),
            std::string::npos)
      << error.message;
  for (int radius = 1; radius <= 40; ++radius) {
    EXPECT_TRUE(SymmetricView::make(FieldOfView(make_table(radius)), error)) << error.message;
  }
}

#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif

// Bytes of zeros that take memory only where they are written.
class LazyBytes {
 public:
  explicit LazyBytes(std::size_t size) : size_(size) {
    void* bytes = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (bytes == MAP_FAILED) return;
    bytes_ = static_cast<std::uint8_t*>(bytes);
    // Written whole, 4 KiB pages cost a fault each.
    madvise(bytes, size, MADV_HUGEPAGE);
  }
  ~LazyBytes() {
    if (bytes_ != nullptr) munmap(bytes_, size_);
  }
  LazyBytes(const LazyBytes&) = delete;
  LazyBytes& operator=(const LazyBytes&) = delete;

  std::uint8_t* data() const { return bytes_; }
  std::span<std::uint8_t> span() const { return {bytes_, size_}; }

 private:
  std::uint8_t* bytes_ = nullptr;
  std::size_t size_;
};

// On a map 2^31 - 1 cells wide, the square around a viewer at its east edge
// reaches past int's end, where the symmetric view must still be what it is
// on a narrow map: the same cells drop out of view.
TEST(SymmetricView, IsTheSameAtTheFarEdgeOfTheWidestMap) {
  if (sizeof(std::size_t) < 8 || kThreadSanitizer) {
    GTEST_SKIP() << "a view of 4 GiB: 64-bit builds without ThreadSanitizer only";
  }
  const SymmetricView symmetric{FieldOfView(make_table(12))};
  // The pattern: the viewer at the east edge, opaque cells 5 and 11 cells
  // west of it, on the row above and on its own.
  auto view_at_edge = [&](int width, std::span<std::uint8_t> opaque,
                          std::span<std::uint8_t> in_view) {
    opaque[static_cast<std::size_t>(width) - 6] = 1;
    opaque[static_cast<std::size_t>(width) * 2 - 12] = 1;
    symmetric.compute(Cell{width - 1, 1}, width, 2, opaque, in_view);
    // The 40 cells of each row at the east edge.
    std::vector<std::uint8_t> window;
    for (std::size_t end = static_cast<std::size_t>(width); end <= in_view.size();
         end += static_cast<std::size_t>(width)) {
      const std::span<const std::uint8_t> cells = in_view.subspan(end - 40, 40);
      window.insert(window.end(), cells.begin(), cells.end());
    }
    return window;
  };
  std::vector<std::uint8_t> opaque(60 * 2);
  std::vector<std::uint8_t> in_view(60 * 2);
  const std::vector<std::uint8_t> narrow = view_at_edge(60, opaque, in_view);
  const FieldOfView plain(make_table(12));
  plain.compute(Cell{59, 1}, 60, 2, std::span<const std::uint8_t>(opaque), in_view);
  ASSERT_LT(std::count(narrow.begin(), narrow.end(), 1),
            std::count(in_view.begin(), in_view.end(), 1))
      << "the pattern shows no cell that sees without being seen";

  constexpr int kWidest = INT32_MAX;
  const std::size_t size = std::size_t{kWidest} * 2;
  const LazyBytes wide_opaque(size);
  const LazyBytes wide_view(size);
  if (wide_opaque.data() == nullptr || wide_view.data() == nullptr) {
    GTEST_SKIP() << "no room for two maps of 4 GiB";
  }
  EXPECT_EQ(view_at_edge(kWidest, wide_opaque.span(), wide_view.span()), narrow);
}

}  // namespace
}  // namespace vantrel

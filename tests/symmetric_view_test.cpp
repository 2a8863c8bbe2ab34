// Symmetric views against their definition, from the plain reference views
// of every cell of small maps: B is in A's view when each sees the other
// (or, for an opaque B, when A sees it). Every viewer, so that each edge of
// the map cuts the lines.
#include "vantrel/symmetric_view.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
        for (const Walls walls : {Walls::kSeen, Walls::kUnseen}) {
          const std::vector<std::uint8_t> plain_with_walls =
              walls == Walls::kSeen ? plain[a] : reference_view(table, map, viewer, walls);
          std::vector<std::uint8_t> expected(cells);
          for (std::size_t b = 0; b < cells; ++b) {
            expected[b] = b == a || (map.opaque[b] != 0 ? plain_with_walls[b] != 0
                                                        : plain[a][b] != 0 && plain[b][a] != 0);
          }
          std::vector<std::uint8_t> in_view(cells, 7);
          symmetric.compute(viewer, map.width, map.height, map.opaque, in_view, walls);
          ASSERT_EQ(in_view, expected)
              << "viewer " << viewer.x << "," << viewer.y
              << (walls == Walls::kSeen ? ", walls seen" : ", walls unseen");
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

  const FieldOfView largest(make_table(SymmetricView::kLargestRadius + 1));
  EXPECT_THROW(SymmetricView{largest}, std::invalid_argument);
  Error error;
  EXPECT_FALSE(SymmetricView::make(largest, error));
  EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
  EXPECT_TRUE(SymmetricView::make(FieldOfView(make_table(3)), error));
  EXPECT_FALSE(error);
}

}  // namespace
}  // namespace vantrel

// Fog of war against the union of the viewers' views by their definition,
// on one thread and on several, and what an update refuses.
#include "vantrel/fog_of_war.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "view_reference.h"

namespace vantrel {
namespace {

// Viewers anywhere on the map, the edges and corners among them, some
// given twice.
std::vector<Viewer> random_viewers(const Map& map, std::size_t count, int largest_radius,
                                   std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> x(0, map.width - 1);
  std::uniform_int_distribution<int> y(0, map.height - 1);
  std::uniform_int_distribution<int> radius(1, largest_radius);
  std::vector<Viewer> viewers = {{{0, 0}, largest_radius},
                                 {{map.width - 1, map.height - 1}, largest_radius},
                                 {{0, map.height - 1}, 1},
                                 {{map.width - 1, 0}, 2}};
  while (viewers.size() < count) viewers.push_back({{x(random), y(random)}, radius(random)});
  viewers.push_back(viewers[5]);
  return viewers;
}

std::vector<Cell> cells_of(const std::vector<Viewer>& viewers) {
  std::vector<Cell> cells;
  for (const Viewer& viewer : viewers) cells.push_back(viewer.cell);
  return cells;
}

// `before`, with each cell that some viewer's reference view holds set to 1.
std::vector<std::uint8_t> union_of_views(const Map& map, const std::vector<Viewer>& viewers,
                                         bool one_radius, int largest, Walls walls,
                                         std::vector<std::uint8_t> before) {
  std::vector<Table> tables;
  for (int r = 1; r <= largest; ++r) tables.push_back(make_table(r));
  for (const Viewer& viewer : viewers) {
    const Table& table = tables[static_cast<std::size_t>((one_radius ? largest : viewer.radius) - 1)];
    const std::vector<std::uint8_t> view = reference_view(table, map, viewer.cell, walls);
    for (std::size_t at = 0; at < view.size(); ++at) before[at] |= view[at];
  }
  return before;
}

// A map of bytes with every seventh set, as an explored map from earlier
// updates, or a view the caller did not clear.
std::vector<std::uint8_t> earlier(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t at = 0; at < size; at += 7) bytes[at] = 1;
  return bytes;
}

struct FogCase {
  int width;
  int height;
  double walls_share;
  std::size_t viewers;
  Walls walls;
};

TEST(FogOfWar, IsTheUnionOfTheViewsOnAnyNumberOfThreads) {
  const int largest = 7;
  const Sight sight(largest);
  const FieldOfView view(make_table(largest));
  const FogCase cases[] = {
      {40, 31, 0.1, 600, Walls::kSeen},   {40, 31, 0.3, 600, Walls::kUnseen},
      {9, 70, 0.0, 300, Walls::kSeen},    {23, 17, 0.2, 12, Walls::kSeen},
      {1, 1, 0.0, 300, Walls::kUnseen},   {40, 31, 0.3, 600, Walls::kFacing},
      // Large enough to be shared out in bands of rows, whose viewers see
      // into the bands beside theirs.
      {300, 700, 0.1, 1500, Walls::kSeen}, {300, 700, 0.3, 1500, Walls::kFacing},
  };
  std::uint32_t seed = 1;
  for (const FogCase& c : cases) {
    const Map map = random_map(c.width, c.height, c.walls_share, ++seed);
    const std::vector<Viewer> viewers =
        c.width * c.height == 1 ? std::vector<Viewer>(c.viewers, Viewer{{0, 0}, 3})
                                : random_viewers(map, c.viewers, largest, seed);
    const std::vector<Cell> cells = cells_of(viewers);
    const std::size_t size = map.opaque.size();
    const auto expected_one = union_of_views(map, viewers, true, largest, c.walls,
                                             std::vector<std::uint8_t>(size));
    const auto explored_one = union_of_views(map, viewers, true, largest, c.walls, earlier(size));
    const auto expected_each = union_of_views(map, viewers, false, largest, c.walls,
                                              std::vector<std::uint8_t>(size));
    for (const int threads : {1, 2, 3}) {
      SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + ", " +
                   std::to_string(viewers.size()) + " viewers, " + std::to_string(threads) +
                   " threads");
      FogOfWar fog(threads);
      ASSERT_EQ(fog.threads(), threads);
      // The same FogOfWar again and again: its threads wait between updates.
      for (int round = 0; round < 3; ++round) {
        std::vector<std::uint8_t> visible(size);
        std::vector<std::uint8_t> explored = earlier(size);
        fog.update(view, cells, map.width, map.height, map.opaque, visible, explored, c.walls);
        EXPECT_EQ(visible, expected_one);
        EXPECT_EQ(explored, explored_one);

        std::vector<std::uint8_t> each(size);
        fog.update(sight, viewers, map.width, map.height, map.opaque, each, {}, c.walls);
        EXPECT_EQ(each, expected_each);
      }
    }
  }
}

TEST(FogOfWar, RefusesWhatIsNoMapOrViewerWithoutWritingAByte) {
  const Map map = random_map(10, 8, 0.2, 3);
  const FieldOfView view(make_table(4));
  const Sight sight(4);
  FogOfWar fog(2);
  std::vector<Cell> cells(300, Cell{5, 5});
  cells[299] = Cell{10, 0};
  std::vector<std::uint8_t> visible(80);
  std::vector<std::uint8_t> explored(80);
  std::vector<std::uint8_t> short_map(79);
  Error error;

  EXPECT_FALSE(fog.update(view, cells, 10, 8, map.opaque, visible, explored, Walls::kSeen, error));
  EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
  EXPECT_NE(error.message.find("viewer 299 at (10,0)"), std::string::npos) << error.message;
  EXPECT_EQ(std::count(visible.begin(), visible.end(), 1), 0);
  EXPECT_EQ(std::count(explored.begin(), explored.end(), 1), 0);

  cells[299] = Cell{9, 7};
  EXPECT_THROW(fog.update(view, cells, 10, 8, map.opaque, short_map), std::invalid_argument);
  EXPECT_THROW(fog.update(view, cells, 10, 8, map.opaque, visible, short_map),
               std::invalid_argument);
  EXPECT_THROW(fog.update(view, cells, 10, 8, short_map, visible), std::invalid_argument);
  EXPECT_THROW(fog.update(view, cells, 0, 8, map.opaque, visible), std::invalid_argument);

  // Radii it does not have, the first viewer's among them.
  for (const auto& [at, radius] : {std::pair{150, 5}, std::pair{0, 0}, std::pair{299, -1}}) {
    std::vector<Viewer> viewers(300, Viewer{{5, 5}, 4});
    viewers[static_cast<std::size_t>(at)].radius = radius;
    EXPECT_FALSE(fog.update(sight, viewers, 10, 8, map.opaque, visible, {}, Walls::kSeen, error));
    EXPECT_NE(error.message.find("no radius " + std::to_string(radius)), std::string::npos)
        << error.message;
    EXPECT_EQ(std::count(visible.begin(), visible.end(), 1), 0);
  }

  EXPECT_THROW(FogOfWar(-1), std::invalid_argument);
  EXPECT_FALSE(FogOfWar::make(FogOfWar::kMostThreads + 1, error));
  EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
  // 0: a thread per core, at least one.
  EXPECT_GE(FogOfWar(0).threads(), 1);
}

// Updates of one FogOfWar from two threads at once take turns: each gets
// its own union of views, and neither waits for ever on threads that the
// other's update took.
TEST(FogOfWar, UpdatesFromTwoThreadsAtOnceTakeTurns) {
  const Map map = random_map(60, 50, 0.15, 9);
  const FieldOfView view(make_table(6));
  FogOfWar fog(2);
  // Enough viewers that each update is shared with the FogOfWar's thread.
  const std::vector<Cell> cells[] = {cells_of(random_viewers(map, 400, 6, 10)),
                                     cells_of(random_viewers(map, 300, 6, 11))};
  std::vector<std::uint8_t> expected[2];
  for (int caller = 0; caller < 2; ++caller) {
    expected[caller].assign(map.opaque.size(), 0);
    FogOfWar(1).update(view, cells[caller], map.width, map.height, map.opaque,
                       expected[caller]);
  }
  int mismatches[2] = {0, 0};
  auto run = [&](int caller) {
    for (int round = 0; round < 200; ++round) {
      std::vector<std::uint8_t> visible(map.opaque.size());
      fog.update(view, cells[caller], map.width, map.height, map.opaque, visible);
      if (visible != expected[caller]) ++mismatches[caller];
    }
  };
  std::thread other(run, 1);
  run(0);
  other.join();
  EXPECT_EQ(mismatches[0], 0);
  EXPECT_EQ(mismatches[1], 0);

  // Maps that share bytes are refused before a byte is written.
  std::vector<std::uint8_t> maps(2 * map.opaque.size(), 0);
  const std::span<std::uint8_t> visible(maps.data(), map.opaque.size());
  const std::span<std::uint8_t> shifted(maps.data() + 1, map.opaque.size());
  EXPECT_THROW(fog.update(view, cells[0], map.width, map.height, visible, visible),
               std::invalid_argument);
  EXPECT_THROW(fog.update(view, cells[0], map.width, map.height, map.opaque, visible, shifted),
               std::invalid_argument);
  EXPECT_EQ(std::count(maps.begin(), maps.end(), 1), 0);
}

TEST(FogOfWar, MovesWithItsThreads) {
  const Map map = random_map(30, 30, 0.1, 4);
  const FieldOfView view(make_table(5));
  std::vector<Cell> cells(400, Cell{15, 15});
  FogOfWar fog(FogOfWar(2));
  FogOfWar other(1);
  other = std::move(fog);
  std::vector<std::uint8_t> visible(900);
  other.update(view, cells, 30, 30, map.opaque, visible);
  std::vector<std::uint8_t> alone(900);
  view.mark(Cell{15, 15}, 30, 30, std::span<const std::uint8_t>(map.opaque), alone);
  EXPECT_EQ(visible, alone);
  EXPECT_EQ(other.threads(), 2);
}

}  // namespace
}  // namespace vantrel

// Views of every radius from one Sight against the FieldOfView of each
// radius's own table, and radii built by several threads at once.
#include "vantrel/sight.h"

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "table_file_bytes.h"
#include "vantrel/line_of_sight.h"
#include "view_reference.h"

namespace vantrel {
namespace {

// The view of radius r from a Sight, against FieldOfView(make_table(r)).
void expect_views_of_each_radius(const Sight& sight, int largest) {
  for (int radius = 1; radius <= largest; ++radius) {
    SCOPED_TRACE("radius " + std::to_string(radius));
    const Table table = make_table(radius);
    const FieldOfView own(table);
    const Map map = random_map(2 * largest + 3, 2 * largest + 1, 0.25,
                               static_cast<std::uint32_t>(radius));
    for (const Cell viewer : {Cell{largest, largest}, Cell{0, 1}, Cell{2 * largest + 2, 3}}) {
      std::vector<std::uint8_t> expected(map.opaque.size());
      own.compute(viewer, map.width, map.height, std::span(map.opaque), expected);
      std::vector<std::uint8_t> view(map.opaque.size());
      sight.field_of_view(radius).compute(viewer, map.width, map.height, std::span(map.opaque),
                                          view);
      ASSERT_EQ(view, expected);
      const LineOfSight& line = sight.line_of_sight(radius);
      for (std::size_t at = 0; at < view.size(); ++at) {
        const Cell target{static_cast<int>(at % static_cast<std::size_t>(map.width)),
                          static_cast<int>(at / static_cast<std::size_t>(map.width))};
        ASSERT_EQ(line.sees(viewer, target, map.width, map.height, std::span(map.opaque)),
                  view[at] != 0);
      }
    }
  }
}

TEST(Sight, EachRadiusIsTheViewOfItsOwnTable) {
  const int largest = 14;
  const Sight sight(largest);
  EXPECT_EQ(sight.largest_radius(), largest);
  expect_views_of_each_radius(sight, largest);

  // The same from a table file, whose tables are make_table's.
  TableFile file = TableFile::from_bytes(table_file_bytes(largest));
  Error error;
  const std::optional<Sight> from_file = Sight::make(file, error);
  ASSERT_TRUE(from_file) << error.message;
  EXPECT_EQ(from_file->largest_radius(), largest);
  expect_views_of_each_radius(*from_file, largest);

  // Not table 14 cut short: radius 5 sees less far, and along other lines.
  const Map open{29, 29, std::vector<std::uint8_t>(29 * 29)};
  std::vector<std::uint8_t> five(open.opaque.size());
  sight.field_of_view(5).compute({14, 14}, 29, 29, std::span(open.opaque), five);
  EXPECT_EQ(five, reference_view(make_table(5), open, {14, 14}));
}

TEST(Sight, RefusesRadiiItDoesNotHave) {
  EXPECT_THROW(Sight(0), std::invalid_argument);
  EXPECT_THROW(Sight(FieldOfView::kLargestViewRadius + 1), std::invalid_argument);
  Error error;
  EXPECT_FALSE(Sight::make(-3, error));
  EXPECT_EQ(error.code, Error::Code::kInvalidArgument);

  const Sight sight(6);
  for (const int radius : {0, -1, 7, 1000}) {
    SCOPED_TRACE(radius);
    EXPECT_FALSE(sight.has_radius(radius));
    EXPECT_THROW(sight.prepare(radius), std::invalid_argument);
    EXPECT_THROW(sight.field_of_view(radius), std::invalid_argument);
    EXPECT_THROW(sight.line_of_sight(radius), std::invalid_argument);
    EXPECT_FALSE(sight.prepare(radius, error));
    EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
    EXPECT_EQ(sight.field_of_view(radius, error), nullptr);
    EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
    EXPECT_EQ(sight.line_of_sight(radius, error), nullptr);
    EXPECT_EQ(error.code, Error::Code::kInvalidArgument);
  }
  EXPECT_TRUE(sight.prepare(6, error));
  EXPECT_FALSE(error);
  EXPECT_EQ(sight.field_of_view(6, error), &sight.field_of_view(6));
  EXPECT_EQ(sight.line_of_sight(6, error), &sight.line_of_sight(6));

  // A file has the radii of its tables only.
  TableFile file = TableFile::from_bytes(
      "[TABLEINFO]\n{\nnumtables=2;\n}\n\n[Table1]\n{\n\tnumlines=1;\n\tline1=1,0,1;\n}\n\n"
      "[Table3]\n{\n\tnumlines=4;\n\tline1=2,1,1,2,2;\n\tline2=2,1,1,2,1;\n"
      "\tline3=3,0,1,1,2,1,3;\n\tline4=3,0,1,0,2,0,3;\n}\n");
  const Sight from_file(file);
  EXPECT_EQ(from_file.largest_radius(), 3);
  EXPECT_TRUE(from_file.has_radius(1));
  EXPECT_FALSE(from_file.has_radius(2));
  EXPECT_TRUE(from_file.has_radius(3));
  EXPECT_THROW(from_file.field_of_view(2), std::invalid_argument);
  EXPECT_EQ(from_file.field_of_view(3).radius(), 3);
}

// Threads asking for radii none has built yet, all at once (run under
// ThreadSanitizer in CI): each gets the views one thread computes alone.
TEST(Sight, ThreadsMayBuildRadiiAtOnce) {
  const int largest = 16;
  const Map map = random_map(2 * largest + 1, 2 * largest + 1, 0.2, 7);
  const Cell viewer{largest, largest};
  std::vector<std::vector<std::uint8_t>> expected;
  for (int radius = 1; radius <= largest; ++radius) {
    expected.emplace_back(map.opaque.size());
    FieldOfView(make_table(radius))
        .compute(viewer, map.width, map.height, std::span(map.opaque), expected.back());
  }
  const Sight sight(largest);
  constexpr std::size_t kThreads = 4;
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<std::uint8_t> view(map.opaque.size());
      for (int k = 0; k < largest; ++k) {
        // Half of the threads from the smallest radius up, half from the
        // largest down, so that first uses meet.
        const int radius = t % 2 == 0 ? k + 1 : largest - k;
        sight.field_of_view(radius).compute(viewer, map.width, map.height,
                                            std::span(map.opaque), view);
        if (view != expected[static_cast<std::size_t>(radius - 1)]) ++wrong[t];
        const Cell target{viewer.x + radius / 2, viewer.y - radius / 3};
        const bool seen =
            expected[static_cast<std::size_t>(radius - 1)]
                    [static_cast<std::size_t>(target.y * map.width + target.x)] != 0;
        if (sight.line_of_sight(radius).sees(viewer, target, map.width, map.height,
                                             std::span(map.opaque)) != seen) {
          ++wrong[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
}

}  // namespace
}  // namespace vantrel

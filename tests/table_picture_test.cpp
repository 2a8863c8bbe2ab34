// Pictures of tables: what they say of the table, which lines they hold,
// and what they mark. Tables come from vantrel's own bytes, read back as
// vantrel-inspect reads them, or are made by hand to show a fault.
#include "inspect/table_picture.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <set>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "losfile/table_builder.h"
#include "memory_sink.h"

namespace vantrel {
namespace {

// Table `radius` as vantrel writes it, read back.
TableLines table_of(std::int32_t radius) {
  std::string bytes;
  {
    TableStream stream;
    attach_memory(stream, &bytes);
    TableBuilder(stream).build(radius);
    stream.close();
  }
  MemorySource source(bytes);
  TableLines table;
  EXPECT_EQ(read_table_lines(source, radius, table).outcome, ReadTableLinesResult::Outcome::kRead);
  return table;
}

// The picture of `table`, whole.
std::string draw_table(const TableLines& table, const PictureOptions& options) {
  std::string svg;
  MemorySink sink(&svg);
  SvgWriter writer(sink);
  vantrel::draw_table(table, options, writer);
  EXPECT_EQ(writer.flush(), 0);
  EXPECT_EQ(writer.bytes(), svg.size());
  return svg;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++count;
  return count;
}

TEST(TablePicture, SaysWhatItShowsAndNamesEveryLine) {
  const TableLines table = table_of(12);
  const std::string svg = draw_table(table, {.file_name = "LOS.TDF"});
  EXPECT_NE(svg.find(">Table 12 of LOS.TDF</text>"), std::string::npos);
  EXPECT_NE(svg.find(">radius 12, 20 lines</text>"), std::string::npos);
  EXPECT_NE(svg.find(" cell</text>"), std::string::npos);  // the scale
  // Each line once as a polyline and once at its endpoint, with the
  // line's number, endpoint and length; and each endpoint labelled.
  EXPECT_EQ(occurrences(svg, "<polyline "), 20u);
  EXPECT_NE(svg.find("<title>line 20: to (0,12), 12 cells</title></polyline>"), std::string::npos);
  EXPECT_NE(svg.find("<title>line 20: to (0,12), 12 cells</title></circle>"), std::string::npos);
  EXPECT_NE(svg.find("<g class=\"line-numbers\""), std::string::npos);
  EXPECT_NE(svg.find("\">20</text>\n</g>"), std::string::npos);

  // Too many lines for labels that could be read.
  const std::string large = draw_table(table_of(100), {.file_name = "LOS.TDF"});
  EXPECT_EQ(large.find("line-numbers"), std::string::npos);
}

TEST(TablePicture, AWindowHoldsOnlyTheLinesThatPassThroughIt) {
  const TableLines table = table_of(50);
  const CellWindow window{40, 0, 49, 9};
  const std::string svg = draw_table(table, {.file_name = "x", .window = window});
  EXPECT_NE(svg.find("radius 50, 95 lines; cells (40,0) to (49,9)"), std::string::npos);
  EXPECT_NE(svg.find("<clipPath id=\"window\"><rect x=\"40\" y=\"0\" width=\"10\" height=\"10\"/>"),
            std::string::npos);
  // Lines with a cell in the window are drawn; lines that come no nearer
  // than two cells are not.
  auto near = [&](const TableLine& line, int margin) {
    return std::any_of(line.points.begin(), line.points.end(), [&](const Cell& c) {
      return c.x >= window.x0 - margin && c.x <= window.x1 + margin &&
             c.y >= window.y0 - margin && c.y <= window.y1 + margin;
    });
  };
  std::size_t inside = 0;
  std::size_t far = 0;
  for (const TableLine& line : table.lines) {
    const bool drawn = svg.find("<title>line " + std::to_string(line.number) + ":") != std::string::npos;
    if (near(line, 0)) {
      EXPECT_TRUE(drawn) << line.number;
    }
    if (!near(line, 2)) {
      EXPECT_FALSE(drawn) << line.number;
    }
    inside += near(line, 0);
    far += !near(line, 2);
  }
  EXPECT_GT(inside, 0u);
  EXPECT_GT(far, 0u);
}

TEST(TablePicture, TheCoverageViewCountsTheCellsTheLinesReach) {
  for (const std::int32_t radius : {3, 12, 40}) {
    SCOPED_TRACE(radius);
    const TableLines table = table_of(radius);
    // The cells the sweep looks at: up to the nearest whole number to
    // sqrt(radius^2 - i^2) at i from the nearer axis.
    std::set<std::pair<int, int>> within;
    for (int i = 0; i <= radius; ++i) {
      const int last = static_cast<int>(std::sqrt(radius * radius - i * i) + 0.5);
      for (int j = i; j <= last; ++j) {
        within.insert({i, j});
        within.insert({j, i});
      }
    }
    std::set<std::pair<int, int>> reached{{0, 0}};
    for (const TableLine& line : table.lines) {
      for (const Cell& c : line.points) {
        EXPECT_TRUE(within.count({c.x, c.y})) << c.x << "," << c.y;
        reached.insert({c.x, c.y});
      }
    }
    const std::string svg = draw_table(table, {.file_name = "x", .cells = true});
    EXPECT_NE(svg.find(std::to_string(reached.size()) + " of " + std::to_string(within.size()) +
                       " cells within the radius reached"),
              std::string::npos);
    EXPECT_EQ(svg.find("<polyline "), std::string::npos);
  }
}

TEST(TablePicture, MarksAndWarnsOfWhatVantrelNeverWrites) {
  // Line 2 jumps from (1,0) to (9,0) and back; lines 2 and 3 stand in
  // each other's place.
  TableLines table;
  table.radius = 10;
  table.lines = {{1, {{1, 1}, {2, 2}}}, {3, {{0, 1}}}, {2, {{1, 0}, {9, 0}, {2, 0}}}};
  EXPECT_EQ(table_warnings(table),
            (std::vector<std::string>{
                "Table 10, line 3 stands where line 2 belongs",
                "Table 10, line 2 stands where line 3 belongs",
                "Table 10, line 2: the step from (1,0) to (9,0) is not to a neighbouring cell",
                "Table 10, line 2: the step from (9,0) to (2,0) is not to a neighbouring cell",
            }));
  const std::string svg = draw_table(table, {.file_name = "x"});
  EXPECT_EQ(occurrences(svg, "stroke=\"#d00\""), 2u);
  EXPECT_NE(svg.find("<title>line 2: a step from (1,0) to (9,0), not to a neighbouring cell"),
            std::string::npos);
  EXPECT_TRUE(table_warnings(table_of(12)).empty());
}

}  // namespace
}  // namespace vantrel

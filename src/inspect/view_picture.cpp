#include "inspect/view_picture.h"

#include <algorithm>
#include <cstring>

#include "inspect/svg_text.h"
#include "lib/cell.h"
#include "lib/shown_text.h"

namespace vantrel {
namespace {

// The heading's words for the walls of a view; none for the default.
const char* walls_text(Walls walls, std::size_t viewers) {
  switch (walls) {
    case Walls::kUnseen:
      return "; walls out of view";
    case Walls::kFacing:
      return viewers == 1 ? "; walls facing the viewer" : "; walls facing the viewers";
    case Walls::kSeen:
      break;
  }
  return "";
}

// The heading's words for a cone; none without one.
std::string cone_text(const std::optional<Cone>& cone) {
  if (!cone) return "";
  return "; a cone of " + number_text(cone->width) + " degrees about " +
         number_text(cone->direction);
}

}  // namespace

ReadMapResult read_text_map(ByteSource& file, TextMap& map) {
  ReadMapResult result;
  map = TextMap{};
  std::string row;
  int line = 0;
  // Ends the row read so far; false when the map is not one.
  auto end_row = [&] {
    ++line;
    if (!row.empty() && row.back() == '\r') row.pop_back();
    if (row.empty()) {
      result.problem = "line " + std::to_string(line) + " is empty";
      return false;
    }
    const std::size_t odd = row.find_first_not_of("#.");
    if (odd != std::string::npos) {
      result.problem = "line " + std::to_string(line) + ", cell " + std::to_string(odd + 1) +
                       ": '" + shown(row.substr(odd, 1)) + "' where '#' or '.' belongs";
      return false;
    }
    if (map.height == 0) map.width = static_cast<int>(row.size());
    if (static_cast<int>(row.size()) != map.width) {
      result.problem = "line " + std::to_string(line) + " has " + std::to_string(row.size()) +
                       " cells, line 1 has " + std::to_string(map.width);
      return false;
    }
    if (map.height == kLargestMapSide) {
      result.problem = "the map has more than " + std::to_string(kLargestMapSide) + " rows";
      return false;
    }
    for (const char c : row) map.opaque.push_back(c == '#' ? 1 : 0);
    ++map.height;
    row.clear();
    return true;
  };
  char chunk[1 << 14];
  for (;;) {
    const long got = file.read(chunk, sizeof chunk, result.error_number);
    if (got < 0) return result;
    if (got == 0) break;
    for (const char c : std::string_view(chunk, static_cast<std::size_t>(got))) {
      if (c == '\n') {
        if (!end_row()) return result;
        continue;
      }
      if (row.size() >= kLargestMapSide + (c == '\r' ? 1u : 0u)) {
        result.problem = "line " + std::to_string(line + 1) + " has more than " +
                         std::to_string(kLargestMapSide) + " cells";
        return result;
      }
      row += c;
    }
  }
  if (!row.empty() && !end_row()) return result;
  if (map.height == 0) {
    result.problem = "the map is empty";
    return result;
  }
  result.read = true;
  return result;
}

void draw_view(const TextMap& map, const std::vector<std::uint8_t>& in_view,
               const ViewPicture& picture, SvgWriter& svg) {
  constexpr const char* kClearSeen = "#ffe98a";
  constexpr const char* kClearUnseen = "#d4d4d4";
  constexpr const char* kWallSeen = "#8c5a2b";
  constexpr const char* kWallUnseen = "#3a3a3a";
  const CellWindow window =
      picture.window.value_or(CellWindow{0, 0, map.width - 1, map.height - 1});
  const int columns = window.x1 - window.x0 + 1;
  const int rows = window.y1 - window.y0 + 1;
  const int span = std::max(columns, rows);
  const double cell = std::clamp(800.0 / span, 1.0, 32.0);
  // The axes' numbers, in type of 10 pixels, a digit 6.5 pixels or less
  // wide: a column's number every `column_step` columns, so that the
  // widest, with a gap, fits between two; a row's every `row_step` rows,
  // 12 pixels or more apart.
  const int digits = static_cast<int>(std::to_string(std::max(window.x1, window.y1)).size());
  const std::int64_t column_step = round_number_from((6.5 * digits + 4) / cell);
  const std::int64_t row_step = round_number_from(12 / cell);
  const double left = 20 + 6.5 * digits;
  const double top = 78;
  const double width = std::max(left + cell * columns + 16, 580.0);
  const double height = top + cell * rows + 40;
  const std::size_t seen = static_cast<std::size_t>(std::count(in_view.begin(), in_view.end(), 1));

  auto add = [&svg](const auto&... parts) { svg.add(parts...); };
  const std::vector<Cell>& viewers = picture.viewers;
  const std::string viewer_text =
      viewers.size() == 1 ? cell_text(viewers[0].x, viewers[0].y)
                          : std::to_string(viewers.size()) + " viewers";
  add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  add("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"", number_text(width), "\" height=\"",
      number_text(height), "\" viewBox=\"0 0 ", number_text(width), " ", number_text(height),
      "\" font-family=\"sans-serif\" font-size=\"12\">\n<title>The view from ", viewer_text,
      " on ");
  svg.add_xml_text(picture.map_name);
  add("</title>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n");
  add("<text x=\"12\" y=\"24\" font-size=\"16\" font-weight=\"bold\">The view from ",
      viewer_text, " on ");
  svg.add_xml_text(picture.map_name);
  add("</text>\n<text x=\"12\" y=\"44\" fill=\"#333\">", std::to_string(map.width), " x ",
      std::to_string(map.height), " cells; lines of table ", std::to_string(picture.radius),
      picture.symmetric ? ", symmetric" : "", walls_text(picture.walls, picture.viewers.size()),
      cone_text(picture.cone),
      "; ", std::to_string(seen),
      seen == 1 ? " cell" : " cells", " in view");
  if (picture.window) {
    add("; cells ", cell_text(window.x0, window.y0), " to ", cell_text(window.x1, window.y1));
  }
  add("</text>\n");

  // The axes' numbers: the columns' above the map, the rows' to its left.
  // A window too narrow to hold a multiple of the step has its first cell
  // numbered, so that no axis goes without.
  auto first_number = [](std::int64_t from, std::int64_t to, std::int64_t step) {
    const std::int64_t multiple = (from + step - 1) / step * step;
    return multiple <= to ? multiple : from;
  };
  add("<g fill=\"#555\" font-size=\"10\" text-anchor=\"middle\">\n");
  for (std::int64_t x = first_number(window.x0, window.x1, column_step); x <= window.x1;
       x += column_step) {
    add("<text x=\"", number_text(left + (static_cast<double>(x - window.x0) + 0.5) * cell),
        "\" y=\"", number_text(top - 5), "\">", std::to_string(x), "</text>\n");
  }
  add("</g>\n<g fill=\"#555\" font-size=\"10\" text-anchor=\"end\">\n");
  for (std::int64_t y = first_number(window.y0, window.y1, row_step); y <= window.y1;
       y += row_step) {
    add("<text x=\"", number_text(left - 4), "\" y=\"",
        number_text(top + (static_cast<double>(y - window.y0) + 0.5) * cell + 3.5), "\">",
        std::to_string(y), "</text>\n");
  }
  add("</g>\n");

  // The map in cells, row 0 at the top: runs of cells alike, row by row.
  add("<g transform=\"translate(", number_text(left), " ", number_text(top), ") scale(",
      number_text(cell), ")");
  if (picture.window) {
    add(" translate(", std::to_string(-window.x0), " ", std::to_string(-window.y0), ")");
  }
  add("\" shape-rendering=\"crispEdges\">\n");
  for (int y = window.y0; y <= window.y1; ++y) {
    auto colour_of = [&](int x) {
      const bool wall = map.is_opaque(x, y);
      const bool lit = in_view[static_cast<std::size_t>(y) * static_cast<std::size_t>(map.width) +
                               static_cast<std::size_t>(x)] != 0;
      return wall ? (lit ? kWallSeen : kWallUnseen) : (lit ? kClearSeen : kClearUnseen);
    };
    for (int x = window.x0; x <= window.x1;) {
      const char* const colour = colour_of(x);
      int end = x + 1;
      while (end <= window.x1 && colour_of(end) == colour) ++end;
      add("<rect x=\"", std::to_string(x), "\" y=\"", std::to_string(y), "\" width=\"",
          std::to_string(end - x), "\" height=\"1\" fill=\"", colour, "\"/>\n");
      x = end;
    }
  }
  for (const Cell& viewer : viewers) {
    if (viewer.x < window.x0 || viewer.x > window.x1 || viewer.y < window.y0 ||
        viewer.y > window.y1) {
      continue;
    }
    add("<circle cx=\"", number_text(viewer.x + 0.5), "\" cy=\"", number_text(viewer.y + 0.5),
        "\" r=\"0.35\" fill=\"#d00\"><title>", viewers.size() == 1 ? "the" : "a",
        " viewer, ", cell_text(viewer.x, viewer.y), "</title></circle>\n");
  }
  add("</g>\n");

  // The legend.
  const double y = top + cell * rows + 14;
  double x = left;
  add("<g fill=\"#333\">\n");
  const struct {
    const char* colour;
    const char* words;
  } kKeys[] = {{kClearSeen, "in view"}, {kWallSeen, "wall in view"},
               {kClearUnseen, "out of view"}, {kWallUnseen, "wall out of view"}};
  for (const auto& key : kKeys) {
    add("<rect x=\"", number_text(x), "\" y=\"", number_text(y), "\" width=\"14\" height=\"12\" fill=\"",
        key.colour, "\"/>\n<text x=\"", number_text(x + 20), "\" y=\"", number_text(y + 10),
        "\">", key.words, "</text>\n");
    x += 20 + 8 * static_cast<double>(std::strlen(key.words)) + 16;
  }
  add("</g>\n</svg>\n");
}

}  // namespace vantrel

#include "inspect/table_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "inspect/svg_text.h"

namespace vantrel {

namespace {

// Shades of the coverage view, lightest first: a cell's shade grows with
// the logarithm of the number of lines through it.
constexpr const char* kShades[] = {"#deebf7", "#c6dbef", "#9ecae1", "#6baed6",
                                   "#4292c6", "#2171b5", "#08519c", "#08306b"};
constexpr const char* kUnreached = "#f16913";
constexpr int kShadeCount = static_cast<int>(std::size(kShades));

// Colours that tell neighbouring lines apart.
constexpr const char* kColours[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd",
                                    "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};

// The number of lines through each cell of a window, row by row from y0.
struct Coverage {
  std::vector<std::uint32_t> counts;
  std::uint32_t most = 0;
  std::int64_t within = 0;   // cells within the radius
  std::int64_t reached = 0;  // of them, cells some line passes through
};

bool inside(const CellWindow& window, std::int64_t x, std::int64_t y) {
  return x >= window.x0 && x <= window.x1 && y >= window.y0 && y <= window.y1;
}

// True for the cells that the sweep of a table of `radius` may take as
// endpoints, and the cells before them: at i cells from one axis and j >= i
// from the other, those with j no more than the nearest whole number to
// sqrt(radius^2 - i^2), that is, i^2 + (j - 1/2)^2 <= radius^2.
bool within_radius(std::int64_t x, std::int64_t y, std::int64_t radius) {
  if (x < 0 || y < 0) return false;
  const std::int64_t i = std::min(x, y);
  const std::int64_t j = std::max(x, y);
  return j == 0 || 4 * i * i + (2 * j - 1) * (2 * j - 1) <= 4 * radius * radius;
}

Coverage coverage_of(const TableLines& table, const CellWindow& window) {
  const auto columns = static_cast<std::size_t>(std::int64_t{window.x1} - window.x0 + 1);
  const auto rows = static_cast<std::size_t>(std::int64_t{window.y1} - window.y0 + 1);
  Coverage coverage;
  coverage.counts.assign(columns * rows, 0);
  auto count = [&](const Cell& c) {
    if (!inside(window, c.x, c.y)) return;
    const std::size_t at = static_cast<std::size_t>(c.y - window.y0) * columns +
                           static_cast<std::size_t>(c.x - window.x0);
    coverage.most = std::max(coverage.most, ++coverage.counts[at]);
  };
  for (const TableLine& line : table.lines) {
    count({0, 0});
    for (const Cell& c : line.points) count(c);
  }
  for (std::size_t row = 0; row < rows; ++row) {
    for (std::size_t column = 0; column < columns; ++column) {
      if (!within_radius(window.x0 + static_cast<std::int64_t>(column),
                         window.y0 + static_cast<std::int64_t>(row), table.radius)) {
        continue;
      }
      ++coverage.within;
      if (coverage.counts[row * columns + column] > 0) ++coverage.reached;
    }
  }
  return coverage;
}

int shade_of(std::uint32_t count, std::uint32_t most) {
  if (most <= 1) return 0;
  const double share = std::log(static_cast<double>(count)) / std::log(static_cast<double>(most));
  return std::min(kShadeCount - 1, static_cast<int>(share * kShadeCount));
}

// True when the step from `a` to `b` may show in `window`.
bool step_shows(const Cell& a, const Cell& b, const CellWindow& window) {
  return std::max(a.x, b.x) >= std::int64_t{window.x0} - 1 &&
         std::min(a.x, b.x) <= std::int64_t{window.x1} + 1 &&
         std::max(a.y, b.y) >= std::int64_t{window.y0} - 1 &&
         std::min(a.y, b.y) <= std::int64_t{window.y1} + 1;
}

bool line_shows(const TableLine& line, const CellWindow& window) {
  Cell from{0, 0};
  for (const Cell& to : line.points) {
    if (step_shows(from, to, window)) return true;
    from = to;
  }
  return false;
}

}  // namespace

void draw_table(const TableLines& table, const PictureOptions& options, SvgWriter& svg) {
  const CellWindow window =
      options.window.value_or(CellWindow{0, 0, table.radius, table.radius});
  const std::int64_t columns = std::int64_t{window.x1} - window.x0 + 1;
  const std::int64_t rows = std::int64_t{window.y1} - window.y0 + 1;
  const std::int64_t span = std::max(columns, rows);
  // Pixels per cell: about 800 pixels across, at least 2 and at most 48 per
  // cell.
  const double cell = std::clamp(800.0 / static_cast<double>(span), 2.0, 48.0);
  const double left = 56;
  const double top = 72;
  const double plot_width = cell * static_cast<double>(columns);
  const double plot_height = cell * static_cast<double>(rows);
  const double bottom = top + plot_height;
  const Coverage coverage = options.cells ? coverage_of(table, window) : Coverage{};
  const std::string table_name = "Table " + std::to_string(table.radius);
  const std::string_view heading_end = options.cells ? ": cells the lines cover" : "";
  // The heading: what the picture shows, and of which part.
  std::string about = "radius " + std::to_string(table.radius) + ", " +
                      std::to_string(table.lines.size()) +
                      (table.lines.size() == 1 ? " line" : " lines");
  if (options.window) {
    about += "; cells " + cell_text(window.x0, window.y0) + " to " +
             cell_text(window.x1, window.y1);
  }
  if (options.cells) {
    about += "; " + std::to_string(coverage.reached) + " of " +
             std::to_string(coverage.within) + " cells within the radius reached";
  }
  // Wide enough for the drawing, the heading (about 10 and 7 pixels a
  // character) beside the scale, and the legend of the coverage view.
  const double heading_width =
      std::max(9.5 * static_cast<double>(table_name.size() + 4 + options.file_name.size() +
                                         heading_end.size()),
               7.0 * static_cast<double>(about.size()) + 130);
  const double width = std::max({left + plot_width + 24, 24 + heading_width,
                                 options.cells ? left + 520 : 0.0, 460.0});
  const double height = bottom + (options.cells ? 72 : 44);
  const double stroke = std::max(1.0 / cell, 0.08);
  // Labels every 1, 2, 5, 10, 20, 50, ... cells, ten or so in all.
  const std::int64_t step = round_number_from(static_cast<double>(span) / 10);
  // Where the centre of cell (x, y) lies in the picture.
  auto pixel_x = [&](std::int64_t x) {
    return left + (static_cast<double>(x - window.x0) + 0.5) * cell;
  };
  auto pixel_y = [&](std::int64_t y) {
    return bottom - (static_cast<double>(y - window.y0) + 0.5) * cell;
  };

  auto add = [&svg](const auto&... parts) { svg.add(parts...); };
  add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  add("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"", number_text(width),
      "\" height=\"", number_text(height), "\" viewBox=\"0 0 ", number_text(width), " ",
      number_text(height), "\" font-family=\"sans-serif\" font-size=\"12\">\n");

  add("<title>", table_name, " of ");
  svg.add_xml_text(options.file_name);
  add(options.cells ? ": cells the lines cover" : ": its lines", "</title>\n");
  add("<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n");
  add("<text x=\"12\" y=\"24\" font-size=\"16\" font-weight=\"bold\">", table_name, " of ");
  svg.add_xml_text(options.file_name);
  add(heading_end, "</text>\n");
  add("<text x=\"12\" y=\"44\" fill=\"#333\">", about, "</text>\n");
  // A scale: a bar of a round number of cells, 40 pixels or more.
  const std::int64_t scale = round_number_from(40 / cell);
  const double scale_right = width - 16;
  const double scale_left = scale_right - static_cast<double>(scale) * cell;
  add("<g stroke=\"#333\" fill=\"none\"><path d=\"M", number_text(scale_left), " 54v6H",
      number_text(scale_right), "v-6\"/></g>\n");
  add("<text x=\"", number_text(scale_right), "\" y=\"48\" text-anchor=\"end\" fill=\"#333\">",
      std::to_string(scale), scale == 1 ? " cell" : " cells", "</text>\n");

  // Axis labels, outside the flipped drawing so that their text reads
  // upright.
  add("<g fill=\"#333\">\n");
  auto first_label = [&](std::int64_t from) {
    return from <= 0 ? -(-from / step) * step : (from + step - 1) / step * step;
  };
  for (std::int64_t x = first_label(window.x0); x <= window.x1; x += step) {
    add("<text x=\"", number_text(pixel_x(x)), "\" y=\"", number_text(bottom + 16),
        "\" text-anchor=\"middle\">", std::to_string(x), "</text>\n");
  }
  for (std::int64_t y = first_label(window.y0); y <= window.y1; y += step) {
    add("<text x=\"", number_text(left - 6), "\" y=\"", number_text(pixel_y(y) + 4),
        "\" text-anchor=\"end\">", std::to_string(y), "</text>\n");
  }
  add("<text x=\"", number_text(left + plot_width / 2), "\" y=\"", number_text(bottom + 36),
      "\" text-anchor=\"middle\">x</text>\n");
  add("<text x=\"16\" y=\"", number_text(top + plot_height / 2),
      "\" text-anchor=\"middle\">y</text>\n</g>\n");

  // The drawing, in cells: x to the right, y up, cell (x, y) from x to
  // x + 1 and y to y + 1; clipped to the window.
  const std::string x0 = std::to_string(window.x0);
  const std::string y0 = std::to_string(window.y0);
  const std::string columns_text = std::to_string(columns);
  const std::string rows_text = std::to_string(rows);
  add("<g transform=\"translate(", number_text(left), " ", number_text(bottom), ") scale(",
      number_text(cell), " ", number_text(-cell), ") translate(", std::to_string(-std::int64_t{window.x0}), " ",
      std::to_string(-std::int64_t{window.y0}), ")\">\n");
  add("<clipPath id=\"window\"><rect x=\"", x0, "\" y=\"", y0, "\" width=\"", columns_text,
      "\" height=\"", rows_text, "\"/></clipPath>\n");
  add("<g clip-path=\"url(#window)\">\n");

  if (options.cells) {
    // Each row in runs of cells of one shade.
    const auto row_size = static_cast<std::size_t>(columns);
    for (std::int64_t row = 0; row < rows; ++row) {
      const std::int64_t y = window.y0 + row;
      auto class_of = [&](std::int64_t column) {
        const std::uint32_t count =
            coverage.counts[static_cast<std::size_t>(row) * row_size + static_cast<std::size_t>(column)];
        if (count > 0) return shade_of(count, coverage.most);
        return within_radius(window.x0 + column, y, table.radius) ? -1 : -2;
      };
      for (std::int64_t column = 0; column < columns;) {
        const int shade = class_of(column);
        std::int64_t end = column + 1;
        while (end < columns && class_of(end) == shade) ++end;
        if (shade != -2) {
          add("<rect x=\"", std::to_string(window.x0 + column), "\" y=\"", std::to_string(y),
              "\" width=\"", std::to_string(end - column), "\" height=\"1\" fill=\"",
              shade == -1 ? kUnreached : kShades[shade], "\"/>\n");
        }
        column = end;
      }
    }
  }

  add("<path d=\"");
  const std::int64_t grid_step = span <= 100 ? 1 : step;
  for (std::int64_t x = first_label(window.x0); x <= std::int64_t{window.x1} + 1; x += grid_step) {
    add("M", std::to_string(x), " ", y0, "v", rows_text);
  }
  for (std::int64_t y = first_label(window.y0); y <= std::int64_t{window.y1} + 1; y += grid_step) {
    add("M", x0, " ", std::to_string(y), "h", columns_text);
  }
  add("\" fill=\"none\" stroke=\"", options.cells ? "#fff" : "#e0e0e0",
      "\" stroke-width=\"", number_text(stroke / 2), "\"/>\n");

  // Cell centres lie on whole numbers from here on.
  add("<g transform=\"translate(0.5 0.5)\" fill=\"none\" stroke-width=\"",
      number_text(stroke), "\" stroke-linejoin=\"round\" stroke-linecap=\"round\">\n");
  // The radius, around the origin cell's centre.
  const std::string radius_text = std::to_string(table.radius);
  add("<path d=\"M", radius_text, " 0A", radius_text, " ", radius_text, " 0 0 1 0 ",
      radius_text, "\" stroke=\"#999\" stroke-dasharray=\"", number_text(4 * stroke), " ",
      number_text(4 * stroke), "\"/>\n");
  // A line's points from the origin, as far as its steps may show in the
  // window: a line far longer than the window costs no more than its part
  // in it. Written as they go, since a line may have millions.
  auto add_points = [&](const TableLine& line) {
    std::size_t first = line.points.size();
    std::size_t last = 0;
    Cell from{0, 0};
    for (std::size_t k = 0; k < line.points.size(); ++k) {
      if (step_shows(from, line.points[k], window)) {
        first = std::min(first, k);
        last = k + 1;
      }
      from = line.points[k];
    }
    if (first == 0) {
      add("0,0");
    } else {
      const Cell& p = line.points[first - 1];
      add(std::to_string(p.x), ",", std::to_string(p.y));
    }
    for (std::size_t k = first; k < last; ++k) {
      const Cell& p = line.points[k];
      add(" ", std::to_string(p.x), ",", std::to_string(p.y));
    }
  };
  auto line_title = [&](const TableLine& line) {
    const Cell end = line.points.empty() ? Cell{0, 0} : line.points.back();
    return "line " + std::to_string(line.number) + ": to " + cell_text(end.x, end.y) + ", " +
           std::to_string(line.points.size()) +
           (line.points.size() == 1 ? " cell" : " cells");
  };
  if (!options.cells) {
    for (std::size_t j = 0; j < table.lines.size(); ++j) {
      const TableLine& line = table.lines[j];
      if (!line_shows(line, window)) continue;
      add("<polyline stroke=\"", kColours[j % std::size(kColours)], "\" points=\"");
      add_points(line);
      add("\"><title>", line_title(line), "</title></polyline>\n");
    }
  }
  // Steps that go elsewhere than to a neighbouring cell.
  for (const TableLine& line : table.lines) {
    Cell from{0, 0};
    for (const Cell& to : line.points) {
      if (!is_step(from, to) && step_shows(from, to, window)) {
        add("<path d=\"M", std::to_string(from.x), " ", std::to_string(from.y), "L",
            std::to_string(to.x), " ", std::to_string(to.y), "\" stroke=\"#d00\" stroke-width=\"",
            number_text(3 * stroke), "\" stroke-dasharray=\"", number_text(0.3), " ",
            number_text(0.2), "\"><title>line ", std::to_string(line.number),
            ": a step from ", cell_text(from.x, from.y), " to ", cell_text(to.x, to.y),
            ", not to a neighbouring cell</title></path>\n");
      }
      from = to;
    }
  }
  add("</g>\n");

  // Endpoints, each a dot that names its line.
  const std::string dot = number_text(std::max(0.15, 1.2 / cell));
  add("<g transform=\"translate(0.5 0.5)\" fill=\"#222\">\n");
  for (const TableLine& line : table.lines) {
    if (line.points.empty()) continue;
    const Cell end = line.points.back();
    if (!inside(window, end.x, end.y)) continue;
    add("<circle cx=\"", std::to_string(end.x), "\" cy=\"", std::to_string(end.y), "\" r=\"",
        dot, "\"><title>", line_title(line), "</title></circle>\n");
  }
  add("</g>\n");

  const TableLine* highlighted = nullptr;
  for (const TableLine& line : table.lines) {
    if (options.highlight != 0 && line.number == options.highlight) {
      highlighted = &line;
      break;
    }
  }
  if (highlighted != nullptr) {
    add("<g class=\"highlight\" transform=\"translate(0.5 0.5)\" fill=\"none\" "
        "stroke-linejoin=\"round\" stroke-linecap=\"round\">\n");
    add("<polyline stroke=\"#000\" stroke-width=\"", number_text(3 * stroke), "\" points=\"");
    add_points(*highlighted);
    add("\"><title>", line_title(*highlighted), "</title></polyline>\n");
    if (!highlighted->points.empty()) {
      const Cell end = highlighted->points.back();
      add("<circle cx=\"", std::to_string(end.x), "\" cy=\"", std::to_string(end.y),
          "\" r=\"", number_text(std::max(0.3, 2.5 / cell)), "\" fill=\"#d00\"/>\n");
    }
    add("</g>\n");
  }
  add("</g>\n</g>\n");

  // Line numbers beside the endpoints, where cells are large enough to
  // hold them.
  if (cell >= 20) {
    add("<g class=\"line-numbers\" font-size=\"", number_text(std::min(11.0, cell * 0.45)), "\" fill=\"#222\">\n");
    for (const TableLine& line : table.lines) {
      if (line.points.empty()) continue;
      const Cell end = line.points.back();
      if (!inside(window, end.x, end.y)) continue;
      add("<text x=\"", number_text(pixel_x(end.x) + 0.12 * cell), "\" y=\"",
          number_text(pixel_y(end.y) - 0.12 * cell), "\">", std::to_string(line.number),
          "</text>\n");
    }
    add("</g>\n");
  }

  if (options.cells) {
    // The legend of the shades.
    const double y = bottom + 52;
    double x = left;
    add("<g fill=\"#333\">\n<text x=\"", number_text(x), "\" y=\"", number_text(y + 10),
        "\">lines through a cell: 1</text>\n");
    x += 138;
    for (const char* shade : kShades) {
      add("<rect x=\"", number_text(x), "\" y=\"", number_text(y), "\" width=\"14\" height=\"12\" fill=\"",
          shade, "\"/>\n");
      x += 14;
    }
    add("<text x=\"", number_text(x + 4), "\" y=\"", number_text(y + 10), "\">",
        std::to_string(coverage.most), "</text>\n");
    x += 60;
    add("<rect x=\"", number_text(x), "\" y=\"", number_text(y), "\" width=\"14\" height=\"12\" fill=\"",
        kUnreached, "\"/>\n<text x=\"", number_text(x + 20), "\" y=\"", number_text(y + 10),
        "\">none, within the radius</text>\n</g>\n");
  }
  add("</svg>\n");
}

}  // namespace vantrel

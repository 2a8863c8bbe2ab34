#include "table_picture.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <memory>

#include "shown_text.h"
#include "table_reader.h"

namespace vantrel {
namespace {

// Points a picture may hold in all.
constexpr std::size_t kMostPoints = std::size_t{1} << 24;
// Coordinates a foreign file may use.
constexpr std::int64_t kLargestCoordinate = 1000000;

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", value);
  return text;
}

bool drawable(const std::vector<Cell>& points) {
  return std::all_of(points.begin(), points.end(), [](const Cell& p) {
    return std::abs(std::int64_t{p.x}) <= kLargestCoordinate &&
           std::abs(std::int64_t{p.y}) <= kLargestCoordinate;
  });
}

}  // namespace

ReadTableResult read_table(ByteSource& file, std::int32_t radius, TableLines& table) {
  using Kind = TableToken::Kind;
  ReadTableResult result;
  TableReader reader(file, TableReader::Points::kKeep);
  TableToken token;
  TableReader::Status status = TableReader::Status::kToken;
  auto fail = [&](const std::string& what) {
    if (status == TableReader::Status::kUnreadable) {
      result.outcome = ReadTableResult::Outcome::kUnreadable;
      result.error_number = reader.error_number();
    } else {
      result.outcome = ReadTableResult::Outcome::kMalformed;
      result.problem = status == TableReader::Status::kTooLong
                           ? "line " + std::to_string(reader.line()) +
                                 " is longer than any line of a table"
                           : what;
    }
    return result;
  };

  for (;;) {
    status = reader.next(token);
    if (status == TableReader::Status::kEnd) {
      result.outcome = ReadTableResult::Outcome::kMissing;
      return result;
    }
    if (status != TableReader::Status::kToken) return fail("");
    if (token.kind != Kind::kTableOpening) continue;
    ++result.tables_seen;
    if (token.number == radius) break;
  }
  const std::string table_name = "Table " + std::to_string(radius);
  auto malformed_here = [&] {
    return table_name + " does not parse at line " + std::to_string(token.line) + ": \"" +
           shown(token.text.substr(0, 60)) + (token.text.size() > 60 ? "...\"" : "\"");
  };
  // The next line of the table; false at the end of the file.
  auto next_line = [&] {
    status = reader.next(token);
    return status == TableReader::Status::kToken;
  };
  auto ends_early = [&] {
    return fail(table_name + " ends at line " + std::to_string(reader.line()) +
                " of the file, before its closing brace");
  };

  if (!next_line()) return status == TableReader::Status::kEnd ? ends_early() : fail("");
  if (token.kind != Kind::kOpeningBrace) return fail(malformed_here());
  if (!next_line()) return status == TableReader::Status::kEnd ? ends_early() : fail("");
  if (token.kind != Kind::kLineCount) return fail(malformed_here());
  const std::int64_t count = token.number;
  table.radius = radius;
  table.lines.clear();
  std::size_t points = 0;
  for (;;) {
    if (!next_line()) return status == TableReader::Status::kEnd ? ends_early() : fail("");
    if (token.kind == Kind::kClosingBrace) break;
    if (token.kind != Kind::kEntry ||
        token.number != static_cast<std::int64_t>(table.lines.size()) + 1 ||
        token.length != static_cast<std::int64_t>(token.point_count) ||
        !drawable(token.points)) {
      return fail(malformed_here());
    }
    points += token.points.size();
    if (points > kMostPoints) return fail(table_name + " has too many points to draw");
    table.lines.push_back(token.points);
  }
  if (static_cast<std::int64_t>(table.lines.size()) != count) {
    return fail(table_name + " says numlines=" + std::to_string(count) + " but has " +
                std::to_string(table.lines.size()) + " lines");
  }
  return result;
}

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text` of a
// character XML allows, or 0.
std::size_t xml_character_length(std::string_view text) {
  const auto byte = [&](std::size_t n) { return static_cast<unsigned char>(text[n]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
  std::size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                       : lead >= 0xe0 && lead <= 0xef ? 3
                       : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                      : 0;
  if (length == 0 || text.size() < length) return 0;
  for (std::size_t n = 1; n < length; ++n) {
    if ((byte(n) & 0xc0) != 0x80) return 0;
  }
  // No overlong forms, no surrogates, nothing past U+10FFFF, and not the
  // two non-characters U+FFFE and U+FFFF.
  if ((lead == 0xe0 && byte(1) < 0xa0) || (lead == 0xed && byte(1) >= 0xa0) ||
      (lead == 0xf0 && byte(1) < 0x90) || (lead == 0xf4 && byte(1) >= 0x90) ||
      (lead == 0xef && byte(1) == 0xbf && byte(2) >= 0xbe)) {
    return 0;
  }
  return length;
}

// Appends `text` as XML character data: markup escaped, and each byte that
// is not part of a character XML allows (a control byte, a byte that is not
// UTF-8) shown as \xNN, so that any file name makes a well-formed picture.
void add_xml_text(std::string& svg, std::string_view text) {
  while (!text.empty()) {
    const std::size_t length = xml_character_length(text);
    if (length == 0) {
      constexpr char kDigits[] = "0123456789abcdef";
      const auto byte = static_cast<unsigned char>(text[0]);
      svg += "\\x";
      svg += kDigits[byte >> 4];
      svg += kDigits[byte & 15];
      text.remove_prefix(1);
      continue;
    }
    switch (text[0]) {
      case '<': svg += "&lt;"; break;
      case '>': svg += "&gt;"; break;
      case '&': svg += "&amp;"; break;
      case '\\': svg += "\\\\"; break;
      default: svg.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
}

}  // namespace

std::string draw_table(const TableLines& table, std::size_t highlight, std::string_view title) {
  // Colours that tell neighbouring lines apart.
  constexpr const char* kColours[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd",
                                      "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};
  const std::int64_t cells = table.radius + 1;
  // Pixels per cell: about 800 pixels in all, at least 2 per cell.
  const double cell = std::clamp(800.0 / static_cast<double>(cells), 2.0, 32.0);
  const double left = 48;
  const double top = 16;
  const double plot = cell * static_cast<double>(cells);
  const double width = left + plot + 24;
  const double height = top + plot + 44;
  const double stroke = std::max(1.0 / cell, 0.08);
  // Labels every 1, 2, 5, 10, 20, 50, ... cells, ten or so in all.
  std::int64_t step = 1;
  for (std::int64_t base = 1; cells / step > 10; base *= 10) {
    for (const std::int64_t factor : {2, 5, 10}) {
      step = base * factor;
      if (cells / step <= 10) break;
    }
  }
  const std::string cells_text = std::to_string(cells);

  std::string svg;
  auto add = [&svg](auto... parts) { (svg.append(std::string_view(parts)), ...); };
  add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  add("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"", number_text(width),
      "\" height=\"", number_text(height), "\" viewBox=\"0 0 ", number_text(width), " ",
      number_text(height), "\" font-family=\"sans-serif\" font-size=\"12\">\n");
  add("<title>");
  add_xml_text(svg, title);
  add("</title>\n", "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n");
  // Labels, outside the flipped drawing so that their text reads upright.
  add("<g fill=\"#333\">\n");
  for (std::int64_t i = 0; i < cells; i += step) {
    const double at = (static_cast<double>(i) + 0.5) * cell;
    const std::string label = std::to_string(i);
    add("<text x=\"", number_text(left + at), "\" y=\"", number_text(top + plot + 16),
        "\" text-anchor=\"middle\">", label, "</text>\n");
    add("<text x=\"", number_text(left - 6), "\" y=\"", number_text(top + plot - at + 4),
        "\" text-anchor=\"end\">", label, "</text>\n");
  }
  add("<text x=\"", number_text(left + plot / 2), "\" y=\"", number_text(top + plot + 36),
      "\" text-anchor=\"middle\">x</text>\n");
  add("<text x=\"12\" y=\"", number_text(top + plot / 2),
      "\" text-anchor=\"middle\">y</text>\n</g>\n");

  // The drawing, in cells: x to the right, y up.
  add("<g transform=\"translate(", number_text(left), " ", number_text(top + plot), ") scale(",
      number_text(cell), " ", number_text(-cell), ")\">\n");
  add("<path d=\"");
  const std::int64_t grid_step = cells <= 100 ? 1 : step;
  for (std::int64_t i = 0; i <= cells; i += grid_step) {
    const std::string at = std::to_string(i);
    add("M", at, " 0V", cells_text, "M0 ", at, "H", cells_text);
  }
  add("\" fill=\"none\" stroke=\"#e0e0e0\" stroke-width=\"", number_text(stroke / 2),
      "\"/>\n");
  add("<rect width=\"", cells_text, "\" height=\"", cells_text,
      "\" fill=\"none\" stroke=\"#888\" stroke-width=\"", number_text(stroke), "\"/>\n");
  // Cell centres lie on whole numbers from here on.
  add("<g transform=\"translate(0.5 0.5)\" fill=\"none\" stroke-width=\"",
      number_text(stroke), "\" stroke-linejoin=\"round\" stroke-linecap=\"round\">\n");
  auto polyline = [&](const std::vector<Cell>& points, std::string_view colour,
                      std::string_view more) {
    add("<polyline stroke=\"", colour, "\"", more, " points=\"0,0");
    for (const Cell& p : points) add(" ", std::to_string(p.x), ",", std::to_string(p.y));
    add("\"/>\n");
  };
  for (std::size_t j = 0; j < table.lines.size(); ++j) {
    polyline(table.lines[j], kColours[j % std::size(kColours)], "");
  }
  add("</g>\n");
  auto endpoint = [&](const std::vector<Cell>& points, const std::string& radius,
                      std::string_view style) {
    if (points.empty()) return;
    add("<circle cx=\"", std::to_string(points.back().x), "\" cy=\"",
        std::to_string(points.back().y), "\" r=\"", radius, "\"", style, "/>\n");
  };
  const std::string endpoint_radius = number_text(std::max(0.15, 1.2 / cell));
  add("<g transform=\"translate(0.5 0.5)\" fill=\"#222\">\n");
  for (const std::vector<Cell>& points : table.lines) endpoint(points, endpoint_radius, "");
  add("</g>\n");
  if (highlight >= 1 && highlight <= table.lines.size()) {
    const std::vector<Cell>& points = table.lines[highlight - 1];
    add("<g class=\"highlight\" transform=\"translate(0.5 0.5)\" fill=\"none\" "
        "stroke-linejoin=\"round\" stroke-linecap=\"round\">\n");
    const std::string width_text = number_text(3 * stroke);
    polyline(points, "#000", std::string(" stroke-width=\"").append(width_text).append("\""));
    endpoint(points, number_text(std::max(0.3, 2.5 / cell)), " fill=\"#d00\"");
    add("</g>\n");
  }
  add("</g>\n</svg>\n");
  return svg;
}

}  // namespace vantrel

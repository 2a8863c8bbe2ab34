#include "inspect/table_lines.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "lib/shown_text.h"
#include "lib/table/table_reader.h"

namespace vantrel {
namespace {

// Points a picture may hold in all.
constexpr std::size_t kMostPoints = std::size_t{1} << 24;
// Coordinates a foreign file may use: farther points would lie beyond what
// an SVG renderer can place at the largest scale of a picture.
constexpr std::int64_t kLargestCoordinate = 100000;

bool drawable(const std::vector<Cell>& points) {
  return std::all_of(points.begin(), points.end(), [](const Cell& p) {
    return std::abs(std::int64_t{p.x}) <= kLargestCoordinate &&
           std::abs(std::int64_t{p.y}) <= kLargestCoordinate;
  });
}

}  // namespace

ReadTableLinesResult read_table_lines(ByteSource& file, std::int32_t radius, TableLines& table) {
  using Kind = TableToken::Kind;
  ReadTableLinesResult result;
  TableReader reader(file, TableReader::Points::kKeep);
  TableToken token;
  TableReader::Status status = TableReader::Status::kToken;
  auto fail = [&](const std::string& what) {
    if (status == TableReader::Status::kUnreadable) {
      result.outcome = ReadTableLinesResult::Outcome::kUnreadable;
      result.error_number = reader.error_number();
    } else {
      result.outcome = ReadTableLinesResult::Outcome::kMalformed;
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
      result.outcome = ReadTableLinesResult::Outcome::kMissing;
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
  // The file ended after `token`, the table's last line.
  auto ends_early = [&] {
    return fail(table_name + " ends at line " + std::to_string(token.line) +
                ", the file's last, before its closing brace");
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
        token.length != static_cast<std::int64_t>(token.point_count)) {
      return fail(malformed_here());
    }
    if (!drawable(token.points)) {
      return fail(table_name + ", line " + std::to_string(token.number) + " (line " +
                  std::to_string(token.line) + " of the file) has a point beyond " +
                  std::to_string(kLargestCoordinate) + " cells, too far to draw");
    }
    points += token.points.size();
    if (points > kMostPoints) return fail(table_name + " has too many points to draw");
    table.lines.push_back({token.number, token.points});
  }
  if (static_cast<std::int64_t>(table.lines.size()) != count) {
    return fail(table_name + " says numlines=" + std::to_string(count) + " but has " +
                std::to_string(table.lines.size()) + " lines");
  }
  return result;
}

std::vector<std::string> table_warnings(const TableLines& table) {
  std::vector<std::string> warnings;
  const std::string table_name = "Table " + std::to_string(table.radius);
  for (std::size_t n = 0; n < table.lines.size(); ++n) {
    const TableLine& line = table.lines[n];
    const std::string line_name = table_name + ", line " + std::to_string(line.number);
    if (line.number != static_cast<std::int64_t>(n) + 1) {
      warnings.push_back(line_name + " stands where line " + std::to_string(n + 1) +
                         " belongs");
    }
    Cell from{0, 0};
    for (const Cell& to : line.points) {
      if (!is_step(from, to)) {
        warnings.push_back(line_name + ": the step from " + cell_text(from.x, from.y) + " to " +
                           cell_text(to.x, to.y) + " is not to a neighbouring cell");
      }
      from = to;
    }
  }
  return warnings;
}

}  // namespace vantrel

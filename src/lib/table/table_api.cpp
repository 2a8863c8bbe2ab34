// The tables of the public API: made by the sweep and walk that vantrel
// writes with, or read from a table file by the one reader of its lines.
#include "vantrel/table.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <utility>

#include "lib/cell.h"
#include "lib/error_report.h"
#include "lib/shown_text.h"
#include "lib/table/byte_source.h"
#include "lib/table/line_walk.h"
#include "lib/table/table_reader.h"
#include "lib/table/table_sweep.h"

namespace vantrel {

Table make_table(int radius) {
  if (radius < 1 || radius > kLargestTableRadius) {
    throw std::invalid_argument("vantrel::make_table: the radius must be from 1 to " +
                                std::to_string(kLargestTableRadius) + ", not " +
                                std::to_string(radius));
  }
  EndpointList endpoints;
  sweep_table(radius, endpoints);
  std::vector<MinorCoord> minor(walk_room(static_cast<std::size_t>(radius)));
  std::vector<std::vector<Cell>> lines;
  lines.reserve(endpoints.entries().size());
  // Line 1 is the largest endpoint, as in the file.
  const auto& entries = endpoints.entries();
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    const CompactWalk walk = compute_walk(entry->end, minor.data());
    std::vector<Cell>& line = lines.emplace_back();
    line.reserve(walk.minor.size());
    for (std::size_t k = 0; k < walk.minor.size(); ++k) {
      const auto major = static_cast<std::int32_t>(k + 1);
      const std::int32_t other = walk.minor[k];
      line.push_back(walk.along_x() ? Cell{major, other} : Cell{other, major});
    }
  }
  return Table(radius, std::move(lines));
}

// Internal to the library, though its class is exported.
struct [[gnu::visibility("hidden")]] TableFile::State {
  std::string name;
  std::string bytes;  // the file's bytes, where it came from memory
  std::unique_ptr<ByteSource> source;
  struct Place {
    std::uint64_t offset;
    std::uint64_t line;
  };
  std::vector<int> radii;
  std::map<int, Place> places;
  std::uint64_t size = 0;  // of the file indexed

  // Notes where each table of the file begins.
  void index();

  [[noreturn]] void fail(const std::string& what) const {
    throw TableFileError(shown(name) + ": " + what);
  }
  [[noreturn]] void fail_reading(const TableReader& reader, TableReader::Status status) const {
    if (status == TableReader::Status::kTooLong) {
      fail("line " + std::to_string(reader.line()) + " is longer than any line of a table");
    }
    fail(std::string("cannot read it: ") + std::strerror(reader.error_number()));
  }
};

void TableFile::State::index() {
  State& state = *this;
  TableReader reader(*state.source);
  TableToken token;
  TableReader::Status status;
  bool first = true;
  while ((status = reader.next(token)) == TableReader::Status::kToken) {
    if (first && token.kind != TableToken::Kind::kBlank) {
      if (token.kind != TableToken::Kind::kHeader) {
        state.fail("not a table file: it does not begin with [TABLEINFO]");
      }
      first = false;
    }
    if (token.kind != TableToken::Kind::kTableOpening) continue;
    if (token.number < 1 || token.number > kLargestTableRadius) {
      state.fail("Table " + std::to_string(token.number) + " (line " +
                 std::to_string(token.line) + " of the file): radii run from 1 to " +
                 std::to_string(kLargestTableRadius));
    }
    const int radius = static_cast<int>(token.number);
    if (state.places.emplace(radius, Place{token.offset, token.line}).second) {
      state.radii.push_back(radius);
    }
  }
  if (status != TableReader::Status::kEnd) state.fail_reading(reader, status);
  if (first) state.fail("not a table file: it is empty");
  state.size = reader.offset();
}

TableFile::TableFile(std::unique_ptr<State> state) : state_(std::move(state)) {
  state_->index();
}

TableFile::TableFile(const std::string& path) {
  auto state = std::make_unique<State>();
  state->name = path;
  OpenedSource opened = open_file_source(path.c_str());
  if (!opened.source) {
    state->fail(std::string("cannot open it: ") + std::strerror(opened.error_number));
  }
  state->source = std::move(opened.source);
  // Each table is read where the index found it.
  if (const int error_number = state->source->seek(0); error_number != 0) {
    state->fail(std::string("cannot go back in it, as reading its tables takes: ") +
                std::strerror(error_number));
  }
  state_ = std::move(state);
  state_->index();
}

TableFile TableFile::from_bytes(std::string_view bytes, std::string name) {
  auto state = std::make_unique<State>();
  state->name = std::move(name);
  state->bytes.assign(bytes);
  state->source = std::make_unique<MemorySource>(state->bytes);
  return TableFile(std::move(state));
}

TableFile::~TableFile() = default;
TableFile::TableFile(TableFile&&) noexcept = default;
TableFile& TableFile::operator=(TableFile&&) noexcept = default;

const std::vector<int>& TableFile::radii() const { return state_->radii; }

bool TableFile::has_table(int radius) const { return state_->places.count(radius) > 0; }

Table TableFile::table(int radius) {
  State& state = *state_;
  const auto place = state.places.find(radius);
  if (place == state.places.end()) {
    state.fail("it has no Table " + std::to_string(radius));
  }
  if (const int error_number = state.source->seek(place->second.offset); error_number != 0) {
    state.fail(std::string("cannot read it: ") + std::strerror(error_number));
  }
  using Kind = TableToken::Kind;
  TableReader reader(*state.source, TableReader::Points::kKeep, place->second.offset,
                     place->second.line);
  TableToken token;
  const std::string table_name = "Table " + std::to_string(radius);
  // A file that ends elsewhere than where it ended when it was indexed was
  // cut or changed since; its lines say nothing of the table.
  auto check_end = [&] {
    if (reader.offset() != state.size) {
      state.fail(table_name + ": the file has changed since it was opened");
    }
  };
  // The next line, which the table must have; the first is the opening
  // the index found there, or the file has changed.
  bool opened = false;
  auto next = [&] {
    const TableReader::Status status = reader.next(token);
    if (!opened) {
      const bool read = status == TableReader::Status::kToken;
      if (status != TableReader::Status::kUnreadable &&
          (!read || token.kind != Kind::kTableOpening || token.number != radius)) {
        state.fail(table_name + ": the file has changed since it was opened");
      }
      opened = true;
    }
    if (status == TableReader::Status::kEnd) {
      check_end();
      state.fail(table_name + ": the file ends after line " + std::to_string(token.line) +
                 ", before the table's closing brace");
    }
    if (status != TableReader::Status::kToken) state.fail_reading(reader, status);
    // The last line of the file, and not the table's last.
    if (token.end_size == 0 && token.kind != Kind::kClosingBrace) {
      check_end();
      state.fail(table_name + ": the file ends at line " + std::to_string(token.line) +
                 ", before the table's closing brace");
    }
  };
  auto wrong = [&](const std::string& where, const std::string& what) {
    state.fail(where + " (line " + std::to_string(token.line) + " of the file): " + what);
  };
  auto expected = [&](const std::string& what) {
    wrong(table_name, "expected " + what + ", found \"" +
                          shown(token.text.substr(0, 60)) +
                          (token.text.size() > 60 ? "...\"" : "\""));
  };
  next();  // the opening, found by the index
  next();
  if (token.kind != Kind::kOpeningBrace) expected("{");
  next();
  if (token.kind != Kind::kLineCount) expected("numlines=<count>;");
  const std::int64_t count = token.number;
  const std::uint64_t count_line = token.line;
  if (count < 0) wrong(table_name, "numlines is negative");
  std::vector<std::vector<Cell>> lines;
  for (;;) {
    next();
    if (token.kind == Kind::kClosingBrace) break;
    const std::int64_t number = static_cast<std::int64_t>(lines.size()) + 1;
    if (token.kind != Kind::kEntry) expected("line" + std::to_string(number) + "=... or }");
    const std::string line_name = table_name + ", line " + std::to_string(number);
    if (token.number != number) {
      wrong(line_name, "the entry is numbered " + std::to_string(token.number));
    }
    if (token.length != static_cast<std::int64_t>(token.point_count)) {
      wrong(line_name, "it states " + std::to_string(token.length) + " points but has " +
                           std::to_string(token.point_count));
    }
    if (token.points.empty()) wrong(line_name, "it has no points");
    // A line that steps away from the origin at each step has no more; a
    // longer one steps back and forth, which would cost a view built from it
    // as the square of its length.
    if (static_cast<std::int64_t>(token.points.size()) > std::int64_t{2} * radius) {
      wrong(line_name, "it has " + std::to_string(token.points.size()) +
                           " points, more than twice the radius");
    }
    Cell from{0, 0};
    for (const Cell& to : token.points) {
      if (to.x < 0 || to.y < 0 || to.x > radius || to.y > radius) {
        wrong(line_name, "the point " + cell_text(to.x, to.y) + " lies outside 0 to " +
                             std::to_string(radius));
      }
      if (!is_step(from, to)) {
        wrong(line_name, "the step from " + cell_text(from.x, from.y) + " to " +
                             cell_text(to.x, to.y) + " is not to a neighbouring cell");
      }
      from = to;
    }
    lines.push_back(std::move(token.points));
  }
  if (static_cast<std::int64_t>(lines.size()) != count) {
    state.fail(table_name + " (line " + std::to_string(count_line) + " of the file): numlines=" +
               std::to_string(count) + " but the table has " + std::to_string(lines.size()) +
               " lines");
  }
  return Table(radius, std::move(lines));
}

Table read_table(const std::string& path, int radius) { return TableFile(path).table(radius); }

Table make_table(int radius, Error& error) noexcept {
  Table table;
  catch_into(error, [&] { table = make_table(radius); });
  return table;
}

std::optional<TableFile> TableFile::open(const std::string& path, Error& error) noexcept {
  std::optional<TableFile> file;
  catch_into(error, [&] { file.emplace(path); });
  return file;
}

std::optional<TableFile> TableFile::from_bytes(std::string_view bytes, std::string name,
                                               Error& error) noexcept {
  std::optional<TableFile> file;
  catch_into(error, [&] { file.emplace(from_bytes(bytes, std::move(name))); });
  return file;
}

Table TableFile::table(int radius, Error& error) noexcept {
  Table table;
  catch_into(error, [&] { table = this->table(radius); });
  return table;
}

Table read_table(const std::string& path, int radius, Error& error) noexcept {
  Table table;
  catch_into(error, [&] { table = read_table(path, radius); });
  return table;
}

}  // namespace vantrel

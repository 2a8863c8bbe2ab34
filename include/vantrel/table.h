// Line-of-sight tables: for a radius k, straight lines from the origin cell
// (0, 0) to cells around it in the quarter plane x >= 0, y >= 0, each line
// as the cells it steps through, one step to a neighbouring cell at a time.
// Every cell within the radius that is not on an axis lies on some line.
//
// A table is made in memory by the same computation as the vantrel tool
// uses for its file LOS.TDF, or read from such a file (or one of another
// generator's, or edited by hand).
#ifndef VANTREL_TABLE_PUBLIC_H_
#define VANTREL_TABLE_PUBLIC_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "vantrel/cell.h"
#include "vantrel/error.h"
#include "vantrel/export.h"

namespace vantrel {

// The largest radius of a table: of make_table's, and of a table file's.
inline constexpr int kLargestTableRadius = 46340;
// The former name of kLargestTableRadius, kept for code that uses it.
[[deprecated("use kLargestTableRadius")]] inline constexpr int kLargestRadius =
    kLargestTableRadius;

// One table: its lines in the order of the file, line 1 first, each the
// cells it steps through from the origin, which is left out. A Table made
// by default, of radius 0 and no lines, is what the calls that do not throw
// return on failure. Threads: a value like any other; any number of threads
// may read one at once.
class Table {
 public:
  Table() = default;
  Table(int radius, std::vector<std::vector<Cell>> lines)
      : radius_(radius), lines_(std::move(lines)) {}

  int radius() const { return radius_; }
  const std::vector<std::vector<Cell>>& lines() const { return lines_; }

  friend bool operator==(const Table&, const Table&) = default;

 private:
  int radius_ = 0;
  std::vector<std::vector<Cell>> lines_;
};

// Table `radius` (1 to kLargestTableRadius) exactly as vantrel writes it.
// Costs microseconds for the radii of a game's sight, and memory as the
// table's points (a radius of 50 has about 4,500 points, 36 KB); time and
// memory grow as the radius squared. Throws std::invalid_argument for a
// radius out of range, std::bad_alloc when memory runs out. Safe from any
// number of threads at once.
VANTREL_API Table make_table(int radius);
// The same without throwing: an empty Table, and `error` filled in.
VANTREL_API Table make_table(int radius, Error& error) noexcept;

// What is wrong with a table file, in a user's words: the file, the table
// and line entry, the line of the file and what was found there, such as
// "LOS.TDF: Table 12, line 7 (line 243 of the file): the step from (1,0)
// to (9,0) is not to a neighbouring cell".
class VANTREL_API TableFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The tables of one table file, opened once: reading the file through, it
// notes where each table begins; then each table is read when asked for.
// Whatever the file holds, the answer is a table or a TableFileError, never
// a crash, and nothing is allocated for a count the file states before
// what it counts has been read.
//
// The file is read again for each table: a change to it since it was
// opened is noticed where a table's opening is no longer where the index
// found it, or where reading a table meets an end of the file other than
// the one indexed (a file cut, emptied or shortened); a change that keeps
// both, such as another digit in an entry, is read as it now stands.
//
// Threads: not safe to use from two threads at once, since tables are read
// through one open file; give each thread its own TableFile, or guard one.
// The Tables it returns are the caller's, to share as any const object.
class VANTREL_API TableFile {
 public:
  // Opens and indexes the file at `path`, which must be a file that can be
  // read again where a table begins (not a pipe). Costs one read of the
  // whole file and memory for its index (a few bytes per table). Throws
  // TableFileError.
  explicit TableFile(const std::string& path);
  // Indexes the bytes of a table file, which are copied.
  static TableFile from_bytes(std::string_view bytes, std::string name = "table file");
  // The same without throwing: std::nullopt, and `error` filled in.
  static std::optional<TableFile> open(const std::string& path, Error& error) noexcept;
  static std::optional<TableFile> from_bytes(std::string_view bytes, std::string name,
                                             Error& error) noexcept;
  ~TableFile();
  // A TableFile moved from may only be assigned to or destroyed.
  TableFile(TableFile&&) noexcept;
  TableFile& operator=(TableFile&&) noexcept;

  // The tables' radii, in the order of the file.
  const std::vector<int>& radii() const;
  bool has_table(int radius) const;

  // Reads table `radius`, checking that it is a table: braces around a
  // numlines entry and as many line entries, numbered from 1, each with as
  // many points as it states, each point a step to a neighbouring cell
  // from the one before (from the origin first), within 0 to the radius on
  // both axes, and at most twice the radius of them (as many as a line
  // that steps away from the origin at each step can have; vantrel's own
  // lines have the radius at most). Throws TableFileError when the file has no such table or it
  // is not one, std::bad_alloc when memory runs out. Costs one read of the
  // table's part of the file, and memory as the table's points.
  Table table(int radius);
  // The same without throwing: an empty Table, and `error` filled in.
  Table table(int radius, Error& error) noexcept;

 private:
  struct State;
  VANTREL_INTERNAL explicit TableFile(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// Reads table `radius` of the file at `path`. Throws as TableFile does.
// Safe from any number of threads at once: each call opens the file anew.
VANTREL_API Table read_table(const std::string& path, int radius);
// The same without throwing: an empty Table, and `error` filled in.
VANTREL_API Table read_table(const std::string& path, int radius, Error& error) noexcept;

}  // namespace vantrel

#endif  // VANTREL_TABLE_PUBLIC_H_

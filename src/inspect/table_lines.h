// One table of a table file, read back as it stands there (from vantrel, a
// foreign generator or a hand edit; LF or CR LF line ends), for drawing;
// and what in it vantrel would never write. Prints nothing.
#ifndef VANTREL_TABLE_LINES_H_
#define VANTREL_TABLE_LINES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "lib/cell.h"
#include "lib/table/byte_source.h"

namespace vantrel {

// A line entry: its number as the file gives it, and its points in order,
// the origin left out.
struct TableLine {
  std::int64_t number = 0;
  std::vector<Cell> points;
};

struct TableLines {
  std::int32_t radius = 0;
  std::vector<TableLine> lines;  // in the file's order
};

struct ReadTableLinesResult {
  enum class Outcome {
    kRead,
    kMissing,     // the file has no such table; `tables_seen` tables
    kMalformed,   // `problem` says where it does not parse
    kUnreadable,  // reading failed with `error_number`
  };
  Outcome outcome = Outcome::kRead;
  std::int64_t tables_seen = 0;
  std::string problem;
  int error_number = 0;
};

// The largest table that read_table_lines reads: larger ones would be too many
// points to draw.
inline constexpr std::int32_t kLargestDrawnRadius = 2000;

// Reads table `radius` (1 .. kLargestDrawnRadius) of `file` into `table`.
// Every count in the file is checked against what actually follows, and
// nothing is allocated for it in advance.
ReadTableLinesResult read_table_lines(ByteSource& file, std::int32_t radius, TableLines& table);

// What a table read from a file has that vantrel never writes, one
// sentence each: entries out of order ("Table 5, line 4 stands where line
// 3 belongs"), and steps that do not go to a neighbouring cell ("Table 5,
// line 2: the step from (1,0) to (9,0) is not to a neighbouring cell").
std::vector<std::string> table_warnings(const TableLines& table);

}  // namespace vantrel

#endif  // VANTREL_TABLE_LINES_H_

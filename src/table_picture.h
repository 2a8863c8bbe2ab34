// One table of a table file, read back as it stands there (from vantrel, a
// foreign generator or a hand edit; LF or CR LF line ends), and drawn as
// an SVG picture. Prints nothing and writes no file.
#ifndef VANTREL_TABLE_PICTURE_H_
#define VANTREL_TABLE_PICTURE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "byte_source.h"
#include "cell.h"

namespace vantrel {

// The lines of one table: each line's points in order, the origin left out.
struct TableLines {
  std::int32_t radius = 0;
  std::vector<std::vector<Cell>> lines;
};

struct ReadTableResult {
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

// The largest table that read_table reads: larger ones would be too many
// points to draw.
inline constexpr std::int32_t kLargestDrawnRadius = 2000;

// Reads table `radius` (1 .. kLargestDrawnRadius) of `file` into `table`.
// Every count in the file is checked against what actually follows, and
// nothing is allocated for it in advance.
ReadTableResult read_table(ByteSource& file, std::int32_t radius, TableLines& table);

// An SVG picture of `table`: the cell grid from 0 to its radius on both
// axes, x to the right and y up, labelled; each line a polyline through
// the centres of its cells from the origin cell, in colours that tell
// neighbouring lines apart, with its endpoint marked. Line `highlight`
// (from 1; 0 for none) is drawn on top, bold.
std::string draw_table(const TableLines& table, std::size_t highlight, std::string_view title);

}  // namespace vantrel

#endif  // VANTREL_TABLE_PICTURE_H_

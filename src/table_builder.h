// Builds one line-of-sight table: sweeps circles around the origin cell,
// picks the endpoints of new lines while their cells are still uncovered, and
// writes the table block through a table stream. Cells are grid units with
// x = column, y = row, origin (0, 0); a table of radius a spans 0..a on both.
#ifndef VANTREL_TABLE_BUILDER_H_
#define VANTREL_TABLE_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "cell.h"
#include "table_file.h"

namespace vantrel {

// Rounds a non-negative coordinate to the nearest cell, halves going up
// (2.5 -> 3); the difference v - trunc(v) is exact in single precision.
// Negative values are truncated toward zero.
std::int32_t round_coord(float v);

// The cells a line from the origin (excluded) to (x, y) (included) steps
// through: max(|x|, |y|) points, one per step along the longer axis, the
// other coordinate rounded from single-precision slope and products.
std::vector<WalkPoint> walk_line(std::int32_t x, std::int32_t y);

// The endpoints of the table being built, each with its walk while there is
// room to keep it, so that a walk is computed once for covering cells and
// for writing. One list serves table after table and keeps its memory.
class EndpointList {
 public:
  // Walk points kept per table by default (2 MiB); later walks are
  // recomputed when written.
  static constexpr std::size_t kKeptPoints = std::size_t{1} << 20;

  explicit EndpointList(std::size_t kept_points = kKeptPoints)
      : kept_capacity_(kept_points) {}

  struct Entry {
    Endpoint end;
    std::size_t walk_offset;  // into the kept points, or kNotKept
  };
  static constexpr std::size_t kNotKept = ~std::size_t{0};

  // Returns room for the walk to `end` (x, y >= 0) and appends `end`.
  MinorCoord* append(Endpoint end);

  // Sorts the entries ascending by endpoint (by x, then y).
  void sort();

  // Forgets every entry; keeps the memory.
  void clear();

  const std::vector<Entry>& entries() const { return entries_; }

  // The kept walk of `entry`, or nullptr.
  const MinorCoord* kept_walk(const Entry& entry) const {
    return entry.walk_offset == kNotKept ? nullptr
                                         : kept_.get() + entry.walk_offset;
  }

 private:
  std::vector<Entry> entries_;
  std::size_t kept_capacity_;
  std::unique_ptr<MinorCoord[]> kept_;  // not value-initialized
  std::size_t kept_size_ = 0;
  std::size_t kept_used_ = 0;  // by the walks of the current table
  std::vector<MinorCoord> scratch_;  // for walks that are not kept
};

// The endpoints of the table of `radius` (>= 1), in ascending order (by x,
// then y). Throws std::bad_alloc when the coverage grid cannot be allocated.
std::vector<Endpoint> table_endpoints(std::int32_t radius);

// Builds table after table into one stream, keeping its memory from one
// table to the next.
//
// When the stream has a worker, a large table has most of its line entries
// formatted on the worker's thread, which goes on with them while this
// thread sweeps the next table.
class TableBuilder {
 public:
  // `stream` must outlive the builder. `kept_points`: see EndpointList.
  explicit TableBuilder(TableStream& stream,
                        std::size_t kept_points = EndpointList::kKeptPoints);
  // Waits until the worker is done with the tables.
  ~TableBuilder();
  TableBuilder(const TableBuilder&) = delete;
  TableBuilder& operator=(const TableBuilder&) = delete;

  // Writes the block of the table of `radius` (1 .. 46340) to the stream
  // and prints its two progress lines on `console` (flushed at once;
  // nullptr for none). Returns the number of lines in the table. Throws
  // std::bad_alloc when memory runs out; the coverage grid, the largest
  // piece, is allocated before anything is written or printed.
  std::int32_t build(std::int32_t radius, std::FILE* console);

 private:
  struct Table;

  void write_lines(std::int32_t radius, Table& table);

  TableStream& stream_;
  // Two, in turn: the worker may still format the lines of the one before.
  std::unique_ptr<Table> tables_[2];
  std::size_t next_table_ = 0;
  std::vector<MinorCoord> walk_;  // recomputed walks, this thread
};

}  // namespace vantrel

#endif  // VANTREL_TABLE_BUILDER_H_

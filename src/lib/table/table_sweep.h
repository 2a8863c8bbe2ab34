// The radius sweep of one table: circles around the origin cell, largest
// first, and the endpoints of new lines taken while their cells are still
// uncovered. Pure computation: never writes text, prints or touches files.
// Cells are (x, y) with x the column and y the row, origin (0, 0); a table
// of radius a spans 0 .. a on both axes.
#ifndef VANTREL_TABLE_SWEEP_H_
#define VANTREL_TABLE_SWEEP_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "lib/cell.h"

namespace vantrel {

// Bytes of the coverage grid of a table of `radius`: one per pair of
// mirrored cells, (radius + 1)^2. Each cell index fits 32 bits for every
// radius up to 65534.
constexpr std::uint64_t coverage_grid_size(std::int32_t radius) {
  const auto width = static_cast<std::uint64_t>(radius) + 1;
  return width * width;
}

// The endpoints of a table, each with its walk while there is room to keep
// it, so that a walk is computed once for covering cells and for writing.
// One list serves table after table and keeps its memory.
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
  // Throws std::bad_alloc.
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

// Fills `endpoints` (cleared first) with the endpoints of the table of
// `radius` (1 .. 46340), ascending by x, then y. Throws std::bad_alloc when
// memory runs out; the coverage grid is freed before it returns.
void sweep_table(std::int32_t radius, EndpointList& endpoints);

// The endpoints alone, ascending.
std::vector<Endpoint> table_endpoints(std::int32_t radius);

}  // namespace vantrel

#endif  // VANTREL_TABLE_SWEEP_H_

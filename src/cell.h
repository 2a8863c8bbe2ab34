// Cells of the square grid: x is the column, y the row, the origin cell is
// (0, 0), and every table lives in the quarter-plane x >= 0, y >= 0.
#ifndef VANTREL_CELL_H_
#define VANTREL_CELL_H_

#include <compare>
#include <cstdint>

namespace vantrel {

// One grid cell. Cells order by x, then by y.
struct Cell {
  std::int32_t x = 0;
  std::int32_t y = 0;

  friend auto operator<=>(const Cell&, const Cell&) = default;
};

// The far end of a line from the origin; a table lists one line per endpoint.
using Endpoint = Cell;

// One cell that a line from the origin steps through.
using WalkPoint = Cell;

}  // namespace vantrel

#endif  // VANTREL_CELL_H_

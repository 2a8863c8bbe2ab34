// A cell of a square grid: x is the column, y the row. In a table the
// origin cell, where the viewer stands, is (0, 0).
#ifndef VANTREL_CELL_PUBLIC_H_
#define VANTREL_CELL_PUBLIC_H_

#include <compare>
#include <cstdint>

namespace vantrel {

// Cells order by x, then by y.
struct Cell {
  std::int32_t x = 0;
  std::int32_t y = 0;

  friend auto operator<=>(const Cell&, const Cell&) = default;
};

}  // namespace vantrel

#endif  // VANTREL_CELL_PUBLIC_H_

// Cells of the square grid: x is the column, y the row, the origin cell is
// (0, 0), and every table lives in the quarter-plane x >= 0, y >= 0.
#ifndef VANTREL_CELL_H_
#define VANTREL_CELL_H_

#include <cstdint>
#include <span>

#include "vantrel/cell.h"

namespace vantrel {

// The far end of a line from the origin; a table lists one line per endpoint.
using Endpoint = Cell;

// One cell that a line from the origin steps through.
using WalkPoint = Cell;

// A coordinate on a walk's shorter axis. Table coordinates stay below 2^16
// (the largest radius is 46340), so two bytes hold one.
using MinorCoord = std::uint16_t;

// A line walk from the origin to `end` (x, y >= 0), stored compactly. It
// steps along the longer axis: along x when end.x > end.y, else along y.
// Point k (k = 1 .. max(end.x, end.y)) has k on that axis and minor[k - 1]
// on the other.
struct CompactWalk {
  Endpoint end;
  std::span<const MinorCoord> minor;

  bool along_x() const { return end.x > end.y; }
};

}  // namespace vantrel

#endif  // VANTREL_CELL_H_

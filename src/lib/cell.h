// Cells of the square grid: x is the column, y the row, the origin cell is
// (0, 0), and every table lives in the quarter-plane x >= 0, y >= 0.
#ifndef VANTREL_CELL_H_
#define VANTREL_CELL_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "vantrel/cell.h"

namespace vantrel {

// True when `to` is one of the eight cells around `from`: a line steps
// from each cell to such a neighbour.
inline bool is_step(const Cell& from, const Cell& to) {
  const std::int64_t dx = std::abs(std::int64_t{to.x} - from.x);
  const std::int64_t dy = std::abs(std::int64_t{to.y} - from.y);
  return dx <= 1 && dy <= 1 && dx + dy > 0;
}

// A cell as messages and pictures name it: "(3,-1)". Built by appending:
// GCC 12 warns falsely of overlapping copies for "(" + std::to_string(x).
inline std::string cell_text(std::int64_t x, std::int64_t y) {
  std::string text = "(";
  text += std::to_string(x);
  text += ',';
  text += std::to_string(y);
  text += ')';
  return text;
}

// A map's check, as the public headers' inline code makes it too.
using detail::is_map;
using detail::is_on_map;

// Refuses viewer `index` of `call` where it stands off a map of width x
// height cells: std::invalid_argument, naming the viewer and the map.
inline void check_viewer_on_map(std::string_view call, std::size_t index, Cell cell, int width,
                                int height) {
  if (!is_on_map(cell, width, height)) {
    throw std::invalid_argument(std::string(call) + ": viewer " + std::to_string(index) + " at " +
                                cell_text(cell.x, cell.y) + " is not on the map of " +
                                std::to_string(width) + " x " + std::to_string(height) +
                                " cells");
  }
}

// True when two runs of bytes share a byte, as a map and a view written
// from it must not. Compared as addresses: the order of pointers into
// different arrays is not defined in C++.
inline bool overlap(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  const auto a_first = reinterpret_cast<std::uintptr_t>(a.data());
  const auto b_first = reinterpret_cast<std::uintptr_t>(b.data());
  return !a.empty() && !b.empty() && a_first < b_first + b.size() &&
         b_first < a_first + a.size();
}

// What is wrong with the arguments of a view of a map of bytes: a viewer
// off the map or a span whose size is not width * height (kNotAView), or a
// view that shares bytes with the map it is computed from (kOverlap).
enum class ViewFault { kNone, kNotAView, kOverlap };
inline ViewFault fault_of_view(Cell viewer, int width, int height,
                               std::span<const std::uint8_t> opaque,
                               std::span<const std::uint8_t> in_view) {
  if (!is_on_map(viewer, width, height) || !is_map(width, height, opaque.size()) ||
      !is_map(width, height, in_view.size())) {
    return ViewFault::kNotAView;
  }
  return overlap(opaque, in_view) ? ViewFault::kOverlap : ViewFault::kNone;
}

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

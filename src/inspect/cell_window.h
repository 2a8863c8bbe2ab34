// The part of a picture drawn: a rectangle of cells. A value, nothing more.
#ifndef VANTREL_INSPECT_CELL_WINDOW_H_
#define VANTREL_INSPECT_CELL_WINDOW_H_

#include <cstdint>

namespace vantrel {

// A rectangle of cells, corners included: x0 <= x1, y0 <= y1.
struct CellWindow {
  std::int32_t x0 = 0;
  std::int32_t y0 = 0;
  std::int32_t x1 = 0;
  std::int32_t y1 = 0;
};

}  // namespace vantrel

#endif  // VANTREL_INSPECT_CELL_WINDOW_H_

// A cell of a square grid: x is the column, y the row. In a table the
// origin cell, where the viewer stands, is (0, 0).
#ifndef VANTREL_CELL_PUBLIC_H_
#define VANTREL_CELL_PUBLIC_H_

#include <compare>
#include <cstddef>
#include <cstdint>

namespace vantrel {

// Cells order by x, then by y.
struct Cell {
  std::int32_t x = 0;
  std::int32_t y = 0;

  friend auto operator<=>(const Cell&, const Cell&) = default;
};

namespace detail {

// The one check of a map that every call of the library makes: a map of
// width x height cells, a byte per cell, takes `size` bytes (the product in
// 64 bits, where a size_t of 32 would wrap), and `cell` stands on it.
inline bool is_map(int width, int height, std::size_t size) noexcept {
  return width > 0 && height > 0 &&
         std::uint64_t{size} ==
             static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
}
inline bool is_on_map(Cell cell, int width, int height) noexcept {
  return cell.x >= 0 && cell.y >= 0 && cell.x < width && cell.y < height;
}

}  // namespace detail

}  // namespace vantrel

#endif  // VANTREL_CELL_PUBLIC_H_

#include "vantrel/symmetric_view.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "lib/cell.h"
#include "lib/error_report.h"
#include "lib/view/cone_cut.h"
#include "lib/view/facing_walls.h"
#include "lib/view/tree_index.h"

namespace vantrel {
namespace {

constexpr char kNotAView[] =
    "vantrel::SymmetricView::compute: the viewer must stand on the map, and the views must "
    "hold width * height bytes";
constexpr char kOverlap[] = "vantrel::SymmetricView::compute: the view must not overlap the map";

// The message for what is wrong with the arguments of compute(), or nullptr.
const char* fault_text(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
                       std::span<std::uint8_t> in_view) {
  switch (fault_of_view(viewer, width, height, opaque, in_view)) {
    case ViewFault::kNone:
      return nullptr;
    case ViewFault::kOverlap:
      return kOverlap;
    case ViewFault::kNotAView:
      break;
  }
  return kNotAView;
}

// A line that steps away from the viewer, on either axis or both at each
// step, has at most 2r cells for a reach of r (vantrel's own lines have r
// at most); a symmetric view takes no longer line.
constexpr int kMostCellsPerRadius = 2;
// The index of make_table's tables keeps about 3.2 r^3 cells for a radius
// r (3,896 for 12, 25.8 million for 200); lines that wander make a table
// of the same radius and size cost far more, and are refused beyond this
// many times r^3.
constexpr std::uint64_t kMostCellsPerCube = 6;

// `view`, when a symmetric view takes its radius: checked before anything is
// built from it.
const FieldOfView& within_largest(const FieldOfView& view) {
  if (view.radius() > SymmetricView::kLargestSymmetricRadius) {
    throw std::invalid_argument("vantrel::SymmetricView: a radius of " +
                                std::to_string(view.radius()) + " is beyond the largest, " +
                                std::to_string(SymmetricView::kLargestSymmetricRadius));
  }
  return view;
}

// Whether `between` lies from 0 to `end`, either way.
bool within(std::int32_t between, std::int32_t end) {
  return end < 0 ? between <= 0 && between >= end : between >= 0 && between <= end;
}

// The plain view's traversal (FieldOfView's), which ors into each cell it
// puts in view 1, and with kBoth 2 more when the node shows that the cell
// sees the viewer: marked kBothWays, or with extra cells that are all clear.
// `kOnMap`: every cell of the tree lies on the map; otherwise the cells off
// it end their lines, and no node has extra cells.
struct Bits {
  std::uint32_t both_ways;
  int extra_shift;
  std::uint32_t extra_cells;
  std::uint32_t after;
};
template <bool kOnMap, Walls kWalls, bool kBoth, class Node, class Offset>
void traverse_plain(const Node* nodes, std::size_t count, const Offset* extra, Bits bits,
                    Cell viewer, int width, int height, const std::uint8_t* wall,
                    std::uint8_t* seen, std::ptrdiff_t seen_row) {
  const std::ptrdiff_t row = width;
  detail::traverse_tree<kOnMap>(
      nodes, count, bits.after, viewer, width, height,
      [extra, bits, row, wall, seen, seen_row](const Node& node, std::size_t n) {
        const std::ptrdiff_t at = node.dy * row + node.dx;
        const std::ptrdiff_t seen_at = node.dy * seen_row + node.dx;
        return detail::see_cell<kWalls>([&] { return wall[at] != 0; }, [&] {
          if constexpr (kBoth) {
            auto mark = static_cast<std::uint8_t>((node.after & bits.both_ways) != 0 ? 3 : 1);
            const std::uint32_t extras = (node.after >> bits.extra_shift) & bits.extra_cells;
            if (extras != 0) {
              const Offset* const cells = extra + n * bits.extra_cells;
              std::uint8_t walls = 0;
              for (std::uint32_t e = 0; e < extras; ++e) {
                walls |= wall[cells[e].dy * row + cells[e].dx];
              }
              if (walls == 0) mark = 3;
            }
            seen[seen_at] = static_cast<std::uint8_t>(seen[seen_at] | mark);
          } else {
            seen[seen_at] = 1;
          }
        });
      });
}

// The square of cells within `r` of the viewer on either axis, within the
// map: its columns left to right and rows top to bottom, inclusive. The far
// sides are found in 64 bits, which the viewer's coordinates plus r may need.
struct Square {
  int left;
  int top;
  int right;
  int bottom;
};
Square square_around(Cell viewer, int r, int width, int height) {
  return Square{
      std::max(viewer.x - r, 0), std::max(viewer.y - r, 0),
      static_cast<int>(std::min<std::int64_t>(std::int64_t{viewer.x} + r, width - 1)),
      static_cast<int>(std::min<std::int64_t>(std::int64_t{viewer.y} + r, height - 1))};
}

}  // namespace

SymmetricView::SymmetricView(const FieldOfView& view)
    : radius_(within_largest(view).radius()) {
  // A line of the tree steps from the viewer through L[1] .. L[j - 1] to
  // L[j]. Taken backwards from B = viewer + L[j], it steps through
  // L[i] - L[j], i = j - 1 down to 1, to -L[j]: when the tree holds that
  // line too, B sees the viewer wherever the viewer sees B along it.
  const std::vector<FieldOfView::Node>& tree = view.nodes_;
  const std::size_t count = tree.size();
  if (count > kAfter) throw std::bad_alloc();
  constexpr std::uint32_t kNone = TreeIndex::kViewer;
  // Each line of the tree by the cell where it ends, the shortest first:
  // the cheapest to walk, and the likeliest to be clear.
  TreeIndex index = index_tree(tree, radius_);
  const std::vector<std::uint32_t>& before = index.before;
  // What follows costs, and keeps, the cells before each cell of the tree
  // on its line: the square of a line's length. A line that steps back and
  // forth, or many that wander, would make a small table cost gigabytes.
  std::uint64_t cells = 0;
  const std::uint64_t most_cells = kMostCellsPerCube * std::uint64_t(radius_) *
                                   std::uint64_t(radius_) * std::uint64_t(radius_);
  for (const std::uint32_t depth : index.depth) {
    if (depth >= static_cast<std::uint32_t>(kMostCellsPerRadius * radius_)) {
      throw std::invalid_argument("vantrel::SymmetricView: a line of the table has more than " +
                                  std::to_string(kMostCellsPerRadius * radius_) +
                                  " cells, twice the radius " + std::to_string(radius_) +
                                  " that its lines reach");
    }
    cells += depth;
  }
  if (cells > most_cells) {
    throw std::invalid_argument(
        "vantrel::SymmetricView: the lines of the table hold more than " +
        std::to_string(most_cells) + " cells before their ends, " +
        std::to_string(kMostCellsPerCube) + " times the cube of the radius " +
        std::to_string(radius_) + " that they reach, as no table that vantrel makes does");
  }
  nodes_.reserve(count);
  for (const FieldOfView::Node& node : tree) nodes_.push_back(Node{node.dx, node.dy, node.after});
  // The cell after `at` (kNone: the viewer) on its lines at (dx, dy), or
  // kNone when there is none: the cells after a cell are its subtree's tops.
  auto next = [&](std::uint32_t at, std::int32_t dx, std::int32_t dy) {
    std::size_t end = count;
    std::size_t cell = 0;
    if (at != kNone) {
      end = tree[at].after;
      cell = at + std::size_t{1};
    }
    for (; cell < end; cell = tree[cell].after) {
      if (tree[cell].dx == dx && tree[cell].dy == dy) return static_cast<std::uint32_t>(cell);
    }
    return kNone;
  };
  for (std::size_t j = 0; j < count; ++j) {
    const std::int32_t px = tree[j].dx;
    const std::int32_t py = tree[j].dy;
    std::uint32_t at = kNone;
    bool both_ways = true;
    for (std::uint32_t i = before[j]; i != kNone; i = before[i]) {
      if (!within(tree[i].dx, px) || !within(tree[i].dy, py)) straight_ = false;
      if (both_ways) {
        at = next(at, tree[i].dx - px, tree[i].dy - py);
        both_ways = at != kNone;
      }
    }
    if (both_ways && next(at, -px, -py) != kNone) nodes_[j].after |= kBothWays;
  }

  // The index counts its cells in 32 bits.
  static_assert(kMostCellsPerCube * kLargestSymmetricRadius * kLargestSymmetricRadius *
                    kLargestSymmetricRadius <=
                std::numeric_limits<std::uint32_t>::max());
  first_line_ = std::move(index.first);
  const std::vector<std::uint32_t>& lines = index.at;
  const auto side = static_cast<std::size_t>(2 * radius_ + 1);
  // A line's cells from the viewer outwards: from a cell that sees the
  // viewer one way but not the other, its lines are stopped sooner so,
  // found by measure (a quarter fewer steps on ground a tenth opaque).
  first_cell_.reserve(count + 1);
  between_.reserve(cells);
  for (const std::uint32_t line : lines) {
    first_cell_.push_back(static_cast<std::uint32_t>(between_.size()));
    for (std::uint32_t i = before[line]; i != kNone; i = before[i]) {
      between_.push_back(Offset{tree[i].dx, tree[i].dy});
    }
    std::reverse(between_.begin() + first_cell_.back(), between_.end());
  }
  first_cell_.push_back(static_cast<std::uint32_t>(between_.size()));

  // For each cell of the tree that does not see the viewer along its own
  // line backwards, the line of the cell's own to the viewer with the
  // fewest cells beside those of its line, if kExtraCells or fewer: lines
  // from A to B and from B to A mostly share their cells. Straight lines
  // only, whose cells all lie on the map around the viewer.
  if (!straight_) return;
  extra_.assign(count * kExtraCells, Offset{0, 0});
  // The cells of the line at hand are stamped with its number.
  std::vector<std::uint32_t> stamp(side * side, kNone);
  auto square = [&](std::int32_t dx, std::int32_t dy) {
    return static_cast<std::size_t>(dy + radius_) * side + static_cast<std::size_t>(dx + radius_);
  };
  for (std::size_t j = 0; j < count; ++j) {
    if ((nodes_[j].after & kBothWays) != 0) continue;
    for (std::uint32_t i = before[j]; i != kNone; i = before[i]) {
      stamp[square(tree[i].dx, tree[i].dy)] = static_cast<std::uint32_t>(j);
    }
    const std::int32_t px = tree[j].dx;
    const std::int32_t py = tree[j].dy;
    const std::size_t back = square(-px, -py);
    std::uint32_t fewest = kExtraCells + 1;
    for (std::uint32_t line = first_line_[back]; line < first_line_[back + 1]; ++line) {
      Offset cells[kExtraCells];
      std::uint32_t extras = 0;
      for (std::uint32_t k = first_cell_[line]; k < first_cell_[line + 1] && extras < fewest;
           ++k) {
        // Relative to the viewer, the line's cells lie between it and the
        // cell, within the square.
        const std::int32_t dx = px + between_[k].dx;
        const std::int32_t dy = py + between_[k].dy;
        if (stamp[square(dx, dy)] == j) continue;
        if (extras < kExtraCells) {
          cells[extras] = Offset{static_cast<std::int16_t>(dx), static_cast<std::int16_t>(dy)};
        }
        ++extras;
      }
      if (extras < fewest) {
        fewest = extras;
        std::copy_n(cells, std::min(extras, kExtraCells),
                    extra_.begin() + static_cast<std::ptrdiff_t>(j * kExtraCells));
      }
    }
    // With none, the cells of a line of its own are among those of the
    // line that ends at it.
    if (fewest == 0) {
      nodes_[j].after |= kBothWays;
    } else if (fewest <= kExtraCells) {
      nodes_[j].after |= fewest << kExtraShift;
    }
  }
}

bool SymmetricView::sees_viewer(Cell from, Cell viewer, int width, int height,
                                const std::uint8_t* opaque) const noexcept {
  // The lines from `from` that reach the viewer: those of the tree that end
  // at viewer - from.
  const auto side = static_cast<std::size_t>(2 * radius_ + 1);
  const std::size_t cell = static_cast<std::size_t>(viewer.y - from.y + radius_) * side +
                           static_cast<std::size_t>(viewer.x - from.x + radius_);
  const std::ptrdiff_t row = width;
  const std::uint8_t* const origin = opaque + from.y * row + from.x;
  const Offset* const between = between_.data();
  const std::uint32_t* const first_cell = first_cell_.data();
  for (std::uint32_t line = first_line_[cell]; line < first_line_[cell + 1]; ++line) {
    const std::uint32_t end = first_cell[line + 1];
    std::uint32_t k = first_cell[line];
    if (straight_) {
      // Between `from` and the viewer, so on the map. Four cells at a time,
      // each read without waiting on the one before.
      std::uint8_t wall = 0;
      for (; k + 4 <= end && wall == 0; k += 4) {
        wall = origin[between[k].dy * row + between[k].dx] |
               origin[between[k + 1].dy * row + between[k + 1].dx] |
               origin[between[k + 2].dy * row + between[k + 2].dx] |
               origin[between[k + 3].dy * row + between[k + 3].dx];
      }
      if (wall != 0) continue;
      while (k < end && origin[between[k].dy * row + between[k].dx] == 0) ++k;
    } else {
      for (; k < end; ++k) {
        const std::int64_t x = std::int64_t{from.x} + between[k].dx;
        const std::int64_t y = std::int64_t{from.y} + between[k].dy;
        // Off the map the line has ended.
        if (x < 0 || y < 0 || x >= width || y >= height ||
            origin[between[k].dy * row + between[k].dx] != 0) {
          break;
        }
      }
    }
    if (k == end) return true;
  }
  return false;
}

std::optional<SymmetricView> SymmetricView::make(const FieldOfView& view, Error& error) noexcept {
  std::optional<SymmetricView> symmetric;
  catch_into(error, [&] { symmetric.emplace(view); });
  return symmetric;
}

void SymmetricView::compute(Cell viewer, int width, int height,
                            std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                            Walls walls) const {
  if (const char* fault = fault_text(viewer, width, height, opaque, in_view)) {
    throw std::invalid_argument(fault);
  }
  traverse_whole(viewer, width, height, opaque.data(), in_view.data(), walls);
}

bool SymmetricView::compute(Cell viewer, int width, int height,
                            std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                            Walls walls, Error& error) const noexcept {
  error.clear();
  if (const char* fault = fault_text(viewer, width, height, opaque, in_view)) {
    report(error, Error::Code::kInvalidArgument, fault);
    return false;
  }
  traverse_whole(viewer, width, height, opaque.data(), in_view.data(), walls);
  return true;
}

void SymmetricView::compute(Cell viewer, int width, int height,
                            std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                            Cone cone, Walls walls) const {
  if (const char* fault = fault_text(viewer, width, height, opaque, in_view)) {
    throw std::invalid_argument(fault);
  }
  if (!detail::ConeTest::is_cone(cone)) {
    throw std::invalid_argument(cone_fault("vantrel::SymmetricView::compute", cone));
  }
  // The whole symmetric view, cut to the cone; the facing walls after it.
  traverse_whole(viewer, width, height, opaque.data(), in_view.data(),
                 walls == Walls::kFacing ? Walls::kSeen : walls);
  const detail::ConeTest test(cone);
  std::uint8_t* const seen = in_view.data() + static_cast<std::ptrdiff_t>(viewer.y) * width +
                             viewer.x;
  if (!test.whole()) cut_to_cone(test, viewer, width, height, radius_, seen, width);
  if (walls == Walls::kFacing) {
    light_facing_walls(viewer, width, height, radius_, opaque.data(), seen, width);
  }
}

bool SymmetricView::compute(Cell viewer, int width, int height,
                            std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                            Cone cone, Walls walls, Error& error) const noexcept {
  error.clear();
  catch_into(error, [&] { compute(viewer, width, height, opaque, in_view, cone, walls); });
  return !error;
}

void SymmetricView::mark(Cell viewer, int width, int height,
                         std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                         std::span<std::uint8_t> scratch, Walls walls) const {
  constexpr const char* kMark = "vantrel::SymmetricView::mark";
  switch (fault_of_view(viewer, width, height, opaque, in_view)) {
    case ViewFault::kNone:
      break;
    case ViewFault::kOverlap:
      throw std::invalid_argument(std::string(kMark) + ": the view must not overlap the map");
    case ViewFault::kNotAView:
      throw std::invalid_argument(std::string(kMark) +
                                  ": the viewer must stand on the map, and the views must hold "
                                  "width * height bytes");
  }
  const std::size_t size = scratch_size();
  if (scratch.size() < size) {
    throw std::invalid_argument(std::string(kMark) + ": the scratch must hold " +
                                std::to_string(size) + " bytes, not " +
                                std::to_string(scratch.size()));
  }
  if (overlap(scratch, opaque) || overlap(scratch, in_view)) {
    throw std::invalid_argument(std::string(kMark) +
                                ": the scratch must not overlap the map or the view");
  }
  // The view in a window of the map around the viewer, then its cells in
  // view marked, row by row within the map.
  const int side = 2 * radius_ + 3;
  const int middle = radius_ + 1;
  std::memset(scratch.data(), 0, size);
  std::uint8_t* const seen =
      scratch.data() + static_cast<std::ptrdiff_t>(middle) * side + middle;
  traverse(viewer, width, height, opaque.data(), seen, side, walls);
  const std::int64_t left = std::max<std::int64_t>(-middle, -std::int64_t{viewer.x});
  const std::int64_t right = std::min<std::int64_t>(middle, std::int64_t{width} - 1 - viewer.x);
  const std::int64_t top = std::max<std::int64_t>(-middle, -std::int64_t{viewer.y});
  const std::int64_t bottom =
      std::min<std::int64_t>(middle, std::int64_t{height} - 1 - viewer.y);
  std::uint8_t* const origin =
      in_view.data() + static_cast<std::ptrdiff_t>(viewer.y) * width + viewer.x;
  for (std::int64_t dy = top; dy <= bottom; ++dy) {
    const std::uint8_t* const from = seen + dy * side;
    std::uint8_t* const to = origin + dy * width;
    for (std::int64_t dx = left; dx <= right; ++dx) {
      if (from[dx] != 0) to[dx] = 1;
    }
  }
}

bool SymmetricView::mark(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
                         std::span<std::uint8_t> in_view, std::span<std::uint8_t> scratch,
                         Walls walls, Error& error) const noexcept {
  error.clear();
  catch_into(error, [&] { mark(viewer, width, height, opaque, in_view, scratch, walls); });
  return !error;
}

void SymmetricView::traverse_whole(Cell viewer, int width, int height,
                                   const std::uint8_t* opaque, std::uint8_t* in_view,
                                   Walls walls) const noexcept {
  std::memset(in_view, 0, static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  traverse(viewer, width, height, opaque,
           in_view + static_cast<std::ptrdiff_t>(viewer.y) * width + viewer.x, width, walls);
}

void SymmetricView::traverse(Cell viewer, int width, int height, const std::uint8_t* opaque,
                             std::uint8_t* seen, std::ptrdiff_t seen_row,
                             Walls walls) const noexcept {
  const std::ptrdiff_t row = width;
  const int r = radius_;
  const auto [left, top, right, bottom] = square_around(viewer, r, width, height);
  // Only an opaque cell stops a line, and straight lines between two cells
  // of the map stay within the square around the viewer: with no opaque
  // cell there, each cell of the plain view sees the viewer, and the plain
  // view is the symmetric one.
  bool open_ground = straight_;
  for (int y = top; y <= bottom && open_ground; ++y) {
    const std::uint8_t* const cells = opaque + y * row;
    std::uint8_t any = 0;
    for (int x = left; x <= right; ++x) any |= cells[x];
    open_ground = any == 0;
  }

  const std::ptrdiff_t origin = viewer.y * row + viewer.x;
  *seen = 1;
  const bool fits = viewer.x >= r && viewer.y >= r && width - viewer.x > r && height - viewer.y > r;
  const Node* const nodes = nodes_.data();
  const std::size_t count = nodes_.size();
  const std::uint8_t* const wall = opaque + origin;
  const Offset* const extra = extra_.data();
  const Bits bits{kBothWays, kExtraShift, kExtraCells, kAfter};
  auto traverse_as = [&]<bool kBoth>() {
    auto plain = [&]<bool kOnMap, Walls kWalls>() {
      traverse_plain<kOnMap, kWalls, kBoth>(nodes, count, extra, bits, viewer, width, height, wall,
                                            seen, seen_row);
    };
    if (walls != Walls::kUnseen) {
      fits ? plain.template operator()<true, Walls::kSeen>()
           : plain.template operator()<false, Walls::kSeen>();
    } else {
      fits ? plain.template operator()<true, Walls::kUnseen>()
           : plain.template operator()<false, Walls::kUnseen>();
    }
  };
  if (open_ground) {
    traverse_as.template operator()<false>();
    if (walls == Walls::kFacing) {
      light_facing_walls(viewer, width, height, r, opaque, seen, seen_row);
    }
    return;
  }
  // 1 for a cell in the plain view, 3 for one that is known to see the
  // viewer as well.
  traverse_as.template operator()<true>();

  // Each clear cell in view that is not yet known to see the viewer looks
  // back along its own lines; then back to 0 and 1: a clear cell is in
  // view when it sees the viewer, an opaque one when the plain view holds
  // it.
  // Places in the view are taken from the viewer, as the view may be a
  // window of the map around it.
  for (int y = top; y <= bottom; ++y) {
    std::uint8_t* const cells = seen + (y - viewer.y) * seen_row;
    const std::uint8_t* const walls_of_row = opaque + y * row;
    int x = left;
    // Eight cells at a time: a bit per clear cell that holds 1 (of 0, 1
    // and 3, the one with bit 0 set and bit 1 clear), the first cell in
    // the lowest byte where the machine puts it there.
    for (; std::endian::native == std::endian::little && right + 1 - x >= 8; x += 8) {
      std::uint64_t marks;
      std::uint64_t walls_here;
      std::memcpy(&marks, cells + (x - viewer.x), 8);
      std::memcpy(&walls_here, walls_of_row + x, 8);
      constexpr std::uint64_t kLow = 0x0101010101010101u;
      constexpr std::uint64_t kSeven = 0x7f7f7f7f7f7f7f7fu;
      // The top bit of each byte that is not 0.
      const std::uint64_t walled = ((walls_here & kSeven) + kSeven) | walls_here;
      std::uint64_t unknown = marks & ~(marks >> 1) & ~(walled >> 7) & kLow;
      while (unknown != 0) {
        const int at = x + std::countr_zero(unknown) / 8;
        if (sees_viewer(Cell{at, y}, viewer, width, height, opaque)) cells[at - viewer.x] = 3;
        unknown &= unknown - 1;
      }
    }
    for (; x <= right; ++x) {
      if (cells[x - viewer.x] == 1 && walls_of_row[x] == 0 &&
          sees_viewer(Cell{x, y}, viewer, width, height, opaque)) {
        cells[x - viewer.x] = 3;
      }
    }
    for (int x = left; x <= right; ++x) {
      const std::uint8_t v = cells[x - viewer.x];
      cells[x - viewer.x] =
          static_cast<std::uint8_t>((v >> 1) | (v & (walls_of_row[x] != 0 ? 1 : 0)));
    }
  }
  *seen = 1;
  if (walls == Walls::kFacing) {
    light_facing_walls(viewer, width, height, r, opaque, seen, seen_row);
  }
}

}  // namespace vantrel

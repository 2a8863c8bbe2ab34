// The field of view that a line-of-sight table defines.
//
// For a viewer at cell O, a table of radius k and a map whose cells are
// opaque or not:
//   - the lines of the table, each turned by each of the 8 symmetries of
//     the square (x -> -x, y -> -y, and x <-> y, alone or together), are
//     walked from O outwards, cell by cell;
//   - a cell is in view when some turned line reaches it with no opaque cell
//     before it on that line; the first opaque cell of a line is in view
//     (walls are seen), and O is in view;
//   - nothing else is in view. A line ends at the map's edge.
// Walls::kUnseen leaves the opaque cells out of the view (but O's own):
// lines still stop at them, and clear cells are in view as they are above.
// Walls::kFacing lights the walls as a player expects to see them, without
// the holes that lines ending elsewhere leave: an opaque cell W is in view
// when a line reaches it, or when one of its eight neighbours C is a clear
// cell in view that is no farther from O than W along either axis
// (|C.x - O.x| <= |W.x - O.x| and |C.y - O.y| <= |W.y - O.y|).
//
//     . . # . .        O  the viewer
//     . . # . .        #  opaque, in view where a line first meets it
//     . . O . #        lines from O stop at the first # they meet: the
//     . . . . .        cells behind a # on every line through them are
//     . . . . .        out of view
//
// A FieldOfView is built once from a table, then computes the view for any
// viewer, map and opacity, allocating nothing. The turned lines share their
// first cells; they are kept as one tree of cells, walked once per view,
// and the cells behind an opaque cell are skipped without being visited.
// compute() writes the whole view; mark() only the cells in view, so that
// its cost does not grow with the map.
//
// Threads: compute() and mark() are const and touch nothing but their
// arguments and the tree, which they only read: any number of threads may
// compute or mark with one FieldOfView at once, each into its own view.
// Building, assigning or destroying one must not overlap any use of it.
#ifndef VANTREL_FIELD_OF_VIEW_H_
#define VANTREL_FIELD_OF_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <cmath>
#include <concepts>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "vantrel/cell.h"
#include "vantrel/error.h"
#include "vantrel/export.h"
#include "vantrel/table.h"

namespace vantrel {

// Which opaque cells are in view. Whichever, a line stops at its first
// opaque cell, the clear cells in view are the same, and the viewer's own
// cell is in view, opaque or not: a viewer sees where it stands. (Its
// opacity is asked only of a line that passes back through the viewer's
// cell, which a hand-made table may hold and no table of vantrel's does;
// such a line stops there when the viewer stands on an opaque cell; and by
// kFacing, which lights its neighbours when it is clear.)
//
// kSeen is the default, as it was the only mode of the first versions; a
// game shows kFacing, whose walls have no holes.
enum class Walls {
  kSeen,    // the first opaque cell of each line is in view, as a wall is lit
  kUnseen,  // no opaque cell is in view but the viewer's; clear cells as kSeen
  // kSeen, and each opaque cell next to a clear cell in view that is no
  // farther from the viewer along either axis: the walls that face the
  // viewer, lit along their whole length. Such a wall may lie one cell
  // beyond the radius.
  kFacing,
};

// A cone of sight: a guard facing north, a unit's field of 90 degrees, a
// flashlight. A cell is in a view through a cone when it is in the view and
// the direction from the viewer's centre to the cell's centre lies within
// the cone, its edges included; the viewer is always in it. The walls that
// Walls::kFacing lights are lit after the cone: each opaque cell next to a
// clear cell in the cone's view, as Walls says, even one just outside it.
// Angles are in degrees, clockwise on a map drawn row 0 at the top: 0 looks
// along +x (east), 90 along +y (south, down the rows), 180 west, 270 north.
// rot.js's compute90 facing direction d of its eight (0 north, clockwise) is
// Cone{d * 45.0 - 90.0, 90.0}.
struct Cone {
  double direction = 0;  // the cone's middle; any finite angle
  double width = 360;    // above 0 and at most 360
};

namespace detail {

// Whether a cell lies in a cone, by the signs of two cross products with the
// cone's edges, each turned a billionth of a radian outwards: an edge that
// runs through cells (at 45 degrees, say) holds them whatever the rounding
// of its sine and cosine, and a cell counts as on an edge within a
// billionth of a radian of it.
class ConeTest {
 public:
  // `cone` must be valid: is_cone(cone).
  explicit ConeTest(Cone cone) noexcept {
    if (cone.width >= 360) return;
    constexpr double kRadians = 3.14159265358979323846 / 180;
    constexpr double kSlack = 1e-9;
    // A turn of the direction first, exactly, so that a direction of any
    // size keeps its edges' precision.
    const double direction = std::fmod(cone.direction, 360.0);
    const double first = (direction - cone.width / 2) * kRadians - kSlack;
    const double last = (direction + cone.width / 2) * kRadians + kSlack;
    first_x_ = std::cos(first);
    first_y_ = std::sin(first);
    last_x_ = std::cos(last);
    last_y_ = std::sin(last);
    // Half a turn or less, once widened: the cells on the cone's side of
    // both edges; more: those on its side of either.
    convex_ = last - first <= 3.14159265358979323846;
    whole_ = false;
  }
  static bool is_cone(Cone cone) noexcept {
    return std::isfinite(cone.direction) && cone.width > 0 && cone.width <= 360;
  }
  bool contains(std::int32_t dx, std::int32_t dy) const noexcept {
    if (whole_) return true;
    return convex_ ? after_first(dx, dy) && before_last(dx, dy)
                   : after_first(dx, dy) || before_last(dx, dy);
  }
  bool whole() const noexcept { return whole_; }
  bool convex() const noexcept { return convex_; }
  // On the cone's side of each edge: the two sides of `contains`.
  bool after_first(double dx, double dy) const noexcept {
    return first_x_ * dy - first_y_ * dx >= 0;
  }
  bool before_last(double dx, double dy) const noexcept {
    return dx * last_y_ - dy * last_x_ >= 0;
  }
  // How after_first() and before_last() grow with dx along a row, and
  // where each edge crosses row dy (when its slope is not 0).
  double first_slope() const noexcept { return -first_y_; }
  double last_slope() const noexcept { return last_y_; }
  double first_crossing(double dy) const noexcept { return first_x_ * dy / first_y_; }
  double last_crossing(double dy) const noexcept { return last_x_ * dy / last_y_; }

 private:
  double first_x_ = 1;  // the edge at direction - width / 2
  double first_y_ = 0;
  double last_x_ = 1;  // the edge at direction + width / 2
  double last_y_ = 0;
  bool convex_ = true;  // at most 180 degrees wide
  bool whole_ = true;   // 360 degrees wide
};

// The one traversal of a view's tree, which every view of the library takes:
// the views, the marks, the symmetric view and fog of war differ only in
// what they do at a cell. Inline, as compute() of a caller's predicate
// traverses the tree in the caller's code. ("Walk" is kept for a line's
// cells, stepped through from the origin.)
//
// The tree's cells (Node: dx and dy from the viewer, `after`) are in
// depth-first order: the cells after a cell on its lines follow it, up to
// `after & after_mask`, the first cell that is not one of them (a
// symmetric view keeps flags in the bits beyond the mask). `visit(node,
// n)` is called for each cell the traversal reaches, the n-th of the tree,
// and says whether the lines go on past it: false skips the cells behind
// it.
// kInside: every cell of the tree lies on the map around `viewer`;
// otherwise a cell off the map ends its lines unvisited, and the test is
// made in 64 bits, as a viewer near the end of int may need.
template <bool kInside, class Node, class Visit>
inline void traverse_tree(const Node* nodes, std::size_t count, std::uint32_t after_mask,
                          Cell viewer, int width, int height, Visit&& visit) {
  for (std::size_t n = 0; n < count;) {
    const Node& node = nodes[n];
    if constexpr (!kInside) {
      const std::int64_t x = std::int64_t{viewer.x} + node.dx;
      const std::int64_t y = std::int64_t{viewer.y} + node.dy;
      if (x < 0 || y < 0 || x >= width || y >= height) {
        n = node.after & after_mask;
        continue;
      }
    }
    n = visit(node, n) ? n + 1 : node.after & after_mask;
  }
}

// What a view does at a cell that the traversal reaches: puts it in view with
// `see()`, an opaque one too where walls are seen (before asking whether
// it is), and says whether the lines go on past it: not past an opaque
// cell, which `is_opaque()` tells. By Walls::kFacing a clear cell lights
// the walls that face the viewer around it with `face()`, before `see()`.
struct NoFace {
  void operator()() const {}
};
template <Walls kWalls, class IsOpaque, class See, class Face = NoFace>
inline bool see_cell(IsOpaque&& is_opaque, See&& see, Face&& face = {}) {
  if constexpr (kWalls == Walls::kUnseen) {
    if (is_opaque()) return false;
    see();
    return true;
  } else if constexpr (kWalls == Walls::kFacing) {
    if (is_opaque()) {
      see();
      return false;
    }
    face();
    see();
    return true;
  } else {
    see();
    return !is_opaque();
  }
}

// Calls `light(ox, oy)` for each neighbour of a clear cell at (dx, dy) from
// the viewer that lies no nearer to the viewer along either axis: where a
// wall faces the viewer by Walls::kFacing. Three neighbours off the axes,
// five on them, eight around the viewer.
template <class Light>
inline void for_each_facing(std::int32_t dx, std::int32_t dy, Light&& light) {
  const int sx = (dx > 0) - (dx < 0);
  const int sy = (dy > 0) - (dy < 0);
  if (sx != 0 && sy != 0) {
    light(sx, 0);
    light(0, sy);
    light(sx, sy);
    return;
  }
  for (int oy = -1; oy <= 1; ++oy) {
    if (sy != 0 && oy == -sy) continue;
    for (int ox = -1; ox <= 1; ++ox) {
      if ((sx != 0 && ox == -sx) || (ox == 0 && oy == 0)) continue;
      light(ox, oy);
    }
  }
}

}  // namespace detail

class VANTREL_API FieldOfView {
 public:
  // The largest radius a field of view takes: no cell of its table lies
  // further than this from the viewer.
  static constexpr int kLargestViewRadius = 32767;
  // The former name of kLargestViewRadius, kept for code that uses it.
  [[deprecated("use kLargestViewRadius")]] static constexpr int kLargestRadius =
      kLargestViewRadius;

  // Throws std::invalid_argument for an empty table (radius 0, as a Table
  // made by default, or one that a call without exceptions returned on
  // failure), a table whose lines do not step from the origin to a
  // neighbouring cell at a time, as the lines of a table file do, or one
  // that reaches beyond kLargestViewRadius; std::bad_alloc when memory
  // runs out. Costs time as the table's points: the tree holds up to 8
  // cells of 8 bytes per point of the table, and takes about twice that
  // while it is built (a radius of 50 takes about 200 KB and a millisecond,
  // 500 about 20 MB, 40 MB while built).
  explicit FieldOfView(const Table& table);
  // The same without throwing: std::nullopt, and `error` filled in.
  static std::optional<FieldOfView> make(const Table& table, Error& error) noexcept;

  // How far from the viewer the table's lines reach: the table's radius for
  // every table vantrel makes; less for a hand-made table whose lines fall
  // short of it (0 for one without lines, whose view is the viewer alone).
  int radius() const { return radius_; }

  // Computes what a viewer at `viewer` sees on a map of `width` x `height`
  // cells, where `is_opaque(x, y)` tells whether cell (x, y) blocks sight.
  // Sets `in_view[y * width + x]` to 1 for every cell in view and to 0 for
  // every other cell. `in_view` must hold width * height bytes and the
  // viewer must stand on the map: otherwise throws std::invalid_argument.
  // `is_opaque` is called only for cells of the map, at most once per cell
  // of each turned line. A predicate that captures by value is faster than
  // one that captures by reference, which must reread what it captured
  // after each byte of the view is written; a map of bytes (below) is
  // faster still.
  //
  // Costs: clearing the view (width * height bytes), then a step for each
  // cell of the tree that no opaque cell hides, at most 8 per point of the
  // table. Allocates nothing.
  template <class IsOpaque>
    requires std::predicate<IsOpaque&, std::int32_t, std::int32_t>
  void compute(Cell viewer, int width, int height, IsOpaque&& is_opaque,
               std::span<std::uint8_t> in_view) const {
    if (!is_view(viewer, width, height, in_view.size())) throw_not_a_view();
    traverse(viewer, width, height, is_opaque, in_view);
  }
  // The same without throwing: false, and `error` filled in, where the
  // arguments are not a view. Throws only what `is_opaque` throws.
  template <class IsOpaque>
    requires std::predicate<IsOpaque&, std::int32_t, std::int32_t>
  bool compute(Cell viewer, int width, int height, IsOpaque&& is_opaque,
               std::span<std::uint8_t> in_view, Error& error) const {
    error.clear();
    if (!is_view(viewer, width, height, in_view.size())) {
      report_not_a_view(error);
      return false;
    }
    traverse(viewer, width, height, is_opaque, in_view);
    return true;
  }

  // The same for a map given as a byte per cell, row by row like `in_view`,
  // non-zero for an opaque cell: the fastest way, since a cell's place in
  // both is found at once. `opaque` must hold width * height bytes too, and
  // share none with `in_view`: a view written over its own map is refused,
  // as arguments that are not a view are.
  void compute(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
               std::span<std::uint8_t> in_view) const;
  // The same without throwing: false, and `error` filled in.
  bool compute(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
               std::span<std::uint8_t> in_view, Error& error) const noexcept;

  // compute() with the walls in view as `walls` says: with Walls::kUnseen
  // an opaque cell's byte is 0, but the viewer's; with Walls::kFacing the
  // walls that face the viewer are in view, without holes. Walls::kSeen is
  // compute() above, to the byte. Errors as compute() above. Walls::kFacing
  // also asks `is_opaque` of the viewer's cell and of the neighbours of
  // each clear cell in view: three, five on the viewer's row and column,
  // eight around the viewer. compute() of a map of bytes lights them in a
  // pass over the square after the lines, at about twice the cost of the
  // view by Walls::kSeen; a predicate's compute() and mark() as each line
  // reaches a cell, at three to four and a half times the cost.
  template <class IsOpaque>
    requires std::predicate<IsOpaque&, std::int32_t, std::int32_t>
  void compute(Cell viewer, int width, int height, IsOpaque&& is_opaque,
               std::span<std::uint8_t> in_view, Walls walls) const {
    if (!is_view(viewer, width, height, in_view.size())) throw_not_a_view();
    traverse_as(walls, true, viewer, width, height, is_opaque, in_view);
  }
  template <class IsOpaque>
    requires std::predicate<IsOpaque&, std::int32_t, std::int32_t>
  bool compute(Cell viewer, int width, int height, IsOpaque&& is_opaque,
               std::span<std::uint8_t> in_view, Walls walls, Error& error) const {
    error.clear();
    if (!is_view(viewer, width, height, in_view.size())) {
      report_not_a_view(error);
      return false;
    }
    traverse_as(walls, true, viewer, width, height, is_opaque, in_view);
    return true;
  }
  void compute(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
               std::span<std::uint8_t> in_view, Walls walls) const;
  bool compute(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
               std::span<std::uint8_t> in_view, Walls walls, Error& error) const noexcept;

  // The same walk as compute(), for an engine that clears its view itself:
  // sets `in_view[y * width + x]` to 1 for every cell in view and touches
  // no other byte of `in_view`, neither reading nor writing it. The bytes of
  // the cells out of view keep what they held; clearing them, when the view
  // is to be the view alone, is the caller's: once for the whole map, then
  // only the (2r + 1)^2 cells around the last viewer, r = radius(), or r + 1
  // by Walls::kFacing, whose walls may lie a cell beyond. Marking
  // several viewers into one view gives what any of them sees.
  //
  // Arguments and errors as compute(): std::invalid_argument, or false and
  // `error` filled in, when the viewer is off the map or a span's size is
  // not width * height; `in_view` is left as it was then. Costs: a step for
  // each cell of the tree that no opaque cell hides, at most 8 per point of
  // the table, whatever the map's size. Allocates nothing.
  //
  // Threads: const, as compute(); many threads may mark at once, each into
  // an output of its own. Marking into the same output from several threads
  // at once is a data race, even where their views do not overlap in
  // cells, unless the caller orders the calls.
  template <class IsOpaque>
    requires std::predicate<IsOpaque&, std::int32_t, std::int32_t>
  void mark(Cell viewer, int width, int height, IsOpaque&& is_opaque,
            std::span<std::uint8_t> in_view, Walls walls = Walls::kSeen) const {
    if (!is_view(viewer, width, height, in_view.size())) throw_not_a_view_to_mark();
    traverse_as(walls, false, viewer, width, height, is_opaque, in_view);
  }
  // The same without throwing: false, and `error` filled in, where the
  // arguments are not a view. Throws only what `is_opaque` throws.
  template <class IsOpaque>
    requires std::predicate<IsOpaque&, std::int32_t, std::int32_t>
  bool mark(Cell viewer, int width, int height, IsOpaque&& is_opaque,
            std::span<std::uint8_t> in_view, Walls walls, Error& error) const {
    error.clear();
    if (!is_view(viewer, width, height, in_view.size())) {
      report_not_a_view_to_mark(error);
      return false;
    }
    traverse_as(walls, false, viewer, width, height, is_opaque, in_view);
    return true;
  }
  template <class IsOpaque>
    requires std::predicate<IsOpaque&, std::int32_t, std::int32_t>
  bool mark(Cell viewer, int width, int height, IsOpaque&& is_opaque,
            std::span<std::uint8_t> in_view, Error& error) const {
    return mark(viewer, width, height, is_opaque, in_view, Walls::kSeen, error);
  }
  // The same for a map of bytes, as compute() takes it, which must not
  // share bytes with `in_view` either.
  void mark(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
            std::span<std::uint8_t> in_view, Walls walls = Walls::kSeen) const;
  bool mark(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
            std::span<std::uint8_t> in_view, Walls walls, Error& error) const noexcept;
  bool mark(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
            std::span<std::uint8_t> in_view, Error& error) const noexcept {
    return mark(viewer, width, height, opaque, in_view, Walls::kSeen, error);
  }

  // mark(), listing the cells it puts in view: each cell whose byte of
  // `in_view` it turns from 0 to 1 is written to `cells`, once, in the
  // order the lines reach them (the viewer first; by Walls::kFacing a wall
  // just before the clear cell that lights it), and their count is
  // returned. A cell already in `in_view` (marked by another viewer, say)
  // is not listed again; with `in_view` cleared as mark() says, the list is
  // the whole view, with the same cells as compute() of the same `walls`.
  // Made as the lines reach the cells, without a pass over the square: a
  // game that goes through what a unit sees, or hands it to another
  // language, reads the few cells in view alone.
  //
  // `cells` must hold list_capacity(walls) cells, and share no byte with
  // the maps; otherwise, and for what mark() refuses, throws
  // std::invalid_argument and writes nothing. Costs about what mark() does,
  // and 8 bytes a cell listed. Allocates nothing. Threads: as mark().
  std::size_t list(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
                   std::span<std::uint8_t> in_view, std::span<Cell> cells,
                   Walls walls = Walls::kSeen) const;
  // The same without throwing: 0, and `error` filled in.
  std::size_t list(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
                   std::span<std::uint8_t> in_view, std::span<Cell> cells, Walls walls,
                   Error& error) const noexcept;
  // compute(), mark() and list() of a map of bytes through a cone: the cells
  // of the view whose direction from the viewer lies within `cone`, as Cone
  // says. Errors as the calls without a cone, and std::invalid_argument (or
  // false, or 0, and `error` filled in) for a cone whose width is not above
  // 0 and at most 360 or whose direction is not finite; nothing is written
  // then. Costs: those of the calls without a cone, and a test of each cell
  // that the lines reach.
  void compute(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
               std::span<std::uint8_t> in_view, Cone cone, Walls walls = Walls::kSeen) const;
  bool compute(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
               std::span<std::uint8_t> in_view, Cone cone, Walls walls,
               Error& error) const noexcept;
  void mark(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
            std::span<std::uint8_t> in_view, Cone cone, Walls walls = Walls::kSeen) const;
  bool mark(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
            std::span<std::uint8_t> in_view, Cone cone, Walls walls,
            Error& error) const noexcept;
  std::size_t list(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
                   std::span<std::uint8_t> in_view, std::span<Cell> cells, Cone cone,
                   Walls walls = Walls::kSeen) const;
  std::size_t list(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
                   std::span<std::uint8_t> in_view, std::span<Cell> cells, Cone cone,
                   Walls walls, Error& error) const noexcept;

  // The most cells that list() writes by `walls`: those of the (2r + 1)^2
  // square around the viewer, r = radius(), or of the (2r + 3)^2 one by
  // Walls::kFacing, whose walls may lie a cell beyond.
  std::size_t list_capacity(Walls walls = Walls::kSeen) const noexcept {
    const auto side = static_cast<std::size_t>(2 * radius_ + (walls == Walls::kFacing ? 3 : 1));
    return side * side;
  }

 private:
  // LineOfSight indexes the tree; SymmetricView turns its lines back;
  // FogOfWar traverses it into shared maps.
  friend class LineOfSight;
  friend class SymmetricView;
  friend class FogMarker;

  // True when every cell of the tree, and `margin` cells beyond, lies on
  // the map around `viewer`.
  bool fits(Cell viewer, int width, int height, int margin = 0) const {
    const int reach = radius_ + margin;
    return viewer.x >= reach && viewer.y >= reach && width - viewer.x > reach &&
           height - viewer.y > reach;
  }

  // True when the viewer stands on a map of width x height cells and
  // `size`, of a view, is what it takes.
  static bool is_view(Cell viewer, int width, int height, std::size_t size) noexcept {
    return detail::is_on_map(viewer, width, height) && detail::is_map(width, height, size);
  }
  // What a call with arguments that are not a view throws, or reports. Out
  // of line, so that this header compiles without exceptions.
  [[noreturn]] static void throw_not_a_view();
  static void report_not_a_view(Error& error) noexcept;
  // The same, naming mark().
  [[noreturn]] static void throw_not_a_view_to_mark();
  static void report_not_a_view_to_mark(Error& error) noexcept;

  // compute() and mark() of a map of bytes, with either Walls, once their
  // arguments are known to be a view; `clear` clears the view first.
  VANTREL_INTERNAL void traverse_bytes(Walls walls, bool clear, Cell viewer, int width,
                                       int height, std::span<const std::uint8_t> opaque,
                                       std::span<std::uint8_t> in_view,
                                       const detail::ConeTest* cone = nullptr) const noexcept;
  // list() once its arguments are known to be good; through `cone` when
  // it is not null.
  VANTREL_INTERNAL std::size_t list_bytes(Cell viewer, int width, int height,
                                          std::span<const std::uint8_t> opaque,
                                          std::span<std::uint8_t> in_view, std::span<Cell> cells,
                                          Walls walls,
                                          const detail::ConeTest* cone) const noexcept;
  // compute(), mark() and list() of a map of bytes: `see(at, dx, dy)` puts
  // the cell at (dx, dy) from the viewer in view, `at` its offset from the
  // viewer's byte in both maps, `wall` the viewer's byte of the map; a cell
  // that `admits(dx, dy)` refuses is neither put in view nor lights its
  // walls. Defined and used in the library alone.
  template <class See, class Admits>
  void mark_bytes(Walls walls, Cell viewer, int width, int height, const std::uint8_t* wall,
                  See see, Admits admits) const noexcept;
  // traverse() with the walls and the clearing chosen at run time.
  template <class IsOpaque>
  void traverse_as(Walls walls, bool clear, Cell viewer, int width, int height,
                   IsOpaque& is_opaque, std::span<std::uint8_t> in_view) const {
    auto as = [&]<Walls kWalls>() {
      clear ? traverse<kWalls, true>(viewer, width, height, is_opaque, in_view)
            : traverse<kWalls, false>(viewer, width, height, is_opaque, in_view);
    };
    // Any other value is taken for kSeen, as LineOfSight takes it.
    if (walls == Walls::kUnseen) {
      as.template operator()<Walls::kUnseen>();
    } else if (walls == Walls::kFacing) {
      as.template operator()<Walls::kFacing>();
    } else {
      as.template operator()<Walls::kSeen>();
    }
  }
  // compute() once its arguments are known to be a view; mark() without
  // kClear. With Walls::kUnseen an opaque cell is asked about before it is
  // written, and not written. With Walls::kFacing a clear cell's walls are
  // lit as it is seen; once, where the view was cleared and its byte
  // already tells that it was seen.
  template <Walls kWalls = Walls::kSeen, bool kClear = true, class IsOpaque>
  void traverse(Cell viewer, int width, int height, IsOpaque& is_opaque,
                std::span<std::uint8_t> in_view) const {
    if constexpr (kClear) std::memset(in_view.data(), 0, in_view.size());
    std::uint8_t* const origin =
        in_view.data() + static_cast<std::ptrdiff_t>(viewer.y) * width + viewer.x;
    *origin = 1;
    constexpr bool kFacing = kWalls == Walls::kFacing;
    if constexpr (kFacing) face_viewer(viewer, width, height, is_opaque, origin);
    if (fits(viewer, width, height, kFacing ? 1 : 0) &&
        in_view.size() <= static_cast<std::size_t>(INT32_MAX)) {
      // y * width + x fits an int. Written as an inlined is_opaque most
      // likely indexes its own map, row by row, the index is computed once
      // for both, when is_opaque holds the map's address and width in copies.
      std::uint8_t* const cells = in_view.data();
      detail::traverse_tree<true>(
          nodes_.data(), nodes_.size(), ~std::uint32_t{0}, viewer, width, height,
          [cells, viewer, width, &is_opaque](const Node& node, std::size_t) {
            const std::int32_t x = viewer.x + node.dx;
            const std::int32_t y = viewer.y + node.dy;
            return detail::see_cell<kWalls>(
                [&] { return is_opaque(x, y); }, [&] { cells[y * width + x] = 1; },
                [&] {
                  if (kClear && cells[y * width + x] != 0) return;
                  detail::for_each_facing(node.dx, node.dy, [&](int ox, int oy) {
                    if (is_opaque(x + ox, y + oy)) cells[(y + oy) * width + x + ox] = 1;
                  });
                });
          });
      return;
    }
    // Near the map's edge, or on a map too large for an int index.
    detail::traverse_tree<false>(
        nodes_.data(), nodes_.size(), ~std::uint32_t{0}, viewer, width, height,
        [origin, viewer, width, height, &is_opaque](const Node& node, std::size_t) {
          const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(node.dy) * width + node.dx;
          return detail::see_cell<kWalls>(
              [&] { return is_opaque(viewer.x + node.dx, viewer.y + node.dy); },
              [&] { origin[at] = 1; },
              [&] {
                if (kClear && origin[at] != 0) return;
                detail::for_each_facing(node.dx, node.dy, [&](int ox, int oy) {
                  const std::int64_t x = std::int64_t{viewer.x} + node.dx + ox;
                  const std::int64_t y = std::int64_t{viewer.y} + node.dy + oy;
                  if (x < 0 || y < 0 || x >= width || y >= height) return;
                  if (is_opaque(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y))) {
                    origin[at + static_cast<std::ptrdiff_t>(oy) * width + ox] = 1;
                  }
                });
              });
        });
  }
  // By Walls::kFacing, the walls around a viewer that stands on a clear
  // cell: `origin` is the viewer's byte of the view.
  template <class IsOpaque>
  static void face_viewer(Cell viewer, int width, int height, IsOpaque& is_opaque,
                          std::uint8_t* origin) {
    if (is_opaque(viewer.x, viewer.y)) return;
    detail::for_each_facing(0, 0, [&](int ox, int oy) {
      const std::int64_t x = std::int64_t{viewer.x} + ox;
      const std::int64_t y = std::int64_t{viewer.y} + oy;
      if (x < 0 || y < 0 || x >= width || y >= height) return;
      if (is_opaque(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y))) {
        origin[static_cast<std::ptrdiff_t>(oy) * width + ox] = 1;
      }
    });
  }

  // A cell of the tree, relative to the viewer; the cells after it on its
  // lines follow it, up to `after`, the next cell that is not one of them.
  // Eight bytes, so that a traversal reads as little as it can. compute()
  // of a predicate traverses it inline, in the caller's code: its layout is
  // part of the ABI of libvantrel.so.1, and stays as it is while the SONAME
  // does.
  struct Node {
    std::int16_t dx;
    std::int16_t dy;
    std::uint32_t after;
  };

  int radius_ = 0;
  std::vector<Node> nodes_;  // in depth-first order
};

}  // namespace vantrel

#endif  // VANTREL_FIELD_OF_VIEW_H_

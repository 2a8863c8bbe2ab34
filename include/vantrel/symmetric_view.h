// The symmetric field of view of a line-of-sight table: what a viewer sees
// when sight must work both ways.
//
// For two cells A and B and one table, B is in A's symmetric view when B is
// in A's view (FieldOfView) and A is in B's view, as FieldOfView defines
// them. "A is in B's view" asks only of the cells strictly between them on
// B's turned lines: A's own opacity never stops a line reaching A. An opaque
// cell is in the symmetric view as it is in the plain one (by Walls::kSeen
// or kUnseen); by Walls::kFacing, as kSeen, and each opaque cell next to a
// clear cell of the symmetric view that is no farther from the viewer along
// either axis. The viewer is always in view. So for any two clear cells A and
// B, B is in A's symmetric view exactly when A is in B's, for every table.
//
// The views of O on an 11 x 7 map, make_table(6), walls seen:
//
//     plain view                    symmetric view
//     o o o o o # . . . # .         o o o o o # . . . # .     O  the viewer
//     o o o o o . . . . . .         o o o o x . . . . . .     #  opaque
//     o o o # o o o o . . .         o o o # x o o o . . .     o  in view
//     o O o o o o # . . . .         o O o o o o # . . . .     .  out of view
//     o o o o o o o o . . .         o o o o o o o o . . .     x  in O's view,
//     o o o o o o o o . . .         o o o o o o o o . . .        but O is not
//     o o o o o o o . . . .         o o o o o o o . . . .        in its view
//
// Computes; never prints or touches files. Cells are x = column, y = row, as
// FieldOfView takes them.
//
// Threads: compute() is const and touches nothing but its arguments and the
// trees it only reads: any number of threads may compute with one
// SymmetricView at once, each into its own view. Building, assigning or
// destroying one must not overlap any use of it.
#ifndef VANTREL_SYMMETRIC_VIEW_H_
#define VANTREL_SYMMETRIC_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "vantrel/cell.h"
#include "vantrel/error.h"
#include "vantrel/export.h"
#include "vantrel/field_of_view.h"

namespace vantrel {

class VANTREL_API SymmetricView {
 public:
  // The largest radius() of a field of view that a symmetric view takes.
  // Besides the field of view's tree (8 bytes a cell, and 28 more for up to
  // 7 cells of a line back), it keeps each line of the tree as the cells
  // before its end (4 bytes a cell), so that its memory grows as the cube of
  // the radius. Measured on make_table's tables:
  //   radius  12:     3,896 cells of lines,  43 KB, 0.2 ms to build
  //   radius  50:   382,408 cells of lines, 2.1 MB,  10 ms
  //   radius 100: 3,171,716 cells of lines,  15 MB,  75 ms
  //   radius 200:  25.8 million,            109 MB, 0.55 s
  // and little more while it is built.
  static constexpr int kLargestSymmetricRadius = 200;
  // The former name of kLargestSymmetricRadius, kept for code that uses it.
  [[deprecated("use kLargestSymmetricRadius")]] static constexpr int kLargestRadius =
      kLargestSymmetricRadius;

  // Builds the symmetric view of `view`'s table; keeps what it needs, no
  // reference to `view`. Throws std::invalid_argument when view.radius() is
  // beyond kLargestSymmetricRadius, or when a line of the table has more than
  // 2 * view.radius() cells (a line that steps away from the viewer at
  // each step has no more; vantrel's own have view.radius() at most),
  // since the index grows as the square of a line's length, or when the
  // lines hold more than 6 r^3 cells before their ends, r = view.radius()
  // (make_table's hold about 3.2 r^3, lines that wander far more);
  // std::bad_alloc when memory runs out.
  explicit SymmetricView(const FieldOfView& view);
  // The same without throwing: std::nullopt, and `error` filled in.
  static std::optional<SymmetricView> make(const FieldOfView& view, Error& error) noexcept;

  // The field of view's radius(): no cell further than this on either axis
  // is in view, but the walls that Walls::kFacing lights a cell beyond.
  int radius() const { return radius_; }

  // Computes the symmetric view of a viewer at `viewer` on a map of `width`
  // x `height` cells, given as a byte per cell, row by row, non-zero for an
  // opaque cell: sets `in_view[y * width + x]` to 1 for every cell in view,
  // to 0 for every other. `walls` decides, as for FieldOfView, which opaque
  // cells are in view. Both spans must
  // hold width * height bytes, must not overlap, and the viewer must stand
  // on the map: otherwise throws std::invalid_argument.
  //
  // Costs: when no cell within radius() of the viewer is opaque, the plain
  // view, which is then symmetric as it stands. Otherwise the plain view's
  // walk, which also notes each clear cell that the line reaching it shows
  // to see the viewer: the line, taken backwards, is one of the cell's own
  // lines to the viewer, or one of those holds at most 7 cells more, all
  // clear. Then a pass over the (2r + 1)^2 cells around the viewer, in which
  // each other clear cell in view walks its own lines back to the viewer,
  // the shortest first, up to the first opaque cell of each. Ground with few
  // walls costs the most. Walls::kFacing adds a pass over the same square,
  // lighting the walls around each clear cell in view. Allocates nothing: `in_view` serves as the
  // scratch.
  void compute(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
               std::span<std::uint8_t> in_view, Walls walls = Walls::kSeen) const;
  // The same without throwing: false, and `error` filled in, where the
  // arguments are not a view; `in_view` is left as it was then.
  bool compute(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
               std::span<std::uint8_t> in_view, Walls walls, Error& error) const noexcept;
  bool compute(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
               std::span<std::uint8_t> in_view, Error& error) const noexcept {
    return compute(viewer, width, height, opaque, in_view, Walls::kSeen, error);
  }
  // Marks the symmetric view into `in_view` as FieldOfView::mark() does:
  // sets to 1 the byte of each cell in view and touches no other byte of
  // `in_view`, so that its cost follows the view, not the map, and several
  // viewers' views add up. The view is made in `scratch`, which must hold
  // scratch_size() bytes and share none with the maps; its bytes are the
  // call's own, of no meaning after it. Clearing `in_view` is the caller's,
  // as for FieldOfView::mark(): the (2r + 3)^2 cells around the last viewer
  // will do, r = radius(). Errors as compute(), and std::invalid_argument
  // (or false, `error` filled in) for a scratch too small or overlapping;
  // `in_view` is left as it was then. Costs: compute() of a map the size of
  // the scratch. Allocates nothing. Threads: as compute(), each thread with
  // a scratch of its own.
  void mark(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
            std::span<std::uint8_t> in_view, std::span<std::uint8_t> scratch,
            Walls walls = Walls::kSeen) const;
  bool mark(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
            std::span<std::uint8_t> in_view, std::span<std::uint8_t> scratch, Walls walls,
            Error& error) const noexcept;
  // The bytes mark() takes as scratch: (2r + 3)^2, r = radius().
  std::size_t scratch_size() const noexcept {
    const auto side = static_cast<std::size_t>(2 * radius_ + 3);
    return side * side;
  }

  // The symmetric view through a cone (vantrel/field_of_view.h): its cells
  // whose direction from the viewer lies in `cone`, then by Walls::kFacing
  // the walls that face its clear cells. Errors as compute(), and
  // std::invalid_argument (or false, `error` filled in) for a cone that is
  // not one. Costs: compute(), and a few cells a row of the square.
  void compute(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
               std::span<std::uint8_t> in_view, Cone cone, Walls walls = Walls::kSeen) const;
  bool compute(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
               std::span<std::uint8_t> in_view, Cone cone, Walls walls,
               Error& error) const noexcept;

 private:
  // A cell of the field of view's tree, relative to the viewer; the cells
  // after it on its lines follow it up to `after & kAfter`. The top bit,
  // kBothWays, is set when the line that ends at the cell, taken backwards,
  // is a line of the cell's own to the viewer: the same cells stand between
  // them either way.
  struct Node {
    std::int16_t dx;
    std::int16_t dy;
    std::uint32_t after;
  };
  // Bits 28 to 30 count the cells, kExtraCells at most (all three bits set),
  // that one of the cell's lines to the viewer holds beside those of the
  // line that ends at the cell: they are extra_[n * kExtraCells] on,
  // relative to the viewer.
  // When they are clear, the cell sees the viewer wherever the viewer sees
  // it along that line.
  static constexpr std::uint32_t kBothWays = 0x80000000u;
  static constexpr int kExtraShift = 28;
  static constexpr std::uint32_t kExtraCells = 7;
  static constexpr std::uint32_t kAfter = 0x0fffffffu;
  // A cell relative to another.
  struct Offset {
    std::int16_t dx;
    std::int16_t dy;
  };

  // compute() once its arguments are known to be a view: clears it, then
  // traverses it whole.
  VANTREL_INTERNAL void traverse_whole(Cell viewer, int width, int height,
                                       const std::uint8_t* opaque, std::uint8_t* in_view,
                                       Walls walls) const noexcept;
  // The symmetric view into a cleared view whose byte of the viewer is
  // `seen` and whose rows are `seen_row` bytes apart: the whole map's, or a
  // window of it that holds every cell within radius() + 1 of the viewer.
  VANTREL_INTERNAL void traverse(Cell viewer, int width, int height, const std::uint8_t* opaque,
                                 std::uint8_t* seen, std::ptrdiff_t seen_row,
                                 Walls walls) const noexcept;
  // Whether the clear cell `from`, within radius() of `viewer`, sees it
  // along one of its own lines.
  VANTREL_INTERNAL bool sees_viewer(Cell from, Cell viewer, int width, int height,
                                    const std::uint8_t* opaque) const noexcept;

  int radius_ = 0;
  // Whether every cell of each line lies in the box of the viewer and the
  // line's later cells, as on make_table's straight lines: then the lines
  // between two cells of the map stay on the map.
  bool straight_ = true;
  std::vector<Node> nodes_;  // in depth-first order, as the FieldOfView's
  std::vector<Offset> extra_;
  // The lines that reach (dx, dy), each as the cells before its end, are
  // lines first_line_[c] up to first_line_[c + 1], c = (dy + r) * (2r + 1)
  // + dx + r, the shortest first; line l's cells are between_[first_cell_[l]]
  // up to between_[first_cell_[l + 1]].
  std::vector<std::uint32_t> first_line_;
  std::vector<std::uint32_t> first_cell_;
  std::vector<Offset> between_;
};

}  // namespace vantrel

#endif  // VANTREL_SYMMETRIC_VIEW_H_

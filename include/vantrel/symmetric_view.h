// The symmetric field of view of a line-of-sight table: what a viewer sees
// when sight must work both ways.
//
// For two cells A and B and one table, B is in A's symmetric view when B is
// in A's view (FieldOfView) and A is in B's view, as FieldOfView defines
// them. "A is in B's view" asks only of the cells strictly between them on
// B's turned lines: A's own opacity never stops a line reaching A. An opaque
// cell is in the symmetric view as it is in the plain one (with either
// Walls), and the viewer is always in view. So for any two clear cells A and
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
  // Besides the field of view, it keeps every way back from a cell to the
  // viewer along the turned lines, as one more tree whose cells grow as the
  // cube of the radius: 8 bytes a cell, about 12 more a cell while it is
  // built. Measured on make_table's tables:
  //   radius  12:      1,456 cells,  11 KB, 0.2 ms to build
  //   radius  50:    141,452 cells, 1.1 MB,  27 ms
  //   radius 100:  1,178,952 cells, 9.0 MB, 0.17 s
  //   radius 200: 10,092,324 cells,  77 MB, 1.4 s, and about 200 MB at the
  //               peak of the build
  static constexpr int kLargestRadius = 200;

  // Builds the symmetric view of `view`'s table; keeps what it needs, no
  // reference to `view`. Throws std::invalid_argument when view.radius() is
  // beyond kLargestRadius, std::bad_alloc when memory runs out.
  explicit SymmetricView(const FieldOfView& view);
  // The same without throwing: std::nullopt, and `error` filled in.
  static std::optional<SymmetricView> make(const FieldOfView& view, Error& error) noexcept;

  // The field of view's radius(): no cell further than this on either axis
  // is in view.
  int radius() const { return plain_.radius(); }

  // Computes the symmetric view of a viewer at `viewer` on a map of `width`
  // x `height` cells, given as a byte per cell, row by row, non-zero for an
  // opaque cell: sets `in_view[y * width + x]` to 1 for every cell in view,
  // to 0 for every other. `walls` decides, as for FieldOfView, whether the
  // opaque cells that the viewer's lines reach are in view. Both spans must
  // hold width * height bytes and the viewer must stand on the map:
  // otherwise throws std::invalid_argument.
  //
  // Costs: the plain view, then, unless no cell within radius() of the
  // viewer is opaque (then the plain view is symmetric as it stands), a walk
  // of the ways back from the viewer that skips what lies behind an opaque
  // cell, and a pass over the (2r + 1)^2 cells around the viewer. Open
  // ground costs the plain view; ground with a few walls is the dearest.
  // Allocates nothing: `in_view` serves as the walk's scratch.
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

 private:
  // A cell of a way back, relative to the viewer; the cells after it on its
  // ways follow it up to `after & kAfter`, the next cell that is not one of
  // them. The top bit is set when a way ends at the cell: there it is the
  // cell that looks back at the viewer, and its own opacity does not count.
  struct Node {
    std::int16_t dx;
    std::int16_t dy;
    std::uint32_t after;
  };
  static constexpr std::uint32_t kEnds = 0x80000000u;
  static constexpr std::uint32_t kAfter = 0x7fffffffu;

  // compute() once its arguments are known to be a view.
  VANTREL_INTERNAL void walk(Cell viewer, int width, int height, const std::uint8_t* opaque,
                             std::uint8_t* in_view, Walls walls) const noexcept;

  FieldOfView plain_;
  // How far from the viewer a cell of a way back may lie: radius() for
  // make_table's tables, up to twice that for a hand-made one.
  int reach_ = 0;
  // Whether every cell of each way back lies in the box of the viewer and
  // the way's end, as on make_table's straight lines: then a way back to a
  // cell of the map stays on the map.
  bool straight_ = true;
  std::vector<Node> back_;  // in depth-first order
};

}  // namespace vantrel

#endif  // VANTREL_SYMMETRIC_VIEW_H_

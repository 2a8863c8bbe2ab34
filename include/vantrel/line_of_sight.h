// Whether one cell is in the view of another, without computing the view:
// sees(viewer, target) is true exactly when compute() of the same
// FieldOfView, map and Walls would set the target's byte to 1.
//
// The view's tree of turned lines holds a cell at several places, one for
// each turned line through it. The target is in view when, at one of them,
// every cell before it on that line (the viewer left out) is on the map and
// clear; the target's own opacity only matters with Walls::kUnseen, and the
// viewer is always in view. With Walls::kFacing an opaque target that no
// line reaches is seen when a clear neighbour no farther from the viewer
// along either axis is seen: up to three more looks. A LineOfSight keeps, built once, each cell of
// the tree with the one before it, and for each cell around the viewer
// where the tree holds it, so that sees() walks back from the target along
// the lines through it only.
//
// Threads: sees() is const and reads nothing but its arguments and the
// index: any number of threads may ask at once. Building, assigning or
// destroying one must not overlap any use of it.
#ifndef VANTREL_LINE_OF_SIGHT_H_
#define VANTREL_LINE_OF_SIGHT_H_

#include <concepts>
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

class VANTREL_API LineOfSight {
 public:
  // Indexes the tree of `view`, which it does not keep a reference to.
  // Costs time as the tree's cells, and memory: 8 bytes per cell of the
  // tree (as the FieldOfView), 4 more per place of a cell in it and 4 per
  // cell of the (2r + 1)^2 square around the viewer, r = view.radius(): a
  // radius of 12 takes about 10 KB, 50 about 210 KB, 200 about 3.7 MB, a
  // little more than the FieldOfView. Throws std::bad_alloc when memory
  // runs out.
  explicit LineOfSight(const FieldOfView& view);
  // The same without throwing: std::nullopt, and `error` filled in.
  static std::optional<LineOfSight> make(const FieldOfView& view, Error& error) noexcept;

  int radius() const { return radius_; }

  // Whether a viewer at `viewer` sees `target` on a map of `width` x
  // `height` cells, where `is_opaque(x, y)` tells whether cell (x, y)
  // blocks sight: the target's byte of FieldOfView::compute() with the
  // same arguments and `walls`. Both cells must be on the map: otherwise
  // throws std::invalid_argument. A target further than radius() on either
  // axis is not seen (by Walls::kFacing, further than radius() + 1: a wall
  // facing a cell at the radius is seen).
  //
  // Costs: for each place of the target in the tree (one per distinct way
  // the turned lines reach it: 1.5 on average at radius 12, 1.8 at 50), a
  // step back for each cell before it up to the first opaque one, so at
  // most the distance to the target per place, whatever the table's size;
  // the places nearest the viewer are walked first, and the walk ends at
  // the first that is clear. `is_opaque` is called for those cells (and, with
  // Walls::kUnseen, the target) only, and only for cells of the map; with
  // Walls::kFacing, for the target and the neighbours it looks from as well,
  // at up to four times the cost. Allocates nothing.
  template <class IsOpaque>
    requires std::predicate<IsOpaque&, std::int32_t, std::int32_t>
  bool sees(Cell viewer, Cell target, int width, int height, IsOpaque&& is_opaque,
            Walls walls = Walls::kSeen) const {
    if (!on_map(viewer, width, height) || !on_map(target, width, height)) throw_not_on_the_map();
    return look(viewer, target, width, height, is_opaque, walls);
  }
  // The same without throwing: false, and `error` filled in, where a cell
  // is off the map; look at `error` to tell that from a target not seen.
  // Throws only what `is_opaque` throws.
  template <class IsOpaque>
    requires std::predicate<IsOpaque&, std::int32_t, std::int32_t>
  bool sees(Cell viewer, Cell target, int width, int height, IsOpaque&& is_opaque, Walls walls,
            Error& error) const {
    error.clear();
    if (!on_map(viewer, width, height) || !on_map(target, width, height)) {
      report_not_on_the_map(error);
      return false;
    }
    return look(viewer, target, width, height, is_opaque, walls);
  }
  template <class IsOpaque>
    requires std::predicate<IsOpaque&, std::int32_t, std::int32_t>
  bool sees(Cell viewer, Cell target, int width, int height, IsOpaque&& is_opaque,
            Error& error) const {
    return sees(viewer, target, width, height, is_opaque, Walls::kSeen, error);
  }

  // The same for a map of bytes, row by row, non-zero for an opaque cell,
  // as FieldOfView::compute() takes it: `opaque` must hold width * height
  // bytes, or std::invalid_argument is thrown.
  bool sees(Cell viewer, Cell target, int width, int height, std::span<const std::uint8_t> opaque,
            Walls walls = Walls::kSeen) const;
  bool sees(Cell viewer, Cell target, int width, int height, std::span<const std::uint8_t> opaque,
            Walls walls, Error& error) const noexcept;
  bool sees(Cell viewer, Cell target, int width, int height, std::span<const std::uint8_t> opaque,
            Error& error) const noexcept {
    return sees(viewer, target, width, height, opaque, Walls::kSeen, error);
  }

  // sees() of a map of bytes through a cone: the target's byte of
  // FieldOfView::compute() with the same map, cone and `walls`. Errors as
  // sees(), and std::invalid_argument (or false, `error` filled in) for a
  // cone that is not one. Costs: sees(), and a test of the target (by
  // Walls::kFacing, of the cells it looks from too).
  bool sees(Cell viewer, Cell target, int width, int height, std::span<const std::uint8_t> opaque,
            Cone cone, Walls walls = Walls::kSeen) const;
  bool sees(Cell viewer, Cell target, int width, int height, std::span<const std::uint8_t> opaque,
            Cone cone, Walls walls, Error& error) const noexcept;

  // Whether sight works both ways between `viewer` and `target`: the
  // target's byte of SymmetricView::compute() with the same map and
  // `walls`, in one call, without the symmetric view's index. A clear
  // target is seen when it sees the viewer too (the viewer's own opacity
  // stopping none of the target's lines); an opaque one as by sees(), and
  // by Walls::kFacing when it faces a clear cell seen both ways. The viewer
  // sees itself. Arguments and errors as sees(), naming this call. Costs:
  // two looks of sees() for a clear target, one for an opaque one (up to
  // four more by Walls::kFacing). Allocates nothing.
  template <class IsOpaque>
    requires std::predicate<IsOpaque&, std::int32_t, std::int32_t>
  bool sees_both_ways(Cell viewer, Cell target, int width, int height, IsOpaque&& is_opaque,
                      Walls walls = Walls::kSeen) const {
    if (!on_map(viewer, width, height) || !on_map(target, width, height)) {
      throw_not_on_the_map_both_ways();
    }
    return look_both_ways(viewer, target, is_opaque, walls, [&](Cell from, Cell to) {
      return look_along(from, to, width, height, is_opaque, Walls::kSeen);
    });
  }
  template <class IsOpaque>
    requires std::predicate<IsOpaque&, std::int32_t, std::int32_t>
  bool sees_both_ways(Cell viewer, Cell target, int width, int height, IsOpaque&& is_opaque,
                      Walls walls, Error& error) const {
    error.clear();
    if (!on_map(viewer, width, height) || !on_map(target, width, height)) {
      report_not_on_the_map_both_ways(error);
      return false;
    }
    return look_both_ways(viewer, target, is_opaque, walls, [&](Cell from, Cell to) {
      return look_along(from, to, width, height, is_opaque, Walls::kSeen);
    });
  }
  bool sees_both_ways(Cell viewer, Cell target, int width, int height,
                      std::span<const std::uint8_t> opaque, Walls walls = Walls::kSeen) const;
  bool sees_both_ways(Cell viewer, Cell target, int width, int height,
                      std::span<const std::uint8_t> opaque, Walls walls,
                      Error& error) const noexcept;

 private:
  static bool on_map(Cell cell, int width, int height) noexcept {
    return detail::is_on_map(cell, width, height);
  }
  [[noreturn]] static void throw_not_on_the_map();
  static void report_not_on_the_map(Error& error) noexcept;
  [[noreturn]] static void throw_wrong_map_size();
  static void report_wrong_map_size(Error& error) noexcept;
  // The same, naming sees_both_ways().
  [[noreturn]] static void throw_not_on_the_map_both_ways();
  static void report_not_on_the_map_both_ways(Error& error) noexcept;

  // sees() once both cells are known to be on the map.
  template <class IsOpaque>
  bool look(Cell viewer, Cell target, int width, int height, IsOpaque& is_opaque,
            Walls walls) const {
    if (walls != Walls::kFacing) return look_along(viewer, target, width, height, is_opaque, walls);
    return look_facing(viewer, target, is_opaque, [&](Cell cell) {
      return look_along(viewer, cell, width, height, is_opaque, Walls::kSeen);
    });
  }
  // sees_both_ways() once both cells are known to be on the map, with
  // `along(from, to)` the look from one cell to another by Walls::kSeen.
  template <class IsOpaque, class Along>
  bool look_both_ways(Cell viewer, Cell target, IsOpaque& is_opaque, Walls walls,
                      Along&& along) const {
    if (target.x == viewer.x && target.y == viewer.y) return true;
    // A clear cell is seen both ways when each sees the other; an opaque
    // one, as by sees() (the viewer is the only cell to look from that
    // may be opaque, and it sees itself).
    auto both = [&](Cell cell) {
      if (is_opaque(cell.x, cell.y)) return along(viewer, cell);
      return along(viewer, cell) && along(cell, viewer);
    };
    if (walls == Walls::kFacing) return look_facing(viewer, target, is_opaque, both);
    if (walls == Walls::kUnseen && is_opaque(target.x, target.y)) return false;
    return both(target);
  }
  // By Walls::kFacing: the target is seen along a line, as by Walls::kSeen,
  // or it is opaque and one of its neighbours that lies no farther from the
  // viewer along either axis is clear and seen. `along(cell)` is the look
  // by Walls::kSeen. The neighbours lie between the target and the viewer,
  // so on the map.
  template <class IsOpaque, class Along>
  bool look_facing(Cell viewer, Cell target, IsOpaque& is_opaque, Along&& along) const {
    if (along(target)) return true;
    const std::int64_t dx = std::int64_t{target.x} - viewer.x;
    const std::int64_t dy = std::int64_t{target.y} - viewer.y;
    if (dx < -radius_ - 1 || dx > radius_ + 1 || dy < -radius_ - 1 || dy > radius_ + 1) {
      return false;
    }
    if (!is_opaque(target.x, target.y)) return false;
    const int sx = (dx > 0) - (dx < 0);
    const int sy = (dy > 0) - (dy < 0);
    for (int ey = 0; ey <= (sy != 0 ? 1 : 0); ++ey) {
      for (int ex = 0; ex <= (sx != 0 ? 1 : 0); ++ex) {
        if (ex == 0 && ey == 0) continue;
        const Cell near{target.x - ex * sx, target.y - ey * sy};
        if (!is_opaque(near.x, near.y) && along(near)) return true;
      }
    }
    return false;
  }
  // sees() along the lines only: Walls::kSeen or kUnseen.
  template <class IsOpaque>
  bool look_along(Cell viewer, Cell target, int width, int height, IsOpaque& is_opaque,
                  Walls walls) const {
    const std::int64_t dx = std::int64_t{target.x} - viewer.x;
    const std::int64_t dy = std::int64_t{target.y} - viewer.y;
    if (dx == 0 && dy == 0) return true;
    if (dx < -radius_ || dx > radius_ || dy < -radius_ || dy > radius_) return false;
    if (walls == Walls::kUnseen && is_opaque(target.x, target.y)) return false;
    const auto side = static_cast<std::int64_t>(2 * radius_ + 1);
    const auto cell = static_cast<std::size_t>((dy + radius_) * side + dx + radius_);
    const std::uint32_t* const places = places_.data();
    const Step* const steps = steps_.data();
    for (std::uint32_t p = first_place_[cell]; p < first_place_[cell + 1]; ++p) {
      bool clear = true;
      if (straight_) {
        // Between the viewer and the target, so on the map.
        for (std::uint32_t n = places[p]; n != kViewer; n = steps[n].before) {
          if (is_opaque(viewer.x + steps[n].dx, viewer.y + steps[n].dy)) {
            clear = false;
            break;
          }
        }
        if (clear) return true;
        continue;
      }
      for (std::uint32_t n = places[p]; n != kViewer; n = steps[n].before) {
        const std::int64_t x = std::int64_t{viewer.x} + steps[n].dx;
        const std::int64_t y = std::int64_t{viewer.y} + steps[n].dy;
        // Off the map the line has ended: a line that is not straight may
        // leave the map and come back.
        if (x < 0 || y < 0 || x >= width || y >= height ||
            is_opaque(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y))) {
          clear = false;
          break;
        }
      }
      if (clear) return true;
    }
    return false;
  }

  // A cell of the tree, relative to the viewer, with the cell before it on
  // its lines. sees() of a predicate walks them inline, in the caller's
  // code: the layout is part of the ABI of libvantrel.so.1, and stays as it
  // is while the SONAME does.
  struct Step {
    std::int16_t dx;
    std::int16_t dy;
    std::uint32_t before;  // kViewer for the cells next to the viewer
  };
  static constexpr std::uint32_t kViewer = 0xffffffffu;

  // sees() of a map of bytes once both cells are known to be on the map.
  VANTREL_INTERNAL bool look_at_bytes(Cell viewer, Cell target, int width, int height,
                                      const std::uint8_t* opaque, Walls walls) const noexcept;
  // sees_both_ways() of a map of bytes once both cells are on the map.
  VANTREL_INTERNAL bool look_both_ways_at_bytes(Cell viewer, Cell target, int width, int height,
                                                const std::uint8_t* opaque,
                                                Walls walls) const noexcept;

  int radius_ = 0;
  // Whether each cell of the tree lies between the viewer and each cell
  // after it on its lines, as on the straight lines of make_table's tables:
  // then the cells before a target on the map are on the map.
  bool straight_ = true;
  std::vector<Step> steps_;  // in the order of the tree's cells
  // The places of the cell at (dx, dy) in the tree, each as the cell before
  // it (kViewer next to the viewer), are places_[first_place_[c]] up to
  // places_[first_place_[c + 1]], c = (dy + r) * (2r + 1) + dx + r, the
  // places nearest the viewer first.
  std::vector<std::uint32_t> first_place_;
  std::vector<std::uint32_t> places_;
};

}  // namespace vantrel

#endif  // VANTREL_LINE_OF_SIGHT_H_

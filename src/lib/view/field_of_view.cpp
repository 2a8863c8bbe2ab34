#include "vantrel/field_of_view.h"

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "lib/cell.h"
#include "lib/error_report.h"
#include "lib/view/cone_cut.h"
#include "lib/view/facing_walls.h"

namespace vantrel {
namespace {

// The tree of turned lines while it is built: each cell with its first
// child and its next sibling.
struct TreeCell {
  std::int32_t dx;
  std::int32_t dy;
  std::uint32_t first_child = 0;  // 0: none (the root is nobody's child)
  std::uint32_t next_sibling = 0;
};

}  // namespace

FieldOfView::FieldOfView(const Table& table) {
  // An empty table is what the calls without exceptions return on failure:
  // a view of it would see the viewer alone and hide the failure.
  if (table.radius() < 1) {
    throw std::invalid_argument("vantrel::FieldOfView: the table is empty (radius " +
                                std::to_string(table.radius()) + ")");
  }
  // Steps to neighbouring cells give each cell of the tree 8 children at
  // most, and keep every cell within the line's length.
  for (const std::vector<Cell>& line : table.lines()) {
    Cell from{0, 0};
    for (const Cell& cell : line) {
      if (!is_step(from, cell)) {
        throw std::invalid_argument(
            "vantrel::FieldOfView: a line of the table does not step to a neighbouring cell");
      }
      if (std::max(std::abs(std::int64_t{cell.x}), std::abs(std::int64_t{cell.y})) >
          kLargestViewRadius) {
        throw std::invalid_argument("vantrel::FieldOfView: the table reaches beyond " +
                                    std::to_string(kLargestViewRadius) + " cells");
      }
      from = cell;
    }
  }
  // The 8 symmetries of the square, as (x, y) -> (sx * (swap ? y : x),
  // sy * (swap ? x : y)).
  constexpr struct {
    int sx;
    int sy;
    bool swap;
  } kTurns[] = {{1, 1, false},  {-1, 1, false},  {1, -1, false},  {-1, -1, false},
                {1, 1, true},   {-1, 1, true},   {1, -1, true},   {-1, -1, true}};
  std::vector<TreeCell> tree(1, TreeCell{0, 0});  // the root: the viewer
  for (const std::vector<Cell>& line : table.lines()) {
    for (const auto& turn : kTurns) {
      std::uint32_t at = 0;
      for (const Cell& cell : line) {
        const std::int32_t dx = turn.sx * (turn.swap ? cell.y : cell.x);
        const std::int32_t dy = turn.sy * (turn.swap ? cell.x : cell.y);
        std::uint32_t child = tree[at].first_child;
        std::uint32_t last = 0;
        while (child != 0 && (tree[child].dx != dx || tree[child].dy != dy)) {
          last = child;
          child = tree[child].next_sibling;
        }
        if (child == 0) {
          if (tree.size() >= std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
          child = static_cast<std::uint32_t>(tree.size());
          tree.push_back(TreeCell{dx, dy});
          if (last == 0) {
            tree[at].first_child = child;
          } else {
            tree[last].next_sibling = child;
          }
        }
        at = child;
      }
    }
  }

  // Depth first, each cell before the cells after it on its lines, the
  // root left out; a cell's `after` is set once its subtree is laid out.
  nodes_.reserve(tree.size() - 1);
  struct Frame {
    std::uint32_t cell;
    std::uint32_t node;
    std::uint32_t next_child;
  };
  std::vector<Frame> frames;
  auto enter = [&](std::uint32_t cell) {
    const auto node = static_cast<std::uint32_t>(nodes_.size());
    nodes_.push_back(Node{static_cast<std::int16_t>(tree[cell].dx),
                          static_cast<std::int16_t>(tree[cell].dy), 0});
    radius_ = std::max({radius_, std::abs(tree[cell].dx), std::abs(tree[cell].dy)});
    frames.push_back(Frame{cell, node, tree[cell].first_child});
  };
  for (std::uint32_t top = tree[0].first_child; top != 0; top = tree[top].next_sibling) {
    enter(top);
    while (!frames.empty()) {
      Frame& frame = frames.back();
      if (frame.next_child != 0) {
        const std::uint32_t child = frame.next_child;
        frame.next_child = tree[child].next_sibling;
        enter(child);
        continue;
      }
      nodes_[frame.node].after = static_cast<std::uint32_t>(nodes_.size());
      frames.pop_back();
    }
  }
}

namespace {

constexpr char kNotAView[] =
    "vantrel::FieldOfView::compute: the viewer must stand on the map, and the views must "
    "hold width * height bytes";
constexpr char kNotAViewToMark[] =
    "vantrel::FieldOfView::mark: the viewer must stand on the map, and the views must "
    "hold width * height bytes";

// What a call says of arguments that are not a view, naming itself.
struct Messages {
  const char* not_a_view;
  const char* overlap;
};
constexpr Messages kCompute{kNotAView,
                            "vantrel::FieldOfView::compute: the view must not overlap the map"};
constexpr Messages kMark{kNotAViewToMark,
                         "vantrel::FieldOfView::mark: the view must not overlap the map"};

// The message for what is wrong with a view of a map of bytes, or nullptr.
const char* fault_text(const Messages& messages, Cell viewer, int width, int height,
                       std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view) {
  switch (fault_of_view(viewer, width, height, opaque, in_view)) {
    case ViewFault::kNone:
      return nullptr;
    case ViewFault::kNotAView:
      return messages.not_a_view;
    case ViewFault::kOverlap:
      return messages.overlap;
  }
  return messages.not_a_view;
}

}  // namespace

void FieldOfView::throw_not_a_view() { throw std::invalid_argument(kNotAView); }

void FieldOfView::report_not_a_view(Error& error) noexcept {
  report(error, Error::Code::kInvalidArgument, kNotAView);
}

void FieldOfView::throw_not_a_view_to_mark() { throw std::invalid_argument(kNotAViewToMark); }

void FieldOfView::report_not_a_view_to_mark(Error& error) noexcept {
  report(error, Error::Code::kInvalidArgument, kNotAViewToMark);
}

std::optional<FieldOfView> FieldOfView::make(const Table& table, Error& error) noexcept {
  std::optional<FieldOfView> view;
  catch_into(error, [&] { view.emplace(table); });
  return view;
}

bool FieldOfView::compute(Cell viewer, int width, int height,
                          std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                          Error& error) const noexcept {
  return compute(viewer, width, height, opaque, in_view, Walls::kSeen, error);
}

void FieldOfView::compute(Cell viewer, int width, int height,
                          std::span<const std::uint8_t> opaque,
                          std::span<std::uint8_t> in_view) const {
  compute(viewer, width, height, opaque, in_view, Walls::kSeen);
}

bool FieldOfView::compute(Cell viewer, int width, int height,
                          std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                          Walls walls, Error& error) const noexcept {
  error.clear();
  if (const char* fault = fault_text(kCompute, viewer, width, height, opaque, in_view)) {
    report(error, Error::Code::kInvalidArgument, fault);
    return false;
  }
  traverse_bytes(walls, true, viewer, width, height, opaque, in_view);
  return true;
}

void FieldOfView::compute(Cell viewer, int width, int height,
                          std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                          Walls walls) const {
  if (const char* fault = fault_text(kCompute, viewer, width, height, opaque, in_view)) {
    throw std::invalid_argument(fault);
  }
  traverse_bytes(walls, true, viewer, width, height, opaque, in_view);
}

bool FieldOfView::mark(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
                       std::span<std::uint8_t> in_view, Walls walls, Error& error) const noexcept {
  error.clear();
  if (const char* fault = fault_text(kMark, viewer, width, height, opaque, in_view)) {
    report(error, Error::Code::kInvalidArgument, fault);
    return false;
  }
  traverse_bytes(walls, false, viewer, width, height, opaque, in_view);
  return true;
}

void FieldOfView::mark(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
                       std::span<std::uint8_t> in_view, Walls walls) const {
  if (const char* fault = fault_text(kMark, viewer, width, height, opaque, in_view)) {
    throw std::invalid_argument(fault);
  }
  traverse_bytes(walls, false, viewer, width, height, opaque, in_view);
}

namespace {

constexpr Messages kList{
    "vantrel::FieldOfView::list: the viewer must stand on the map, and the views must hold "
    "width * height bytes",
    "vantrel::FieldOfView::list: the view must not overlap the map"};

// The message for what is wrong with the arguments of list(), or nullptr.
std::string list_fault(const FieldOfView& view, Cell viewer, int width, int height,
                       std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                       std::span<Cell> cells, Walls walls) {
  if (const char* fault = fault_text(kList, viewer, width, height, opaque, in_view)) return fault;
  const std::size_t capacity = view.list_capacity(walls);
  if (cells.size() < capacity) {
    return "vantrel::FieldOfView::list: the list must hold " + std::to_string(capacity) +
           " cells, not " + std::to_string(cells.size());
  }
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(cells.data()),
                                            cells.size_bytes());
  if (overlap(bytes, opaque) || overlap(bytes, in_view)) {
    return "vantrel::FieldOfView::list: the list must not overlap the map or the view";
  }
  return {};
}

// Every cell may be in view: a view without a cone.
constexpr auto kEveryCell = [](std::int32_t, std::int32_t) { return true; };

}  // namespace

std::size_t FieldOfView::list(Cell viewer, int width, int height,
                              std::span<const std::uint8_t> opaque,
                              std::span<std::uint8_t> in_view, std::span<Cell> cells,
                              Walls walls) const {
  if (const std::string fault =
          list_fault(*this, viewer, width, height, opaque, in_view, cells, walls);
      !fault.empty()) {
    throw std::invalid_argument(fault);
  }
  return list_bytes(viewer, width, height, opaque, in_view, cells, walls, nullptr);
}

std::size_t FieldOfView::list(Cell viewer, int width, int height,
                              std::span<const std::uint8_t> opaque,
                              std::span<std::uint8_t> in_view, std::span<Cell> cells,
                              Walls walls, Error& error) const noexcept {
  error.clear();
  std::size_t count = 0;
  catch_into(error, [&] { count = list(viewer, width, height, opaque, in_view, cells, walls); });
  return count;
}

void FieldOfView::compute(Cell viewer, int width, int height,
                          std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                          Cone cone, Walls walls) const {
  if (const char* fault = fault_text(kCompute, viewer, width, height, opaque, in_view)) {
    throw std::invalid_argument(fault);
  }
  if (!detail::ConeTest::is_cone(cone)) {
    throw std::invalid_argument(cone_fault("vantrel::FieldOfView::compute", cone));
  }
  const detail::ConeTest test(cone);
  traverse_bytes(walls, true, viewer, width, height, opaque, in_view, &test);
}

bool FieldOfView::compute(Cell viewer, int width, int height,
                          std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                          Cone cone, Walls walls, Error& error) const noexcept {
  error.clear();
  catch_into(error, [&] { compute(viewer, width, height, opaque, in_view, cone, walls); });
  return !error;
}

void FieldOfView::mark(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
                       std::span<std::uint8_t> in_view, Cone cone, Walls walls) const {
  if (const char* fault = fault_text(kMark, viewer, width, height, opaque, in_view)) {
    throw std::invalid_argument(fault);
  }
  if (!detail::ConeTest::is_cone(cone)) {
    throw std::invalid_argument(cone_fault("vantrel::FieldOfView::mark", cone));
  }
  const detail::ConeTest test(cone);
  traverse_bytes(walls, false, viewer, width, height, opaque, in_view, &test);
}

bool FieldOfView::mark(Cell viewer, int width, int height, std::span<const std::uint8_t> opaque,
                       std::span<std::uint8_t> in_view, Cone cone, Walls walls,
                       Error& error) const noexcept {
  error.clear();
  catch_into(error, [&] { mark(viewer, width, height, opaque, in_view, cone, walls); });
  return !error;
}

std::size_t FieldOfView::list(Cell viewer, int width, int height,
                              std::span<const std::uint8_t> opaque,
                              std::span<std::uint8_t> in_view, std::span<Cell> cells, Cone cone,
                              Walls walls) const {
  if (const std::string fault =
          list_fault(*this, viewer, width, height, opaque, in_view, cells, walls);
      !fault.empty()) {
    throw std::invalid_argument(fault);
  }
  if (!detail::ConeTest::is_cone(cone)) {
    throw std::invalid_argument(cone_fault("vantrel::FieldOfView::list", cone));
  }
  const detail::ConeTest test(cone);
  return list_bytes(viewer, width, height, opaque, in_view, cells, walls, &test);
}

std::size_t FieldOfView::list(Cell viewer, int width, int height,
                              std::span<const std::uint8_t> opaque,
                              std::span<std::uint8_t> in_view, std::span<Cell> cells, Cone cone,
                              Walls walls, Error& error) const noexcept {
  error.clear();
  std::size_t count = 0;
  catch_into(error,
             [&] { count = list(viewer, width, height, opaque, in_view, cells, cone, walls); });
  return count;
}

std::size_t FieldOfView::list_bytes(Cell viewer, int width, int height,
                                    std::span<const std::uint8_t> opaque,
                                    std::span<std::uint8_t> in_view, std::span<Cell> cells,
                                    Walls walls, const detail::ConeTest* cone) const noexcept {
  const std::ptrdiff_t origin = static_cast<std::ptrdiff_t>(viewer.y) * width + viewer.x;
  std::uint8_t* const seen = in_view.data() + origin;
  Cell* const first = cells.data();
  Cell* last = first;
  // A cell is listed as its byte turns to 1: once, however many lines
  // reach it.
  auto see = [seen, viewer, &last](std::ptrdiff_t at, std::int32_t dx, std::int32_t dy) {
    if (seen[at] != 0) return;
    seen[at] = 1;
    *last++ = Cell{viewer.x + dx, viewer.y + dy};
  };
  const std::uint8_t* const wall = opaque.data() + origin;
  if (cone != nullptr) {
    mark_bytes(walls, viewer, width, height, wall, see,
               [test = *cone](std::int32_t dx, std::int32_t dy) { return test.contains(dx, dy); });
  } else {
    mark_bytes(walls, viewer, width, height, wall, see, kEveryCell);
  }
  return static_cast<std::size_t>(last - first);
}

void FieldOfView::traverse_bytes(Walls walls, bool clear, Cell viewer, int width, int height,
                                 std::span<const std::uint8_t> opaque,
                                 std::span<std::uint8_t> in_view,
                                 const detail::ConeTest* cone) const noexcept {
  if (clear) std::memset(in_view.data(), 0, in_view.size());
  const std::ptrdiff_t origin = static_cast<std::ptrdiff_t>(viewer.y) * width + viewer.x;
  std::uint8_t* const seen = in_view.data() + origin;
  const std::uint8_t* const wall = opaque.data() + origin;
  auto see = [seen](std::ptrdiff_t at, std::int32_t, std::int32_t) { seen[at] = 1; };
  auto run = [&](Walls as, auto admits) {
    mark_bytes(as, viewer, width, height, wall, see, admits);
  };
  auto run_through = [&](Walls as) {
    if (cone != nullptr) {
      run(as, [test = *cone](std::int32_t dx, std::int32_t dy) { return test.contains(dx, dy); });
    } else {
      run(as, kEveryCell);
    }
  };
  if (!clear) {
    run_through(walls);
    return;
  }
  // The view is this viewer's alone: the cone is cut from the whole view,
  // a few cells a row, and the facing walls are lit after it in one pass
  // over its square; both cost less than testing each cell as the lines
  // reach it.
  run(walls == Walls::kFacing ? Walls::kSeen : walls, kEveryCell);
  if (cone != nullptr && !cone->whole()) {
    cut_to_cone(*cone, viewer, width, height, radius_, seen, width);
  }
  if (walls == Walls::kFacing) {
    light_facing_walls(viewer, width, height, radius_, opaque.data(), seen, width);
  }
}

template <class See, class Admits>
[[gnu::always_inline]] inline void FieldOfView::mark_bytes(Walls walls, Cell viewer, int width,
                                                          int height, const std::uint8_t* wall,
                                                          See see, Admits admits) const noexcept {
  see(0, 0, 0);
  // A cell's byte in both maps, from the viewer's.
  auto traverse = [&]<bool kInside, Walls kWalls>() {
    // The walls that face the viewer around a clear cell at (dx, dy), `at`.
    // Copies of what they use, held in registers across the stores of the
    // view, which may alias anything that they would read through a reference.
    auto face = [see, wall, viewer, width, height](std::int32_t dx, std::int32_t dy,
                                                    std::ptrdiff_t at) {
      face_walls<kInside>(viewer, width, height, wall, dx, dy, at, see);
    };
    if constexpr (kWalls == Walls::kFacing) {
      if (wall[0] == 0) face(0, 0, 0);
    }
    detail::traverse_tree<kInside>(
        nodes_.data(), nodes_.size(), ~std::uint32_t{0}, viewer, width, height,
        [see, face, admits, wall, width](const Node& node, std::size_t) {
          const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(node.dy) * width + node.dx;
          if (!admits(node.dx, node.dy)) {
            // Out of the cone: not in view, but the lines go on through it.
            return wall[at] == 0;
          }
          return detail::see_cell<kWalls>([&] { return wall[at] != 0; },
                                          [&] { see(at, node.dx, node.dy); },
                                          [&] { face(node.dx, node.dy, at); });
        });
  };
  if (walls == Walls::kUnseen) {
    fits(viewer, width, height) ? traverse.template operator()<true, Walls::kUnseen>()
                                : traverse.template operator()<false, Walls::kUnseen>();
  } else if (walls == Walls::kFacing) {
    // Into a view that may hold other views: each clear cell lights its
    // walls as the lines reach it.
    fits(viewer, width, height, 1) ? traverse.template operator()<true, Walls::kFacing>()
                                   : traverse.template operator()<false, Walls::kFacing>();
  } else {
    // Any other value is taken for kSeen, as LineOfSight takes it.
    fits(viewer, width, height) ? traverse.template operator()<true, Walls::kSeen>()
                                : traverse.template operator()<false, Walls::kSeen>();
  }
}

}  // namespace vantrel

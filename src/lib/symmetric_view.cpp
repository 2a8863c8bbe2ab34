#include "vantrel/symmetric_view.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "lib/error_report.h"

namespace vantrel {
namespace {

// The tree of ways back while it is built: each cell with its first child
// and its next sibling. The top bit of `first_child` marks a cell where a
// way ends.
struct TreeCell {
  std::int16_t dx;
  std::int16_t dy;
  std::uint32_t first_child = 0;  // 0: none (the root is nobody's child)
  std::uint32_t next_sibling = 0;
};
constexpr std::uint32_t kEndsHere = 0x80000000u;
constexpr std::uint32_t kChild = 0x7fffffffu;

constexpr char kNotAView[] =
    "vantrel::SymmetricView::compute: the viewer must stand on the map, and the views must "
    "hold width * height bytes";

// `view`, when a symmetric view takes its radius: checked before it is
// copied.
const FieldOfView& within_largest(const FieldOfView& view) {
  if (view.radius() > SymmetricView::kLargestRadius) {
    throw std::invalid_argument("vantrel::SymmetricView: a radius of " +
                                std::to_string(view.radius()) + " is beyond the largest, " +
                                std::to_string(SymmetricView::kLargestRadius));
  }
  return view;
}

}  // namespace

SymmetricView::SymmetricView(const FieldOfView& view) : plain_(within_largest(view)) {
  // Each cell P of the field of view's tree ends the line that steps
  // through the cells before it, L[1] .. L[j - 1], to L[j] = P. Seen from
  // the cell B = viewer - P, that line reaches the viewer; read from the
  // viewer, its cells are P' - P for P' = L[j - 1] down to L[1], then B.
  const std::vector<FieldOfView::Node>& nodes = view.nodes_;
  std::vector<TreeCell> tree(1, TreeCell{0, 0});  // the root: the viewer
  std::vector<std::uint32_t> open;                // the cells before the one at hand
  auto child_of = [&](std::uint32_t at, std::int32_t dx, std::int32_t dy) {
    reach_ = std::max({reach_, std::abs(dx), std::abs(dy)});
    std::uint32_t child = tree[at].first_child & kChild;
    std::uint32_t last = 0;
    while (child != 0 && (tree[child].dx != dx || tree[child].dy != dy)) {
      last = child;
      child = tree[child].next_sibling;
    }
    if (child != 0) return child;
    if (tree.size() >= kAfter) throw std::bad_alloc();
    child = static_cast<std::uint32_t>(tree.size());
    tree.push_back(TreeCell{static_cast<std::int16_t>(dx), static_cast<std::int16_t>(dy)});
    if (last == 0) {
      tree[at].first_child |= child;
    } else {
      tree[last].next_sibling = child;
    }
    return child;
  };
  auto within = [](std::int32_t between, std::int32_t end) {
    return end < 0 ? between <= 0 && between >= end : between >= 0 && between <= end;
  };
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    while (!open.empty() && nodes[open.back()].after <= n) open.pop_back();
    const std::int32_t px = nodes[n].dx;
    const std::int32_t py = nodes[n].dy;
    std::uint32_t at = 0;
    for (std::size_t i = open.size(); i-- > 0;) {
      const std::int32_t dx = nodes[open[i]].dx - px;
      const std::int32_t dy = nodes[open[i]].dy - py;
      if (!within(dx, -px) || !within(dy, -py)) straight_ = false;
      at = child_of(at, dx, dy);
    }
    at = child_of(at, -px, -py);
    tree[at].first_child |= kEndsHere;
    open.push_back(static_cast<std::uint32_t>(n));
  }

  // Depth first, each cell before the cells after it on its ways, the root
  // left out; a cell's `after` is set once its subtree is laid out.
  back_.reserve(tree.size() - 1);
  struct Frame {
    std::uint32_t cell;
    std::uint32_t node;
    std::uint32_t next_child;
  };
  std::vector<Frame> frames;
  auto enter = [&](std::uint32_t cell) {
    const auto node = static_cast<std::uint32_t>(back_.size());
    back_.push_back(Node{tree[cell].dx, tree[cell].dy,
                         (tree[cell].first_child & kEndsHere) != 0 ? kEnds : 0});
    frames.push_back(Frame{cell, node, tree[cell].first_child & kChild});
  };
  for (std::uint32_t top = tree[0].first_child & kChild; top != 0;
       top = tree[top].next_sibling) {
    enter(top);
    while (!frames.empty()) {
      Frame& frame = frames.back();
      if (frame.next_child != 0) {
        const std::uint32_t child = frame.next_child;
        frame.next_child = tree[child].next_sibling;
        enter(child);
        continue;
      }
      back_[frame.node].after |= static_cast<std::uint32_t>(back_.size());
      frames.pop_back();
    }
  }
}

std::optional<SymmetricView> SymmetricView::make(const FieldOfView& view, Error& error) noexcept {
  std::optional<SymmetricView> symmetric;
  catch_into(error, [&] { symmetric.emplace(view); });
  return symmetric;
}

void SymmetricView::compute(Cell viewer, int width, int height,
                            std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                            Walls walls) const {
  if (!FieldOfView::is_view(viewer, width, height, in_view.size()) ||
      !FieldOfView::is_view(viewer, width, height, opaque.size())) {
    throw std::invalid_argument(kNotAView);
  }
  walk(viewer, width, height, opaque.data(), in_view.data(), walls);
}

bool SymmetricView::compute(Cell viewer, int width, int height,
                            std::span<const std::uint8_t> opaque, std::span<std::uint8_t> in_view,
                            Walls walls, Error& error) const noexcept {
  error.clear();
  if (!FieldOfView::is_view(viewer, width, height, in_view.size()) ||
      !FieldOfView::is_view(viewer, width, height, opaque.size())) {
    report(error, Error::Code::kInvalidArgument, kNotAView);
    return false;
  }
  walk(viewer, width, height, opaque.data(), in_view.data(), walls);
  return true;
}

void SymmetricView::walk(Cell viewer, int width, int height, const std::uint8_t* opaque,
                         std::uint8_t* in_view, Walls walls) const noexcept {
  const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  plain_.walk_bytes(walls, true, viewer, width, height, {opaque, size}, {in_view, size});

  // The cells a way back may step through, within the map.
  const bool fits = viewer.x >= reach_ && viewer.y >= reach_ && width - viewer.x > reach_ &&
                    height - viewer.y > reach_;
  const std::ptrdiff_t row = width;
  if (fits || straight_) {
    // Only an opaque cell stops a way back, and every way back keeps to
    // the map here: with none around, each cell of the plain view sees the
    // viewer, and the plain view is the symmetric one.
    const int left = std::max(viewer.x - reach_, 0);
    const int right = std::min(viewer.x + reach_, width - 1);
    const int bottom = std::min(viewer.y + reach_, height - 1);
    bool open_ground = true;
    for (int y = std::max(viewer.y - reach_, 0); y <= bottom && open_ground; ++y) {
      const std::uint8_t* const cells = opaque + y * row;
      std::uint8_t any = 0;
      for (int x = left; x <= right; ++x) any |= cells[x];
      open_ground = any == 0;
    }
    if (open_ground) return;
  }

  // The walk marks each cell of the plain view that a way back reaches
  // with 3 (1 | 2): 0 stays 0, the plain view's 1 becomes 3.
  const std::ptrdiff_t origin = viewer.y * row + viewer.x;
  std::uint8_t* const seen = in_view + origin;
  const std::uint8_t* const wall = opaque + origin;
  const Node* const nodes = back_.data();
  const std::size_t count = back_.size();
  if (fits) {
    for (std::size_t n = 0; n < count;) {
      const Node& node = nodes[n];
      const std::ptrdiff_t at = node.dy * row + node.dx;
      const auto ends = static_cast<std::uint8_t>(node.after >> 31);
      seen[at] = static_cast<std::uint8_t>(seen[at] | (seen[at] & ends) << 1);
      n = wall[at] != 0 ? node.after & kAfter : n + 1;
    }
  } else {
    for (std::size_t n = 0; n < count;) {
      const Node& node = nodes[n];
      const int x = viewer.x + node.dx;
      const int y = viewer.y + node.dy;
      // Off the map, the line that this way turns back has ended.
      if (x < 0 || y < 0 || x >= width || y >= height) {
        n = node.after & kAfter;
        continue;
      }
      const std::ptrdiff_t at = node.dy * row + node.dx;
      const auto ends = static_cast<std::uint8_t>(node.after >> 31);
      seen[at] = static_cast<std::uint8_t>(seen[at] | (seen[at] & ends) << 1);
      n = wall[at] != 0 ? node.after & kAfter : n + 1;
    }
  }

  // Back to 0 and 1: a clear cell is in view when marked, an opaque one
  // when the plain view holds it. The marks lie within radius() of the
  // viewer.
  const int r = radius();
  const int left = std::max(viewer.x - r, 0);
  const int right = std::min(viewer.x + r, width - 1);
  const int bottom = std::min(viewer.y + r, height - 1);
  for (int y = std::max(viewer.y - r, 0); y <= bottom; ++y) {
    std::uint8_t* const cells = in_view + y * row;
    const std::uint8_t* const walls_of_row = opaque + y * row;
    for (int x = left; x <= right; ++x) {
      const std::uint8_t v = cells[x];
      cells[x] = static_cast<std::uint8_t>((v >> 1) | (v & (walls_of_row[x] != 0 ? 1 : 0)));
    }
  }
  in_view[origin] = 1;
}

}  // namespace vantrel

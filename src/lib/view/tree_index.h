// The cells of a view's tree indexed by where they stand, as LineOfSight
// and SymmetricView look lines up: each cell with the one before it on its
// line and its depth, and the cells at each place around the viewer, the
// nearest along their lines first. Computes; keeps nothing of the tree.
#ifndef VANTREL_VIEW_TREE_INDEX_H_
#define VANTREL_VIEW_TREE_INDEX_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel {

struct TreeIndex {
  // `before` of a cell next to the viewer.
  static constexpr std::uint32_t kViewer = 0xffffffffu;

  // Of each cell of the tree, in its order: the cell before it on its line
  // (kViewer next to the viewer), and how many cells lie before it.
  std::vector<std::uint32_t> before;
  std::vector<std::uint32_t> depth;
  // The cells at the place (dx, dy), c = (dy + r) * (2r + 1) + dx + r for
  // the radius r, are at[first[c]] up to at[first[c + 1]], the fewest cells
  // before them first (in the tree's order where as many lie before).
  std::vector<std::uint32_t> first;
  std::vector<std::uint32_t> at;
};

// Indexes `nodes`, a tree in depth-first order, each with dx, dy within
// `radius` of the viewer and `after`, the first cell that does not follow
// it on its lines. Costs time and memory as the tree's cells and the
// (2r + 1)^2 places. Throws std::bad_alloc.
template <class Node>
TreeIndex index_tree(const std::vector<Node>& nodes, int radius) {
  const std::size_t count = nodes.size();
  TreeIndex index;
  index.before.resize(count);
  index.depth.resize(count);
  // The cells open around the one at hand, in depth-first order: the last
  // whose `after` lies beyond it is the cell before it.
  std::vector<std::uint32_t> open;
  for (std::size_t n = 0; n < count; ++n) {
    while (!open.empty() && nodes[open.back()].after <= n) open.pop_back();
    index.before[n] = open.empty() ? TreeIndex::kViewer : open.back();
    index.depth[n] = static_cast<std::uint32_t>(open.size());
    open.push_back(static_cast<std::uint32_t>(n));
  }
  const auto side = static_cast<std::size_t>(2 * radius + 1);
  auto place_of = [&](const Node& node) {
    return static_cast<std::size_t>(node.dy + radius) * side +
           static_cast<std::size_t>(node.dx + radius);
  };
  index.first.assign(side * side + 1, 0);
  for (const Node& node : nodes) ++index.first[place_of(node) + 1];
  for (std::size_t c = 0; c + 1 < index.first.size(); ++c) index.first[c + 1] += index.first[c];
  index.at.resize(count);
  std::vector<std::uint32_t> next(index.first.begin(), index.first.end() - 1);
  for (std::size_t n = 0; n < count; ++n) {
    index.at[next[place_of(nodes[n])]++] = static_cast<std::uint32_t>(n);
  }
  for (std::size_t c = 0; c + 1 < index.first.size(); ++c) {
    std::stable_sort(index.at.begin() + index.first[c], index.at.begin() + index.first[c + 1],
                     [&](std::uint32_t a, std::uint32_t b) {
                       return index.depth[a] < index.depth[b];
                     });
  }
  return index;
}

}  // namespace vantrel

#endif  // VANTREL_VIEW_TREE_INDEX_H_

#include "vantrel/line_of_sight.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "lib/cell.h"
#include "lib/error_report.h"
#include "lib/view/cone_cut.h"
#include "lib/view/tree_index.h"

namespace vantrel {

LineOfSight::LineOfSight(const FieldOfView& view) : radius_(view.radius()) {
  const std::vector<FieldOfView::Node>& nodes = view.nodes_;
  auto between = [](int before, int at) {
    return before == 0 || (before < 0 ? at <= before : at >= before);
  };
  TreeIndex index = index_tree(nodes, radius_);
  static_assert(TreeIndex::kViewer == kViewer);
  steps_.reserve(nodes.size());
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    const std::uint32_t before = index.before[n];
    steps_.push_back(Step{nodes[n].dx, nodes[n].dy, before});
    if (before != kViewer) {
      if (!between(nodes[before].dx, nodes[n].dx) || !between(nodes[before].dy, nodes[n].dy)) {
        straight_ = false;
      }
    } else if (std::abs(nodes[n].dx) > 1 || std::abs(nodes[n].dy) > 1) {
      straight_ = false;
    }
  }
  // The shortest walk back first: it is the cheapest, and the likeliest to
  // be clear. Each place as the cell before it, where a walk starts.
  first_place_ = std::move(index.first);
  places_ = std::move(index.at);
  for (std::uint32_t& place : places_) place = steps_[place].before;
}

bool LineOfSight::look_at_bytes(Cell viewer, Cell target, int width, int height,
                                const std::uint8_t* opaque, Walls walls) const noexcept {
  if (walls == Walls::kFacing) {
    auto is_opaque = [opaque, width](std::int32_t x, std::int32_t y) {
      return opaque[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(x)] != 0;
    };
    return look_facing(viewer, target, is_opaque, [&](Cell cell) {
      return look_at_bytes(viewer, cell, width, height, opaque, Walls::kSeen);
    });
  }
  if (!straight_) {
    auto is_opaque = [opaque, width](std::int32_t x, std::int32_t y) {
      return opaque[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(x)] != 0;
    };
    return look(viewer, target, width, height, is_opaque, walls);
  }
  // The cells before the target lie between it and the viewer: each is
  // found from the viewer's place in the map.
  const std::int64_t dx = std::int64_t{target.x} - viewer.x;
  const std::int64_t dy = std::int64_t{target.y} - viewer.y;
  if (dx == 0 && dy == 0) return true;
  if (dx < -radius_ || dx > radius_ || dy < -radius_ || dy > radius_) return false;
  const std::uint8_t* const origin =
      opaque + static_cast<std::ptrdiff_t>(viewer.y) * width + viewer.x;
  if (walls == Walls::kUnseen && origin[dy * width + dx] != 0) return false;
  const auto side = static_cast<std::int64_t>(2 * radius_ + 1);
  const auto cell = static_cast<std::size_t>((dy + radius_) * side + dx + radius_);
  const std::uint32_t* const places = places_.data();
  const Step* const steps = steps_.data();
  const std::uint32_t end = first_place_[cell + 1];
  for (std::uint32_t p = first_place_[cell]; p < end; ++p) {
    std::uint32_t n = places[p];
    while (n != kViewer &&
           origin[static_cast<std::ptrdiff_t>(steps[n].dy) * width + steps[n].dx] == 0) {
      n = steps[n].before;
    }
    if (n == kViewer) return true;
  }
  return false;
}

std::optional<LineOfSight> LineOfSight::make(const FieldOfView& view, Error& error) noexcept {
  std::optional<LineOfSight> sight;
  catch_into(error, [&] { sight.emplace(view); });
  return sight;
}

namespace {

constexpr char kNotOnTheMap[] =
    "vantrel::LineOfSight::sees: the viewer and the target must stand on the map";
constexpr char kWrongMapSize[] =
    "vantrel::LineOfSight::sees: the map must hold width * height bytes";
constexpr char kNotOnTheMapBothWays[] =
    "vantrel::LineOfSight::sees_both_ways: the viewer and the target must stand on the map";
constexpr char kWrongMapSizeBothWays[] =
    "vantrel::LineOfSight::sees_both_ways: the map must hold width * height bytes";

}  // namespace

void LineOfSight::throw_not_on_the_map() { throw std::invalid_argument(kNotOnTheMap); }

void LineOfSight::report_not_on_the_map(Error& error) noexcept {
  report(error, Error::Code::kInvalidArgument, kNotOnTheMap);
}

void LineOfSight::throw_wrong_map_size() { throw std::invalid_argument(kWrongMapSize); }

void LineOfSight::throw_not_on_the_map_both_ways() {
  throw std::invalid_argument(kNotOnTheMapBothWays);
}

void LineOfSight::report_not_on_the_map_both_ways(Error& error) noexcept {
  report(error, Error::Code::kInvalidArgument, kNotOnTheMapBothWays);
}

void LineOfSight::report_wrong_map_size(Error& error) noexcept {
  report(error, Error::Code::kInvalidArgument, kWrongMapSize);
}

bool LineOfSight::sees(Cell viewer, Cell target, int width, int height,
                       std::span<const std::uint8_t> opaque, Walls walls) const {
  if (!on_map(viewer, width, height) || !on_map(target, width, height)) throw_not_on_the_map();
  if (!is_map(width, height, opaque.size())) throw_wrong_map_size();
  return look_at_bytes(viewer, target, width, height, opaque.data(), walls);
}

bool LineOfSight::sees(Cell viewer, Cell target, int width, int height,
                       std::span<const std::uint8_t> opaque, Walls walls,
                       Error& error) const noexcept {
  error.clear();
  if (!on_map(viewer, width, height) || !on_map(target, width, height)) {
    report_not_on_the_map(error);
    return false;
  }
  if (!is_map(width, height, opaque.size())) {
    report_wrong_map_size(error);
    return false;
  }
  return look_at_bytes(viewer, target, width, height, opaque.data(), walls);
}

bool LineOfSight::sees_both_ways(Cell viewer, Cell target, int width, int height,
                                 std::span<const std::uint8_t> opaque, Walls walls) const {
  if (!on_map(viewer, width, height) || !on_map(target, width, height)) {
    throw_not_on_the_map_both_ways();
  }
  if (!is_map(width, height, opaque.size())) throw std::invalid_argument(kWrongMapSizeBothWays);
  return look_both_ways_at_bytes(viewer, target, width, height, opaque.data(), walls);
}

bool LineOfSight::sees_both_ways(Cell viewer, Cell target, int width, int height,
                                 std::span<const std::uint8_t> opaque, Walls walls,
                                 Error& error) const noexcept {
  error.clear();
  if (!on_map(viewer, width, height) || !on_map(target, width, height)) {
    report_not_on_the_map_both_ways(error);
    return false;
  }
  if (!is_map(width, height, opaque.size())) {
    report(error, Error::Code::kInvalidArgument, kWrongMapSizeBothWays);
    return false;
  }
  return look_both_ways_at_bytes(viewer, target, width, height, opaque.data(), walls);
}

bool LineOfSight::look_both_ways_at_bytes(Cell viewer, Cell target, int width, int height,
                                          const std::uint8_t* opaque,
                                          Walls walls) const noexcept {
  auto is_opaque = [opaque, width](std::int32_t x, std::int32_t y) {
    return opaque[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)] != 0;
  };
  return look_both_ways(viewer, target, is_opaque, walls, [&](Cell from, Cell to) {
    return look_at_bytes(from, to, width, height, opaque, Walls::kSeen);
  });
}

bool LineOfSight::sees(Cell viewer, Cell target, int width, int height,
                       std::span<const std::uint8_t> opaque, Cone cone, Walls walls) const {
  if (!on_map(viewer, width, height) || !on_map(target, width, height)) throw_not_on_the_map();
  if (!is_map(width, height, opaque.size())) throw_wrong_map_size();
  if (!detail::ConeTest::is_cone(cone)) {
    throw std::invalid_argument(cone_fault("vantrel::LineOfSight::sees", cone));
  }
  const detail::ConeTest test(cone);
  // In view through the cone: in it, and seen by `walls`; by Walls::kFacing
  // a wall faces a clear cell that is in the cone and seen.
  auto in_cone = [&](Cell cell) { return test.contains(cell.x - viewer.x, cell.y - viewer.y); };
  if (walls != Walls::kFacing) {
    return in_cone(target) && look_at_bytes(viewer, target, width, height, opaque.data(), walls);
  }
  auto is_opaque = [data = opaque.data(), width](std::int32_t x, std::int32_t y) {
    return data[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                static_cast<std::size_t>(x)] != 0;
  };
  return look_facing(viewer, target, is_opaque, [&](Cell cell) {
    return in_cone(cell) &&
           look_at_bytes(viewer, cell, width, height, opaque.data(), Walls::kSeen);
  });
}

bool LineOfSight::sees(Cell viewer, Cell target, int width, int height,
                       std::span<const std::uint8_t> opaque, Cone cone, Walls walls,
                       Error& error) const noexcept {
  error.clear();
  bool seen = false;
  catch_into(error, [&] { seen = sees(viewer, target, width, height, opaque, cone, walls); });
  return seen;
}

}  // namespace vantrel

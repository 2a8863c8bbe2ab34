#include "vantrel/line_of_sight.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include "lib/error_report.h"

namespace vantrel {

LineOfSight::LineOfSight(const FieldOfView& view) : radius_(view.radius()) {
  const std::vector<FieldOfView::Node>& nodes = view.nodes_;
  // The cells open around the one at hand, in depth-first order: the last
  // whose `after` lies beyond it is the cell before it.
  steps_.reserve(nodes.size());
  std::vector<std::uint32_t> open;
  const auto side = static_cast<std::size_t>(2 * radius_ + 1);
  first_place_.assign(side * side + 1, 0);
  auto cell_of = [&](const FieldOfView::Node& node) {
    return static_cast<std::size_t>(node.dy + radius_) * side +
           static_cast<std::size_t>(node.dx + radius_);
  };
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    while (!open.empty() && nodes[open.back()].after <= n) open.pop_back();
    steps_.push_back(Step{nodes[n].dx, nodes[n].dy, open.empty() ? kViewer : open.back()});
    open.push_back(static_cast<std::uint32_t>(n));
    ++first_place_[cell_of(nodes[n]) + 1];
  }
  for (std::size_t c = 0; c + 1 < first_place_.size(); ++c) first_place_[c + 1] += first_place_[c];
  places_.resize(nodes.size());
  std::vector<std::uint32_t> next(first_place_.begin(), first_place_.end() - 1);
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    places_[next[cell_of(nodes[n])]++] = static_cast<std::uint32_t>(n);
  }
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

bool holds(std::span<const std::uint8_t> opaque, int width, int height) {
  return std::uint64_t{opaque.size()} ==
         static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
}

}  // namespace

void LineOfSight::throw_not_on_the_map() { throw std::invalid_argument(kNotOnTheMap); }

void LineOfSight::report_not_on_the_map(Error& error) noexcept {
  report(error, Error::Code::kInvalidArgument, kNotOnTheMap);
}

void LineOfSight::throw_wrong_map_size() { throw std::invalid_argument(kWrongMapSize); }

void LineOfSight::report_wrong_map_size(Error& error) noexcept {
  report(error, Error::Code::kInvalidArgument, kWrongMapSize);
}

bool LineOfSight::sees(Cell viewer, Cell target, int width, int height,
                       std::span<const std::uint8_t> opaque, Walls walls) const {
  if (!on_map(viewer, width, height) || !on_map(target, width, height)) throw_not_on_the_map();
  if (!holds(opaque, width, height)) throw_wrong_map_size();
  auto is_opaque = [opaque, width](std::int32_t x, std::int32_t y) {
    return opaque[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)] != 0;
  };
  return look(viewer, target, width, height, is_opaque, walls);
}

bool LineOfSight::sees(Cell viewer, Cell target, int width, int height,
                       std::span<const std::uint8_t> opaque, Walls walls,
                       Error& error) const noexcept {
  error.clear();
  if (!on_map(viewer, width, height) || !on_map(target, width, height)) {
    report_not_on_the_map(error);
    return false;
  }
  if (!holds(opaque, width, height)) {
    report_wrong_map_size(error);
    return false;
  }
  auto is_opaque = [opaque, width](std::int32_t x, std::int32_t y) {
    return opaque[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)] != 0;
  };
  return look(viewer, target, width, height, is_opaque, walls);
}

}  // namespace vantrel

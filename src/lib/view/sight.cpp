#include "vantrel/sight.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "lib/error_report.h"

namespace vantrel {
namespace {

// One radius: built at most once each, the view before its line of sight.
struct Radius {
  bool present = false;
  std::optional<Table> table;  // a table file's, until the view is built
  std::once_flag view_once;
  std::unique_ptr<FieldOfView> view;
  std::once_flag sight_once;
  std::unique_ptr<LineOfSight> sight;
};

}  // namespace

struct [[gnu::visibility("hidden")]] Sight::State {
  explicit State(int largest) : largest(largest), radii(new Radius[largest]) {}

  // Radius `radius`, or a throw when there is none.
  Radius& at(int radius) const {
    if (radius < 1 || radius > largest || !radii[static_cast<std::size_t>(radius - 1)].present) {
      throw std::invalid_argument("vantrel::Sight: no radius " + std::to_string(radius) +
                                  " (the largest is " + std::to_string(largest) + ")");
    }
    return radii[static_cast<std::size_t>(radius - 1)];
  }

  const FieldOfView& view_of(int radius) const {
    Radius& r = at(radius);
    // What the build throws leaves the flag unset, for the next call to try.
    std::call_once(r.view_once, [&] {
      r.view = std::make_unique<FieldOfView>(r.table ? *r.table : make_table(radius));
      r.table.reset();
    });
    return *r.view;
  }

  const LineOfSight& sight_of(int radius) const {
    const FieldOfView& view = view_of(radius);
    Radius& r = radii[static_cast<std::size_t>(radius - 1)];
    std::call_once(r.sight_once, [&] { r.sight = std::make_unique<LineOfSight>(view); });
    return *r.sight;
  }

  int largest;
  std::unique_ptr<Radius[]> radii;  // radius r at r - 1
};

Sight::Sight(int largest_radius) {
  if (largest_radius < 1 || largest_radius > FieldOfView::kLargestViewRadius) {
    throw std::invalid_argument("vantrel::Sight: the largest radius must be 1 to " +
                                std::to_string(FieldOfView::kLargestViewRadius) + ", not " +
                                std::to_string(largest_radius));
  }
  state_ = std::make_unique<State>(largest_radius);
  for (int r = 0; r < largest_radius; ++r) {
    state_->radii[static_cast<std::size_t>(r)].present = true;
  }
}

Sight::Sight(TableFile& file) {
  const std::vector<int>& radii = file.radii();
  if (radii.empty()) throw std::invalid_argument("vantrel::Sight: the table file has no table");
  // A file's radii are 1 to kLargestTableRadius; a view's reach less far.
  const int largest = *std::max_element(radii.begin(), radii.end());
  if (largest > FieldOfView::kLargestViewRadius) {
    throw std::invalid_argument("vantrel::Sight: a table of the file reaches beyond " +
                                std::to_string(FieldOfView::kLargestViewRadius) + " cells");
  }
  state_ = std::make_unique<State>(largest);
  for (const int radius : radii) {
    Radius& r = state_->radii[static_cast<std::size_t>(radius - 1)];
    r.table = file.table(radius);
    r.present = true;
  }
}

std::optional<Sight> Sight::make(int largest_radius, Error& error) noexcept {
  std::optional<Sight> sight;
  catch_into(error, [&] { sight.emplace(largest_radius); });
  return sight;
}

std::optional<Sight> Sight::make(TableFile& file, Error& error) noexcept {
  std::optional<Sight> sight;
  catch_into(error, [&] { sight.emplace(file); });
  return sight;
}

Sight::~Sight() = default;
Sight::Sight(Sight&&) noexcept = default;
Sight& Sight::operator=(Sight&&) noexcept = default;

int Sight::largest_radius() const { return state_->largest; }

bool Sight::has_radius(int radius) const {
  return radius >= 1 && radius <= state_->largest &&
         state_->radii[static_cast<std::size_t>(radius - 1)].present;
}

void Sight::prepare(int radius) const { state_->sight_of(radius); }

bool Sight::prepare(int radius, Error& error) const noexcept {
  return catch_into(error, [&] { state_->sight_of(radius); });
}

const FieldOfView& Sight::field_of_view(int radius) const { return state_->view_of(radius); }

const FieldOfView* Sight::field_of_view(int radius, Error& error) const noexcept {
  const FieldOfView* view = nullptr;
  catch_into(error, [&] { view = &state_->view_of(radius); });
  return view;
}

const LineOfSight& Sight::line_of_sight(int radius) const { return state_->sight_of(radius); }

const LineOfSight* Sight::line_of_sight(int radius, Error& error) const noexcept {
  const LineOfSight* sight = nullptr;
  catch_into(error, [&] { sight = &state_->sight_of(radius); });
  return sight;
}

}  // namespace vantrel

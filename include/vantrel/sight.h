// Fields of view of every sight radius up to a largest one, from one object.
// The view of radius r is the view by the lines of table r, the table a
// unit of sight r uses: not table k cut short at r, whose lines differ. A
// Sight made for a largest radius k builds the FieldOfView (and the
// LineOfSight) of a radius when it is first asked for, or when prepare()
// asks for it, and keeps it until it is destroyed.
//
//   const vantrel::Sight sight(20);
//   sight.field_of_view(unit.sight).compute(unit.cell, width, height, opaque, in_view);
//   if (sight.line_of_sight(8).sees(guard, thief, width, height, opaque)) ...
//
// Threads: every member is const but assignment, and any number of threads
// may use one Sight at once, the first use of a radius included: one of
// them builds it while the others wait (std::call_once), and once built a
// radius is read without a lock. Building, assigning or destroying a Sight
// must not overlap any use of it, nor of what it returned.
#ifndef VANTREL_SIGHT_H_
#define VANTREL_SIGHT_H_

#include <memory>
#include <optional>

#include "vantrel/error.h"
#include "vantrel/export.h"
#include "vantrel/field_of_view.h"
#include "vantrel/line_of_sight.h"
#include "vantrel/table.h"

namespace vantrel {

class VANTREL_API Sight {
 public:
  // Radii 1 to `largest_radius`, each by make_table(radius). Builds
  // nothing yet: costs about 80 bytes per radius. Throws
  // std::invalid_argument for a largest radius below 1 or above
  // FieldOfView::kLargestViewRadius, std::bad_alloc.
  explicit Sight(int largest_radius);
  // The radii of a table file, each by its table there: reads every table
  // of the file now (TableFileError when one is not a table), and keeps
  // each until its radius is built. The file is not used afterwards.
  explicit Sight(TableFile& file);
  // The same without throwing: std::nullopt, and `error` filled in.
  static std::optional<Sight> make(int largest_radius, Error& error) noexcept;
  static std::optional<Sight> make(TableFile& file, Error& error) noexcept;
  ~Sight();
  // A Sight moved from may only be assigned to or destroyed.
  Sight(Sight&&) noexcept;
  Sight& operator=(Sight&&) noexcept;

  // The largest radius it has.
  int largest_radius() const;
  // Whether it has radius `radius`: every one from 1 to largest_radius()
  // when made by radius, those of the file's tables when made from one.
  bool has_radius(int radius) const;

  // Builds radius `radius` now, its FieldOfView and its LineOfSight, if it
  // is not built yet, so that later calls for it allocate nothing. Throws
  // std::invalid_argument for a radius it does not have, or what building
  // it throws (std::bad_alloc, std::invalid_argument for a table file's
  // table that is no field of view); a radius that failed to build is
  // tried again at its next use.
  //
  // Costs, measured on one core for radii made by make_table, memory kept
  // after building (a little more is taken while building):
  //
  //                 every radius 1 to k       radius k alone
  //   k = 12           80 KB,  0.6 ms          16 KB, 0.2 ms
  //   k = 50          5.6 MB,   40 ms         330 KB,   3 ms
  //   k = 200         380 MB,  1.7 s          5.7 MB,  50 ms
  //
  // The views alone (field_of_view() of each radius) take about a third
  // of the memory and half the time: 1 to 200 take 140 MB and 0.7 s.
  void prepare(int radius) const;
  // The same without throwing: false, and `error` filled in.
  bool prepare(int radius, Error& error) const noexcept;

  // The field of view of radius `radius`, built now if it is not built yet
  // (its LineOfSight is not). Throws as prepare(). The reference lives as
  // long as the Sight.
  const FieldOfView& field_of_view(int radius) const;
  // The same without throwing: nullptr, and `error` filled in.
  const FieldOfView* field_of_view(int radius, Error& error) const noexcept;

  // The line of sight of radius `radius`, built now with its field of view
  // if it is not built yet. Throws as prepare().
  const LineOfSight& line_of_sight(int radius) const;
  // The same without throwing: nullptr, and `error` filled in.
  const LineOfSight* line_of_sight(int radius, Error& error) const noexcept;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vantrel

#endif  // VANTREL_SIGHT_H_

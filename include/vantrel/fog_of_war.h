// Fog of war: what any of many viewers sees, on one thread or several.
//
// update() marks the view of every viewer into one map of the cells in
// view (`visible`, a byte per cell), and into a second map of the cells
// ever seen (`explored`) when one is given. It only ever sets bytes to 1:
// the caller clears `visible` before an update when it is to hold this
// update's views alone, and keeps `explored` from one update to the next.
// The views are those of FieldOfView::mark(), with the same Walls; the
// result is the same byte for byte on any number of threads.
//
//   vantrel::FogOfWar fog(0);                 // a thread per core, started once
//   std::ranges::fill(visible, 0);
//   fog.update(view, unit_cells, width, height, opaque, visible, explored);
//
// A FogOfWar made for n threads starts n - 1 threads when it is made, and
// each update runs on them and on the calling thread; they wait, asleep,
// between updates, and are joined when it is destroyed. An update starts
// no thread and allocates nothing. The map is shared out in bands of rows
// (at most 32), each thread taking a band at a time and marking the
// viewers that stand in it: viewers spread over the map keep every thread
// busy, viewers all in a few rows keep one. Updates of fewer than 256
// viewers run on the calling thread alone, where waking the others would
// cost more than it saves.
//
// Threads: the FogOfWar's own threads work only within update(), and
// nothing of the caller's is referenced once it returns. Updates of one
// FogOfWar from several threads at once run one after another, each
// waiting for the one before: two threads that each want fog of war
// without waiting make one FogOfWar each. Building, moving or destroying
// one must not overlap an update.
#ifndef VANTREL_FOG_OF_WAR_H_
#define VANTREL_FOG_OF_WAR_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "vantrel/cell.h"
#include "vantrel/error.h"
#include "vantrel/export.h"
#include "vantrel/field_of_view.h"
#include "vantrel/sight.h"

namespace vantrel {

// A viewer of a sight radius of its own, for the views of a Sight.
struct Viewer {
  Cell cell;
  int radius;
};

class VANTREL_API FogOfWar {
 public:
  // The most threads a FogOfWar takes.
  static constexpr int kMostThreads = 256;

  // Fog of war on `threads` threads, the caller's included: 1 starts none,
  // 0 as many as the machine runs at once. Throws std::invalid_argument
  // for a count below 0 or above kMostThreads, std::system_error when a
  // thread cannot be started (the ones started are stopped), std::bad_alloc.
  // The threads block every signal, so that signals go to the program's
  // own threads.
  explicit FogOfWar(int threads = 1);
  // The same without throwing: std::nullopt, and `error` filled in
  // (kOutOfMemory, with a message that says so, when a thread cannot be
  // started).
  static std::optional<FogOfWar> make(int threads, Error& error) noexcept;
  ~FogOfWar();
  // A FogOfWar moved from may only be assigned to or destroyed.
  FogOfWar(FogOfWar&&) noexcept;
  FogOfWar& operator=(FogOfWar&&) noexcept;

  // How many threads an update runs on, the caller's included.
  int threads() const;

  // Marks into `visible`, and into `explored` unless it is empty, the view
  // by `view` of each of `viewers`, on a map of `width` x `height` cells
  // whose bytes in `opaque` (row by row, as FieldOfView takes them) are
  // non-zero for opaque cells: a byte is set to 1 where some viewer sees
  // the cell, and left alone elsewhere. Every map holds width * height
  // bytes and every viewer stands on the map, or std::invalid_argument is
  // thrown before any byte is written; a viewer may be given more than
  // once. The maps must not share bytes either: std::invalid_argument
  // again.
  //
  // Costs: FieldOfView::mark() of each viewer, shared among the threads,
  // a look at each viewer per band of rows, and a wake-up of the threads
  // (some microseconds); whatever the map's size. Allocates nothing.
  void update(const FieldOfView& view, std::span<const Cell> viewers, int width, int height,
              std::span<const std::uint8_t> opaque, std::span<std::uint8_t> visible,
              std::span<std::uint8_t> explored = {}, Walls walls = Walls::kSeen);
  // The same without throwing: false, and `error` filled in, with no byte
  // written.
  bool update(const FieldOfView& view, std::span<const Cell> viewers, int width, int height,
              std::span<const std::uint8_t> opaque, std::span<std::uint8_t> visible,
              std::span<std::uint8_t> explored, Walls walls, Error& error) noexcept;

  // The same for viewers of a sight radius each, by the views of `sight`.
  // Builds, on the calling thread, each radius of `sight` that is not built
  // yet (Sight::field_of_view()); throws std::invalid_argument for a radius
  // that `sight` does not have, or what building one throws, before any
  // byte is written. Once every radius asked for is built, allocates
  // nothing.
  void update(const Sight& sight, std::span<const Viewer> viewers, int width, int height,
              std::span<const std::uint8_t> opaque, std::span<std::uint8_t> visible,
              std::span<std::uint8_t> explored = {}, Walls walls = Walls::kSeen);
  bool update(const Sight& sight, std::span<const Viewer> viewers, int width, int height,
              std::span<const std::uint8_t> opaque, std::span<std::uint8_t> visible,
              std::span<std::uint8_t> explored, Walls walls, Error& error) noexcept;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vantrel

#endif  // VANTREL_FOG_OF_WAR_H_

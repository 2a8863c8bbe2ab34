#include "vantrel/fog_of_war.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <signal.h>
#endif

#include "lib/cell.h"
#include "lib/error_report.h"
#include "lib/view/facing_walls.h"

namespace vantrel {
namespace {

// The map is shared out in bands of rows, and each band's viewers (those
// that stand in it) are marked together: their views fall in the band and
// the rows beside it, which stay in the core's cache while they are marked,
// and threads on different bands seldom write to the same cache lines. A
// band's rows take about this many bytes of the maps...
constexpr std::size_t kBandBytes = std::size_t{192} << 10;
// ...but there are at most this many bands, since each band looks at every
// viewer to find its own.
constexpr std::size_t kMostBands = 32;
// Below this many viewers an update runs on the calling thread alone.
constexpr std::size_t kFewestViewersShared = 256;

// A viewer's cell, as each form of update() gives it.
Cell cell_of(const Cell& cell) { return cell; }
Cell cell_of(const Viewer& viewer) { return viewer.cell; }

// Sets a byte of a map to 1. Views overlap, so threads may set the same
// byte: shared among threads, it is written as an atomic byte, a plain
// store on common hardware. (Reading it first, to leave a set byte alone,
// costs twice as much: whether it is set is a branch that no core predicts.)
template <bool kShared>
inline void set(std::uint8_t& byte) {
  if constexpr (kShared) {
    std::atomic_ref<std::uint8_t>(byte).store(1, std::memory_order_relaxed);
  } else {
    byte = 1;
  }
}

}  // namespace

// One update, as the threads share it: the viewers, the maps, and how they
// are shared out: in bands of `band_rows` rows, taken in turn.
struct FogJob {
  const FieldOfView* view;  // for every viewer, or
  const Sight* sight;       // the view of each viewer's radius
  const Cell* cells;        // the viewers of `view`, or
  const Viewer* viewers;    // the viewers of `sight`
  std::size_t count;
  int width;
  int height;
  const std::uint8_t* opaque;
  std::uint8_t* visible;
  std::uint8_t* explored;  // nullptr: none
  Walls walls;
  int band_rows = 0;
  std::size_t bands = 0;
  std::atomic<std::size_t> bands_taken{0};

  Cell cell(std::size_t i) const {
    return cells != nullptr ? cell_of(cells[i]) : cell_of(viewers[i]);
  }
  // The view of viewer i: built before the update began, so a Sight's
  // look-up throws nothing.
  const FieldOfView& view_of(std::size_t i) const {
    return view != nullptr ? *view : sight->field_of_view(viewers[i].radius);
  }
};

// Marks one viewer's view into the job's maps, as FieldOfView::mark() does
// into one.
class FogMarker {
 public:
  template <bool kShared>
  static void mark(const FogJob& job, const FieldOfView& view, Cell viewer) {
    auto as = [&]<Walls kWalls>() {
      const int margin = kWalls == Walls::kFacing ? 1 : 0;
      const bool inside = view.fits(viewer, job.width, job.height, margin);
      if (job.explored != nullptr) {
        inside ? traverse<kShared, true, true, kWalls>(job, view, viewer)
               : traverse<kShared, true, false, kWalls>(job, view, viewer);
      } else {
        inside ? traverse<kShared, false, true, kWalls>(job, view, viewer)
               : traverse<kShared, false, false, kWalls>(job, view, viewer);
      }
    };
    if (job.walls == Walls::kUnseen) {
      as.template operator()<Walls::kUnseen>();
    } else if (job.walls == Walls::kFacing) {
      as.template operator()<Walls::kFacing>();
    } else {
      as.template operator()<Walls::kSeen>();
    }
  }

 private:
  template <bool kShared, bool kExplored, bool kInside, Walls kWalls>
  static void traverse(const FogJob& job, const FieldOfView& view, Cell viewer) {
    const int width = job.width;
    const int height = job.height;
    const std::ptrdiff_t origin = static_cast<std::ptrdiff_t>(viewer.y) * width + viewer.x;
    const std::uint8_t* const wall = job.opaque + origin;
    std::uint8_t* const seen = job.visible + origin;
    std::uint8_t* const explored = kExplored ? job.explored + origin : nullptr;
    auto see = [seen, explored](std::ptrdiff_t at) {
      set<kShared>(seen[at]);
      if constexpr (kExplored) set<kShared>(explored[at]);
    };
    see(0);
    // The walls that face the viewer around a clear cell at (dx, dy) from
    // it, `at` in the maps.
    auto face = [&see, wall, viewer, width, height](std::int32_t dx, std::int32_t dy,
                                                    std::ptrdiff_t at) {
      auto see_wall = [&see](std::ptrdiff_t next, std::int32_t, std::int32_t) { see(next); };
      face_walls<kInside>(viewer, width, height, wall, dx, dy, at, see_wall);
    };
    if constexpr (kWalls == Walls::kFacing) {
      if (wall[0] == 0) face(0, 0, 0);
    }
    detail::traverse_tree<kInside>(
        view.nodes_.data(), view.nodes_.size(), ~std::uint32_t{0}, viewer, width, job.height,
        [&see, &face, wall, width](const FieldOfView::Node& node, std::size_t) {
          const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(node.dy) * width + node.dx;
          return detail::see_cell<kWalls>([&] { return wall[at] != 0; }, [&] { see(at); },
                                          [&] { face(node.dx, node.dy, at); });
        });
  }
};

struct [[gnu::visibility("hidden")]] FogOfWar::State {
  explicit State(int threads) : threads(threads) {}

  ~State() {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    wake.notify_all();
    for (std::thread& worker : workers) worker.join();
  }

  // Starts the threads but the caller's, with every signal blocked.
  void start() {
#if !defined(_WIN32)
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
#endif
    try {
      workers.reserve(static_cast<std::size_t>(threads - 1));
      for (int t = 1; t < threads; ++t) workers.emplace_back([this] { work(); });
    } catch (...) {
#if !defined(_WIN32)
      pthread_sigmask(SIG_SETMASK, &before, nullptr);
#endif
      throw;  // ~State stops the ones started
    }
#if !defined(_WIN32)
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
#endif
  }

  // A thread of the FogOfWar: waits for an update, takes its part, tells
  // the caller, and waits again, until stopped.
  void work() {
    std::uint64_t done = 0;
    for (;;) {
      FogJob* current;
      {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [&] { return stop || round != done; });
        if (stop) return;
        done = round;
        current = job;
      }
      take<true>(*current);
      {
        const std::lock_guard<std::mutex> lock(mutex);
        if (--busy == 0) finished.notify_one();
      }
    }
  }

  // Marks the viewers of a band at a time, until no band is left.
  template <bool kShared>
  static void take(FogJob& job) {
    for (;;) {
      const std::size_t band = job.bands_taken.fetch_add(1, std::memory_order_relaxed);
      if (band >= job.bands) return;
      const std::int64_t first_row = static_cast<std::int64_t>(band) * job.band_rows;
      const std::int64_t end_row = first_row + job.band_rows;
      for (std::size_t i = 0; i < job.count; ++i) {
        const Cell cell = job.cell(i);
        if (cell.y >= first_row && cell.y < end_row) {
          FogMarker::mark<kShared>(job, job.view_of(i), cell);
        }
      }
    }
  }

  // Runs an update on every thread, the caller's included, and returns
  // once each is done with it. Updates from several threads at once take
  // their turns.
  void run(FogJob& update) {
    const std::lock_guard<std::mutex> turn(updating);
    const std::size_t row_bytes =
        static_cast<std::size_t>(update.width) * (update.explored != nullptr ? 3 : 2);
    const std::size_t height = static_cast<std::size_t>(update.height);
    const std::size_t rows = std::max<std::size_t>(
        {kBandBytes / row_bytes, (height + kMostBands - 1) / kMostBands, 1});
    update.band_rows = static_cast<int>(std::min(rows, height));
    update.bands = (height + rows - 1) / rows;
    if (workers.empty() || update.count < kFewestViewersShared) {
      take<false>(update);
      return;
    }
    {
      const std::lock_guard<std::mutex> lock(mutex);
      job = &update;
      busy = static_cast<int>(workers.size());
      ++round;
    }
    wake.notify_all();
    // The other threads are done with the update before it returns, come
    // what may: it is on the caller's stack, and so may be the maps.
    struct WaitForThreads {
      State& state;
      ~WaitForThreads() {
        std::unique_lock<std::mutex> lock(state.mutex);
        state.finished.wait(lock, [&] { return state.busy == 0; });
        state.job = nullptr;
      }
    } wait{*this};
    take<true>(update);
  }

  const int threads;
  std::vector<std::thread> workers;
  // Held by the thread whose update runs: the threads share one job.
  std::mutex updating;
  // What the threads share, under `mutex`: the update at hand, which
  // round of updates it is, how many threads are still on it, and whether
  // they are to stop.
  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable finished;
  FogJob* job = nullptr;
  std::uint64_t round = 0;
  int busy = 0;
  bool stop = false;
};

namespace {

constexpr char kNotMaps[] =
    "vantrel::FogOfWar::update: the maps must hold width * height bytes each, "
    "width and height from 1";
constexpr char kOverlappingMaps[] = "vantrel::FogOfWar::update: the maps must not overlap";

void check_maps(int width, int height, std::span<const std::uint8_t> opaque,
                std::span<std::uint8_t> visible, std::span<std::uint8_t> explored) {
  if (!is_map(width, height, opaque.size()) || !is_map(width, height, visible.size()) ||
      (!explored.empty() && !is_map(width, height, explored.size()))) {
    throw std::invalid_argument(kNotMaps);
  }
  if (overlap(opaque, visible) || overlap(opaque, explored) || overlap(visible, explored)) {
    throw std::invalid_argument(kOverlappingMaps);
  }
}

// Viewer `index` stands on the map, or it is named.
void check_on_map(Cell cell, std::size_t index, int width, int height) {
  check_viewer_on_map("vantrel::FogOfWar::update", index, cell, width, height);
}

// Every viewer stands on the map, or the first that does not is named.
template <class Given>
void check_on_map(std::span<const Given> viewers, int width, int height) {
  for (std::size_t i = 0; i < viewers.size(); ++i) {
    check_on_map(cell_of(viewers[i]), i, width, height);
  }
}

}  // namespace

FogOfWar::FogOfWar(int threads) {
  if (threads < 0 || threads > kMostThreads) {
    throw std::invalid_argument("vantrel::FogOfWar: the threads must be 0 to " +
                                std::to_string(kMostThreads) + ", not " + std::to_string(threads));
  }
  if (threads == 0) {
    threads = static_cast<int>(
        std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, kMostThreads));
  }
  state_ = std::make_unique<State>(threads);
  try {
    state_->start();
  } catch (const std::system_error& failure) {
    throw std::system_error(failure.code(), "vantrel::FogOfWar: cannot start a thread");
  }
}

std::optional<FogOfWar> FogOfWar::make(int threads, Error& error) noexcept {
  std::optional<FogOfWar> fog;
  catch_into(error, [&] { fog.emplace(threads); });
  return fog;
}

FogOfWar::~FogOfWar() = default;
FogOfWar::FogOfWar(FogOfWar&&) noexcept = default;
FogOfWar& FogOfWar::operator=(FogOfWar&&) noexcept = default;

int FogOfWar::threads() const { return state_->threads; }

void FogOfWar::update(const FieldOfView& view, std::span<const Cell> viewers, int width,
                      int height, std::span<const std::uint8_t> opaque,
                      std::span<std::uint8_t> visible, std::span<std::uint8_t> explored,
                      Walls walls) {
  check_maps(width, height, opaque, visible, explored);
  check_on_map(viewers, width, height);
  FogJob job{&view, nullptr, viewers.data(), nullptr,
             viewers.size(), width, height, opaque.data(), visible.data(),
             explored.empty() ? nullptr : explored.data(), walls};
  state_->run(job);
}

bool FogOfWar::update(const FieldOfView& view, std::span<const Cell> viewers, int width,
                      int height, std::span<const std::uint8_t> opaque,
                      std::span<std::uint8_t> visible, std::span<std::uint8_t> explored,
                      Walls walls, Error& error) noexcept {
  return catch_into(error, [&] {
    update(view, viewers, width, height, opaque, visible, explored, walls);
  });
}

void FogOfWar::update(const Sight& sight, std::span<const Viewer> viewers, int width, int height,
                      std::span<const std::uint8_t> opaque, std::span<std::uint8_t> visible,
                      std::span<std::uint8_t> explored, Walls walls) {
  check_maps(width, height, opaque, visible, explored);
  for (std::size_t i = 0; i < viewers.size(); ++i) {
    check_on_map(viewers[i].cell, i, width, height);
    // Each radius built here, on the calling thread, so that the threads
    // only look them up (and none of them throws); most neighbours in a
    // list share a radius.
    if (i == 0 || viewers[i].radius != viewers[i - 1].radius) {
      sight.field_of_view(viewers[i].radius);
    }
  }
  FogJob job{nullptr, &sight, nullptr, viewers.data(),
             viewers.size(), width, height, opaque.data(), visible.data(),
             explored.empty() ? nullptr : explored.data(), walls};
  state_->run(job);
}

bool FogOfWar::update(const Sight& sight, std::span<const Viewer> viewers, int width, int height,
                      std::span<const std::uint8_t> opaque, std::span<std::uint8_t> visible,
                      std::span<std::uint8_t> explored, Walls walls, Error& error) noexcept {
  return catch_into(error, [&] {
    update(sight, viewers, width, height, opaque, visible, explored, walls);
  });
}

}  // namespace vantrel

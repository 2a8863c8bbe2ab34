// What the headers promise of every view once its objects are built: a
// view, a mark, a line of sight, a symmetric view and a fog update allocate
// nothing, from C++ and from C, wherever the viewer stands. A program of its
// own, since it counts every allocation by replacing operator new.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vantrel/field_of_view.h"
#include "vantrel/fog_of_war.h"
#include "vantrel/line_of_sight.h"
#include "vantrel/sight.h"
#include "vantrel/symmetric_view.h"
#include "vantrel/table.h"
#include "vantrel/vantrel.h"

namespace {

// Atomic: fog of war's threads would allocate on threads of their own.
std::atomic<long> allocations{0};

void* allocate(std::size_t size) {
  ++allocations;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace vantrel {
namespace {

constexpr int kWidth = 50;
constexpr int kHeight = 40;
constexpr int kRadius = 9;

struct Call {
  const char* name;
  std::function<void(Cell viewer)> run;
};

TEST(NoAllocation, NoViewAllocatesOnceItsObjectsAreBuilt) {
  std::mt19937 random(5);
  std::bernoulli_distribution wall(0.2);
  std::vector<std::uint8_t> opaque(kWidth * kHeight);
  for (std::uint8_t& cell : opaque) cell = wall(random) ? 1 : 0;
  std::vector<std::uint8_t> in_view(opaque.size());
  std::vector<std::uint8_t> explored(opaque.size());
  auto is_opaque = [map = opaque.data()](std::int32_t x, std::int32_t y) {
    return map[y * kWidth + x] != 0;
  };
  // Viewers in the middle, at the edges and in the corners; enough of them
  // that a fog of two threads shares each update.
  std::vector<Cell> viewers;
  std::vector<Viewer> viewers_of_radius;
  std::vector<vantrel_cell> c_viewers;
  for (int y = 0; y < kHeight; y += 3) {
    for (int x = 0; x < kWidth; x += 2) {
      viewers.push_back(Cell{x, y});
      viewers_of_radius.push_back(Viewer{Cell{x, y}, 1 + (x + y) % kRadius});
      c_viewers.push_back(vantrel_cell{x, y});
    }
  }
  viewers.push_back(Cell{kWidth - 1, kHeight - 1});
  ASSERT_GE(viewers.size(), 256u);

  // Everything built first.
  const FieldOfView view(make_table(kRadius));
  const LineOfSight line(view);
  const SymmetricView symmetric(view);
  const Sight sight(kRadius);
  for (int radius = 1; radius <= kRadius; ++radius) sight.prepare(radius);
  FogOfWar alone(1);
  FogOfWar shared(2);
  vantrel_table* c_table = nullptr;
  vantrel_fov* c_fov = nullptr;
  vantrel_fog* c_fog = nullptr;
  ASSERT_EQ(vantrel_table_make(kRadius, &c_table), VANTREL_OK);
  ASSERT_EQ(vantrel_fov_new(c_table, &c_fov), VANTREL_OK);
  ASSERT_EQ(vantrel_fog_new(2, &c_fog), VANTREL_OK);
  // The C API builds a line of sight and a symmetric view at their first
  // use.
  int seen = 0;
  ASSERT_EQ(vantrel_fov_sees(c_fov, 0, 0, 1, 1, kWidth, kHeight, opaque.data(), 0, &seen),
            VANTREL_OK);
  ASSERT_EQ(vantrel_fov_compute_with(c_fov, 0, 0, kWidth, kHeight, opaque.data(),
                                     in_view.data(), VANTREL_SYMMETRIC),
            VANTREL_OK);

  const std::span<const std::uint8_t> map(opaque);
  const Cell far{kWidth / 2, kHeight / 2};
  std::vector<Cell> list(view.list_capacity(Walls::kFacing));
  std::vector<std::uint8_t> scratch(symmetric.scratch_size());
  const Call calls[] = {
      {"FieldOfView::compute of bytes",
       [&](Cell at) { view.compute(at, kWidth, kHeight, map, in_view, Walls::kUnseen); }},
      {"FieldOfView::compute of a predicate",
       [&](Cell at) { view.compute(at, kWidth, kHeight, is_opaque, in_view); }},
      {"FieldOfView::mark",
       [&](Cell at) {
         view.mark(at, kWidth, kHeight, map, in_view);
         view.mark(at, kWidth, kHeight, map, in_view, Walls::kFacing);
       }},
      {"FieldOfView::compute, facing walls",
       [&](Cell at) { view.compute(at, kWidth, kHeight, map, in_view, Walls::kFacing); }},
      {"FieldOfView::compute through a cone",
       [&](Cell at) { view.compute(at, kWidth, kHeight, map, in_view, Cone{30, 100}); }},
      {"FieldOfView::list",
       [&](Cell at) {
         std::fill(in_view.begin(), in_view.end(), 0);
         seen += static_cast<int>(
             view.list(at, kWidth, kHeight, map, in_view, list, Walls::kFacing));
       }},
      {"LineOfSight::sees",
       [&](Cell at) {
         seen += line.sees(at, far, kWidth, kHeight, map) ? 1 : 0;
         seen += line.sees(far, at, kWidth, kHeight, is_opaque, Walls::kUnseen) ? 1 : 0;
         seen += line.sees(far, at, kWidth, kHeight, map, Walls::kFacing) ? 1 : 0;
         seen += line.sees_both_ways(at, far, kWidth, kHeight, map, Walls::kFacing) ? 1 : 0;
       }},
      {"SymmetricView::compute",
       [&](Cell at) { symmetric.compute(at, kWidth, kHeight, map, in_view); }},
      {"SymmetricView::compute through a cone, facing walls",
       [&](Cell at) {
         symmetric.compute(at, kWidth, kHeight, map, in_view, Cone{200, 70}, Walls::kFacing);
       }},
      {"SymmetricView::mark",
       [&](Cell at) { symmetric.mark(at, kWidth, kHeight, map, in_view, scratch); }},
      {"LineOfSight::sees through a cone",
       [&](Cell at) {
         seen += line.sees(far, at, kWidth, kHeight, map, Cone{45, 90}, Walls::kFacing) ? 1 : 0;
       }},
      {"FieldOfView::list through a cone",
       [&](Cell at) {
         std::fill(in_view.begin(), in_view.end(), 0);
         seen += static_cast<int>(view.list(at, kWidth, kHeight, map, in_view, list, Cone{0, 30},
                                            Walls::kFacing));
       }},
      {"Sight's views",
       [&](Cell at) {
         sight.field_of_view(kRadius).mark(at, kWidth, kHeight, map, in_view);
         seen += sight.line_of_sight(3).sees(at, far, kWidth, kHeight, map) ? 1 : 0;
       }},
      {"vantrel_fov_compute_with",
       [&](Cell at) {
         vantrel_fov_compute(c_fov, at.x, at.y, kWidth, kHeight, opaque.data(), in_view.data());
         vantrel_fov_compute_with(c_fov, at.x, at.y, kWidth, kHeight, opaque.data(),
                                  in_view.data(), VANTREL_SYMMETRIC | VANTREL_WALLS_UNSEEN);
         vantrel_fov_mark(c_fov, at.x, at.y, kWidth, kHeight, opaque.data(), in_view.data(), 0);
       }},
      {"vantrel_fov_sees",
       [&](Cell at) {
         int sees = 0;
         vantrel_fov_sees(c_fov, at.x, at.y, far.x, far.y, kWidth, kHeight, opaque.data(), 0,
                          &sees);
         seen += sees;
       }},
  };
  for (const Call& call : calls) {
    SCOPED_TRACE(call.name);
    const long before = allocations;
    for (const Cell& at : viewers) call.run(at);
    EXPECT_EQ(allocations - before, 0);
  }

  // Fog of war, on the calling thread and shared with another.
  const struct {
    const char* name;
    std::function<void()> run;
  } updates[] = {
      {"FogOfWar::update, one thread",
       [&] { alone.update(view, viewers, kWidth, kHeight, map, in_view, explored); }},
      {"FogOfWar::update, two threads",
       [&] { shared.update(view, viewers, kWidth, kHeight, map, in_view, explored); }},
      {"FogOfWar::update of a Sight",
       [&] { shared.update(sight, viewers_of_radius, kWidth, kHeight, map, in_view); }},
      {"vantrel_fog_update",
       [&] {
         EXPECT_EQ(vantrel_fog_update(c_fog, c_fov, c_viewers.data(), c_viewers.size(), kWidth,
                                      kHeight, opaque.data(), in_view.data(), explored.data(), 0),
                   VANTREL_OK);
       }},
  };
  for (const auto& update : updates) {
    SCOPED_TRACE(update.name);
    const long before = allocations;
    for (int round = 0; round < 20; ++round) update.run();
    EXPECT_EQ(allocations - before, 0);
  }
  EXPECT_GT(seen, 0);

  vantrel_fog_free(c_fog);
  vantrel_fov_free(c_fov);
  vantrel_table_free(c_table);
}

}  // namespace
}  // namespace vantrel

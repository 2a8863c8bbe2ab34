// The C API when memory runs out: each allocation of a use of the C API is
// made to fail in turn, the first, then the second, and so on until the use
// succeeds, and each time the call that met it must report
// VANTREL_OUT_OF_MEMORY (or its own failure, with a message), leave no handle
// and free all it took. A program of its own, since it replaces operator new.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "table_file_bytes.h"
#include "vantrel/vantrel.h"

namespace {

// Allocations to let through before one fails; negative: none fails.
long allocations_to_pass = -1;
// Blocks allocated and not yet freed; atomic, as fog of war's threads free
// what starting them took.
std::atomic<long> blocks_held{0};

void* allocate(std::size_t size) {
  if (allocations_to_pass == 0) {
    allocations_to_pass = -1;
    throw std::bad_alloc();
  }
  if (allocations_to_pass > 0) --allocations_to_pass;
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  ++blocks_held;
  return block;
}

void release(void* block) noexcept {
  if (block == nullptr) return;
  --blocks_held;
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }

namespace vantrel {
namespace {

// What one call reported, noted without allocating while allocations fail.
struct Outcome {
  vantrel_status status;
  bool handle_left;  // a handle set although the call failed, or none though it succeeded
  bool message_agrees;  // "" with VANTREL_OK, a message otherwise
};

// Called once the call has returned, `handle` as it left it.
template <class Handle>
Outcome noted(vantrel_status status, const Handle* handle) {
  return {status, (status == VANTREL_OK) != (handle != nullptr),
          (status == VANTREL_OK) == (vantrel_last_error()[0] == '\0')};
}

TEST(CApiMemory, EachAllocationThatFailsIsReportedAndLeavesNothing) {
  const std::string bytes = table_file_bytes(6);
  std::vector<std::uint8_t> opaque(15 * 15);
  opaque[7 * 15 + 9] = 1;
  std::vector<std::uint8_t> in_view(opaque.size());
  std::vector<Outcome> outcomes;
  outcomes.reserve(8);
  std::vector<Outcome> later;
  later.reserve(4);

  // A failure before the rounds: whatever a thread's first failure keeps
  // for the next is not counted as held by the rounds below.
  {
    vantrel_table_file* file = nullptr;
    vantrel_table* table = nullptr;
    ASSERT_EQ(vantrel_table_file_from_bytes(bytes.data(), bytes.size(), &file), VANTREL_OK);
    EXPECT_EQ(vantrel_table_file_read(file, 7, &table), VANTREL_TABLE_FILE_ERROR);
    vantrel_table_file_free(file);
  }

  bool done = false;
  for (long failing = 0; !done; ++failing) {
    SCOPED_TRACE("allocation " + std::to_string(failing) + " fails");
    outcomes.clear();
    const long held = blocks_held;
    allocations_to_pass = failing;

    vantrel_table_file* file = nullptr;
    vantrel_table* table = nullptr;
    vantrel_table* missing = nullptr;
    vantrel_fov* fov = nullptr;
    vantrel_status status = vantrel_table_file_from_bytes(bytes.data(), bytes.size(), &file);
    outcomes.push_back(noted(status, file));
    if (file != nullptr) {
      status = vantrel_table_file_read(file, 7, &missing);
      outcomes.push_back(noted(status, missing));
      status = vantrel_table_file_read(file, 6, &table);
      outcomes.push_back(noted(status, table));
    }
    vantrel_table_file_free(file);
    if (table != nullptr) {
      status = vantrel_fov_new(table, &fov);
      outcomes.push_back(noted(status, fov));
    }
    vantrel_table_free(table);
    if (fov != nullptr) {
      status = vantrel_fov_compute(fov, 7, 7, 15, 15, opaque.data(), in_view.data());
      outcomes.push_back({status, false, vantrel_last_error()[0] == '\0'});
    }
    vantrel_fov_free(fov);
    // A sight's field of view and fog of war on two threads, each call
    // made once the one before succeeded.
    later.clear();
    vantrel_sight* sight = nullptr;
    const vantrel_fov* kept = nullptr;
    vantrel_fog* fog = nullptr;
    status = vantrel_sight_new(6, &sight);
    later.push_back(noted(status, sight));
    if (sight != nullptr) {
      status = vantrel_sight_fov(sight, 6, &kept);
      later.push_back(noted(status, kept));
    }
    if (kept != nullptr) {
      status = vantrel_fog_new(2, &fog);
      later.push_back(noted(status, fog));
    }
    if (fog != nullptr) {
      const vantrel_cell viewers[] = {{7, 7}, {0, 0}, {14, 3}};
      status = vantrel_fog_update(fog, kept, viewers, 3, 15, 15, opaque.data(), in_view.data(),
                                  nullptr, 0);
      later.push_back({status, false, vantrel_last_error()[0] == '\0'});
    }
    vantrel_fog_free(fog);
    vantrel_sight_free(sight);
    done = allocations_to_pass != -1;  // no allocation failed: the use went through
    allocations_to_pass = -1;

    EXPECT_EQ(blocks_held, held);
    // The table file misses table 7, and says so, unless memory ran out first.
    const vantrel_status expected[] = {VANTREL_OK, VANTREL_TABLE_FILE_ERROR, VANTREL_OK,
                                       VANTREL_OK, VANTREL_OK};
    for (std::size_t k = 0; k < outcomes.size(); ++k) {
      SCOPED_TRACE(k);
      const Outcome& outcome = outcomes[k];
      if (outcome.status != expected[k]) {
        EXPECT_EQ(outcome.status, VANTREL_OUT_OF_MEMORY);
      }
      EXPECT_FALSE(outcome.handle_left);
      EXPECT_TRUE(outcome.message_agrees);
    }
    for (const Outcome& outcome : later) {
      if (outcome.status != VANTREL_OK) {
        EXPECT_EQ(outcome.status, VANTREL_OUT_OF_MEMORY);
      }
      EXPECT_FALSE(outcome.handle_left);
      EXPECT_TRUE(outcome.message_agrees);
    }
    if (done) {
      EXPECT_EQ(outcomes.size(), 5u);
      EXPECT_EQ(later.size(), 4u);
    }
    ASSERT_LT(failing, 100000);
  }
}

TEST(CApiMemory, OutOfMemoryIsReportedWithAFixedMessage) {
  vantrel_table* table = nullptr;
  allocations_to_pass = 0;
  EXPECT_EQ(vantrel_table_make(5, &table), VANTREL_OUT_OF_MEMORY);
  allocations_to_pass = -1;
  EXPECT_EQ(table, nullptr);
  EXPECT_STREQ(vantrel_last_error(), "out of memory");
}

}  // namespace
}  // namespace vantrel

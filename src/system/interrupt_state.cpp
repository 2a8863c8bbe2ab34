#include "system/interrupt.h"

#include <atomic>
#include <cstring>

namespace vantrel {
namespace {

// The file's state in the low bits, and whether the run's outcome is
// settled or an interrupt has taken over, as two flags above it: one word,
// so that settling and taking over exclude each other.
constexpr int kStateMask = 0xf;
constexpr int kSettled = 0x10;
constexpr int kTakenOver = 0x20;

std::atomic<int> g_word{static_cast<int>(TableFileState::kUntouched)};
static_assert(std::atomic<int>::is_always_lock_free, "a handler must not take a lock");

// Written before the state names it, read only while it does.
char g_new_path[kLongestNewFilePath];

void change_to(TableFileState state) noexcept {
  int word = g_word.load();
  for (;;) {
    if ((word & kTakenOver) != 0) wait_for_the_end();
    const int next = (word & ~kStateMask) | static_cast<int>(state);
    if (g_word.compare_exchange_weak(word, next)) return;
  }
}

}  // namespace

const char* new_file_path() noexcept { return g_new_path; }

void new_file_created(const char* path) noexcept {
  const std::size_t size = std::strlen(path);
  std::memcpy(g_new_path, path, size + 1);
  change_to(TableFileState::kNewFileNamed);
}

void new_file_removed() noexcept { change_to(TableFileState::kUntouched); }
void replacing_begun() noexcept { change_to(TableFileState::kReplacing); }
void replace_refused() noexcept { change_to(TableFileState::kNewFileNamed); }
void writing_in_place_begun() noexcept { change_to(TableFileState::kWritingInPlace); }
void file_complete() noexcept { change_to(TableFileState::kComplete); }

std::optional<TableFileState> settle() noexcept {
  int word = g_word.load();
  do {
    if ((word & kTakenOver) != 0) wait_for_the_end();
    if ((word & kSettled) != 0) return std::nullopt;
  } while (!g_word.compare_exchange_weak(word, word | kSettled));
  return static_cast<TableFileState>(word & kStateMask);
}

std::optional<TableFileState> take_over_for_interrupt() noexcept {
  int word = g_word.load();
  do {
    if ((word & (kSettled | kTakenOver)) != 0) return std::nullopt;
  } while (!g_word.compare_exchange_weak(word, word | kTakenOver));
  return static_cast<TableFileState>(word & kStateMask);
}

}  // namespace vantrel

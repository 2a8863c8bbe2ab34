// What has become of LOS.TDF while a run writes it, kept where the handler
// that ends an interrupted run can read it. One small state machine for the
// whole process, since a handler reaches nothing else; each change is a
// function named after what has just become true, called where it happens.
//
// Threads: the file's owner, the thread that opens and closes it, makes the
// changes; an interrupt handler (interrupt.h) may read the state at any
// moment, on that thread (POSIX signals) or on one of its own (Windows
// console events). Lock-free atomics only, so both are safe in a handler.
#ifndef VANTREL_TABLE_FILE_STATE_H_
#define VANTREL_TABLE_FILE_STATE_H_

#include <cstddef>
#include <optional>

namespace vantrel {

enum class TableFileState {
  kUntouched,       // as it was: nothing opened yet, or a new file removed again
  kNewFileNamed,    // the new file new_file_path() exists; the old one is in place
  kReplacing,       // that new file, complete, is being renamed over the old one
  kWritingInPlace,  // truncated and being written in place: incomplete
  kComplete,        // the new tables are in place, whole
};

// The longest path of a new file that the state can hold.
inline constexpr std::size_t kLongestNewFilePath = 4096;

// The path of the new file while kNewFileNamed or kReplacing.
const char* new_file_path() noexcept;

// kUntouched -> kNewFileNamed: the new file `path` (shorter than
// kLongestNewFilePath) has just been created. Call it with interrupts held
// (interrupt.h) from the moment before the file is made.
void new_file_created(const char* path) noexcept;
// kNewFileNamed -> kUntouched: the new file is gone again.
void new_file_removed() noexcept;
// kNewFileNamed -> kReplacing: the new file is complete and closed.
void replacing_begun() noexcept;
// kReplacing -> kNewFileNamed: the rename was refused; the new file stays
// beside the old one until it is removed.
void replace_refused() noexcept;
// kUntouched -> kWritingInPlace: the file has been truncated.
void writing_in_place_begun() noexcept;
// kReplacing or kWritingInPlace -> kComplete.
void file_complete() noexcept;

// Once the run's outcome is known and about to be reported, an interrupt no
// longer takes over: the report is the one message. Returns the state, or
// nullopt when the outcome was settled before (and so is reported already).
std::optional<TableFileState> settle() noexcept;

// For the interrupt handler: takes over the process's ending, unless the
// outcome is settled (then nullopt). Returns the state at that moment;
// from then on the owner's changes wait for the end (Windows, where the
// owner runs on while the handler works).
std::optional<TableFileState> take_over_for_interrupt() noexcept;

// Never returns: for a thread that finds an interrupt ending the process.
// Defined beside the interrupt handler, a file per platform
// (interrupt_posix.cpp, interrupt_windows.cpp).
[[noreturn]] void wait_for_the_end() noexcept;

}  // namespace vantrel

#endif  // VANTREL_TABLE_FILE_STATE_H_

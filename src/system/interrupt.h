// Ending a run that is interrupted (Ctrl-C, kill, a closed terminal or
// console): the new file not yet in place is removed, one line says what
// became of LOS.TDF, and the process ends as the interruption asks. The
// whole protocol is here: the state of the file that the handler reads, who
// moves it and from which thread, and the handler itself. The one place
// besides tools/vantrel.cpp that writes to the console, since a handler can
// hand nothing back. What a platform does differently is in a file per
// platform (interrupt_posix.cpp, interrupt_windows.cpp); the state is kept
// in interrupt_state.cpp, the handler's common part in interrupt.cpp.
//
// The file's state, moved by its owner, the thread that opens and closes it
// (the file sink, on vantrel's main thread):
//
//             new_file_created              replacing_begun
//   kUntouched -------------> kNewFileNamed ---------------> kReplacing
//       |      <-------------               <---------------      |
//       |      new_file_removed              replace_refused      |
//       | writing_in_place_begun                                  | file_complete
//       v                        file_complete                    v
//   kWritingInPlace -------------------------------------------> kComplete
//
// Beside it, one of two ends, whichever comes first, once for the process:
//   settle()                  the owner, as it reports the outcome: an
//                             interrupt from then on does nothing.
//   take_over_for_interrupt() the handler: on POSIX on the owner's thread
//                             (every other thread keeps the signals
//                             blocked, InterruptsBlocked), on Windows on a
//                             thread of its own while the owner runs on;
//                             the owner's next change or settle() then
//                             waits for the end (wait_for_the_end).
// Lock-free atomics only, so every call but the installing ones is safe in
// a handler.
#ifndef VANTREL_INTERRUPT_H_
#define VANTREL_INTERRUPT_H_

#include <cstddef>
#include <optional>
#include <string_view>

namespace vantrel {

// ---- The file's state: the owner's changes ----

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
// (InterruptsBlocked) from the moment before the file is made.
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

// ---- The two ends ----

// The owner's: once the run's outcome is known and about to be reported, an
// interrupt no longer takes over: the report is the one message. Returns
// the state, or nullopt when the outcome was settled before (and so is
// reported already).
std::optional<TableFileState> settle() noexcept;

// The handler's: takes over the process's ending, unless the outcome is
// settled (then nullopt). Returns the state at that moment; from then on
// the owner's changes wait for the end (Windows, where the owner runs on
// while the handler works).
std::optional<TableFileState> take_over_for_interrupt() noexcept;

// ---- The handler ----

// Installs the handler for SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl-C,
// Ctrl-Break, closing the console, logging off, shutting down). A signal
// the process was started to ignore (nohup) stays ignored. The handler runs
// once, leaves the file as its state says it is, and ends the process by
// the same signal, or with status 128 + the signal where the signal cannot
// end it (the first process of a container). Once the run's outcome is
// settled (settle()), it does nothing.
void end_interrupted_runs_cleanly();

// For the platforms' handlers. Takes over the process's ending (unless the
// outcome is settled: nullopt), removes the new file not yet in place, and
// returns what LOS.TDF is now: kUntouched (left as it was), kWritingInPlace
// (incomplete) or kComplete. Async-signal-safe.
std::optional<TableFileState> take_over_and_clean_up() noexcept;
// The line an interrupted run ends with, for what LOS.TDF is now.
std::string_view interrupted_message(TableFileState file) noexcept;
// Also ends a run whose exception cannot be thrown (memory ran out even for
// that) with one line and status 2, the file left as an interrupt leaves it.
void end_runs_cleanly_when_terminated();

// ---- Per platform (interrupt_posix.cpp, interrupt_windows.cpp) ----

// For the handlers: removes `path`; 0, or the system's error number
// (ENOENT where it is not there). Writes `line` to standard error. Both
// async-signal-safe.
int remove_in_handler(const char* path) noexcept;
void write_error_line(std::string_view line) noexcept;

// Never returns: for a thread that finds an interrupt ending the process
// (the owner's changes and settle(), once the handler has taken over).
[[noreturn]] void wait_for_the_end() noexcept;

// While it lives, no interrupt is handled in between: the interrupt
// signals are blocked on the calling thread, and every thread started
// meanwhile keeps them blocked for good, so that the handler only ever runs
// on the threads that own the file (on Windows, whose handler runs on a
// thread of its own, the handler waits until the span ends).
class InterruptsBlocked {
 public:
  InterruptsBlocked() noexcept;
  ~InterruptsBlocked();
  InterruptsBlocked(const InterruptsBlocked&) = delete;
  InterruptsBlocked& operator=(const InterruptsBlocked&) = delete;

 private:
  unsigned char saved_[128];  // the signal mask before, as the system keeps it
};

}  // namespace vantrel

#endif  // VANTREL_INTERRUPT_H_

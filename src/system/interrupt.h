// Ending a run that is interrupted (Ctrl-C, kill, a closed terminal or
// console): the new file not yet in place is removed, one line says what
// became of LOS.TDF, and the process ends as the interruption asks. The one
// place besides tools/vantrel.cpp that writes to the console, since a
// handler can hand nothing back. One file per platform.
#ifndef VANTREL_INTERRUPT_H_
#define VANTREL_INTERRUPT_H_

#include <optional>
#include <string_view>

#include "system/table_file_state.h"

namespace vantrel {

// Installs the handler for SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl-C,
// Ctrl-Break, closing the console, logging off, shutting down). A signal
// the process was started to ignore (nohup) stays ignored. The handler runs
// once, leaves the file as table_file_state.h says it is, and ends the
// process by the same signal, or with status 128 + the signal where the
// signal cannot end it (the first process of a container). Once the run's
// outcome is settled (settle()), it does nothing.
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

// Per platform, for the handlers: removes `path`; 0, or the system's error
// number (ENOENT where it is not there). Writes `line` to standard error.
// Both async-signal-safe.
int remove_in_handler(const char* path) noexcept;
void write_error_line(std::string_view line) noexcept;

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

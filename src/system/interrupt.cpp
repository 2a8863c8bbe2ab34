#include "system/interrupt.h"

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <new>


namespace vantrel {
namespace {

// Called where an exception cannot be thrown, or escapes: in this program,
// memory ran out where even the exception for it could not be had. The
// file is left as an interrupt leaves it, with one line, and status 2.
[[noreturn]] void end_on_terminate() {
  bool out_of_memory = true;
  if (const std::exception_ptr escaped = std::current_exception()) {
    try {
      std::rethrow_exception(escaped);
    } catch (const std::bad_alloc&) {
    } catch (...) {
      out_of_memory = false;
    }
  }
  if (const std::optional<TableFileState> file = take_over_and_clean_up()) {
    const bool incomplete = *file == TableFileState::kWritingInPlace;
    write_error_line(out_of_memory ? (incomplete ? "vantrel: out of memory; LOS.TDF is incomplete\n"
                                                 : "vantrel: out of memory; LOS.TDF left as it was\n")
                                   : (incomplete ? "vantrel: internal error; LOS.TDF is incomplete\n"
                                                 : "vantrel: internal error; LOS.TDF left as it was\n"));
  }
  std::_Exit(2);
}

}  // namespace

std::optional<TableFileState> take_over_and_clean_up() noexcept {
  const std::optional<TableFileState> state = take_over_for_interrupt();
  if (!state) return std::nullopt;
  switch (*state) {
    case TableFileState::kNewFileNamed:
      (void)remove_in_handler(new_file_path());
      return TableFileState::kUntouched;
    case TableFileState::kReplacing:
      // While it is renamed, a new file that is gone is in place already.
      if (remove_in_handler(new_file_path()) == ENOENT) return TableFileState::kComplete;
      return TableFileState::kUntouched;
    default:
      return state;
  }
}

std::string_view interrupted_message(TableFileState file) noexcept {
  switch (file) {
    case TableFileState::kWritingInPlace:
      return "vantrel: interrupted; LOS.TDF is incomplete\n";
    case TableFileState::kComplete:
      return "vantrel: interrupted\n";
    default:
      return "vantrel: interrupted; LOS.TDF left as it was\n";
  }
}

void end_runs_cleanly_when_terminated() { std::set_terminate(end_on_terminate); }

}  // namespace vantrel

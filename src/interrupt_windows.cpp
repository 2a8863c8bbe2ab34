#include "interrupt.h"

#include <io.h>
#include <windows.h>

#include <cerrno>
#include <string_view>


namespace vantrel {
namespace {

// The status Windows gives a program that Ctrl-C ends.
constexpr UINT kEndedByControlC = 0xC000013A;

// Runs on a thread of its own, while the run's threads go on: the state
// decides who ends the process (table_file_state.h), and the new file is
// deleted without closing it, since the worker may be writing it.
BOOL WINAPI end_interrupted_run(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  const std::optional<TableFileState> file = take_over_and_clean_up();
  // The outcome is being reported already, or another event ends the run.
  if (!file) return TRUE;
  write_error_line(interrupted_message(*file));
  TerminateProcess(GetCurrentProcess(), kEndedByControlC);
  wait_for_the_end();
}

}  // namespace

int remove_in_handler(const char* path) noexcept {
  if (DeleteFileA(path)) return 0;
  return GetLastError() == ERROR_FILE_NOT_FOUND ? ENOENT : EIO;
}

void write_error_line(std::string_view line) noexcept {
  (void)_write(2, line.data(), static_cast<unsigned>(line.size()));
}

void end_interrupted_runs_cleanly() {
  end_runs_cleanly_when_terminated();
  (void)SetConsoleCtrlHandler(end_interrupted_run, TRUE);
}

void wait_for_the_end() noexcept {
  for (;;) Sleep(INFINITE);
}

// Console events come on a thread of their own; no thread needs shielding.
InterruptsBlocked::InterruptsBlocked() noexcept : saved_{} {}
InterruptsBlocked::~InterruptsBlocked() = default;

}  // namespace vantrel

#include "system/interrupt.h"

#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <string_view>

namespace vantrel {
namespace {

// The status Windows gives a program that Ctrl-C ends.
constexpr UINT kEndedByControlC = 0xC000013A;

// Console events come on a thread of their own, so interrupts are "held" by
// a handshake instead of a signal mask: the run's threads count the spans
// they hold; an event announces itself and waits until none is held before
// it takes over, and a span begun meanwhile waits until the event is done
// with. Sequentially consistent, so that each side sees the other.
std::atomic<int> g_held{0};
std::atomic<int> g_events{0};

// Runs on a thread of its own, while the run's threads go on: the state
// decides who ends the process (interrupt.h), and the new file is
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
  ++g_events;
  while (g_held.load() > 0) Sleep(1);
  const std::optional<TableFileState> file = take_over_and_clean_up();
  if (!file) {
    // The outcome is being reported already, or another event ends the run.
    --g_events;
    return TRUE;
  }
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

// Threads need no shielding here: the span is held against the event's
// own thread.
InterruptsBlocked::InterruptsBlocked() noexcept : saved_{} {
  for (;;) {
    ++g_held;
    if (g_events.load() == 0) return;
    --g_held;
    Sleep(1);
  }
}

InterruptsBlocked::~InterruptsBlocked() { --g_held; }

}  // namespace vantrel

#include "system/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>


namespace vantrel {
namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t interrupt_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : kInterrupts) sigaddset(&set, signal_number);
  return set;
}

// Runs on the thread that owns the file: every other thread blocks these
// signals, and so does this one while the handler runs, so it runs once.
// Only async-signal-safe calls.
extern "C" void end_interrupted_run(int signal_number) {
  const int saved_errno = errno;
  const std::optional<TableFileState> file = take_over_and_clean_up();
  if (!file) {
    // The outcome is being reported already; it is the one message.
    errno = saved_errno;
    return;
  }
  write_error_line(interrupted_message(*file));

  struct sigaction default_action;
  std::memset(&default_action, 0, sizeof default_action);
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  (void)sigaction(signal_number, &default_action, nullptr);
  sigset_t this_one;
  sigemptyset(&this_one);
  sigaddset(&this_one, signal_number);
  (void)sigprocmask(SIG_UNBLOCK, &this_one, nullptr);
  (void)raise(signal_number);
  // Still here: the first process of a PID namespace is not ended by a
  // signal it does not handle. End as a shell reports a signal.
  _exit(128 + signal_number);
}

}  // namespace

int remove_in_handler(const char* path) noexcept { return unlink(path) == 0 ? 0 : errno; }

void write_error_line(std::string_view line) noexcept {
  (void)!write(STDERR_FILENO, line.data(), line.size());
}

void end_interrupted_runs_cleanly() {
  end_runs_cleanly_when_terminated();
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = end_interrupted_run;
  action.sa_mask = interrupt_set();
  action.sa_flags = SA_RESTART;
  for (const int signal_number : kInterrupts) {
    struct sigaction before;
    if (sigaction(signal_number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    (void)sigaction(signal_number, &action, nullptr);
  }
}

void wait_for_the_end() noexcept {
  for (;;) pause();
}

InterruptsBlocked::InterruptsBlocked() noexcept {
  static_assert(sizeof(sigset_t) <= sizeof saved_);
  const sigset_t set = interrupt_set();
  sigset_t before;
  (void)pthread_sigmask(SIG_BLOCK, &set, &before);
  std::memcpy(saved_, &before, sizeof before);
}

InterruptsBlocked::~InterruptsBlocked() {
  sigset_t before;
  std::memcpy(&before, saved_, sizeof before);
  (void)pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace vantrel

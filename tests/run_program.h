// Runs a built program in a directory of a test's own and gathers what a
// user would see of it: its console bytes, its messages and how it ended.
// POSIX only; safe to call from several threads at once.
#ifndef VANTREL_TESTS_RUN_PROGRAM_H_
#define VANTREL_TESTS_RUN_PROGRAM_H_

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace vantrel {

// What the console of the child is.
enum class Console { kCaptured, kClosed, kBrokenPipe };

struct RunOptions {
  Console console = Console::kCaptured;
  std::optional<rlim_t> file_size_limit;      // bytes
  std::optional<rlim_t> address_space_limit;  // bytes
  std::optional<rlim_t> core_size_limit;      // bytes
  // Sent to the run once its console shows `kill_after`.
  int kill_signal = 0;
  const char* kill_after = "";
  // "NAME=value" entries put into the child's environment.
  std::vector<std::string> environment;
  std::optional<mode_t> umask;
  // A run still going after this long is killed; zero waits for ever.
  std::chrono::milliseconds time_limit{0};
  // Run as this user and its like-numbered group, without supplementary
  // groups (needs root).
  std::optional<uid_t> user;
  // Run as the first process of a PID namespace of its own, as in a
  // container without an init (needs the right to make one).
  bool first_process = false;
  // Fed to the run's standard input through a pipe, whole and closed
  // before the run starts (so at most what a pipe can hold, 1 MiB); none:
  // the run has the test's standard input.
  std::optional<std::string> input;
  // Opened, in the run's directory, as the run's standard input, as the
  // shell's "< file" does; none: as `input` says.
  std::optional<std::string> input_file;
};

// The exit status of a child that could not be set up as asked.
inline constexpr int kCannotSetUp = 126;

// The run itself, when a process in between starts it in a PID namespace:
// signals sent to that process are passed on.
inline pid_t g_first_process = 0;
inline void pass_on(int signal_number) { kill(g_first_process, signal_number); }

// Makes the calling child the parent of a new PID namespace's first process,
// which returns from here; the parent waits and ends as it ended.
inline void become_first_process() {
  if (unshare(CLONE_NEWPID) != 0) _exit(kCannotSetUp);
  g_first_process = fork();
  if (g_first_process < 0) _exit(kCannotSetUp);
  if (g_first_process == 0) return;
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) signal(signal_number, pass_on);
  int wait_status = 0;
  while (waitpid(g_first_process, &wait_status, 0) < 0 && errno == EINTR) {
  }
  _exit(WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status));
}

struct Result {
  int status = -1;  // exit status, or 128 + the signal that ended the run
  int signal = 0;   // the signal that ended the run, or 0
  bool timed_out = false;
  std::string out;
  std::string err;
};

// Reads both pipes to their end; -1 stands for none. Calls `on_read` after
// each piece, and `on_time_out` once `deadline` passes, if it has one.
template <class OnRead, class OnTimeOut>
void drain(std::array<int, 2> fds, std::array<std::string*, 2> into,
           std::optional<std::chrono::steady_clock::time_point> deadline, OnRead on_read,
           OnTimeOut on_time_out) {
  std::array<pollfd, 2> ready{};
  for (;;) {
    nfds_t open_count = 0;
    for (std::size_t n = 0; n < fds.size(); ++n) {
      ready[n] = {fds[n], POLLIN, 0};
      if (fds[n] >= 0) ++open_count;
    }
    if (open_count == 0) return;
    int wait_ms = -1;
    if (deadline) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          *deadline - std::chrono::steady_clock::now());
      wait_ms = static_cast<int>(std::max<long long>(left.count(), 0));
    }
    const int polled = poll(ready.data(), ready.size(), wait_ms);
    if (polled < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (polled == 0) {
      on_time_out();
      deadline.reset();
      continue;
    }
    for (std::size_t n = 0; n < fds.size(); ++n) {
      if (fds[n] < 0 || ready[n].revents == 0) continue;
      char chunk[4096];
      ssize_t size = read(fds[n], chunk, sizeof chunk);
      if (size > 0) {
        into[n]->append(chunk, static_cast<std::size_t>(size));
        on_read();
      } else {
        close(fds[n]);
        fds[n] = -1;
      }
    }
  }
}

// A pipe (close-on-exec) that holds `bytes` and then its end: `fds[0]`
// reads them; the writing end is closed already. False, with the test
// failed, where the pipe cannot hold them.
inline bool fill_pipe(const std::string& bytes, int (&fds)[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return false;
  }
  // Written ahead, nobody reads yet: a full pipe must fail, not block.
  constexpr std::size_t kDefaultCapacity = 65536;
  bool filled = fcntl(fds[1], F_SETFL, O_NONBLOCK) == 0 &&
                (bytes.size() <= kDefaultCapacity ||
                 fcntl(fds[1], F_SETPIPE_SZ, static_cast<int>(bytes.size())) >= 0);
  for (std::size_t at = 0; filled && at < bytes.size();) {
    const ssize_t size = write(fds[1], bytes.data() + at, bytes.size() - at);
    filled = size > 0;
    if (filled) at += static_cast<std::size_t>(size);
  }
  if (!filled) {
    ADD_FAILURE() << "cannot put " << bytes.size() << " bytes in a pipe: " << std::strerror(errno);
  }
  close(fds[1]);
  fds[1] = -1;
  if (!filled) close(fds[0]);
  return filled;
}

// Runs `program` with `args` in `dir`; its console goes to pipes (a file
// would fall under the file-size limit of the child too).
inline Result run_program(const char* program, const std::vector<std::string>& args,
                          const std::filesystem::path& dir, const RunOptions& options = {}) {
  // Close-on-exec, so that a child started meanwhile by another thread
  // does not keep them open.
  int in[2] = {-1, -1};
  if (options.input && !fill_pipe(*options.input, in)) return {};
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return {};
  }
  std::vector<char*> argv{const_cast<char*>(program)};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view name(*entry, std::strcspn(*entry, "="));
    bool replaced = false;
    for (const std::string& given : options.environment) {
      replaced = replaced || given.compare(0, name.size() + 1, std::string(name) + "=") == 0;
    }
    if (!replaced) environment.emplace_back(*entry);
  }
  environment.insert(environment.end(), options.environment.begin(), options.environment.end());
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  // Only async-signal-safe calls between fork and exec: the test may run
  // threads.
  pid_t child = fork();
  if (child == 0) {
    for (int signal_number : {SIGPIPE, SIGXFSZ, SIGINT, SIGTERM, SIGHUP}) {
      signal(signal_number, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (chdir(dir.c_str()) != 0) _exit(127);
    switch (options.console) {
      case Console::kCaptured: dup2(out[1], 1); break;
      case Console::kClosed: close(1); break;
      case Console::kBrokenPipe: close(out[0]); dup2(out[1], 1); break;
    }
    dup2(err[1], 2);
    if (options.input) dup2(in[0], 0);
    if (options.input_file) {
      const int file = open(options.input_file->c_str(), O_RDONLY);
      if (file < 0 || dup2(file, 0) != 0) _exit(kCannotSetUp);
    }
    if (options.file_size_limit) {
      rlimit limit{*options.file_size_limit, *options.file_size_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.address_space_limit) {
      rlimit limit{*options.address_space_limit, *options.address_space_limit};
      setrlimit(RLIMIT_AS, &limit);
    }
    if (options.core_size_limit) {
      rlimit limit{*options.core_size_limit, *options.core_size_limit};
      setrlimit(RLIMIT_CORE, &limit);
    }
    if (options.umask) ::umask(*options.umask);
    if (options.first_process) become_first_process();
    if (options.user) {
      const auto id = static_cast<gid_t>(*options.user);
      if (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(*options.user) != 0) {
        _exit(kCannotSetUp);
      }
    }
    execve(program, argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (options.input) close(in[0]);
  // Nobody reads a broken pipe: its only reader is gone before the run.
  if (options.console == Console::kBrokenPipe) close(out[0]);
  Result result;
  bool killed = options.kill_signal == 0;
  std::optional<std::chrono::steady_clock::time_point> deadline;
  if (options.time_limit.count() > 0) {
    deadline = std::chrono::steady_clock::now() + options.time_limit;
  }
  drain(
      {options.console == Console::kBrokenPipe ? -1 : out[0], err[0]}, {&result.out, &result.err},
      deadline,
      [&] {
        if (!killed && result.out.find(options.kill_after) != std::string::npos) {
          kill(child, options.kill_signal);
          killed = true;
        }
      },
      [&] {
        result.timed_out = true;
        kill(child, SIGKILL);
      });
  int wait_status = 0;
  if (child < 0 || waitpid(child, &wait_status, 0) != child) {
    ADD_FAILURE() << "could not run " << program;
    return result;
  }
  if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) {
    result.signal = WTERMSIG(wait_status);
    result.status = 128 + result.signal;
  }
  return result;
}

}  // namespace vantrel

#endif  // VANTREL_TESTS_RUN_PROGRAM_H_

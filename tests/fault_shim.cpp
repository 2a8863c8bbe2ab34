// A library for LD_PRELOAD that makes a run of vantrel fail where a test
// says: the Nth allocation, or the Nth call of some kind on the table file,
// fails with a chosen error or sends the process a signal. Linux and glibc
// only; never part of the tools themselves.
//
//   VANTREL_FAULT=FAULT[,FAULT...]   where FAULT is KIND:N[:EFFECT]
//     KIND    malloc (every allocation: malloc, calloc, realloc, aligned_alloc,
//             posix_memalign, memalign), or one of the calls on the table
//             file: open (also open64, openat, openat64), write, fallocate
//             (also fallocate64), fchmod, fchown, fsetxattr, close, rename
//             (also renameat), unlink, ftruncate
//     N       the call, counted from 1, that fails; N+ for that call and
//             every later one of the kind, as when memory has run out
//     EFFECT  an error name (ENOSPC, EIO, EACCES, EPERM, ...): the call fails
//             with it and does nothing; or a signal name (SIGINT, SIGTERM,
//             SIGHUP): it is sent to the whole process, as `kill` from
//             outside would, and the call then goes on as usual. An
//             allocation fails as the C library's would (ENOMEM, null) and
//             takes no EFFECT. close is the one exception to "does nothing":
//             it releases the descriptor and then fails, as Linux's close
//             always releases it.
//   VANTREL_FAULT_COUNTS=PATH  at exit, PATH gets one line "KIND COUNT" per
//             kind: how many calls were counted, so that a test knows how
//             far to go; and "taken COUNT": how many calls it failed or
//             sent a signal at.
//
// File calls are counted only when they concern the table file: a path
// whose last component starts with "LOS.TDF" (the file itself and the new
// files beside it), or a descriptor returned by opening such a path, until
// it is closed (a copy made by dup or fcntl is not followed).
//
// Allocations are counted from the moment main is called: the shim hands
// the C library a main of its own (__libc_start_main). A constructor of the
// shim would run too early, before the program's own static initialisers
// (the C++ runtime's emergency exception pool among them), and what fails
// there is not the program's doing. Counting is thread-safe; the counts go
// on until the process exits, its static destructors included.
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace {

enum Kind {
  kMalloc,
  kOpen,
  kWrite,
  kFallocate,
  kFchmod,
  kFchown,
  kFsetxattr,
  kClose,
  kRename,
  kUnlink,
  kFtruncate,
  kKinds,
};
constexpr const char* kKindNames[kKinds] = {"malloc", "open",   "write",     "fallocate",
                                            "fchmod", "fchown", "fsetxattr", "close",
                                            "rename", "unlink", "ftruncate"};

struct Named {
  const char* name;
  int value;
};
constexpr Named kErrors[] = {
    {"ENOSPC", ENOSPC}, {"EIO", EIO},       {"EACCES", EACCES}, {"EPERM", EPERM},
    {"ENOMEM", ENOMEM}, {"EDQUOT", EDQUOT}, {"EROFS", EROFS},   {"EFBIG", EFBIG},
    {"EINTR", EINTR},   {"EBADF", EBADF},   {"ENOENT", ENOENT}, {"EEXIST", EEXIST},
    {"ENOTSUP", ENOTSUP},
};
constexpr Named kSignals[] = {{"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}};

struct Fault {
  Kind kind;
  long call;
  bool onward;  // and every later call of the kind
  int error;    // or 0
  int signal;   // or 0
};
constexpr int kMostFaults = 8;
Fault g_faults[kMostFaults];
int g_fault_count = 0;
char g_counts_path[4096];

std::atomic<long> g_counts[kKinds];
std::atomic<long> g_faults_taken{0};
std::atomic<bool> g_main_started{false};

// Descriptors of the table file; beyond the last, none is tracked.
constexpr int kTrackedFds = 4096;
std::atomic<bool> g_table_fds[kTrackedFds];

// The next object's functions, the C library's.
struct RealCalls {
  void* (*malloc)(size_t);
  void* (*calloc)(size_t, size_t);
  void* (*realloc)(void*, size_t);
  void (*free)(void*);
  void* (*aligned_alloc)(size_t, size_t);
  int (*posix_memalign)(void**, size_t, size_t);
  void* (*memalign)(size_t, size_t);
  int (*open)(const char*, int, ...);
  int (*open64)(const char*, int, ...);
  int (*openat)(int, const char*, int, ...);
  int (*openat64)(int, const char*, int, ...);
  ssize_t (*write)(int, const void*, size_t);
  int (*fallocate)(int, int, off_t, off_t);
  int (*fallocate64)(int, int, off64_t, off64_t);
  int (*fchmod)(int, mode_t);
  int (*fchown)(int, uid_t, gid_t);
  int (*fsetxattr)(int, const char*, const void*, size_t, int);
  int (*close)(int);
  int (*rename)(const char*, const char*);
  int (*renameat)(int, const char*, int, const char*);
  int (*unlink)(const char*);
  int (*ftruncate)(int, off_t);
  int (*libc_start_main)(int (*)(int, char**, char**), int, char**, void (*)(), void (*)(),
                         void (*)(), void*);
};
RealCalls g_real;
std::atomic<bool> g_resolved{false};
bool g_resolving = false;

// dlsym allocates; what it asks for while the allocator is being looked up
// comes from here and is never given back.
alignas(64) char g_early[1 << 16];
std::atomic<size_t> g_early_used{0};

void* early_alloc(size_t size, size_t alignment) {
  if (alignment < 16) alignment = 16;
  // Each block is preceded by its size, for realloc.
  size_t start = g_early_used.load();
  size_t block;
  do {
    block = (start + sizeof(size_t) + alignment - 1) / alignment * alignment;
    if (block + size > sizeof g_early) return nullptr;
  } while (!g_early_used.compare_exchange_weak(start, block + size));
  memcpy(g_early + block - sizeof(size_t), &size, sizeof size);
  return g_early + block;
}

bool is_early(const void* p) {
  return p >= static_cast<const void*>(g_early) &&
         p < static_cast<const void*>(g_early + sizeof g_early);
}

// A block of g_early moved to `block`, of `size` bytes.
void copy_early(void* block, const void* old, size_t size) {
  size_t old_size;
  memcpy(&old_size, static_cast<const char*>(old) - sizeof(size_t), sizeof old_size);
  memcpy(block, old, old_size < size ? old_size : size);
}

template <class F>
void look_up(F& function, const char* name) {
  function = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void resolve() {
  if (g_resolved.load(std::memory_order_acquire)) return;
  g_resolving = true;
  look_up(g_real.malloc, "malloc");
  look_up(g_real.calloc, "calloc");
  look_up(g_real.realloc, "realloc");
  look_up(g_real.free, "free");
  look_up(g_real.aligned_alloc, "aligned_alloc");
  look_up(g_real.posix_memalign, "posix_memalign");
  look_up(g_real.memalign, "memalign");
  look_up(g_real.open, "open");
  look_up(g_real.open64, "open64");
  look_up(g_real.openat, "openat");
  look_up(g_real.openat64, "openat64");
  look_up(g_real.write, "write");
  look_up(g_real.fallocate, "fallocate");
  look_up(g_real.fallocate64, "fallocate64");
  look_up(g_real.fchmod, "fchmod");
  look_up(g_real.fchown, "fchown");
  look_up(g_real.fsetxattr, "fsetxattr");
  look_up(g_real.close, "close");
  look_up(g_real.rename, "rename");
  look_up(g_real.renameat, "renameat");
  look_up(g_real.unlink, "unlink");
  look_up(g_real.ftruncate, "ftruncate");
  look_up(g_real.libc_start_main, "__libc_start_main");
  g_resolving = false;
  g_resolved.store(true, std::memory_order_release);
}

// True while the allocator is being looked up: allocations come from
// g_early then.
bool allocating_early() {
  if (g_resolved.load(std::memory_order_acquire)) return false;
  if (g_resolving) return true;
  resolve();
  return false;
}

// Says what is wrong with VANTREL_FAULT and ends the process: a test must
// not mistake a typing error for a run without faults.
[[noreturn]] void refuse(const char* setting) {
  char message[512];
  const int size = snprintf(message, sizeof message,
                            "vantrel fault shim: cannot read VANTREL_FAULT=\"%s\"\n", setting);
  if (size > 0) (void)!g_real.write(2, message, static_cast<size_t>(size));
  _exit(125);
}

int find_name(const Named* names, size_t count, const char* name, size_t length) {
  for (size_t n = 0; n < count; ++n) {
    if (strlen(names[n].name) == length && strncmp(names[n].name, name, length) == 0) {
      return names[n].value;
    }
  }
  return 0;
}

void read_faults(const char* setting) {
  for (const char* at = setting; *at != '\0';) {
    const char* end = strchr(at, ',');
    if (end == nullptr) end = at + strlen(at);
    const char* colon = static_cast<const char*>(memchr(at, ':', static_cast<size_t>(end - at)));
    if (colon == nullptr || g_fault_count == kMostFaults) refuse(setting);
    Fault fault{kKinds, 0, false, 0, 0};
    for (int kind = 0; kind < kKinds; ++kind) {
      if (strlen(kKindNames[kind]) == static_cast<size_t>(colon - at) &&
          strncmp(kKindNames[kind], at, static_cast<size_t>(colon - at)) == 0) {
        fault.kind = static_cast<Kind>(kind);
      }
    }
    char* number_end = nullptr;
    fault.call = strtol(colon + 1, &number_end, 10);
    if (fault.kind == kKinds || fault.call < 1) refuse(setting);
    if (*number_end == '+') {
      fault.onward = true;
      ++number_end;
    }
    if (number_end != end) {
      if (*number_end != ':' || fault.kind == kMalloc) refuse(setting);
      const char* effect = number_end + 1;
      const size_t length = static_cast<size_t>(end - effect);
      fault.error = find_name(kErrors, sizeof kErrors / sizeof kErrors[0], effect, length);
      fault.signal = find_name(kSignals, sizeof kSignals / sizeof kSignals[0], effect, length);
      if (fault.error == 0 && fault.signal == 0) refuse(setting);
    } else if (fault.kind == kMalloc) {
      fault.error = ENOMEM;
    } else {
      refuse(setting);
    }
    g_faults[g_fault_count++] = fault;
    at = *end == ',' ? end + 1 : end;
  }
}

__attribute__((constructor)) void start_shim() {
  resolve();
  if (const char* setting = getenv("VANTREL_FAULT")) read_faults(setting);
  if (const char* path = getenv("VANTREL_FAULT_COUNTS")) {
    snprintf(g_counts_path, sizeof g_counts_path, "%s", path);
  }
}

__attribute__((destructor)) void write_counts() {
  if (g_counts_path[0] == '\0') return;
  char text[512];
  size_t size = 0;
  for (int kind = 0; kind < kKinds; ++kind) {
    const int added = snprintf(text + size, sizeof text - size, "%s %ld\n", kKindNames[kind],
                               g_counts[kind].load());
    if (added > 0) size += static_cast<size_t>(added);
  }
  const int added =
      snprintf(text + size, sizeof text - size, "taken %ld\n", g_faults_taken.load());
  if (added > 0) size += static_cast<size_t>(added);
  const int fd = g_real.open(g_counts_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  (void)!g_real.write(fd, text, size);
  g_real.close(fd);
}

// Counts a call of `kind` and tells what to do with it: 0 to go on, or the
// error to fail it with. A signal due at this call is sent here.
int count_call(Kind kind) {
  const long call = g_counts[kind].fetch_add(1) + 1;
  for (int n = 0; n < g_fault_count; ++n) {
    const Fault& fault = g_faults[n];
    if (fault.kind != kind || (fault.call != call && !(fault.onward && call > fault.call))) {
      continue;
    }
    g_faults_taken.fetch_add(1);
    if (fault.signal != 0) {
      kill(getpid(), fault.signal);
      return 0;
    }
    return fault.error;
  }
  return 0;
}

bool is_table_path(const char* path) {
  if (path == nullptr) return false;
  const char* slash = strrchr(path, '/');
  return strncmp(slash == nullptr ? path : slash + 1, "LOS.TDF", 7) == 0;
}

bool is_table_fd(int fd) {
  return fd >= 0 && fd < kTrackedFds && g_table_fds[fd].load();
}

void track(int fd, bool table) {
  if (fd >= 0 && fd < kTrackedFds) g_table_fds[fd].store(table);
}

// An allocation that is to fail returns true, with errno set as the C
// library would.
bool allocation_fails() {
  if (!g_main_started.load(std::memory_order_relaxed)) return false;
  if (const int error = count_call(kMalloc); error != 0) {
    errno = error;
    return true;
  }
  return false;
}

// Fails with `error`: -1 and errno.
int fail_with(int error) {
  errno = error;
  return -1;
}

template <class Open>
int counted_open(const char* path, Open open) {
  resolve();
  if (!is_table_path(path)) return open();
  if (const int error = count_call(kOpen); error != 0) return fail_with(error);
  const int fd = open();
  track(fd, true);
  return fd;
}

// The call on a table descriptor: counted, and failed or done.
template <class Call>
auto counted_fd_call(Kind kind, int fd, Call call) -> decltype(call()) {
  resolve();
  if (!is_table_fd(fd)) return call();
  if (const int error = count_call(kind); error != 0) return fail_with(error);
  return call();
}

mode_t mode_argument(int flags, va_list arguments) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE
             ? static_cast<mode_t>(va_arg(arguments, int))
             : 0;
}

int (*g_program_main)(int, char**, char**);

int counted_main(int argc, char** argv, char** envp) {
  g_main_started.store(true);
  return g_program_main(argc, argv, envp);
}

}  // namespace

extern "C" {

int __libc_start_main(int (*main)(int, char**, char**), int argc, char** argv, void (*init)(),
                      void (*fini)(), void (*rtld_fini)(), void* stack_end) {
  resolve();
  g_program_main = main;
  return g_real.libc_start_main(counted_main, argc, argv, init, fini, rtld_fini, stack_end);
}

void* malloc(size_t size) noexcept {
  if (allocating_early()) return early_alloc(size, 16);
  if (allocation_fails()) return nullptr;
  return g_real.malloc(size);
}

void* calloc(size_t count, size_t size) noexcept {
  if (allocating_early()) {
    // g_early starts zeroed and is never reused.
    return size != 0 && count > SIZE_MAX / size ? nullptr : early_alloc(count * size, 16);
  }
  if (allocation_fails()) return nullptr;
  return g_real.calloc(count, size);
}

void* realloc(void* old, size_t size) noexcept {
  if (allocating_early()) {
    void* block = early_alloc(size, 16);
    if (block != nullptr && old != nullptr) copy_early(block, old, size);
    return block;
  }
  if (size != 0 && allocation_fails()) return nullptr;
  if (is_early(old)) {
    void* block = g_real.malloc(size);
    if (block != nullptr) copy_early(block, old, size);
    return block;
  }
  return g_real.realloc(old, size);
}

void free(void* block) noexcept {
  if (block == nullptr || is_early(block)) return;
  g_real.free(block);
}

void* aligned_alloc(size_t alignment, size_t size) noexcept {
  if (allocating_early()) return early_alloc(size, alignment);
  if (allocation_fails()) return nullptr;
  return g_real.aligned_alloc(alignment, size);
}

void* memalign(size_t alignment, size_t size) noexcept {
  if (allocating_early()) return early_alloc(size, alignment);
  if (allocation_fails()) return nullptr;
  return g_real.memalign(alignment, size);
}

int posix_memalign(void** block, size_t alignment, size_t size) noexcept {
  if (allocating_early()) {
    *block = early_alloc(size, alignment);
    return *block == nullptr ? ENOMEM : 0;
  }
  if (allocation_fails()) return ENOMEM;
  return g_real.posix_memalign(block, alignment, size);
}

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return counted_open(path, [&] { return g_real.open(path, flags, mode); });
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return counted_open(path, [&] { return g_real.open64(path, flags, mode); });
}

int openat(int dir, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return counted_open(path, [&] { return g_real.openat(dir, path, flags, mode); });
}

int openat64(int dir, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return counted_open(path, [&] { return g_real.openat64(dir, path, flags, mode); });
}

ssize_t write(int fd, const void* data, size_t size) {
  return counted_fd_call(kWrite, fd, [&] { return g_real.write(fd, data, size); });
}

int fallocate(int fd, int mode, off_t offset, off_t length) {
  return counted_fd_call(kFallocate, fd,
                         [&] { return g_real.fallocate(fd, mode, offset, length); });
}

int fallocate64(int fd, int mode, off64_t offset, off64_t length) {
  return counted_fd_call(kFallocate, fd,
                         [&] { return g_real.fallocate64(fd, mode, offset, length); });
}

int fchmod(int fd, mode_t mode) noexcept {
  return counted_fd_call(kFchmod, fd, [&] { return g_real.fchmod(fd, mode); });
}

int fchown(int fd, uid_t owner, gid_t group) noexcept {
  return counted_fd_call(kFchown, fd, [&] { return g_real.fchown(fd, owner, group); });
}

int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) noexcept {
  return counted_fd_call(kFsetxattr, fd,
                         [&] { return g_real.fsetxattr(fd, name, value, size, flags); });
}

int ftruncate(int fd, off_t length) noexcept {
  return counted_fd_call(kFtruncate, fd, [&] { return g_real.ftruncate(fd, length); });
}

int close(int fd) {
  resolve();
  if (!is_table_fd(fd)) return g_real.close(fd);
  const int error = count_call(kClose);
  // Forgotten first: once closed, the number may be reused at once.
  track(fd, false);
  const int closed = g_real.close(fd);
  return error != 0 ? fail_with(error) : closed;
}

int rename(const char* from, const char* to) noexcept {
  resolve();
  if (!is_table_path(from) && !is_table_path(to)) return g_real.rename(from, to);
  if (const int error = count_call(kRename); error != 0) return fail_with(error);
  return g_real.rename(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) noexcept {
  resolve();
  if (!is_table_path(from) && !is_table_path(to)) {
    return g_real.renameat(from_dir, from, to_dir, to);
  }
  if (const int error = count_call(kRename); error != 0) return fail_with(error);
  return g_real.renameat(from_dir, from, to_dir, to);
}

int unlink(const char* path) noexcept {
  resolve();
  if (!is_table_path(path)) return g_real.unlink(path);
  if (const int error = count_call(kUnlink); error != 0) return fail_with(error);
  return g_real.unlink(path);
}

}  // extern "C"

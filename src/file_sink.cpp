#include "file_sink.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantrel {
namespace {

#ifdef _WIN32
constexpr int kCreateNew = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY;
constexpr int kTruncate = _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY;

int open_file(const char* path, int flags) { return _open(path, flags, _S_IREAD | _S_IWRITE); }
long write_some(int fd, const char* data, std::size_t size) {
  constexpr std::size_t kLargestWrite = 1u << 30;
  return _write(fd, data,
                static_cast<unsigned>(size < kLargestWrite ? size
                                                           : kLargestWrite));
}
int close_file(int fd) { return _close(fd); }
int remove_file(const char* path) { return _unlink(path); }
int process_id() { return _getpid(); }
bool can_write(const char* path) { return _access(path, 2) == 0; }

// Puts `from` in the place of `to`, which may exist. Where another program
// holds `to` open, Windows refuses.
int replace_file(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return 0;
  switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    default:
      return EIO;
  }
}
#else
constexpr int kCreateNew = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
constexpr int kTruncate = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;

int open_file(const char* path, int flags) {
  int fd = ::open(path, flags, 0666);
  // With standard input, output or error closed, the file would take over
  // their number and console text would land in it: move it above them.
  if (fd >= 0 && fd <= 2) {
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int error_number = errno;
    ::close(fd);
    errno = error_number;
    fd = moved;
  }
  return fd;
}
long write_some(int fd, const char* data, std::size_t size) {
  return ::write(fd, data, size);
}
int close_file(int fd) { return ::close(fd); }
int remove_file(const char* path) { return ::unlink(path); }
int process_id() { return static_cast<int>(::getpid()); }
bool can_write(const char* path) { return ::access(path, W_OK) == 0; }
int replace_file(const char* from, const char* to) {
  return ::rename(from, to) == 0 ? 0 : errno;
}
#endif

// The table file as a signal handler may need it: the state, and the name
// of a new file not yet in place. Program-wide, since a handler reaches
// nothing else; only the latest sink is tracked, and a run has one.
constexpr std::size_t kLongestPath = 4096;
char g_new_path[kLongestPath];
volatile std::sig_atomic_t g_state = 0;
volatile std::sig_atomic_t g_new_fd = -1;  // Windows cannot remove an open file

enum : std::sig_atomic_t {
  kUntouched = 0,      // nothing opened, or a new file removed again
  kWritingNew = 1,     // g_new_path names the new file, not yet in place
  kReplacing = 2,      // the same, while it is being put in place
  kWritingInPlace = 3,
  kDone = 4,
};

void set_state(std::sig_atomic_t state) {
  // Whatever was stored for the handler before is in place first.
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_state = state;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

#ifdef _WIN32
std::string follow_links(const char* path) { return path; }
#else
// The file that `path` names once symbolic links are followed, itself
// perhaps absent; empty when the links go round in circles or cannot be
// read, which opening `path` will then report.
std::string follow_links(const char* path) {
  std::string file = path;
  for (int links = 0; links < 40; ++links) {
    struct stat status;
    if (lstat(file.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return file;
    char target[PATH_MAX];
    const ssize_t size = readlink(file.c_str(), target, sizeof target);
    if (size <= 0 || static_cast<std::size_t>(size) == sizeof target) return {};
    std::string next(target, static_cast<std::size_t>(size));
    const std::size_t slash = file.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) next = file.substr(0, slash + 1) + next;
    file = std::move(next);
  }
  return {};
}
#endif

// Reserves disk space for a file that grows by large writes, ahead of them:
// writing into space already allocated costs the system markedly less than
// having it allocate page by page. Purely an advice: where the system cannot
// (no space, a file-size limit, not a regular file), the writes go on as
// they would have and fail, if they must, by themselves. What is reserved
// past the end of the file is given back when it is closed.
class SpaceReserver {
 public:
  void before_write(int fd, std::uint64_t end) {
#ifdef __linux__
    if (!usable_ || end <= reserved_) return;
    const std::uint64_t ahead = std::clamp<std::uint64_t>(reserved_, kSmallest, kLargest);
    const std::uint64_t length = std::max(end - reserved_, ahead);
    if (fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(reserved_),
                  static_cast<off_t>(length)) != 0) {
      usable_ = false;
      return;
    }
    reserved_ += length;
#else
    (void)fd;
    (void)end;
#endif
  }

  void before_close(int fd, std::uint64_t end) {
#ifdef __linux__
    if (reserved_ > end) {
      // Nothing to report if this fails: the file's bytes are all there.
      (void)ftruncate(fd, static_cast<off_t>(end));
    }
#else
    (void)fd;
    (void)end;
#endif
  }

 private:
  static constexpr std::uint64_t kSmallest = std::uint64_t{1} << 20;
  static constexpr std::uint64_t kLargest = std::uint64_t{64} << 20;
  std::uint64_t reserved_ = 0;  // from offset 0, by fallocate
  bool usable_ = true;
};

// The table file: written in place, or as a new file that takes the old
// one's place when closed.
class FileSink final : public ByteSink {
 public:
  FileSink() = default;
  // Not closed: a new file is removed, the old one stays.
  ~FileSink() override { abandon(); }
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  // Opens `path` itself, truncated. 0, or the system's error number.
  int open_in_place(const char* path) {
    fd_ = open_file(path, kTruncate);
    if (fd_ < 0) return errno;
    set_state(kWritingInPlace);
    return 0;
  }

  // Creates the new file that will replace `target` (which exists when
  // `old` is given), with the old file's permission bits, owner and group.
  // 0, or the system's error number.
  int open_new(const std::string& target, const struct stat* old) {
    for (int attempt = 0; fd_ < 0; ++attempt) {
      new_path_ = target;
      new_path_ += ".new-";
      new_path_ += std::to_string(process_id());
      if (attempt > 0) {
        new_path_ += '-';
        new_path_ += std::to_string(attempt);
      }
      if (new_path_.size() >= kLongestPath) return ENAMETOOLONG;
      // Named for the handler before it exists, so that no moment leaves
      // it behind unnamed.
      std::memcpy(g_new_path, new_path_.c_str(), new_path_.size() + 1);
      set_state(kWritingNew);
      fd_ = open_file(new_path_.c_str(), kCreateNew);
      if (fd_ < 0) {
        const int error_number = errno;
        set_state(kUntouched);
        if (error_number != EEXIST || attempt == 99) return error_number;
      }
    }
    g_new_fd = fd_;
    target_ = target;
#ifndef _WIN32
    if (old != nullptr) {
      // The owner first: changing it may clear the set-user-ID bits.
      if (fchown(fd_, old->st_uid, old->st_gid) != 0) (void)fchown(fd_, static_cast<uid_t>(-1), old->st_gid);
      (void)fchmod(fd_, old->st_mode & 07777);
    }
#else
    (void)old;
#endif
    return 0;
  }

  int write(const char* data, std::size_t size) override {
    space_.before_write(fd_, written_ + size);
    while (size > 0) {
      long written = write_some(fd_, data, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        write_failed_ = true;
        return errno;
      }
      if (written == 0) {
        write_failed_ = true;
        return EIO;
      }
      data += written;
      size -= static_cast<std::size_t>(written);
      written_ += static_cast<std::uint64_t>(written);
    }
    return 0;
  }

  CloseFailure close() override {
    if (fd_ < 0) return {};
    space_.before_close(fd_, written_);
    g_new_fd = -1;
    const int closed = close_file(fd_);
    const int error_number = closed == 0 ? 0 : errno;
    fd_ = -1;
    if (target_.empty()) {
      set_state(write_failed_ || error_number != 0 ? kWritingInPlace : kDone);
      return {error_number, "close"};
    }
    if (write_failed_ || error_number != 0) {
      abandon();
      return {error_number, "close"};
    }
    set_state(kReplacing);
    if (const int failed = replace_file(new_path_.c_str(), target_.c_str()); failed != 0) {
      abandon();
      return {failed, "replace"};
    }
    set_state(kDone);
    target_.clear();
    return {};
  }

 private:
  // Closes what is open; removes a new file not yet in place.
  void abandon() {
    if (fd_ >= 0) {
      g_new_fd = -1;
      (void)close_file(fd_);
      fd_ = -1;
    }
    if (!target_.empty()) {
      (void)remove_file(new_path_.c_str());
      target_.clear();
      set_state(kUntouched);
    }
  }

  int fd_ = -1;
  std::string new_path_;
  std::string target_;  // the file to replace; empty when written in place
  std::uint64_t written_ = 0;
  bool write_failed_ = false;  // set where write() runs, read at close()
  SpaceReserver space_;
};

}  // namespace

OpenedFile open_file_sink(const char* path) {
  auto sink = std::make_unique<FileSink>();
  const std::string target = follow_links(path);
  bool replace = !target.empty();
  struct stat old;
  bool exists = false;
  if (replace) {
    if (stat(target.c_str(), &old) == 0) {
      exists = true;
      // Other names of the file, and devices or FIFOs, must see the bytes.
      replace = S_ISREG(old.st_mode) && old.st_nlink == 1;
      if (replace && !can_write(target.c_str())) return {nullptr, errno};
    } else {
      replace = errno == ENOENT;
    }
  }
  if (replace) {
    const int error_number = sink->open_new(target, exists ? &old : nullptr);
    if (error_number == 0) return {std::move(sink), 0, true};
    // A directory that refuses new files may still let the file be written.
    if (error_number != EACCES && error_number != EPERM && error_number != EROFS) {
      return {nullptr, error_number};
    }
  }
  if (const int error_number = sink->open_in_place(path); error_number != 0) {
    return {nullptr, error_number};
  }
  return {std::move(sink), 0, false};
}

TableFileState table_file_state() noexcept {
  switch (g_state) {
    case kWritingInPlace:
      return TableFileState::kIncomplete;
    case kDone:
      return TableFileState::kComplete;
    default:
      return TableFileState::kLeftAsItWas;
  }
}

TableFileState remove_unfinished_file() noexcept {
  const std::sig_atomic_t state = g_state;
  if (state != kWritingNew && state != kReplacing) return table_file_state();
#ifdef _WIN32
  if (const int fd = g_new_fd; fd >= 0) (void)_close(fd);
#endif
  // While it is put in place, a new file that is gone is in place already.
  const bool removed = remove_file(g_new_path) == 0;
  return state == kReplacing && !removed && errno == ENOENT ? TableFileState::kComplete
                                                             : TableFileState::kLeftAsItWas;
}

}  // namespace vantrel

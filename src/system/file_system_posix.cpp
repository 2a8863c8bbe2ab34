#include "system/file_system.h"

#include <fcntl.h>
#include <limits.h>
#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#endif
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

// With standard input, output or error closed, a new descriptor would take
// over their number and console text would land in the file: move it above
// them.
int above_console(int fd) {
  if (fd < 0 || fd > 2) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  const int error_number = errno;
  ::close(fd);
  errno = error_number;
  return moved;
}

// Whether the process holds a capability: on Linux as the system says,
// which also tells root without it (a user namespace, a dropped bound)
// from root with it; elsewhere, root holds them all.
#ifdef __linux__
bool holds(int capability) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) != 0) return geteuid() == 0;
  return (data[capability / 32].effective & (1u << (capability % 32))) != 0;
}
constexpr int kMayChown = CAP_CHOWN;
constexpr int kMayActAsOwner = CAP_FOWNER;
#else
bool holds(int) { return geteuid() == 0; }
constexpr int kMayChown = 0;
constexpr int kMayActAsOwner = 0;
#endif

// True when the process may give a file it makes this owner and group:
// its own, or any where it holds the right to (a namespace may still
// refuse owners it does not map; the refusal then says so).
bool may_give(uid_t owner, gid_t group) {
  if (holds(kMayChown)) return true;
  const uid_t me = geteuid();
  if (owner != me) return false;
  if (group == getegid()) return true;
  const int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = getgroups(count, groups.data());
  return got > 0 &&
         std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

// The file that `path` names once symbolic links are read and followed,
// as text; empty when they go round in circles or cannot be read.
std::string resolve_links(const char* path) {
  std::string file = path;
  // As many links as the system follows, 40, and the file they lead to.
  for (int links = 0; links <= 40; ++links) {
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

std::string directory_of(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return file.substr(0, slash);
}

}  // namespace

std::string follow_links(const char* path) {
  std::string file = resolve_links(path);
  if (file.empty()) return file;
  // The system's own view of `path` must agree: it may refuse to follow a
  // link that this reading followed (links in sticky directories, where
  // regular links are protected), or a link may name no file of the file
  // system (/dev/stdout to a pipe). Then `path` is left to the open.
  struct stat through, resolved;
  const bool exists = stat(path, &through) == 0;
  if (!exists && errno != ENOENT) return {};
  if (exists && (stat(file.c_str(), &resolved) != 0 || through.st_dev != resolved.st_dev ||
                 through.st_ino != resolved.st_ino)) {
    return {};
  }
  return file;
}


FileStatus describe_file(const std::string& file) {
  FileStatus status;
  PathFacts& facts = status.facts;
  struct stat old;
  if (stat(file.c_str(), &old) != 0) {
    facts.file = errno == ENOENT ? PathFacts::File::kMissing : PathFacts::File::kUnknown;
  } else if (!S_ISREG(old.st_mode)) {
    facts.file = PathFacts::File::kOther;
  } else {
    facts.file = PathFacts::File::kRegular;
    facts.links = static_cast<std::uint64_t>(old.st_nlink);
    facts.file_writable = faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0;
    facts.file_error = facts.file_writable ? 0 : errno;
    status.mode = static_cast<std::uint32_t>(old.st_mode & 07777);
    facts.identity_kept = may_give(old.st_uid, old.st_gid);
    status.owner = static_cast<std::uint32_t>(old.st_uid);
    status.group = static_cast<std::uint32_t>(old.st_gid);
    status.bytes_on_disk = static_cast<std::uint64_t>(old.st_blocks) * 512;
  }
  const std::string directory = directory_of(file);
  facts.directory_writable =
      faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
  struct stat parent;
  if (facts.file == PathFacts::File::kRegular && stat(directory.c_str(), &parent) == 0 &&
      (parent.st_mode & S_ISVTX) != 0) {
    // Only the owner of the file or of the directory may rename over a
    // file in a sticky directory, or one who may act as any owner.
    const uid_t me = geteuid();
    facts.sticky_forbids_rename =
        me != parent.st_uid && me != old.st_uid && !holds(kMayActAsOwner);
  }
  return status;
}

std::optional<std::uint64_t> free_space(const std::string& file) {
  struct statvfs space;
  if (statvfs(directory_of(file).c_str(), &space) != 0 || space.f_frsize == 0) {
    return std::nullopt;
  }
  // What df shows as available: the blocks kept back for the privileged
  // are left to them, even when this run is privileged.
  return static_cast<std::uint64_t>(space.f_bavail) * static_cast<std::uint64_t>(space.f_frsize);
}

int create_new_file(const char* path, const FileStatus* old) {
  const mode_t mode = old == nullptr ? 0666 : static_cast<mode_t>(old->mode & 0600);
  return above_console(::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
}

int open_for_writing(const char* path, bool create) {
  // Without O_CREAT on an existing file: in a sticky directory, systems
  // that protect regular files refuse O_CREAT on another user's file even
  // where it may be written.
  const int flags = O_WRONLY | O_CLOEXEC | (create ? O_CREAT : 0);
  return above_console(::open(path, flags, 0666));
}

int copy_owner(int fd, const FileStatus& old) {
  return fchown(fd, static_cast<uid_t>(old.owner), static_cast<gid_t>(old.group)) == 0 ? 0
                                                                                        : errno;
}

int copy_mode(int fd, const FileStatus& old) {
  struct stat now;
  if (fstat(fd, &now) == 0 && (now.st_mode & 07777) == old.mode) return 0;
  if (fchmod(fd, static_cast<mode_t>(old.mode)) != 0) return errno;
  // The system may drop bits silently (set-group-ID for a group the
  // process is not in).
  if (fstat(fd, &now) != 0) return errno;
  return (now.st_mode & 07777) == old.mode ? 0 : EPERM;
}

long write_some(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }

bool reserve_space(int fd, std::uint64_t offset, std::uint64_t length) {
#ifdef __linux__
  return fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                   static_cast<off_t>(length)) == 0;
#else
  (void)fd;
  (void)offset;
  (void)length;
  return false;
#endif
}

bool truncate_file(int fd, std::uint64_t size) {
  return ftruncate(fd, static_cast<off_t>(size)) == 0;
}

int empty_file(int fd) {
  struct stat status;
  if (fstat(fd, &status) != 0) return errno;
  if (!S_ISREG(status.st_mode)) return 0;
  return ftruncate(fd, 0) == 0 ? 0 : errno;
}

int close_file(int fd) { return ::close(fd) == 0 ? 0 : errno; }

int replace_file(const char* from, const char* to) {
  return ::rename(from, to) == 0 ? 0 : errno;
}

int remove_file(const char* path) { return ::unlink(path) == 0 ? 0 : errno; }

int process_id() { return static_cast<int>(::getpid()); }

}  // namespace vantrel

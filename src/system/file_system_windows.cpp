#include "system/file_system.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

namespace vantrel {
namespace {

std::string directory_of(const std::string& file) {
  const std::size_t slash = file.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return file.substr(0, slash + 1);
}

int error_number_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    default:
      return EIO;
  }
}

// Opens `path` for writing as a C runtime descriptor. Shared for deleting,
// so that the interrupt handler can remove a new file that is still open
// (it goes once the process ends) without closing what another thread may
// be writing.
int open_shared(const char* path, DWORD disposition) {
  const HANDLE handle =
      CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = error_number_of(GetLastError());
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    errno = EMFILE;
  }
  return fd;
}

// The names of a regular file, from the system itself: the C runtime's
// st_nlink is always 1.
std::uint64_t link_count(const std::string& file) {
  const HANDLE handle = CreateFileA(file.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return 1;
  BY_HANDLE_FILE_INFORMATION information;
  const bool known = GetFileInformationByHandle(handle, &information) != 0;
  CloseHandle(handle);
  return known && information.nNumberOfLinks > 0 ? information.nNumberOfLinks : 1;
}

}  // namespace

std::string follow_links(const char* path) { return path; }

FileStatus describe_file(const std::string& file) {
  FileStatus status;
  PathFacts& facts = status.facts;
  struct _stat64 old;
  if (_stat64(file.c_str(), &old) != 0) {
    facts.file = errno == ENOENT ? PathFacts::File::kMissing : PathFacts::File::kUnknown;
  } else if ((old.st_mode & _S_IFMT) != _S_IFREG) {
    facts.file = PathFacts::File::kOther;
  } else {
    facts.file = PathFacts::File::kRegular;
    facts.links = link_count(file);
    facts.file_writable = _access(file.c_str(), 2) == 0;
    facts.file_error = facts.file_writable ? 0 : errno;
    status.bytes_on_disk = static_cast<std::uint64_t>(old.st_size);
  }
  // Whether the directory takes new names shows only when one is made;
  // a refusal then falls back to writing in place.
  facts.directory_writable = true;
  return status;
}

std::optional<std::uint64_t> free_space(const std::string& file) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(directory_of(file).c_str(), &available, nullptr, nullptr)) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(available.QuadPart);
}

int create_new_file(const char* path, const FileStatus*) { return open_shared(path, CREATE_NEW); }

int open_for_writing(const char* path, bool create) {
  return open_shared(path, create ? OPEN_ALWAYS : OPEN_EXISTING);
}

// Permission bits, owners and access lists are not kept the POSIX way; the
// new file takes the directory's access rules, as a new file does.
int copy_owner(int, const FileStatus&) { return 0; }
int copy_mode(int, const FileStatus&) { return 0; }
int copy_attributes(int, const std::string&) { return 0; }

long write_some(int fd, const char* data, std::size_t size) {
  constexpr std::size_t kLargestWrite = 1u << 30;
  return _write(fd, data, static_cast<unsigned>(size < kLargestWrite ? size : kLargestWrite));
}

bool reserve_space(int, std::uint64_t, std::uint64_t) { return false; }

bool truncate_file(int fd, std::uint64_t size) {
  return _chsize_s(fd, static_cast<__int64>(size)) == 0;
}

int empty_file(int fd) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (GetFileType(handle) != FILE_TYPE_DISK) return 0;
  return _chsize_s(fd, 0);
}

int close_file(int fd) { return _close(fd) == 0 ? 0 : errno; }

// Where another program holds `to` open, Windows refuses. The new file
// keeps the security descriptor it inherited from the directory, not the
// old file's: ReplaceFile would keep the old one's, but fails where a
// rename succeeds (under wine, every time), so that no file is written.
int replace_file(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return 0;
  return error_number_of(GetLastError());
}

int remove_file(const char* path) {
  return DeleteFileA(path) ? 0 : error_number_of(GetLastError());
}

int process_id() { return _getpid(); }

}  // namespace vantrel

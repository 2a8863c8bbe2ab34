// The operating system's file calls that writing LOS.TDF needs, behind one
// interface with a file per platform (file_system_posix.cpp,
// file_system_windows.cpp). Mechanism only: what to do with them is decided
// in file_plan.h and carried out in file_sink.cpp.
#ifndef VANTREL_FILE_SYSTEM_H_
#define VANTREL_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "system/file_plan.h"

namespace vantrel {

// A file as the system described it before anything was touched.
struct FileStatus {
  PathFacts facts;
  std::uint32_t mode = 0;  // permission bits (POSIX)
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  std::uint64_t bytes_on_disk = 0;  // space that truncating it gives back
};

// The file that `path` names once symbolic links are followed, itself
// perhaps absent; empty when the links go round in circles or cannot be
// read, which opening `path` will then report.
std::string follow_links(const char* path);

// Describes the file `file` (links followed) and its directory.
FileStatus describe_file(const std::string& file);

// Bytes the process may still write on the file system that holds
// `file`'s directory; nullopt when the system cannot say.
std::optional<std::uint64_t> free_space(const std::string& file);

// Creates `path` exclusively, for writing, readable by no more people than
// the existing file `old` (at most owner read and write until the final
// mode is set) or, with no old file, as usual (0666 less the umask).
// A descriptor, or -1 with errno set.
int create_new_file(const char* path, const FileStatus* old);

// Opens `path` for writing as it is, without truncating it; creates it
// (0666 less the umask) only when `create`. A descriptor, or -1 with errno
// set. Waits, as opening a FIFO does, for a reader.
int open_for_writing(const char* path, bool create);

// Gives the new file `fd` the old file's owner and group. 0, or the
// system's error number; the process still owns the file on failure.
int copy_owner(int fd, const FileStatus& old);

// Makes the permission bits of `fd` the old file's, where they are not
// (writing may have cleared set-user-ID). 0, or the system's error number
// where they cannot be made so.
int copy_mode(int fd, const FileStatus& old);

// Gives the new file `fd` the extended attributes of the old file `old`
// (a path, links followed), its access control list among them, and takes
// from it those the old file lacks (an access control list inherited from
// the directory), so that it is readable by no more people than the old
// one. Called once the new file has the old one's owner and permission
// bits: setting the bits rewrites the list's mask. Labels the system gives
// every new file (security.*) stay where the old file has none, and file
// capabilities are not carried, as writing a file takes them away. 0, or
// the system's error number where one cannot be read or set. Throws
// std::bad_alloc.
int copy_attributes(int fd, const std::string& old);

// Writes some of `data`; the count, or -1 with errno set.
long write_some(int fd, const char* data, std::size_t size);

// Reserves disk space from `offset` for `length` bytes without changing
// the file's size; false where the system cannot.
bool reserve_space(int fd, std::uint64_t offset, std::uint64_t length);

// Cuts the file to `size` bytes; false on failure.
bool truncate_file(int fd, std::uint64_t size);

// Empties `fd` where it is a regular file; a device, a FIFO or a pipe has
// nothing to empty. 0, or the system's error number.
int empty_file(int fd);

// 0, or the system's error number.
int close_file(int fd);

// Puts `from` in the place of `to`, which may exist. 0, or the system's
// error number.
int replace_file(const char* from, const char* to);

// 0, or the system's error number.
int remove_file(const char* path);

int process_id();

}  // namespace vantrel

#endif  // VANTREL_FILE_SYSTEM_H_

// How LOS.TDF is to be written, decided from what the system says of its
// path before anything is touched: replaced by a new file made beside it,
// written in place, or refused. Pure: asks the system nothing itself (see
// file_system.h for the facts), and carries nothing out.
#ifndef VANTREL_FILE_PLAN_H_
#define VANTREL_FILE_PLAN_H_

#include <cstdint>

namespace vantrel {

// What the system says of the table file's path, symbolic links followed.
struct PathFacts {
  enum class File {
    kMissing,    // no file there yet
    kRegular,    // a regular file
    kOther,      // a device, a FIFO, a directory
    kUnknown,    // cannot be told: links in a circle, a part of the path
                 // that may not be searched; opening it will say why
  };
  File file = File::kMissing;
  std::uint64_t links = 1;        // names of a regular file
  bool file_writable = false;     // the process may write the existing file
  int file_error = 0;             // why not, the system's error number
  bool directory_writable = false;  // the process may add and rename names
                                    // in the file's directory
  // The directory is sticky (as /tmp is) and neither it nor the file
  // belongs to the process, which may then not rename over the file.
  bool sticky_forbids_rename = false;
  // The process may give a new file the existing file's owner and group,
  // so that a new file is readable by the same people.
  bool identity_kept = true;
};

struct FilePlan {
  enum class Way {
    kReplace,       // write a new file beside it; rename it over the old one
    kWriteInPlace,  // truncate the file and write it, as `cp` would
    kRefuse,        // leave it alone: `error_number` says why
  };
  Way way = Way::kReplace;
  int error_number = 0;
};

// Replaces where a rename can put a new file in the old one's place, with
// the old one's owner and group, and nobody relies on the old file's
// identity; writes in place where other names or a device must see the
// bytes, where the directory forbids the rename, or where a new file would
// belong to others than the old one, but the file itself may be written;
// refuses a file that exists but may not be written.
FilePlan plan_table_file(const PathFacts& facts);

}  // namespace vantrel

#endif  // VANTREL_FILE_PLAN_H_

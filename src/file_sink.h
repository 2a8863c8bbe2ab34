// LOS.TDF on disk: opening it, writing it through the system's own calls,
// reserving disk space ahead of large writes, and replacing the old file
// only once the new one is complete. The one place that knows the
// operating system's file interface; knows nothing of tables.
#ifndef VANTREL_FILE_SINK_H_
#define VANTREL_FILE_SINK_H_

#include <memory>

#include "byte_sink.h"

namespace vantrel {

inline constexpr char kTableFileName[] = "LOS.TDF";

// A file opened for writing, or why it could not be.
struct OpenedFile {
  std::unique_ptr<ByteSink> sink;  // null when the open failed
  int error_number = 0;
  // True when the bytes go to a new file that replaces the old one on
  // close(): until then, and whenever writing fails, the old file stays as
  // it was (or absent). False when the file is written in place.
  bool replaces = false;
};

// Opens the table file at `path` for writing, in binary mode (no line ends
// are translated). Throws std::bad_alloc before anything is touched.
//
// Usually the bytes go to a new file beside the one they will replace,
// named after it ("LOS.TDF.new-<process id>") and created exclusively; the
// sink's close() renames it over the old one, keeping the old one's
// permission bits and, where the process may set them, its owner and group.
// Where `path` is a symbolic link, the file it points to is replaced and
// the link stays. The file is truncated and written in place, as `cp` would,
// where replacing it would break what others rely on: it has other hard
// links, it is not a regular file (a device, a FIFO), or its directory
// refuses a new file while the file itself can be written. A file that
// exists but may not be written is refused, as an open in place would be.
//
// On POSIX systems the file never takes descriptor 0, 1 or 2, so console
// text cannot land in it when one of them is closed. No data is forced to
// the disk (no fsync), as with `cp`.
OpenedFile open_file_sink(const char* path);

// What has become of the table file of the latest sink opened.
enum class TableFileState {
  kLeftAsItWas,  // untouched: not opened yet, or a new file not yet in place
  kIncomplete,   // being written in place, or left part-written
  kComplete,     // written and closed, or replaced by the new one
};

// Removes the new file of the latest sink if it is not yet in place, and
// tells what became of the table file. Only async-signal-safe calls: meant
// for a signal handler that ends the process right after.
TableFileState remove_unfinished_file() noexcept;

// What has become of the table file of the latest sink; async-signal-safe.
TableFileState table_file_state() noexcept;

}  // namespace vantrel

#endif  // VANTREL_FILE_SINK_H_

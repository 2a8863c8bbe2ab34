// A file on disk, LOS.TDF or a picture: deciding how to write it, opening
// it, writing it, and replacing the old file only once the new one is
// complete. Knows nothing of tables; the system's own calls are in
// file_system.h.
#ifndef VANTREL_FILE_SINK_H_
#define VANTREL_FILE_SINK_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "util/byte_sink.h"
#include "util/inplace_function.h"

namespace vantrel {

// A file opened for writing, or why it could not be.
struct OpenedFile {
  std::unique_ptr<ByteSink> sink;  // null when the open failed
  // What failed, as a user would name it ("open", "set the permissions
  // of"), and the system's error number.
  std::string_view operation = "open";
  int error_number = 0;
  // Nonzero when the file system has too little room (error_number
  // ENOSPC): the bytes needed at least, and the bytes it has free.
  std::uint64_t needed = 0;
  std::uint64_t available = 0;
  // True when the bytes go to a new file that replaces the old one on
  // close(): until then, and whenever writing fails, the old file stays as
  // it was (or absent). False when the file is written in place.
  bool replaces = false;
};

// How many bytes the file will take, as far as is known before it is
// written: `at_most` is cheap and generous (0: nothing known); `at_least`,
// a lower bound that may take a while, is asked for only where the file
// system's room is below `at_most`.
struct ExpectedSize {
  std::uint64_t at_most = 0;
  InplaceFunction<std::uint64_t()> at_least;
};

// Whether the interrupt handler learns what becomes of the file (the
// states of interrupt.h): only LOS.TDF's run, which installs the handler,
// has it watched; any other file is not, and touches no state.
enum class InterruptWatch {
  kNone,
  kTableFile,
};

// Opens the file at `path` for writing, in binary mode (no line ends are
// translated), for a file of `size`. Throws std::bad_alloc before anything
// is touched.
//
// Usually the bytes go to a new file beside the one they will replace,
// named after it ("LOS.TDF.new-<process id>") and created exclusively,
// readable by no more people than the old one; the sink's close() renames
// it over the old one, with the old one's permission bits and, where the
// process may set them, its owner and group. Where the permission bits
// cannot be made as they were, nothing is written. Where `path` is a
// symbolic link, the file it points to is replaced and the link stays. The
// file is truncated and written in place, as `cp` would, where replacing
// it would break what others rely on (file_plan.h). A file that exists but
// may not be written is refused, as an open in place would be.
//
// Refused, with nothing touched, where the file system says it has less
// room than the file needs at least (counting the old file's, when written
// in place); where it cannot say, the writes tell.
//
// On POSIX systems the file never takes descriptor 0, 1 or 2, so console
// text cannot land in it when one of them is closed. No data is forced to
// the disk (no fsync), as with `cp`. With InterruptWatch::kTableFile, what
// becomes of the file is kept in the state of interrupt.h for the interrupt
// handler, and the steps it must see whole are taken with interrupts held.
OpenedFile open_file_sink(const char* path, ExpectedSize size = {},
                          InterruptWatch watch = InterruptWatch::kNone);

}  // namespace vantrel

#endif  // VANTREL_FILE_SINK_H_

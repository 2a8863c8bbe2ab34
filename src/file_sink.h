// LOS.TDF on disk: opening the file, writing it through the system's own
// calls, reserving disk space ahead of large writes. The one place that
// knows the operating system's file interface; knows nothing of tables.
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
};

// Creates the file at `path`, or truncates it, for writing only, in binary
// mode (no line ends are translated). On POSIX systems the file never takes
// descriptor 0, 1 or 2, so console text cannot land in it when one of them
// is closed. Throws std::bad_alloc before anything is opened.
OpenedFile open_file_sink(const char* path);

}  // namespace vantrel

#endif  // VANTREL_FILE_SINK_H_

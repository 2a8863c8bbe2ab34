// Where the bytes of a stream end up: a file (system/file_sink.h), or
// memory in tests and benchmarks. An interface only: knows nothing of
// tables or files.
#ifndef VANTREL_BYTE_SINK_H_
#define VANTREL_BYTE_SINK_H_

#include <cstddef>
#include <string_view>

namespace vantrel {

// What went wrong when a sink was closed: the operation, as a user would
// name it ("close", "replace"), and the system's error number; 0 for none.
struct CloseFailure {
  int error_number = 0;
  std::string_view operation = "close";
};

// write() returns 0 on success or the system's error number; a failed write
// may have stored a prefix of the bytes, which then stays. close() makes
// what was written final; a sink destroyed without close() may drop it
// (a file sink removes a new file it made). The stream calls write() from
// one thread at a time, possibly its worker's, and close() from its owner
// once no write is under way.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual int write(const char* data, std::size_t size) = 0;
  virtual CloseFailure close() { return {}; }
};

}  // namespace vantrel

#endif  // VANTREL_BYTE_SINK_H_

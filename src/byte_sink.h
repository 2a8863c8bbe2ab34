// Where the bytes of a table stream end up: a file (file_sink.h), or memory
// in tests and benchmarks.
#ifndef VANTREL_BYTE_SINK_H_
#define VANTREL_BYTE_SINK_H_

#include <cstddef>

namespace vantrel {

// Both calls return 0 on success or the system's error number. A failed
// write may have stored a prefix of the bytes, which then stays. The stream
// calls write() from one thread at a time, possibly its worker's, and
// close() from its owner once no write is under way.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual int write(const char* data, std::size_t size) = 0;
  virtual int close() { return 0; }
};

}  // namespace vantrel

#endif  // VANTREL_BYTE_SINK_H_

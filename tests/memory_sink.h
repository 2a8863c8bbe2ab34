// A byte sink over memory for tests: keeps what it accepts and, when given a
// capacity, refuses the write that would exceed it after storing what fits,
// the way a full disk does.
#ifndef VANTREL_TESTS_MEMORY_SINK_H_
#define VANTREL_TESTS_MEMORY_SINK_H_

#include <cerrno>
#include <cstddef>
#include <limits>
#include <memory>
#include <string>

#include "losfile/table_stream.h"
#include "util/byte_sink.h"

namespace vantrel {

class MemorySink final : public ByteSink {
 public:
  explicit MemorySink(std::string* bytes,
                      std::size_t capacity = std::numeric_limits<std::size_t>::max())
      : bytes_(bytes), capacity_(capacity) {}

  int write(const char* data, std::size_t size) override {
    std::size_t room = capacity_ - bytes_->size();
    if (size > room) {
      bytes_->append(data, room);
      return ENOSPC;
    }
    bytes_->append(data, size);
    return 0;
  }

 private:
  std::string* bytes_;
  std::size_t capacity_;
};

// A stream whose bytes land in `bytes`.
inline void attach_memory(TableStream& stream, std::string* bytes,
                          std::size_t capacity = std::numeric_limits<std::size_t>::max()) {
  stream.attach(std::make_unique<MemorySink>(bytes, capacity));
}

}  // namespace vantrel

#endif  // VANTREL_TESTS_MEMORY_SINK_H_

#include "lib/table/byte_source.h"

#include <algorithm>
#include <cstring>

namespace vantrel {

long MemorySource::read(char* out, std::size_t size, int&) {
  const std::size_t count = std::min(size, bytes_.size() - at_);
  std::memcpy(out, bytes_.data() + at_, count);
  at_ += count;
  return static_cast<long>(count);
}

}  // namespace vantrel

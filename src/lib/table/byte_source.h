// Where a table file is read from: a file on disk, standard input, or
// memory in tests and the fuzzer. Reading only; knows nothing of tables.
#ifndef VANTREL_BYTE_SOURCE_H_
#define VANTREL_BYTE_SOURCE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace vantrel {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Reads up to `size` bytes into `out` and returns how many: 0 at the end.
  // Returns -1 on failure, with the system's error number in
  // `error_number`.
  virtual long read(char* out, std::size_t size, int& error_number) = 0;

  // Goes to the byte at `offset` from the start. 0, or the system's error
  // number (ESPIPE for a pipe).
  virtual int seek(std::uint64_t offset) = 0;
};

// The bytes of `bytes`, which must outlive the source.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  long read(char* out, std::size_t size, int& error_number) override;
  int seek(std::uint64_t offset) override {
    at_ = static_cast<std::size_t>(std::min<std::uint64_t>(offset, bytes_.size()));
    return 0;
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

// A file opened for reading, or why it could not be.
struct OpenedSource {
  std::unique_ptr<ByteSource> source;  // null when the open failed
  int error_number = 0;
};

// Opens the file at `path` for reading, in binary mode.
OpenedSource open_file_source(const char* path);

// Standard input, in binary mode, read once from where it stands: its
// seek() fails with ESPIPE, even where standard input is a file. Does
// not close it.
std::unique_ptr<ByteSource> open_standard_input();

}  // namespace vantrel

#endif  // VANTREL_BYTE_SOURCE_H_

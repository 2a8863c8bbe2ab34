// The bytes of a table file as vantrel writes it, made in memory for tests.
#ifndef VANTREL_TESTS_TABLE_FILE_BYTES_H_
#define VANTREL_TESTS_TABLE_FILE_BYTES_H_

#include <cstdint>
#include <string>

#include "losfile/table_builder.h"
#include "losfile/table_format.h"
#include "memory_sink.h"

namespace vantrel {

// The file vantrel writes for `tables` tables.
inline std::string table_file_bytes(std::int32_t tables) {
  std::string bytes;
  TableStream stream;
  attach_memory(stream, &bytes);
  write_header_block(stream, tables);
  {
    TableBuilder builder(stream);
    for (std::int32_t radius = 1; radius <= tables; ++radius) builder.build(radius);
  }
  stream.close();
  return bytes;
}

}  // namespace vantrel

#endif  // VANTREL_TESTS_TABLE_FILE_BYTES_H_

// Tells whether a table file is exactly what vantrel writes for the table
// count in its header. It regenerates the tables with the same core and
// compares them with the file while reading it, so neither the whole file
// nor a whole table is ever held in memory, and it builds a table only
// while everything before it has matched. Prints nothing.
#ifndef VANTREL_TABLE_CHECK_H_
#define VANTREL_TABLE_CHECK_H_

#include <cstdint>
#include <string>

#include "lib/table/byte_source.h"

namespace vantrel {

struct CheckResult {
  enum class Verdict {
    kExact,       // the file is what vantrel writes for `tables` tables
    kDiffers,     // `problem` says where and how it first differs
    kUnreadable,  // reading failed with `error_number`
  };
  Verdict verdict = Verdict::kExact;
  std::int32_t tables = 0;  // the header's table count, once read
  // The first problem, in a user's words: a first line saying what, then
  // where (byte offset and line number in the file) and excerpts of what
  // was expected and what was found.
  std::string problem;
  int error_number = 0;
};

CheckResult check_table_file(ByteSource& file);

// Every MaxLos value for which vantrel writes `tables` tables: "12769 to
// 12800"; for counts of 0 and below, which negative values give, two
// ranges: "-63 to -33 or -31 to -1", "-127 to -97 or -64".
std::string max_los_for(std::int32_t tables);

}  // namespace vantrel

#endif  // VANTREL_TABLE_CHECK_H_

// The command-line number MaxLos, the largest sight distance in pixels, and
// the number of tables it asks for (one per 32 pixels). Pure arithmetic.
#ifndef VANTREL_MAX_LOS_H_
#define VANTREL_MAX_LOS_H_

#include <cstdint>

namespace vantrel {

// The largest MaxLos the tool builds tables for: 46340 tables, the last one
// with a coverage grid of 46341 * 46341 bytes, just over 2 GiB, and an
// output file of hundreds of terabytes.
inline constexpr std::int32_t kLargestMaxLos = 1482880;

// Reads MaxLos the way C's atoi reads a well-behaved number, but wraps
// modulo 2^32 instead of saturating: leading white space, one optional sign,
// then decimal digits up to the first other character. No digits give 0.
std::int32_t parse_max_los(const char* text);

// The number of 32-pixel tables for `max_los`: max_los / 32 rounded up for
// positive values; zero or negative for negative ones (-32 gives -1, -1
// gives 0). Defined for every 32-bit value.
std::int32_t table_count(std::int32_t max_los);

// What a run does, decided from the command-line argument alone.
struct Request {
  enum class Kind {
    kUsage,     // no argument, or one that reads as 0: print the usage text
    kTooLarge,  // MaxLos above kLargestMaxLos: refuse, touch nothing
    kTables,    // write LOS.TDF with `tables` tables (none when <= 0)
  };
  Kind kind = Kind::kUsage;
  std::int32_t max_los = 0;
  std::int32_t tables = 0;
};

// `argument` is the first command-line argument, or nullptr when there is
// none.
Request read_request(const char* argument);

}  // namespace vantrel

#endif  // VANTREL_MAX_LOS_H_

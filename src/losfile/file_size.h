// How large LOS.TDF will be, known before it is written: a lower bound on
// the bytes of each table block and of the whole file, from what every
// table must hold, and sizes in human units. Pure arithmetic: builds no
// table, allocates nothing but human_size's text, never touches files.
#ifndef VANTREL_FILE_SIZE_H_
#define VANTREL_FILE_SIZE_H_

#include <cstdint>
#include <string>

namespace vantrel {

// A lower bound on the bytes of the block of the table of `radius`
// (1 .. 46340), from the line ends before "[Table" to the closing brace:
// never above what is written, some 85% of it from radius 1000 on and 86%
// for the largest; 0 for a radius below 1. Takes a few microseconds.
std::uint64_t table_size_lower_bound(std::int32_t radius);

// A lower bound on the bytes of a LOS.TDF with `tables` tables (at most
// 46340): the header block, exact, with the count as written (also a
// negative one), plus table_size_lower_bound of each table. About 0.2 s for
// the largest count.
std::uint64_t table_file_size_lower_bound(std::int32_t tables);

// A generous upper bound on the bytes of a LOS.TDF with `tables` tables
// (at most 46340), never below the real size: at most (k + 1)^2 lines in
// table k, each of at most LineEntryText::room(k) bytes. Cheap enough for
// every run; saturates at the largest value.
std::uint64_t table_file_size_upper_bound(std::int32_t tables);

// `bytes` in binary units, rounded to the nearest: "1 byte", "900 bytes",
// "3.1 MiB", "251 MiB", "4.0 GiB", "312 TiB"; one decimal below 10 units,
// whole units from 10 up to 1023.
std::string human_size(std::uint64_t bytes);

}  // namespace vantrel

#endif  // VANTREL_FILE_SIZE_H_

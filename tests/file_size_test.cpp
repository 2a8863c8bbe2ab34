#include "losfile/file_size.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

#include "losfile/table_builder.h"
#include "losfile/table_format.h"
#include "losfile/table_stream.h"
#include "util/byte_sink.h"

namespace vantrel {
namespace {

// Counts the bytes it accepts and keeps none of them.
class CountingSink final : public ByteSink {
 public:
  explicit CountingSink(std::uint64_t* count) : count_(count) {}

  int write(const char*, std::size_t size) override {
    *count_ += size;
    return 0;
  }

 private:
  std::uint64_t* count_;
};

// The bytes that the header (when `header`) and the blocks of tables
// first .. last take, as the core writes them.
std::uint64_t written_bytes(bool header, std::int32_t tables, std::int32_t first,
                            std::int32_t last) {
  std::uint64_t count = 0;
  TableStream stream;
  stream.attach(std::make_unique<CountingSink>(&count));
  if (header) write_header_block(stream, tables);
  {
    TableBuilder builder(stream);
    for (std::int32_t radius = first; radius <= last; ++radius) builder.build(radius);
  }
  stream.close();
  return count;
}

std::uint64_t table_bytes(std::int32_t radius) {
  return written_bytes(false, 0, radius, radius);
}

std::uint64_t file_bytes(std::int32_t tables) {
  return written_bytes(true, tables, 1, tables);
}

double ratio(std::uint64_t bound, std::uint64_t real) {
  return static_cast<double>(bound) / static_cast<double>(real);
}

TEST(FileSize, TableBoundNeverExceedsTheTableAndNearsItAsTablesGrow) {
  // Table 1 is its frame and the column alone, which the bound counts
  // exactly.
  EXPECT_EQ(table_size_lower_bound(1), table_bytes(1));
  for (std::int32_t radius = 1; radius <= 400; ++radius) {
    SCOPED_TRACE(radius);
    const std::uint64_t real = table_bytes(radius);
    const std::uint64_t bound = table_size_lower_bound(radius);
    ASSERT_LE(bound, real);
    if (radius >= 100) {
      EXPECT_GE(ratio(bound, real), 0.78);
    }
  }
}

TEST(FileSize, FileBoundsHoldTheFileBetweenThem) {
  struct Case {
    std::int32_t tables;
    double least_ratio;  // 1 where the bound is exact
  } cases[] = {
      {std::numeric_limits<std::int32_t>::min(), 1},  // the header alone
      {-2, 1},
      {0, 1},
      {1, 1},
      {3, 0.80},
      {100, 0.78},
      {400, 0.80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tables);
    const std::uint64_t real = file_bytes(c.tables);
    const std::uint64_t bound = table_file_size_lower_bound(c.tables);
    EXPECT_LE(bound, real);
    EXPECT_GE(table_file_size_upper_bound(c.tables), real);
    if (c.least_ratio == 1) {
      EXPECT_EQ(bound, real);
    } else {
      EXPECT_GE(ratio(bound, real), c.least_ratio);
    }
  }
}

TEST(FileSize, LargeTableBoundIsCloseAndBelow) {
  const std::uint64_t real = table_bytes(5000);
  const std::uint64_t bound = table_size_lower_bound(5000);
  EXPECT_LE(bound, real);
  EXPECT_GE(ratio(bound, real), 0.85);
}

TEST(FileSize, HumanSize) {
  constexpr std::uint64_t kKiB = 1024;
  constexpr std::uint64_t kMiB = kKiB * 1024;
  constexpr std::uint64_t kGiB = kMiB * 1024;
  constexpr std::uint64_t kTiB = kGiB * 1024;
  struct Case {
    std::uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0 bytes"},
      {1, "1 byte"},
      {900, "900 bytes"},
      {1023, "1023 bytes"},
      {1024, "1.0 KiB"},
      {10188, "9.9 KiB"},  // 9.949 KiB
      {10189, "10 KiB"},   // 9.950 KiB
      {3250586, "3.1 MiB"},
      {251 * kMiB + 500 * kKiB, "251 MiB"},
      {251 * kMiB + 600 * kKiB, "252 MiB"},
      {1023 * kMiB + kMiB / 2 - 1, "1023 MiB"},
      {1023 * kMiB + kMiB / 2, "1.0 GiB"},
      {4 * kGiB, "4.0 GiB"},
      {312 * kTiB, "312 TiB"},
      {std::numeric_limits<std::uint64_t>::max(), "16 EiB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(human_size(c.bytes), c.text);
  }
}

}  // namespace
}  // namespace vantrel

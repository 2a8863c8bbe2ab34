#include "losfile/max_los.h"

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "inspect/table_check.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

TEST(ParseMaxLos, ReadsLikeAtoiButWrapsModulo2To32) {
  struct Case {
    const char* text;
    std::int32_t expected;
  } cases[] = {
      {"96", 96},
      {"0", 0},
      {"", 0},
      {"abc", 0},
      {"+", 0},
      {"+-3", 0},
      {"- 3", 0},
      {"  +64px", 64},
      {"40px", 40},
      {" \t\n\v\f\r7", 7},
      {"-5", -5},
      {"-0", 0},
      {"007", 7},
      {"2147483647", kMax},
      {"2147483648", kMin},
      {"-2147483648", kMin},
      {"4294967296", 0},          // 2^32
      {"4294967328", 32},         // 2^32 + 32
      {"-4294967295", 1},
      {"99999999999999999999", 1661992959},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(parse_max_los(c.text), c.expected);
  }
}

TEST(TableCount, RoundsUpPerThirtyTwoPixelsAndTowardZeroBelowZero) {
  struct Case {
    std::int32_t max_los;
    std::int32_t expected;
  } cases[] = {
      {1, 1},        {32, 1},        {33, 2},        {64, 2},
      {96, 3},       {100, 4},       {1000, 32},     {0, 0},
      {-1, 0},       {-31, 0},       {-32, -1},      {-33, 0},
      {-63, 0},      {-64, -2},      {-100, -2},     {kLargestMaxLos, 46340},
      {kLargestMaxLos + 1, 46341},   {kMax, 67108864}, {kMin, -67108864},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.max_los);
    EXPECT_EQ(table_count(c.max_los), c.expected);
  }
}

TEST(ReadRequest, DecidesBetweenUsageRefusalAndTables) {
  using Kind = Request::Kind;
  struct Case {
    const char* argument;
    Kind kind;
    std::int32_t tables;
  } cases[] = {
      {nullptr, Kind::kUsage, 0},
      {"0", Kind::kUsage, 0},
      {"abc", Kind::kUsage, 0},
      {"4294967296", Kind::kUsage, 0},
      {"96", Kind::kTables, 3},
      {"-64", Kind::kTables, -2},
      {"-5", Kind::kTables, 0},
      {"4294967328", Kind::kTables, 1},
      {"1482880", Kind::kTables, 46340},
      {"1482881", Kind::kTooLarge, 0},
      {"2147483647", Kind::kTooLarge, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument == nullptr ? "no argument" : c.argument);
    const Request request = read_request(c.argument);
    EXPECT_EQ(request.kind, c.kind);
    EXPECT_EQ(request.tables, c.tables);
  }
}

TEST(MaxLosFor, NamesEveryValueThatGivesTheCountAndNoOther) {
  // The values of each count, found by counting every MaxLos near zero,
  // written as runs "a to b" (or "a" alone) joined by " or ".
  std::map<std::int32_t, std::vector<std::int32_t>> values;
  for (std::int32_t max_los = -700; max_los <= 700; ++max_los) {
    if (max_los != 0) values[table_count(max_los)].push_back(max_los);
  }
  for (const auto& [tables, all] : values) {
    if (tables < -19 || tables > 20) continue;  // the runs at the edges are cut
    SCOPED_TRACE(tables);
    std::string runs;
    for (std::size_t n = 0; n < all.size();) {
      std::size_t end = n;
      while (end + 1 < all.size() && all[end + 1] == all[end] + 1) ++end;
      if (!runs.empty()) runs += " or ";
      runs += std::to_string(all[n]);
      if (end > n) runs += " to " + std::to_string(all[end]);
      n = end + 1;
    }
    EXPECT_EQ(max_los_for(tables), runs);
  }
  // Where the values would fall below the least 32-bit number.
  EXPECT_EQ(max_los_for(table_count(kMin)), "-2147483648");
  EXPECT_EQ(max_los_for(table_count(kMin) + 1), "-2147483616");
}

}  // namespace
}  // namespace vantrel

#include "max_los.h"

#include <cstdint>
#include <limits>

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

}  // namespace
}  // namespace vantrel

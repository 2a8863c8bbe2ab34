// Checks the tool's fast table output against a deliberately plain
// reference: every walk computed point by point in double precision with the
// two roundings to single precision, every number through std::to_chars.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lib/table/line_walk.h"
#include "losfile/table_builder.h"
#include "losfile/table_format.h"
#include "memory_sink.h"

namespace vantrel {
namespace {

struct Point {
  std::int64_t x, y;
};

std::int64_t reference_round(float v) {
  const auto whole = static_cast<std::int64_t>(v);
  return v - static_cast<float>(whole) >= 0.5f ? whole + 1 : whole;
}

std::vector<Point> reference_walk(std::int64_t x, std::int64_t y) {
  std::vector<Point> walk;
  if (x > y) {
    const auto slope = static_cast<float>(static_cast<double>(y) / static_cast<double>(x));
    for (std::int64_t p = 1; p <= x; ++p) {
      walk.push_back({p, reference_round(static_cast<float>(static_cast<double>(p) * slope))});
    }
  } else {
    const auto slope = static_cast<float>(static_cast<double>(x) / static_cast<double>(y));
    for (std::int64_t q = 1; q <= y; ++q) {
      walk.push_back({reference_round(static_cast<float>(static_cast<double>(q) * slope)), q});
    }
  }
  return walk;
}

void append_number(std::string& text, std::int64_t value) {
  char digits[24];
  text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// The entry of line `number` for the endpoint (x, y), with "\r\n".
std::string reference_entry(std::int64_t number, std::int64_t x, std::int64_t y) {
  std::string text = "\r\n\tline";
  append_number(text, number);
  text += "=";
  append_number(text, std::max(x, y));
  for (const Point& p : reference_walk(x, y)) {
    text += ",";
    append_number(text, p.x);
    text += ",";
    append_number(text, p.y);
  }
  return text + ";";
}

// The table block for `radius`, with "\r\n" line ends.
std::string reference_table(std::int64_t radius) {
  const std::int64_t width = radius;
  std::vector<unsigned char> grid(static_cast<std::size_t>(width * (width + 1)), 0);
  auto covered = [&](std::int64_t x, std::int64_t y) {
    return grid[static_cast<std::size_t>(y * width + x)] != 0;
  };
  std::vector<std::pair<std::int64_t, std::int64_t>> ends;
  auto accept = [&](std::int64_t x, std::int64_t y) {
    for (const Point& p : reference_walk(x, y)) {
      grid[static_cast<std::size_t>(p.y * width + p.x)] = 1;
    }
    ends.emplace_back(x, y);
  };
  accept(0, radius);
  for (float r = static_cast<float>(radius); r >= 1;
       r = static_cast<float>(static_cast<double>(r) - 0.5)) {
    const auto f = static_cast<std::int64_t>(static_cast<double>(r) * static_cast<double>(r));
    std::int64_t i = 1;
    auto c = static_cast<std::int64_t>(std::sqrt(static_cast<double>(f - 1)) + 0.5);
    while (i < c) {
      if (!covered(i, c)) accept(i, c);
      if (!covered(c, i)) accept(c, i);
      ++i;
      c = static_cast<std::int64_t>(std::sqrt(static_cast<double>(f - i * i)) + 0.5);
    }
    if (i == c && !covered(i, i)) accept(i, i);
  }
  std::sort(ends.begin(), ends.end());

  std::string text = "\r\n\r\n[Table";
  append_number(text, radius);
  text += "]\r\n{\r\n\tnumlines=";
  append_number(text, static_cast<std::int64_t>(ends.size()));
  text += ";";
  std::int64_t number = 1;
  for (auto end = ends.rbegin(); end != ends.rend(); ++end) {
    text += reference_entry(number++, end->first, end->second);
  }
  text += "\r\n}";
  return text;
}

// Where `bytes` first differs from `expected`, with a little of both around
// it; an empty message when they agree.
std::string first_difference(const std::string& bytes, const std::string& expected) {
  if (bytes == expected) return "";
  // Name the first table that differs rather than print megabytes of text.
  const auto at = static_cast<std::size_t>(
      std::mismatch(bytes.begin(), bytes.end(), expected.begin(), expected.end()).first -
      bytes.begin());
  const std::size_t table = expected.rfind("[Table", at);
  return "first difference at byte " + std::to_string(at) +
         (table == std::string::npos
              ? std::string()
              : " in " + expected.substr(table, expected.find(']', table) - table + 1)) +
         "\n  got:      " + bytes.substr(at > 40 ? at - 40 : 0, 80) +
         "\n  expected: " + expected.substr(at > 40 ? at - 40 : 0, 80);
}

using Threads = TableStream::Threads;

// The fast output of tables first .. last, next to the reference. With
// Threads::kTwo, large tables are partly formatted on the worker once it
// runs; `kept_points` limits the walks kept per table.
std::string compare_tables(std::int32_t first, std::int32_t last, Threads threads,
                           std::size_t kept_points = EndpointList::kKeptPoints) {
  std::string bytes;
  TableStream stream({}, threads);
  attach_memory(stream, &bytes);
  std::string expected;
  {
    TableBuilder builder(stream, kept_points);
    for (std::int32_t radius = first; radius <= last; ++radius) {
      builder.build(radius);
      expected += reference_table(radius);
    }
  }
  stream.close();
  return first_difference(bytes, expected);
}

TEST(ReferenceTables, FastOutputEqualsThePlainReference) {
  EXPECT_EQ(compare_tables(1, 260, Threads::kOne), "");
}

TEST(ReferenceTables, TablesFormattedPartlyOnTheWorkerAreTheSame) {
  // From radius 112 on, most of a table's entries are formatted on
  // the worker; the largest of these in more than one buffer.
  EXPECT_EQ(compare_tables(1, 260, Threads::kTwo), "");
  EXPECT_EQ(compare_tables(395, 400, Threads::kTwo), "");
}

TEST(ReferenceTables, TablesPastRadius999AreTheSame) {
  // Coordinates of four digits, whose points no longer fit one store;
  // table 999 starts the worker, which then formats most of table 1000.
  EXPECT_EQ(compare_tables(999, 1000, Threads::kTwo), "");
}

TEST(ReferenceTables, WalksThatAreNotKeptAreWrittenTheSame) {
  // Room for a few walks only: the rest are computed again when written,
  // on either thread.
  EXPECT_EQ(compare_tables(1, 130, Threads::kTwo, 100), "");
}

TEST(ReferenceTables, EntriesWhereNumbersGainDigitsAndAtTheLargestRadius) {
  struct Case {
    std::int32_t number, x, y;
  } cases[] = {
      {9999, 9999, 10000},   {10000, 10000, 9999},  {99999, 10000, 10000},
      {100000, 9998, 10001}, {999999, 3, 10000},    {1, 10000, 9},
      {2, 46340, 46339},     {3, 46339, 46340},     {4, 1, 46340},
      {5, 46340, 0},         {92680, 23170, 46340}, {6, 46340, 23170},
  };
  std::vector<MinorCoord> minor(walk_room(46340));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "line " << c.number << " to (" << c.x << ", " << c.y
                                    << ")");
    std::string bytes;
    {
      TableStream stream;
      attach_memory(stream, &bytes);
      LineEntryText text;
      write_line_entry(stream, text, c.number, compute_walk({c.x, c.y}, minor.data()));
      stream.close();
    }
    EXPECT_EQ(first_difference(bytes, reference_entry(c.number, c.x, c.y)), "");
  }
}

}  // namespace
}  // namespace vantrel

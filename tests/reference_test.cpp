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

#include "memory_sink.h"
#include "table_builder.h"
#include "table_file.h"

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
    text += "\r\n\tline";
    append_number(text, number++);
    text += "=";
    append_number(text, std::max(end->first, end->second));
    for (const Point& p : reference_walk(end->first, end->second)) {
      text += ",";
      append_number(text, p.x);
      text += ",";
      append_number(text, p.y);
    }
    text += ";";
  }
  text += "\r\n}";
  return text;
}

// The fast output of tables first .. last, next to the reference; an empty
// message when they agree. With `worker`, large tables are partly formatted
// on it; `kept_points` limits the walks kept per table.
std::string compare_tables(std::int32_t first, std::int32_t last, Worker* worker,
                           std::size_t kept_points = EndpointList::kKeptPoints) {
  std::string bytes;
  TableStream stream({}, worker);
  attach_memory(stream, &bytes);
  std::string expected;
  {
    TableBuilder builder(stream, kept_points);
    for (std::int32_t radius = first; radius <= last; ++radius) {
      builder.build(radius, nullptr);
      expected += reference_table(radius);
    }
  }
  stream.close();
  if (bytes == expected) return "";
  // Name the first table that differs rather than print megabytes of text.
  const auto at = static_cast<std::size_t>(
      std::mismatch(bytes.begin(), bytes.end(), expected.begin(), expected.end()).first -
      bytes.begin());
  const std::size_t table = expected.rfind("[Table", at);
  return "first difference at byte " + std::to_string(at) + " in " +
         expected.substr(table, expected.find(']', table) - table + 1) +
         "\n  got:      " + bytes.substr(at > 40 ? at - 40 : 0, 80) +
         "\n  expected: " + expected.substr(at > 40 ? at - 40 : 0, 80);
}

TEST(ReferenceTables, FastOutputEqualsThePlainReference) {
  EXPECT_EQ(compare_tables(1, 260, nullptr), "");
}

TEST(ReferenceTables, TablesFormattedPartlyOnTheWorkerAreTheSame) {
  // From radius 112 on, most of a table's entries are formatted on
  // the worker; the largest of these in more than one buffer.
  Worker worker;
  EXPECT_EQ(compare_tables(1, 260, &worker), "");
  EXPECT_EQ(compare_tables(395, 400, &worker), "");
}

TEST(ReferenceTables, WalksThatAreNotKeptAreWrittenTheSame) {
  // Room for a few walks only: the rest are computed again when written,
  // on either thread.
  Worker worker;
  EXPECT_EQ(compare_tables(1, 130, &worker, 100), "");
}

}  // namespace
}  // namespace vantrel

// The check against vantrel's own bytes, on files damaged at random: each
// report must name the place of the first difference as the test finds it
// by itself in the good file.
#include "inspect/table_check.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "lib/shown_text.h"
#include "table_file_bytes.h"

namespace vantrel {
namespace {

// Gives its bytes a few at a time, as a pipe does, and cannot go back.
class TrickleSource final : public ByteSource {
 public:
  TrickleSource(std::string_view bytes, std::uint32_t seed) : bytes_(bytes), random_(seed) {}
  long read(char* out, std::size_t size, int&) override {
    const std::size_t count =
        std::min({size, bytes_.size() - at_, std::size_t{1} + random_() % 4096});
    std::copy_n(bytes_.data() + at_, count, out);
    at_ += count;
    return static_cast<long>(count);
  }
  int seek(std::uint64_t) override { return ESPIPE; }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
  std::minstd_rand random_;
};

// What a report must say of a first difference at `offset` of `good`,
// found by reading `good` alone: where, and the two excerpts.
struct Expected {
  std::string where;  // "the header", "Table 7" or "Table 7, line 12"
  std::string position;
  std::string excerpts;
};

Expected expected_report(const std::string& good, const std::string& damaged,
                         std::size_t offset) {
  const std::size_t line_start = offset == 0 ? 0 : good.rfind('\n', offset - 1) + 1;
  const std::size_t line_end = std::min(good.find('\n', line_start), good.size());
  const std::string_view line = std::string_view(good).substr(line_start, line_end - line_start);
  // The '[' that open the header and each table, up to this line's start.
  auto tables = std::count(good.begin(), good.begin() + static_cast<long>(line_start) + 1, '[') - 1;
  if (line == "\r") ++tables;  // the empty line before a table's opening
  Expected expected;
  expected.where = tables == 0 ? "the header" : "Table " + std::to_string(tables);
  if (line.substr(0, 5) == "\tline") {
    expected.where += ", line " + std::string(line.substr(5, line.find('=') - 5));
  }
  const auto line_number = std::count(good.begin(), good.begin() + static_cast<long>(offset), '\n') + 1;
  expected.position = "at byte " + std::to_string(offset) + ", line " + std::to_string(line_number) + " of the file";
  std::string before = good.substr(line_start, offset - line_start);
  if (before.size() > 24) before = "..." + before.substr(before.size() - 24);
  auto excerpt = [&](const std::string& bytes) {
    return "\"" + shown(before) + shown(bytes.substr(std::min(offset, bytes.size()), 24)) +
           (offset + 24 > bytes.size() ? "\" (the end of the file)" : "...\"");
  };
  expected.excerpts = "expected: " + excerpt(good) + "\n  found:    " + excerpt(damaged);
  return expected;
}

// True when `report`'s first line names `where`, and no more precise place.
bool names(const std::string& report, const std::string& where) {
  const std::string first_line = report.substr(0, report.find('\n'));
  for (std::size_t at = 0; (at = first_line.find(where, at)) != std::string::npos; ++at) {
    const std::string_view rest = std::string_view(first_line).substr(at + where.size());
    if ((rest.empty() || !std::isdigit(static_cast<unsigned char>(rest[0]))) &&
        rest.substr(0, 7) != ", line ") {
      return true;
    }
  }
  return false;
}

TEST(TableCheck, NamesThePlaceOfTheFirstDifferenceInFilesDamagedAtRandom) {
  const std::string good = table_file_bytes(20);
  {
    TrickleSource source(good, 1);
    const CheckResult result = check_table_file(source);
    ASSERT_EQ(result.verdict, CheckResult::Verdict::kExact) << result.problem;
    EXPECT_EQ(result.tables, 20);
  }
  // Damage past the header's table count, which decides what is expected.
  const std::size_t first = good.find("}") + 1;
  std::mt19937 random(20261210);
  auto somewhere = [&](std::size_t size) {
    return first + random() % (size - first);
  };
  // The line at `offset`, with its line end, and where it starts.
  auto line_at = [&](const std::string& bytes, std::size_t offset, std::size_t& start) {
    start = offset == 0 ? 0 : bytes.rfind('\n', offset - 1) + 1;
    const std::size_t end = bytes.find('\n', offset);
    return bytes.substr(start, end == std::string::npos ? end : end + 1 - start);
  };
  int checked = 0;
  for (int n = 0; n < 3000; ++n) {
    std::string damaged = good;
    const int kind = static_cast<int>(random() % 9);
    const std::size_t at = somewhere(good.size() - 1);
    switch (kind) {
      case 0: damaged[at] = static_cast<char>(random()); break;
      case 1: damaged.erase(at, 1); break;
      case 2: damaged.insert(at, 1, static_cast<char>(random())); break;
      case 3: std::swap(damaged[at], damaged[at + 1]); break;
      case 4: damaged.resize(at); break;
      case 5: {  // a line twice
        std::size_t start;
        const std::string line = line_at(good, at, start);
        damaged.insert(start, line);
        break;
      }
      case 6: {  // a line left out
        std::size_t start;
        const std::string line = line_at(good, at, start);
        damaged.erase(start, line.size());
        break;
      }
      case 7: {  // an entry swapped with the next
        std::size_t start;
        const std::string line = line_at(good, at, start);
        std::size_t next_start;
        const std::string next = line_at(good, start + line.size(), next_start);
        if (line.find("\tline") != 0 || next.find("\tline") != 0) continue;
        damaged.replace(start, line.size() + next.size(), next + line);
        break;
      }
      default: damaged += std::string(1 + random() % 3, static_cast<char>(random())); break;
    }
    const std::size_t offset = static_cast<std::size_t>(
        std::mismatch(good.begin(), good.end(), damaged.begin(), damaged.end()).first -
        good.begin());
    if (damaged == good) continue;
    SCOPED_TRACE("damage " + std::to_string(kind) + " at " + std::to_string(at));

    TrickleSource source(damaged, static_cast<std::uint32_t>(n));
    const CheckResult result = check_table_file(source);
    ASSERT_EQ(result.verdict, CheckResult::Verdict::kDiffers);
    const Expected expected = expected_report(good, damaged, offset);
    if (offset < good.size()) {
      EXPECT_TRUE(names(result.problem, expected.where))
          << "expected " << expected.where << " in:\n" << result.problem;
    } else {
      EXPECT_TRUE(names(result.problem, "extra bytes after the last table (Table 20)"))
          << result.problem;
    }
    EXPECT_NE(result.problem.find(expected.position), std::string::npos)
        << expected.position << " in:\n" << result.problem;
    EXPECT_NE(result.problem.find(expected.excerpts), std::string::npos)
        << expected.excerpts << "\nin:\n" << result.problem;
    ++checked;
  }
  EXPECT_GT(checked, 2500);
}

// The bytes due after a difference come whole wherever it lies, also
// just before the end of one of the stream's buffers.
TEST(TableCheck, ShowsTheBytesDueInFullAcrossTheStreamsBuffers) {
  const std::string good = table_file_bytes(100);  // 3.3 MB: a few buffers of 1 MiB
  std::mt19937 random(3);
  for (std::size_t boundary = std::size_t{1} << 20; boundary + 64 < good.size();
       boundary += std::size_t{1} << 20) {
    for (int n = 0; n < 30; ++n) {
      const std::size_t cut = boundary - 40 + random() % 64;
      const std::string damaged = good.substr(0, cut);
      MemorySource source(damaged);
      const CheckResult result = check_table_file(source);
      ASSERT_EQ(result.verdict, CheckResult::Verdict::kDiffers);
      EXPECT_NE(result.problem.find(expected_report(good, damaged, cut).excerpts),
                std::string::npos)
          << "cut at " << cut << ":\n" << result.problem;
    }
  }
}

}  // namespace
}  // namespace vantrel

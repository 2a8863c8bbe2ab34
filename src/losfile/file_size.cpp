#include "losfile/file_size.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

#include "lib/table/table_syntax.h"
#include "losfile/table_format.h"

namespace vantrel {
namespace {

// Rows of a table are taken in stretches, each counted as if all its rows
// had the fewest lines of its last row: this many up to the row with the
// most needed cells (see SteepLines), this many beyond it, where the count
// falls.
constexpr std::int64_t kInnerStretches = 24;
constexpr std::int64_t kOuterStretches = 48;
constexpr std::size_t kStretches = kInnerStretches + kOuterStretches;
// How many stretches further out each stretch looks to for the lines that
// cannot reach them.
constexpr std::size_t kLinks = 6;
// Coordinates have at most five digits: the powers 10 .. 10^4.
constexpr std::size_t kPowers = 4;

// A walk rounds its slope and each product to single precision: for
// coordinates below 2^16 that moves a cell by less than 1/64. The other 1/64
// covers this file's own rounding in double precision.
constexpr double kSlack = 1.0 / 32;

// Bytes of the decimal text of `value` >= 0.
std::uint64_t digits(std::int64_t value) {
  std::uint64_t count = 1;
  for (; value >= 10; value /= 10) ++count;
  return count;
}

// Bytes of the decimal texts of 1 .. n together; 0 when n < 1. Each of the
// d digits of n's text counts from its power of ten on:
// d (n + 1) - (1 + 10 + ... + 10^(d - 1)).
std::uint64_t digits_up_to(std::int64_t n) {
  if (n < 1) return 0;
  std::uint64_t count = 1;
  std::uint64_t ones = 1;  // 1, 11, 111, ...
  for (std::int64_t rest = n; rest >= 10; rest /= 10) {
    ++count;
    ones = 10 * ones + 1;
  }
  return count * static_cast<std::uint64_t>(n + 1) - ones;
}

// The square root of n >= 0, rounded down.
std::int64_t floor_sqrt(std::int64_t n) {
  auto root = static_cast<std::int64_t>(std::sqrt(static_cast<double>(n)));
  while (root * root > n) --root;
  while ((root + 1) * (root + 1) <= n) ++root;
  return root;
}

// The lines of a table of radius a that end at (x, y) with 0 < x <= y, the
// steep ones: each steps through one cell per row, rows 1 .. y, never right
// of the diagonal. The shallow lines (x > y) mirror them cell for cell in
// all that follows, so they take as many bytes at least; the column x = 0
// is counted apart. What bounds the steep lines:
//
// - Every cell (x, y) with 1 <= x < y within the radius, x = 1 .. needed(y)
//   in row y, lies on a line, and only steep lines reach it. So at least
//   needed(y) lines cross row y, and at least as many cross every row below.
// - Every endpoint lies within x*x + y*y < a*a + a: the sweep's circles take
//   the nearest cell. A line through the cell (x, y) ends at a slope ex/ey
//   of at least (x - 1/2) / y, less rounding, so a cell far from the y axis
//   lies on short lines only. The lines crossing a row are then at least those
//   crossing some row further out plus one for each needed cell that cannot
//   reach it (stranded).
// - By that slope, a line through (x, r) crosses any row y <= r at
//   x >= y (x - 1/2) / r - 1/2, less rounding, which bounds the digits of
//   its points.
class SteepLines {
 public:
  explicit SteepLines(std::int64_t radius);

  // At least this many steep lines, the column aside, are as long as `row`
  // (1 .. radius).
  std::int64_t lines_as_long_as(std::int64_t row) const {
    std::size_t i = 0;
    while (ends_[i] < row) ++i;
    return lines_[i];
  }

  // The fewest bytes of the points ",x,y" of the steep lines, the column
  // aside.
  std::uint64_t point_bytes() const;

 private:
  // For one power of ten, where the groups stand as the stretches go out
  // and the rows grow: every line of the groups before `partial` crosses
  // the row at that power or beyond, and no line of the group at `none`
  // need; the groups from there on are left out.
  struct Cursor {
    std::size_t partial = 0;
    std::size_t none = 0;
  };

  // The cells (x, y), x = 1 .. needed(y), of row y that must be on steep
  // lines.
  std::int64_t needed(std::int64_t y) const {
    return std::min(y - 1, floor_sqrt(radius_ * radius_ - y * y));
  }

  // How many needed cells of the row ends_[i] lie on no line as long as the
  // row ends_[j] further out: those with x - 1/2 >= ends_[i] * spread_[j].
  // Such a line ends at (ex, ey) with ey >= ends_[j] and
  // ex >= ey (x - 1/2) / ends_[i], within the endpoints' circle.
  std::int64_t stranded(std::size_t i, std::size_t j) const {
    const double widest = 0.5 + kSlack + static_cast<double>(ends_[i]) * spread_[j];
    return std::max<std::int64_t>(0, needed_[i] - static_cast<std::int64_t>(widest));
  }

  // The fewest digits of the x coordinates of the lines crossing any one row
  // of stretch i, from `first` on, one digit each at the least. Called for
  // the stretches in order, with the same cursors.
  std::uint64_t x_digits(std::size_t i, std::int64_t first,
                         std::array<Cursor, kPowers>& cursors) const;

  std::int64_t radius_;
  double reach_;  // a^2 + a: every endpoint lies within
  std::int64_t widest_row_ = 1;  // with the most needed cells
  // Stretch i spans the rows after ends_[i - 1] up to ends_[i]; at least
  // lines_[i] steep lines cross each of them. Of its last row: needed_[i],
  // and spread_[i] = sqrt((a^2 + a) / ends_[i]^2 - 1), the slope x/y beyond
  // which no line reaches that row.
  std::array<std::int64_t, kStretches> ends_;
  std::array<std::int64_t, kStretches> lines_;
  std::array<std::int64_t, kStretches> needed_;
  std::array<double, kStretches> spread_;
  std::size_t count_ = 0;
  // Groups of lines, no line in two. The count of stretch 0 was built on
  // that of a stretch further out, that one on another, and so on; each
  // stretch of this chain has a group, the others none. Stretch i's group
  // is the lines through the last group_size_[i] needed cells of its last
  // row: the cells stranded short of the stretch its count was built on,
  // or all of them where it was built on none. Lines of a later group reach
  // that stretch; lines of this one do not. Of the group's cells, those
  // with x >= least * ends_[i] + 1/2 are all of them when
  // least <= full_from_[i] and none when least >= none_from_[i] (infinite
  // for no cells). groups_from_[i] counts the lines of the groups from i on.
  std::array<double, kStretches> group_size_;
  std::array<double, kStretches> full_from_;
  std::array<double, kStretches> none_from_;
  std::array<double, kStretches + 1> groups_from_;
};

SteepLines::SteepLines(std::int64_t radius)
    : radius_(radius), reach_(static_cast<double>(radius * radius + radius)) {
  // The row with the most needed cells is the last where
  // (y - 1)^2 + y^2 <= a^2. As many lines cross each row before it, so
  // stretches there may be wide; beyond it the count falls.
  const std::int64_t square = radius * radius;
  widest_row_ = static_cast<std::int64_t>(
      (1 + std::sqrt(2.0 * static_cast<double>(square))) / 2);
  while (widest_row_ > 1 &&
         (widest_row_ - 1) * (widest_row_ - 1) + widest_row_ * widest_row_ > square) {
    --widest_row_;
  }
  while (widest_row_ * widest_row_ + (widest_row_ + 1) * (widest_row_ + 1) <= square) {
    ++widest_row_;
  }
  auto add_stretches = [&](std::int64_t after, std::int64_t last, std::int64_t parts) {
    for (std::int64_t k = 1; k <= parts; ++k) {
      const std::int64_t end = after + ((last - after) * k + parts - 1) / parts;
      if (count_ == 0 || ends_[count_ - 1] < end) ends_[count_++] = end;
    }
  };
  add_stretches(0, widest_row_, kInnerStretches);
  add_stretches(widest_row_, radius, kOuterStretches);

  for (std::size_t i = 0; i < count_; ++i) {
    const auto end = static_cast<double>(ends_[i]);
    needed_[i] = needed(ends_[i]);
    spread_[i] = std::sqrt(reach_ / (end * end) - 1);  // ends_[i] <= a
  }
  // From the outermost row in, each stretch with the best of: its own
  // needed cells, or the lines of a stretch further out plus the cells
  // stranded short of it. Ties go to the furthest.
  std::array<std::size_t, kStretches> built_on;
  for (std::size_t i = count_; i-- > 0;) {
    lines_[i] = needed_[i];
    built_on[i] = count_;
    for (std::size_t j = i + 1; j < count_ && j <= i + kLinks; ++j) {
      const std::int64_t lines = lines_[j] + stranded(i, j);
      if (lines >= lines_[i]) {
        lines_[i] = lines;
        built_on[i] = j;
      }
    }
  }
  // The groups: those of the count of the first stretch, which it built on
  // the second's, and so on.
  constexpr double kAlways = std::numeric_limits<double>::infinity();
  std::fill_n(group_size_.begin(), count_, 0.0);
  std::fill_n(full_from_.begin(), count_, kAlways);
  std::fill_n(none_from_.begin(), count_, kAlways);
  for (std::size_t i = 0; i < count_; i = built_on[i]) {
    const std::size_t j = built_on[i];
    group_size_[i] = static_cast<double>(lines_[i] - (j < count_ ? lines_[j] : 0));
    if (group_size_[i] == 0) continue;
    const auto row = static_cast<double>(ends_[i]);
    const auto end = static_cast<double>(needed_[i]);
    full_from_[i] = (end - group_size_[i] - 0.5 - kSlack) / row;
    none_from_[i] = (end - 0.5 - kSlack) / row;
  }
  groups_from_[count_] = 0;
  for (std::size_t i = count_; i-- > 0;) groups_from_[i] = groups_from_[i + 1] + group_size_[i];
}

std::uint64_t SteepLines::point_bytes() const {
  std::array<Cursor, kPowers> cursors{};
  std::uint64_t bytes = 0;
  std::int64_t first = 1;
  for (std::size_t i = 0; i < count_; ++i) {
    const std::int64_t last = ends_[i];
    const auto rows = static_cast<std::uint64_t>(last - first + 1);
    const auto lines = static_cast<std::uint64_t>(lines_[i]);
    bytes += lines * (table_syntax::kPointFrameBytes * rows + digits_up_to(last) -
                      digits_up_to(first - 1)) +
             rows * x_digits(i, first, cursors);
    first = last + 1;
  }
  return bytes;
}

std::uint64_t SteepLines::x_digits(std::size_t i, std::int64_t first,
                                   std::array<Cursor, kPowers>& cursors) const {
  // Three arguments; the one that gives most digits holds. First, the row's
  // own needed cells, each on a line of its own: x < y up to the widest
  // row, then fewer and fewer.
  const auto lines = static_cast<std::uint64_t>(lines_[i]);
  const std::int64_t own = ends_[i] <= widest_row_ ? first - 1 : needed_[i];
  const std::uint64_t own_digits = digits_up_to(own) + lines - static_cast<std::uint64_t>(own);

  // Second, the lines through the needed cells of a row r at or beyond the
  // stretch, the widest row if that is further out.
  const double to_first = 1 / static_cast<double>(first);
  const std::int64_t r = std::max(ends_[i], widest_row_);
  const std::int64_t through = ends_[i] <= widest_row_ ? widest_row_ - 1 : needed_[i];
  std::uint64_t far_digits = std::max(lines, static_cast<std::uint64_t>(through));
  for (std::int64_t power = 10; power <= first; power *= 10) {
    // Those through the cells x >= least of row r cross the row at
    // x >= power.
    const double least =
        (static_cast<double>(power) - 0.5 + kSlack) * static_cast<double>(r) * to_first +
        0.5 + kSlack;
    if (least >= static_cast<double>(through)) break;
    far_digits += static_cast<std::uint64_t>(through - static_cast<std::int64_t>(least));
  }

  // Third, the groups of stretch i and those beyond. Each term rounds down
  // what it counts, so their sum is rounded down once.
  double more = 0;
  std::size_t k = 0;
  for (std::int64_t power = 10; power <= first; power *= 10, ++k) {
    // A line through a cell x >= least * ends_[g] + 1/2 of a group g >= i
    // crosses the row `first`, and every row after it, at x >= power.
    const double least = (static_cast<double>(power) - 0.5 + kSlack) * to_first;
    // least only falls from one stretch to the next, so the cursors only
    // move out. Groups from cursor.none on are left out, which can only
    // lose digits; while the groups' slopes fall outwards, as they do,
    // none of their lines would count.
    Cursor& cursor = cursors[k];
    cursor.partial = std::max(cursor.partial, i);
    while (cursor.partial < count_ && least <= full_from_[cursor.partial]) ++cursor.partial;
    cursor.none = std::max(cursor.none, cursor.partial);
    while (cursor.none < count_ && least < none_from_[cursor.none]) ++cursor.none;
    more += groups_from_[i] - groups_from_[cursor.partial];
    for (std::size_t g = cursor.partial; g < cursor.none; ++g) {
      const double beyond = static_cast<double>(needed_[g]) -
                            (least * static_cast<double>(ends_[g]) + 0.5 + kSlack);
      more += std::min(group_size_[g], std::max(0.0, beyond));
    }
  }
  const std::uint64_t group_digits = lines + static_cast<std::uint64_t>(more);
  return std::max({own_digits, far_digits, group_digits});
}

}  // namespace

std::uint64_t table_size_lower_bound(std::int32_t radius) {
  if (radius < 1) return 0;
  const std::int64_t a = radius;
  const SteepLines steep(a);
  // The steep lines, the shallow ones as many, and the column.
  const auto lines = static_cast<std::uint64_t>(2 * steep.lines_as_long_as(1) + 1);
  // Lengths: the column's, then at least one digit for each other line and
  // one more for each as long as 10, 100, ...
  std::uint64_t length_digits = digits(a);
  for (std::int64_t row = 1; row <= a; row *= 10) {
    length_digits += 2 * static_cast<std::uint64_t>(steep.lines_as_long_as(row));
  }
  namespace syntax = table_syntax;
  const std::uint64_t frame =
      syntax::kTableUpToRadius.size() + digits(a) + syntax::kTableAfterRadius.size() +
      syntax::kLineCountUpToCount.size() + digits(static_cast<std::int64_t>(lines)) +
      syntax::kEnd.size() + syntax::kTableClosing.size();
  // Each entry's frame around its number, length and points.
  const std::uint64_t entries = syntax::kEntryFrameBytes * lines +
                                digits_up_to(static_cast<std::int64_t>(lines)) + length_digits;
  // ",0,y" for y = 1 .. a (the 0 one digit), then both sides.
  const std::uint64_t points = (syntax::kPointFrameBytes + 1) * static_cast<std::uint64_t>(a) +
                               digits_up_to(a) +
                               2 * steep.point_bytes();
  return frame + entries + points;
}

std::uint64_t table_file_size_lower_bound(std::int32_t tables) {
  const std::int64_t count = tables;
  std::uint64_t bytes = table_syntax::kHeaderUpToCount.size() +
                        table_syntax::kHeaderAfterCount.size() +
                        (count < 0 ? 1 + digits(-count) : digits(count));
  for (std::int32_t radius = 1; radius <= tables; ++radius) {
    bytes += table_size_lower_bound(radius);
  }
  return bytes;
}

std::uint64_t table_file_size_upper_bound(std::int32_t tables) {
  // The header and each table's frame take fewer than 64 bytes.
  constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t bytes = 64;
  for (std::int32_t radius = 1; radius <= tables; ++radius) {
    const auto side = static_cast<std::size_t>(radius) + 1;
    const std::uint64_t table =
        64 + std::uint64_t{side} * side * LineEntryText::room(side - 1);
    if (bytes > kMost - table) return kMost;
    bytes += table;
  }
  return bytes;
}

std::string human_size(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  // Dividing by powers of two is exact; 2^64 bytes are 16 EiB.
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1024) {
    value /= 1024;
    ++unit;
  }
  // Rounded in whole numbers, so that the text depends on no locale; by
  // hand, since the library's rounding would tie the tool to the maths
  // library, which costs every run its address space.
  auto nearest = [](double positive) { return static_cast<std::uint64_t>(positive + 0.5); };
  const std::uint64_t tenths = nearest(value * 10);
  if (tenths < 100) {
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " +
           kUnits[unit];
  }
  const std::uint64_t whole = nearest(value);
  // Below 2^64 bytes, only units up to PiB can round up to 1024.
  if (whole == 1024) return std::string("1.0 ") + kUnits[unit + 1];
  return std::to_string(whole) + " " + kUnits[unit];
}

}  // namespace vantrel

#include "losfile/table_format.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <string_view>

namespace vantrel {

namespace {

namespace syntax = table_syntax;

// Stores `text` as it stands, line ends and all.
void write_bytes(TableStream& stream, std::string_view text) {
  char* out = stream.reserve(text.size());
  if (out == nullptr) return;
  std::memcpy(out, text.data(), text.size());
  stream.commit(out + text.size());
}

}  // namespace

void write_header_block(TableStream& stream, std::int32_t table_count) {
  write_bytes(stream, syntax::kHeaderUpToCount);
  stream.write_integer(table_count);
  write_bytes(stream, syntax::kHeaderAfterCount);
}

void write_table_opening(TableStream& stream, std::int32_t radius) {
  write_bytes(stream, syntax::kTableUpToRadius);
  stream.write_integer(radius);
  write_bytes(stream, syntax::kTableAfterRadius);
}

void write_line_count(TableStream& stream, std::int32_t line_count) {
  write_bytes(stream, syntax::kLineCountUpToCount);
  stream.write_integer(line_count);
  write_bytes(stream, syntax::kEnd);
}

void write_table_closing(TableStream& stream) { write_bytes(stream, syntax::kTableClosing); }

void write_plain_line_entry(TableStream& stream, std::int32_t number,
                            const CompactWalk& walk) {
  write_bytes(stream, syntax::kEntryUpToNumber);
  stream.write_integer(number);
  write_bytes(stream, syntax::kEntryLength);
  stream.write_integer(std::max(walk.end.x, walk.end.y));
  for (std::size_t k = 0; k < walk.minor.size(); ++k) {
    const auto major = static_cast<std::int64_t>(k + 1);
    write_bytes(stream, syntax::kSeparator);
    stream.write_integer(walk.along_x() ? major : walk.minor[k]);
    write_bytes(stream, syntax::kSeparator);
    stream.write_integer(walk.along_x() ? walk.minor[k] : major);
  }
  write_bytes(stream, syntax::kEnd);
}

void NumberTexts::add_up_to(std::int32_t largest) {
  // Room for both first, so that running out of memory leaves the texts as
  // they were: never one more text than lengths.
  const auto count = static_cast<std::size_t>(largest) + 1;
  if (count > texts_.capacity() || count > lengths_.capacity()) {
    const std::size_t room = std::max(count, 2 * texts_.capacity());
    texts_.reserve(room);
    lengths_.reserve(room);
  }
  for (auto value = static_cast<std::int32_t>(texts_.size()); value <= largest;
       ++value) {
    char text[8] = {table_syntax::kSeparator[0]};
    const char* end = std::to_chars(text + 1, text + 7, value).ptr;
    std::uint64_t packed = 0;
    std::memcpy(&packed, text, 8);
    texts_.push_back(packed);
    lengths_.push_back(static_cast<std::size_t>(end - text));
  }
}

namespace {

// Stores the text of `value` ("," and its digits) with one 8-byte store and
// returns the end of the text. The bytes past it are overwritten by the
// next store or fall into the scribble room.
char* put_number(char* out, const NumberTexts& numbers, std::size_t value) {
  std::memcpy(out, &numbers.texts()[value], 8);
  return out + numbers.lengths()[value];
}

// The first number with more digits than one whose text is `length` long.
std::size_t next_digit_count(std::size_t length) {
  constexpr std::size_t kPowersOfTen[] = {1, 1, 10, 100, 1000, 10000, 100000, 1000000};
  return kPowersOfTen[length];
}

// Writes the points first .. last of a walk (point k has k on the walk's
// axis and minor[k - 1] on the other), all of whose x texts are x_length
// long and whose ",x,y" texts are step long: per point one 8-byte store, or
// two when the texts are longer, the second over the zero bytes of the
// first.
template <bool kAlongX>
char* put_points(char* out, const std::uint64_t* texts, const MinorCoord* minor,
                 std::size_t first, std::size_t last, std::size_t x_length,
                 std::size_t step) {
  auto put_four = [&](auto put) {
    std::size_t k = first;
    for (; k + 3 <= last; k += 4) {
      put(out, k);
      put(out + step, k + 1);
      put(out + 2 * step, k + 2);
      put(out + 3 * step, k + 3);
      out += 4 * step;
    }
    for (; k <= last; ++k) {
      put(out, k);
      out += step;
    }
    return out;
  };
  if constexpr (std::endian::native == std::endian::little) {
    if (step <= 8) {
      // Both texts in one word, the y text's bytes after the x text's: one
      // store per point. Tables up to radius 999 have only such points.
      const std::size_t shift = 8 * x_length;
      return put_four([&](char* at, std::size_t k) {
        const std::size_t m = minor[k - 1];
        const std::uint64_t both = texts[kAlongX ? k : m] | texts[kAlongX ? m : k] << shift;
        std::memcpy(at, &both, 8);
      });
    }
  }
  return put_four([&](char* at, std::size_t k) {
    const std::size_t m = minor[k - 1];
    std::memcpy(at, &texts[kAlongX ? k : m], 8);
    std::memcpy(at + x_length, &texts[kAlongX ? m : k], 8);
  });
}

// Writes the points of a walk, in stretches over which neither coordinate
// changes its number of digits, so the loop within a stretch need not look
// up any length.
template <bool kAlongX>
char* put_walk(char* out, const NumberTexts& numbers, const MinorCoord* minor,
               std::size_t points, std::size_t across) {
  const std::size_t* lengths = numbers.lengths();
  for (std::size_t k = 1; k <= points;) {
    const std::size_t m = minor[k - 1];
    std::size_t last = std::min(points, next_digit_count(lengths[k]) - 1);
    const std::size_t m_limit = next_digit_count(lengths[m]);
    if (minor[last - 1] >= m_limit) {
      // The minor coordinates rise by 0 or 1 per point, close to
      // (k - 1) * across / points: start from there to find where they gain
      // a digit.
      std::size_t gain = (2 * m_limit - 1) * points / (2 * across);
      gain = std::clamp(gain, k, last - 1);
      while (minor[gain - 1] >= m_limit) --gain;
      while (minor[gain] < m_limit) ++gain;
      last = gain;
    }
    const std::size_t x_length = lengths[kAlongX ? k : m];
    out = put_points<kAlongX>(out, numbers.texts(), minor, k, last, x_length,
                              x_length + lengths[kAlongX ? m : k]);
    k = last + 1;
  }
  return out;
}

}  // namespace

char* LineEntryText::put(char* out, std::int32_t number, const CompactWalk& walk) const {
  const auto points = walk.minor.size();
  // A number's text starts with the separator; here the byte before the
  // digits takes its place.
  constexpr std::string_view kStart = table_syntax::kEntryUpToNumber;
  std::memcpy(out, kStart.data(), kStart.size() - 1);
  char* line_number = out + kStart.size() - 1;
  out = put_number(line_number, numbers_, static_cast<std::size_t>(number));
  *line_number = kStart.back();
  char* walk_length = out;
  out = put_number(walk_length, numbers_, points);
  *walk_length = table_syntax::kEntryLength[0];
  const MinorCoord* minor = walk.minor.data();
  const auto across = static_cast<std::size_t>(std::min(walk.end.x, walk.end.y));
  out = walk.along_x() ? put_walk<true>(out, numbers_, minor, points, across)
                       : put_walk<false>(out, numbers_, minor, points, across);
  *out++ = table_syntax::kEnd[0];
  return out;
}

}  // namespace vantrel

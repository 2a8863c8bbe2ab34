#include "lib/table/table_reader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

#include "lib/table/table_syntax.h"

namespace vantrel {
namespace {

namespace syntax = table_syntax;

// Moves past `expected` at the start of `text`, or returns false.
bool take(std::string_view& text, std::string_view expected) {
  if (text.substr(0, expected.size()) != expected) return false;
  text.remove_prefix(expected.size());
  return true;
}

// Moves past the whole number at the start of `text` (digits with an
// optional '-') into `value`, or returns false where there is none or it
// does not fit.
bool take_number(std::string_view& text, std::int64_t& value) {
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop == text.data()) return false;
  text.remove_prefix(static_cast<std::size_t>(stop - text.data()));
  return true;
}

// "<key><number>;" as the whole of `text`.
bool keyed_number(std::string_view text, std::string_view key, std::int64_t& value) {
  return take(text, key) && take_number(text, value) && text == syntax::kEnd;
}

bool fits_coordinate(std::int64_t value) {
  return value >= std::numeric_limits<std::int32_t>::min() &&
         value <= std::numeric_limits<std::int32_t>::max();
}

// "line<number>=<length>" and ",x,y" pairs up to ";".
bool read_entry(std::string_view text, TableToken& token, TableReader::Points points) {
  if (!take(text, syntax::kEntryKey) || !take_number(text, token.number) || !take(text, syntax::kEntryLength) ||
      !take_number(text, token.length)) {
    return false;
  }
  while (take(text, syntax::kSeparator)) {
    std::int64_t x = 0;
    std::int64_t y = 0;
    if (!take_number(text, x) || !take(text, syntax::kSeparator) || !take_number(text, y) ||
        !fits_coordinate(x) || !fits_coordinate(y)) {
      return false;
    }
    ++token.point_count;
    if (points == TableReader::Points::kKeep) {
      token.points.push_back({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)});
    }
  }
  return text == syntax::kEnd;
}

TableToken::Kind kind_of(std::string_view text, TableToken& token, TableReader::Points points) {
  using Kind = TableToken::Kind;
  text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
  if (text.empty()) return Kind::kBlank;
  if (text == syntax::kOpeningBrace) return Kind::kOpeningBrace;
  if (text == syntax::kClosingBrace) return Kind::kClosingBrace;
  if (text == syntax::kHeader) return Kind::kHeader;
  std::string_view rest = text;
  if (take(rest, syntax::kTableOpening) && take_number(rest, token.number) && rest == syntax::kTableOpeningEnd) {
    return Kind::kTableOpening;
  }
  if (keyed_number(text, syntax::kTableCountKey, token.number)) return Kind::kTableCount;
  if (keyed_number(text, syntax::kLineCountKey, token.number)) return Kind::kLineCount;
  if (read_entry(text, token, points)) return Kind::kEntry;
  return Kind::kOther;
}

}  // namespace

TableReader::TableReader(ByteSource& file, Points points, std::uint64_t first_offset,
                         std::uint64_t first_line)
    : file_(file),
      points_(points),
      chunk_(new char[kChunk]),
      offset_(first_offset),
      line_(first_line) {}

TableReader::Status TableReader::next(TableToken& token) {
  text_.clear();
  std::size_t end_size = 0;
  for (;;) {
    if (at_ == size_) {
      if (ended_) break;
      const long got = file_.read(chunk_.get(), kChunk, error_number_);
      if (got < 0) return Status::kUnreadable;
      at_ = 0;
      size_ = static_cast<std::size_t>(got);
      if (got == 0) {
        ended_ = true;
        break;
      }
    }
    const char* const begin = chunk_.get() + at_;
    const auto* const end = static_cast<const char*>(std::memchr(begin, '\n', size_ - at_));
    const std::size_t count =
        end == nullptr ? size_ - at_ : static_cast<std::size_t>(end - begin);
    if (text_.size() + count > kLongestLine) return Status::kTooLong;
    text_.append(begin, count);
    at_ += count;
    if (end != nullptr) {
      ++at_;
      end_size = 1;
      break;
    }
  }
  if (end_size == 0 && text_.empty()) return Status::kEnd;
  if (end_size == 1 && !text_.empty() && text_.back() == '\r') {
    text_.pop_back();
    end_size = 2;
  }

  token.offset = offset_;
  token.line = line_;
  token.text = text_;
  token.end_size = end_size;
  token.number = 0;
  token.length = 0;
  token.point_count = 0;
  token.points.clear();
  token.kind = kind_of(text_, token, points_);
  if (token.kind == TableToken::Kind::kOther) {
    // Nothing of what was read of it before it failed to parse.
    token.number = 0;
    token.length = 0;
    token.point_count = 0;
    token.points.clear();
  }
  offset_ += text_.size() + end_size;
  if (end_size > 0) ++line_;
  return Status::kToken;
}

}  // namespace vantrel

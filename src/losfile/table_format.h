// The syntax of LOS.TDF: the header block, each table's frame and its line
// entries, written through a table stream. Knows the file's text; computes
// no table and knows nothing of threads or files.
//
// Line entries take the fast road: numbers are copied from prebuilt texts,
// a point's two coordinates with one 8-byte store where they fit.
#ifndef VANTREL_TABLE_FORMAT_H_
#define VANTREL_TABLE_FORMAT_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lib/cell.h"
#include "lib/table/table_syntax.h"
#include "losfile/table_stream.h"

namespace vantrel {

// The file whose syntax this is, where vantrel writes it and
// vantrel-inspect reads it unless told otherwise.
inline constexpr char kTableFileName[] = "LOS.TDF";

// The texts "," + decimal digits of the whole numbers 0, 1, 2, ..., each
// padded with zero bytes to 8 so that one store writes it, with its length
// beside it.
class NumberTexts {
 public:
  // The largest number with a text: "," and six digits fill 7 bytes.
  static constexpr std::int32_t kLargest = 999999;

  // Makes sure 0 .. largest (at most kLargest) have their texts. Throws
  // std::bad_alloc.
  void extend_to(std::int32_t largest) {
    if (static_cast<std::size_t>(largest) >= texts_.size()) add_up_to(largest);
  }

  const std::uint64_t* texts() const { return texts_.data(); }
  const std::size_t* lengths() const { return lengths_.data(); }

 private:
  void add_up_to(std::int32_t largest);

  std::vector<std::uint64_t> texts_;
  std::vector<std::size_t> lengths_;
};

// The text of line entries, "\r\n\tline<number>=<length>,x,y,...;", stored
// straight into memory. The texts between the numbers are table_syntax's;
// those put() stores byte by byte must be one byte long.
//
// Threads: prepare() changes the texts; put() only reads them, so any
// number of threads may put() at once while nobody prepares.
class LineEntryText {
 public:
  // Bytes that put() may scribble on past the end of an entry.
  static constexpr std::size_t kScribble = 8;
  static_assert(kScribble <= TableStream::kSlack);

  // The most bytes the entry of a walk of `points` points takes: its frame
  // ("\r\n\tline", "=" and ";") with two numbers of at most 7 digits, and
  // per point ",x,y" with at most five digits each (coordinates stay below
  // 2^16).
  static constexpr std::size_t room(std::size_t points) { return 32 + 12 * points; }
  static_assert(table_syntax::kEntryFrameBytes + 2 * 7 <= 32);
  static_assert(table_syntax::kPointFrameBytes + 2 * 5 <= 12);
  static_assert(table_syntax::kSeparator.size() == 1 && table_syntax::kEntryLength.size() == 1 &&
                table_syntax::kEnd.size() == 1);

  // True when put() can write line numbers and lengths up to `largest`.
  static constexpr bool can_put(std::int32_t largest) {
    return largest <= NumberTexts::kLargest;
  }

  // Makes sure line numbers and coordinates up to `largest` (can_put) can
  // be stored. Throws std::bad_alloc.
  void prepare(std::int32_t largest) { numbers_.extend_to(largest); }

  // Stores the entry of line `number` for `walk`, both prepared, at `out`,
  // which has room(points) bytes plus kScribble; returns the end of the
  // entry.
  char* put(char* out, std::int32_t number, const CompactWalk& walk) const;

 private:
  NumberTexts numbers_;
};

// "[TABLEINFO]" with the table count, written right after opening the file.
void write_header_block(TableStream& stream, std::int32_t table_count);

// "[Table<k>]" and its opening brace.
void write_table_opening(TableStream& stream, std::int32_t radius);

// The "numlines" entry of a table with `line_count` lines.
void write_line_count(TableStream& stream, std::int32_t line_count);

// Entry "line<number>" written with write_text and write_integer alone,
// for numbers beyond what LineEntryText can put.
void write_plain_line_entry(TableStream& stream, std::int32_t number,
                            const CompactWalk& walk);

// Entry "line<number>": the walk's length, then each point's x and y. Uses
// `text`, preparing it when needed (which may throw std::bad_alloc). Inline,
// since tables call it for entry after entry.
inline void write_line_entry(TableStream& stream, LineEntryText& text, std::int32_t number,
                             const CompactWalk& walk) {
  if (!LineEntryText::can_put(number)) {
    write_plain_line_entry(stream, number, walk);
    return;
  }
  const std::size_t points = walk.minor.size();
  char* out = stream.reserve(LineEntryText::room(points));
  if (out == nullptr) return;
  text.prepare(std::max(number, static_cast<std::int32_t>(points)));
  stream.commit(text.put(out, number, walk));
}

// The closing brace of a table block.
void write_table_closing(TableStream& stream);

}  // namespace vantrel

#endif  // VANTREL_TABLE_FORMAT_H_
